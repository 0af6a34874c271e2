#pragma once
// Inputs and zlib helpers shared by the deflate tests.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace deflatetest {

using Bytes = std::vector<std::uint8_t>;

// Screenshot-like bytes: flat runs, repeated rows with small changes, text-like
// words and random noise, in a mix that exercises short and long matches.
inline Bytes MixedData(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes v;
    v.reserve(n);
    static const char *words[] = {"the ", "window ", "capture ", "Image_", "00042", ".png ", "\r\n", "settings "};
    while (v.size() < n) {
        switch (rng() % 5) {
        case 0: { // run
            const std::size_t len = rng() % 2000;
            const std::uint8_t b = static_cast<std::uint8_t>(rng());
            v.insert(v.end(), len, b);
            break;
        }
        case 1: { // RGB gradient row
            const std::size_t w = 50 + rng() % 500;
            std::uint8_t r = static_cast<std::uint8_t>(rng()), g = static_cast<std::uint8_t>(rng());
            for (std::size_t i = 0; i < w; ++i) {
                v.push_back(static_cast<std::uint8_t>(r + i / 7));
                v.push_back(g);
                v.push_back(static_cast<std::uint8_t>(i));
            }
            break;
        }
        case 2: // words
            for (int i = 0; i < 100; ++i) {
                const std::string w = words[rng() % 8];
                v.insert(v.end(), w.begin(), w.end());
            }
            break;
        case 3: { // copy of earlier data
            if (v.size() > 10) {
                const std::size_t from = rng() % v.size();
                const std::size_t len = std::min<std::size_t>(rng() % 3000, v.size() - from);
                for (std::size_t i = 0; i < len; ++i)
                    v.push_back(v[from + i]);
            }
            break;
        }
        default: { // noise
            const std::size_t len = rng() % 700;
            for (std::size_t i = 0; i < len; ++i)
                v.push_back(static_cast<std::uint8_t>(rng()));
        }
        }
    }
    v.resize(n);
    return v;
}

inline Bytes RandomData(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes v(n);
    for (auto &b : v)
        b = static_cast<std::uint8_t>(rng());
    return v;
}

// Raw inflate (no wrapper) through zlib; fails the test on any zlib error.
inline Bytes ZlibInflateRaw(const Bytes &in, std::size_t expected)
{
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    Bytes out(expected + 16);
    z.next_in = const_cast<Bytef *>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    EXPECT_EQ(rc, Z_STREAM_END) << (z.msg ? z.msg : "");
    EXPECT_EQ(z.avail_in, 0u); // the whole stream was used, nothing more
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

// zlib deflate with the given level/strategy/wrapper; `flushEvery` > 0 inserts
// a flush of kind `flushKind` after every that many input bytes.
inline Bytes ZlibDeflate(const Bytes &in, int level, int strategy, int windowBits, std::size_t flushEvery = 0,
                         int flushKind = Z_SYNC_FLUSH)
{
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, windowBits, 8, strategy), Z_OK);
    Bytes out(deflateBound(&z, static_cast<uLong>(in.size())) + 1024 + (flushEvery ? in.size() / flushEvery * 16 : 0));
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    std::size_t pos = 0;
    const std::size_t step = flushEvery ? flushEvery : in.size();
    do {
        const std::size_t n = std::min(step, in.size() - pos);
        z.next_in = const_cast<Bytef *>(in.data() + pos);
        z.avail_in = static_cast<uInt>(n);
        pos += n;
        const int kind = pos == in.size() ? Z_FINISH : flushKind;
        const int rc = deflate(&z, kind);
        EXPECT_TRUE(rc == Z_OK || rc == Z_STREAM_END);
    } while (pos < in.size());
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

} // namespace deflatetest
