#pragma once
// A small PNG reader for the writer's tests, built on zlib only: chunk list
// with CRC check, IDAT inflated by zlib (which checks the Adler-32), rows unfiltered here.
#include "TestHelpers.h"

namespace pngtest {

using itest::Bytes;

struct Chunk {
    std::string Type;
    Bytes Data;
};

struct Parsed {
    bool Mng = false;
    std::vector<Chunk> Chunks;
    std::uint32_t Width = 0, Height = 0;
    int Depth = 0, ColourType = 0, FilterMethod = 0, RowBytes = 0;
    std::vector<int> Filters; // filter byte of every row
    Bytes Rows;               // unfiltered rows, back to back

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

inline std::uint32_t BE32(const std::uint8_t *p) { return std::uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

inline int PaethRef(int a, int b, int c)
{
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
}

inline Parsed Parse(const Bytes &f)
{
    Parsed r;
    EXPECT_GE(f.size(), 8u);
    r.Mng = f.size() >= 8 && std::memcmp(f.data(), "\x8AMNG\r\n\x1A\n", 8) == 0;
    EXPECT_TRUE(r.Mng || (f.size() >= 8 && std::memcmp(f.data(), "\x89PNG\r\n\x1A\n", 8) == 0));
    Bytes zlib;
    std::size_t pos = 8;
    for (std::uint32_t len; pos + 12 <= f.size() && pos + 12 + (len = BE32(&f[pos])) <= f.size(); pos += 12 + len) {
        Chunk c{std::string(reinterpret_cast<const char *>(&f[pos + 4]), 4), Bytes(&f[pos + 8], &f[pos + 8] + len)};
        EXPECT_EQ(crc32(0, &f[pos + 4], len + 4), BE32(&f[pos + 8 + len])) << "CRC of " << c.Type;
        if (c.Type == "IDAT")
            zlib.insert(zlib.end(), c.Data.begin(), c.Data.end());
        r.Chunks.push_back(std::move(c));
    }
    EXPECT_EQ(pos, f.size());
    const Chunk *ihdr = r.Find("IHDR");
    EXPECT_TRUE(ihdr && ihdr->Data.size() == 13);
    if (!ihdr || ihdr->Data.size() != 13)
        return r;
    r.Width = BE32(&ihdr->Data[0]), r.Height = BE32(&ihdr->Data[4]);
    r.Depth = ihdr->Data[8], r.ColourType = ihdr->Data[9], r.FilterMethod = ihdr->Data[11];
    const int samples = r.ColourType == 2 ? 3 : r.ColourType == 6 ? 4 : r.ColourType == 4 ? 2 : 1;
    r.RowBytes = static_cast<int>((std::uint64_t(r.Width) * samples * r.Depth + 7) / 8);
    const int bpp = std::max(1, samples * r.Depth / 8);
    const std::size_t stride = static_cast<std::size_t>(r.RowBytes) + 1;
    Bytes raw(stride * r.Height + 1);
    uLongf rawLen = static_cast<uLongf>(raw.size());
    EXPECT_EQ(uncompress(raw.data(), &rawLen, zlib.data(), static_cast<uLong>(zlib.size())), Z_OK);
    EXPECT_EQ(rawLen, stride * r.Height);
    Bytes prev(stride - 1, 0);
    for (std::uint32_t y = 0; y < r.Height; ++y) {
        const std::uint8_t *src = &raw[y * stride];
        r.Filters.push_back(src[0]);
        Bytes row(src + 1, src + stride);
        for (int i = 0; i < r.RowBytes; ++i) {
            const int left = i >= bpp ? row[i - bpp] : 0, up = prev[i], ul = i >= bpp ? prev[i - bpp] : 0;
            const int add[5] = {0, left, up, (left + up) >> 1, PaethRef(left, up, ul)};
            row[i] = static_cast<std::uint8_t>(row[i] + (src[0] < 5 ? add[src[0]] : 0));
        }
        r.Rows.insert(r.Rows.end(), row.begin(), row.end());
        prev = row;
    }
    return r;
}

} // namespace pngtest
