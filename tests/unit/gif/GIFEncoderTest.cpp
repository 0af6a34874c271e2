// The image-data encoders: exact bytes where the format fixes them, refused
// pixels, the hash table. giflib decoding what both encoders write from the
// suites' files and screenshots is the interop check's job.
#include "gif/GIFEncoder.h"
#include "GIFTestUtil.h"
#include "gif/GIFSubImage.h"
#include "gif/GIFUtils.h"

#include <gtest/gtest.h>

using namespace gif;
using gif_test::MessageOf;

namespace {
using Bytes = std::vector<std::uint8_t>;

Bytes EncodeData(bool rle, int bpp, int maxColor, const Bytes &pixels, int w, int h, bool interlace)
{
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    TLZWEncoder lzw;
    TRLEEncoder runs;
    (rle ? static_cast<TGIFEncoder &>(runs) : lzw).Encode(buf, bpp, maxColor, pixels.empty() ? nullptr : pixels.data(), interlace, h, w);
    return Bytes(buf.data().begin(), buf.data().end());
}
} // namespace

TEST(GIFEncoderTest, ExactBytes)
{
    // No pixels: code size, the end code alone (5 in 3 bits), terminator.
    EXPECT_EQ(EncodeData(false, 1, 2, {}, 0, 0, false), (Bytes{2, 1, 5, 0}));
    EXPECT_EQ(EncodeData(true, 8, 256, {}, 4, 0, false), (Bytes{8, 2, 0x01, 0x01, 0}));
    // Two colours: clear 4, pixels 1, 0, end 5, all 3 bits wide.
    EXPECT_EQ(EncodeData(false, 1, 2, {1, 0}, 2, 1, false), (Bytes{2, 2, 0x0C, 0x0A, 0}));
    // The writer cuts 255-byte sub-blocks; a second flush writes no empty block.
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    {
        TGIFWriter w(out);
        const Bytes data(510, 0xAB);
        EXPECT_EQ(w.Write(data.data(), 510), 510);
        w.Flush(), w.Flush();
    }
    EXPECT_TRUE(out.data().size() == 512 && out.data()[0] == char(255) && out.data()[256] == char(255));
}

TEST(GIFEncoderTest, PixelsOutsideTheColorTableAreRefused)
{
    // At MaxColor, and beyond the code size even below MaxColor.
    for (bool rle : {false, true})
        for (const auto &[bpp, max, bad] : {std::tuple{4, 16, 16}, std::tuple{4, 10, 12}, std::tuple{2, 256, 4}})
            EXPECT_EQ(MessageOf([&, bpp = bpp, max = max, bad = bad] { EncodeData(rle, bpp, max, {0, 1, std::uint8_t(bad), 0}, 4, 1, false); }),
                      "Color not in color table") << bad;
}

TEST(GIFEncoderTest, HashTableReachesEverySlot)
{
    // Keys whose home slots all lie on one doubling orbit (4,004 slots): a
    // probe that doubles the slot never leaves the orbit and would loop once
    // it is full.
    std::vector<bool> orbit(THashTable::Size);
    for (int s = 1; !orbit[std::size_t(s)]; s = s * 2 % THashTable::Size)
        orbit[std::size_t(s)] = true;
    std::vector<std::uint32_t> keys;
    for (std::uint32_t k = 0; keys.size() < 4090; ++k)
        if (orbit[((k >> 4) ^ k) % THashTable::Size])
            keys.push_back(k);
    THashTable t;
    for (std::size_t i = 0; i < keys.size(); ++i)
        t.Insert(keys[i], int(i));
    for (std::size_t i = 0; i < keys.size(); ++i)
        ASSERT_EQ(t.Lookup(keys[i]), int(i & 0xFFF));
    EXPECT_EQ(t.Lookup(0xFFEEE), -1);
}

TEST(GIFEncoderTest, FramesWithoutALocalMapUseTheImageBits)
{
    // 16 global colours, one 2x1 frame without a local map, saved by either encoder.
    QByteArray file = gif_test::Header(2, 1);
    file[10] = char(0x83);
    file += QByteArray(48 - 6, '\0') + gif_test::Descriptor(2, 1) + gif_test::PlainLZW({15, 3}, 4) + ';';
    RegisterGIFWriter();
    const gif_test::Load l(file);
    for (int compression : {0, 1}) {
        l.Image->Compression = compression;
        const QByteArray saved = gif_test::Save(*l.Image);
        EXPECT_EQ(saved[13 + 48 + 10], 4);
        EXPECT_EQ(gif_test::Load(saved).Image->SubImage(0)->Data()[0], 15);
    }
    l.Image->SubImage(0)->Data()[1] = 16;
    EXPECT_THROW(gif_test::Save(*l.Image), GIFException);
    SetGIFCompressor(nullptr), SetGIFColorReducer(nullptr);
}
