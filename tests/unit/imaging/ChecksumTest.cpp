// CRC-32 and Adler-32 against their check values and against zlib, at every
// length and alignment the fast paths split on.
#include "TestHelpers.h"
#include "imaging/Adler32.h"
#include "imaging/CRC32Core.h"

using namespace imaging;
using itest::Bytes;

TEST(ChecksumTest, CrcCheckValuesAndZlibAtEveryLengthAndOffset)
{
    EXPECT_EQ(~CRC32Update(0xFFFFFFFFu, "123456789", 9), 0xCBF43926u);
    EXPECT_EQ(~CRC32UpdateBytewise(0xFFFFFFFFu, "IEND", 4), 0xAE426082u);
    EXPECT_EQ(~CRC32Update(0xFFFFFFFFu, "", 0), 0u);
    const Bytes data = itest::RandomData(4096 + 64, 7);
    for (std::size_t off = 0; off < 17; ++off)
        for (std::size_t len : {0, 1, 15, 16, 63, 64, 65, 127, 128, 129, 200, 1000, 4095, 4096})
            ASSERT_EQ(~CRC32Update(0xFFFFFFFFu, data.data() + off, len),
                      static_cast<std::uint32_t>(crc32(0, data.data() + off, static_cast<uInt>(len))))
                << "off " << off << " len " << len;
    std::uint32_t reg = 0xFFFFFFFFu; // split updates give the same register as one
    std::size_t pos = 0;
    for (std::size_t step : {3, 200, 1, 129, 64, 1000})
        reg = CRC32Update(reg, data.data() + pos, step), pos += step;
    EXPECT_EQ(~reg, static_cast<std::uint32_t>(crc32(0, data.data(), static_cast<uInt>(pos))));
}

TEST(ChecksumTest, AdlerValuesAndZlib)
{
    TAdler32 a;
    EXPECT_EQ(a.GetResult(), 0x01000000u); // bytes 00 00 00 01 in memory order
    a.Update("abc", 3);
    a.Update("x", 0);
    a.Update("x", -5);
    EXPECT_EQ(a.Value(), 0x024D0127u);
    const std::uint32_t r = a.GetResult();
    EXPECT_EQ(0, std::memcmp(&r, "\x02\x4D\x01\x27", 4));
    // All 0xFF bytes push both sums to their reduction limits.
    const Bytes ff(200000, 0xFF), rnd = itest::RandomData(200000, 3);
    for (const Bytes *src : {&ff, &rnd})
        for (std::size_t len : {1, 31, 32, 63, 64, 65, 5503, 5504, 5505, 5552, 5553, 11111, 200000}) {
            TAdler32 x;
            x.Update(src->data(), static_cast<std::int64_t>(len));
            ASSERT_EQ(x.Value(), static_cast<std::uint32_t>(adler32(1, src->data(), static_cast<uInt>(len)))) << len;
            std::uint32_t sa = 1, sb = 0;
            Adler32UpdateBytewise(sa, sb, src->data(), len);
            ASSERT_EQ(x.Value(), (sb << 16) | sa);
        }
    TAdler32 y;
    for (int i = 0; i < 70000; ++i)
        y.UpdateByte(0x1FF); // only the low byte counts
    EXPECT_EQ(y.Value(), static_cast<std::uint32_t>(adler32(1, ff.data(), 70000)));
}
