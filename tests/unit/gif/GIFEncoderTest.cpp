// The image-data encoders: what they write is decoded by giflib to the same
// pixels, with exact bytes where the format fixes them.
#include "gif/GIFEncoder.h"
#include "GIFTestUtil.h"
#include "GiflibFrames.h"
#include "gif/GIFSubImage.h"
#include "gif/GIFUtils.h"

#include <QBuffer>
#include <gtest/gtest.h>

#include <random>

using namespace gif;

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

// giflib's pixels of the image data in a file of its own.
Bytes Decode(const Bytes &data, int w, int h, bool interlace)
{
    QByteArray f = gif_test::Header(w, h) + gif_test::Descriptor(w, h, interlace ? 0x40 : 0);
    f.append(reinterpret_cast<const char *>(data.data()), qsizetype(data.size()));
    f.append(';');
    const auto frames = gif_test::GiflibFrames(f.constData(), std::size_t(f.size()));
    return frames && !frames->empty() ? frames->front() : Bytes();
}

// Sub-blocks after the code size byte: full ones carry 255 bytes, none is
// empty before the terminator, and the terminator is the last byte.
bool WellBlocked(const Bytes &data)
{
    std::size_t i = 1;
    while (i < data.size() && data[i] != 0) {
        const std::size_t n = data[i];
        i += n + 1;
        if (i < data.size() && data[i] != 0 && n != 255)
            return false;
    }
    return i == data.size() - 1;
}

struct Frame {
    const char *name;
    int bpp, w, h;
    Bytes pixels;
};

std::vector<Frame> Frames()
{
    std::mt19937 rng(7);
    auto random = [&](int w, int h, int colours) {
        Bytes p(std::size_t(w * h));
        for (auto &v : p)
            v = std::uint8_t(rng() % unsigned(colours));
        return p;
    };
    Bytes runs, ramp(256 * 64);
    for (int i = 0; runs.size() < 250000; ++i)
        runs.insert(runs.end(), std::size_t(1 + (i * 37) % 5000), std::uint8_t(i % 16));
    runs.resize(250000);
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = std::uint8_t(i % 256);
    std::vector<Frame> f = {{"random 8-bit: table fills and clears", 8, 300, 200, random(300, 200, 256)},
                            {"2-bit, thousands of codes", 2, 400, 300, random(400, 300, 4)},
                            {"one colour, long run", 8, 1000, 700, Bytes(700000, 5)},
                            {"runs of every length, 4-bit", 4, 500, 500, runs},
                            {"ramp", 8, 256, 64, ramp},
                            {"single pixel", 1, 1, 1, {1}}};
    for (int h : {1, 2, 3, 4, 10, 17})
        f.push_back({"1xN", 2, 1, h, random(1, h, 4)});
    return f;
}

} // namespace

TEST(GIFEncoderTest, GiflibDecodesBothEncodersToTheSamePixels)
{
    for (const Frame &f : Frames())
        for (bool rle : {false, true})
            for (bool interlace : {false, true}) {
                SCOPED_TRACE(std::string(f.name) + (rle ? " RLE" : " LZW") + (interlace ? " interlaced" : ""));
                const Bytes data = EncodeData(rle, f.bpp, 1 << f.bpp, f.pixels, f.w, f.h, interlace);
                EXPECT_EQ(data[0], std::max(f.bpp, 2));
                EXPECT_TRUE(WellBlocked(data));
                EXPECT_EQ(Decode(data, f.w, f.h, interlace), f.pixels);
            }
}

TEST(GIFEncoderTest, InterlacedRowsAreWrittenInPassOrder)
{
    const std::vector<std::pair<int, Bytes>> cases = {
        {2, {0, 1}}, {3, {0, 2, 1}}, {4, {0, 2, 1, 3}}, {10, {0, 8, 4, 2, 6, 1, 3, 5, 7, 9}}};
    for (const auto &[h, order] : cases) {
        Bytes rows(static_cast<std::size_t>(h));
        for (int i = 0; i < h; ++i)
            rows[std::size_t(i)] = std::uint8_t(i);
        // Decoded without de-interlacing, the file shows its rows in stream order.
        const Bytes data = EncodeData(false, 4, 16, rows, 1, h, true);
        EXPECT_EQ(Decode(data, 1, h, false), order) << h;
    }
}

