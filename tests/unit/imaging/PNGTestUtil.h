#pragma once
// A small PNG reader for the writer's tests, built on zlib only: chunk list
// with CRC check, IDAT inflated by zlib (which checks the Adler-32), rows
// unfiltered here.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace pngtest {

using Bytes = std::vector<std::uint8_t>;

struct Chunk {
    std::string Type;
    Bytes Data;
};

struct Parsed {
    bool Mng = false;
    std::vector<Chunk> Chunks;
    std::uint32_t Width = 0, Height = 0;
    int Depth = 0, ColourType = 0, FilterMethod = 0;
    Bytes Zlib;               // IDAT contents
    std::vector<int> Filters; // filter byte of every row
    Bytes Rows;               // unfiltered rows, back to back
    int RowBytes = 0;

    const Chunk *Find(const std::string &t) const
    {
        for (const auto &c : Chunks)
            if (c.Type == t)
                return &c;
        return nullptr;
    }
    std::vector<std::string> Types() const
    {
        std::vector<std::string> v;
        for (const auto &c : Chunks)
            v.push_back(c.Type);
        return v;
    }
};

inline std::uint32_t BE32(const std::uint8_t *p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

inline int PaethRef(int a, int b, int c)
{
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
}

inline Parsed Parse(const Bytes &f)
{
    Parsed r;
    static const std::uint8_t png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    static const std::uint8_t mng[8] = {0x8A, 'M', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    EXPECT_GE(f.size(), 8u);
    if (f.size() < 8)
        return r;
    r.Mng = std::memcmp(f.data(), mng, 8) == 0;
    EXPECT_TRUE(r.Mng || std::memcmp(f.data(), png, 8) == 0);
    std::size_t pos = 8;
    while (pos + 12 <= f.size()) {
        const std::uint32_t len = BE32(&f[pos]);
        EXPECT_LE(pos + 12 + len, f.size());
        if (pos + 12 + len > f.size())
            break;
        Chunk c;
        c.Type.assign(reinterpret_cast<const char *>(&f[pos + 4]), 4);
        c.Data.assign(f.begin() + static_cast<std::ptrdiff_t>(pos + 8),
                      f.begin() + static_cast<std::ptrdiff_t>(pos + 8 + len));
        const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, &f[pos + 4], len + 4));
        EXPECT_EQ(crc, BE32(&f[pos + 8 + len])) << "CRC of " << c.Type;
        if (c.Type == "IDAT")
            r.Zlib.insert(r.Zlib.end(), c.Data.begin(), c.Data.end());
        r.Chunks.push_back(std::move(c));
        pos += 12 + len;
    }
    EXPECT_EQ(pos, f.size());
    const Chunk *ihdr = r.Find("IHDR");
    EXPECT_TRUE(ihdr && ihdr->Data.size() == 13);
    if (!ihdr || ihdr->Data.size() != 13)
        return r;
    r.Width = BE32(&ihdr->Data[0]);
    r.Height = BE32(&ihdr->Data[4]);
    r.Depth = ihdr->Data[8];
    r.ColourType = ihdr->Data[9];
    r.FilterMethod = ihdr->Data[11];
    const int samples = r.ColourType == 2 ? 3 : r.ColourType == 6 ? 4 : r.ColourType == 4 ? 2 : 1;
    r.RowBytes = static_cast<int>((std::uint64_t(r.Width) * samples * r.Depth + 7) / 8);
    const int bpp = std::max(1, samples * r.Depth / 8);
    Bytes raw(static_cast<std::size_t>(r.RowBytes + 1) * r.Height + 1);
    uLongf rawLen = static_cast<uLongf>(raw.size());
    EXPECT_EQ(uncompress(raw.data(), &rawLen, r.Zlib.data(), static_cast<uLong>(r.Zlib.size())), Z_OK);
    EXPECT_EQ(rawLen, static_cast<uLongf>(r.RowBytes + 1) * r.Height);
    Bytes prev(static_cast<std::size_t>(r.RowBytes), 0);
    for (std::uint32_t y = 0; y < r.Height; ++y) {
        const std::uint8_t *src = &raw[y * static_cast<std::size_t>(r.RowBytes + 1)];
        const int ft = src[0];
        r.Filters.push_back(ft);
        Bytes row(src + 1, src + 1 + r.RowBytes);
        for (int i = 0; i < r.RowBytes; ++i) {
            const int left = i >= bpp ? row[i - bpp] : 0, up = prev[i], ul = i >= bpp ? prev[i - bpp] : 0;
            int add = 0;
            switch (ft) {
            case 1: add = left; break;
            case 2: add = up; break;
            case 3: add = (left + up) >> 1; break;
            case 4: add = PaethRef(left, up, ul); break;
            default: break;
            }
            row[i] = static_cast<std::uint8_t>(row[i] + add);
        }
        r.Rows.insert(r.Rows.end(), row.begin(), row.end());
        prev = row;
    }
    return r;
}

} // namespace pngtest