TEST(GIFEncoderTest, ExactBytes)
{
    // No pixels: code size, the end code alone (5 in 3 bits), terminator.
    EXPECT_EQ(EncodeData(false, 1, 2, {}, 0, 0, false), (Bytes{2, 1, 5, 0}));
    EXPECT_EQ(EncodeData(true, 8, 256, {}, 4, 0, false), (Bytes{8, 2, 0x01, 0x01, 0}));
    // Two colours: clear 4, pixels 1, 0, end 5, all 3 bits wide.
    EXPECT_EQ(EncodeData(false, 1, 2, {1, 0}, 2, 1, false), (Bytes{2, 2, 0x0C, 0x0A, 0}));
}

TEST(GIFEncoderTest, PixelsOutsideTheColorTableAreRefused)
{
    // At MaxColor, and beyond the code size even below MaxColor.
    for (bool rle : {false, true}) {
        for (const auto &[bpp, max, bad] : {std::tuple{4, 16, 16}, std::tuple{4, 10, 12}, std::tuple{2, 256, 4}}) {
            try {
                EncodeData(rle, bpp, max, {0, 1, std::uint8_t(bad), 0}, 4, 1, false);
                ADD_FAILURE() << "no error for " << bad;
            } catch (const GIFException &e) {
                EXPECT_STREQ(e.what(), "Color not in color table");
            }
        }
    }
}

TEST(GIFEncoderTest, WriterCutsSubBlocksAndFlushesOnlyData)
{
    for (const auto &[n, blocks] : std::vector<std::pair<int, Bytes>>{{0, {}}, {255, {255}}, {256, {255, 1}}, {510, {255, 255}}}) {
        QByteArray out;
        QBuffer buf(&out);
        buf.open(QIODevice::WriteOnly);
        {
            TGIFWriter w(buf);
            const Bytes data(std::size_t(n), 0xAB);
            EXPECT_EQ(w.Write(data.data(), n), n);
            w.Flush();
            w.Flush();
        }
        Bytes lengths;
        for (qsizetype i = 0; i < out.size(); i += std::uint8_t(out[i]) + 1)
            lengths.push_back(std::uint8_t(out[i]));
        EXPECT_EQ(lengths, blocks) << n;
    }
    QBuffer buf;
    TGIFStream s(buf);
    char c = 0;
    EXPECT_THROW(s.Read(&c, 1), platform::Exception);
    EXPECT_THROW(s.Seek(0, 0), platform::Exception);
    EXPECT_THROW(s.Write(&c, 1), platform::Exception);
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
    // 16 global colours, one 2x1 frame without a local map.
    QByteArray file = gif_test::Header(2, 1);
    file[10] = char(0x83);
    file.append(QByteArray(48 - 6, '\0'));
    file += gif_test::Descriptor(2, 1) + gif_test::PlainLZW({15, 3}, 4) + ';';
    RegisterGIFWriter();
    const gif_test::Load l(file);
    ASSERT_EQ(l.Error, "");
    for (int compression : {0, 1}) {
        l.Image->Compression = compression;
        const QByteArray saved = gif_test::Save(*l.Image);
        EXPECT_EQ(saved[13 + 48 + 10], 4);
        EXPECT_EQ(gif_test::Load(saved).Image->SubImage(0)->Data()[0], 15);
    }
    l.Image->SubImage(0)->Data()[1] = 16;
    EXPECT_THROW(gif_test::Save(*l.Image), GIFException);
    SetGIFCompressor(nullptr);
    SetGIFColorReducer(nullptr);
}
