// The PNG/MNG writer: file layout, every pixel format and filter policy read
// back through zlib and our reader, the chunk rules, refused options and failed saves.
#include "ErrorText.h"
#include "FakeStreams.h"
#include "PNGTestUtil.h"
#include "TestUtil.h"
#include "imaging/MemStream.h"
#include "imaging/PNGLoader.h"
#include "imaging/Progress.h"
#include "platform/gui/Graphic.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <random>

using namespace imaging;
using imaging_test::MessageOf;
using namespace pngtest;

namespace {

Bytes SaveBytes(TPNGLoader &loader, const TLinearBitmap &bmp, const std::string &ext = "PNG")
{
    TMemStream mem;
    loader.SaveToStream(mem, ext, bmp);
    Bytes out(static_cast<std::size_t>(mem.Size()));
    mem.Seek(0);
    if (!out.empty())
        mem.Read(out.data(), static_cast<int>(out.size()));
    return out;
}

// A capture-like 24-bit image: flat areas, a gradient, text-like noise.
std::unique_ptr<TLinearBitmap> Capture(int w, int h, unsigned seed)
{
    auto b = std::make_unique<TLinearBitmap>();
    b->New(w, h, pf24bit);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        std::uint8_t *p = b->ScanLine(y);
        for (int x = 0; x < w; ++x, p += 3) {
            if (y < h / 3) {
                p[0] = 0xF0, p[1] = 0xE0, p[2] = 0xD0;
            } else if (y < 2 * h / 3) {
                p[0] = static_cast<std::uint8_t>(x), p[1] = static_cast<std::uint8_t>(y), p[2] = static_cast<std::uint8_t>(x + y);
            } else {
                const std::uint8_t v = (rng() % 7 == 0) ? 0 : 255;
                p[0] = p[1] = p[2] = v;
            }
        }
    }
    return b;
}

std::unique_ptr<TLinearBitmap> Indexed(int w, int h, int colours, bool grey)
{
    auto b = std::make_unique<TLinearBitmap>();
    b->New(w, h, pf8bit);
    std::uint8_t *pal = b->Palette.get();
    for (int i = 0; i < 256; ++i) {
        if (grey) {
            pal[3 * i] = pal[3 * i + 1] = pal[3 * i + 2] = static_cast<std::uint8_t>(i);
        } else {
            pal[3 * i] = static_cast<std::uint8_t>(i * 7);
            pal[3 * i + 1] = static_cast<std::uint8_t>(255 - i);
            pal[3 * i + 2] = static_cast<std::uint8_t>(i * 3 + 1);
        }
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b->ScanLine(y)[x] = static_cast<std::uint8_t>((x * 3 + y * 5) % colours);
    return b;
}

// The rows as the file must hold them, from the bitmap.
Bytes ExpectedRows(const TLinearBitmap &b, int depth)
{
    Bytes v;
    for (int y = 0; y < b.Height; ++y) {
        const std::uint8_t *p = b.ScanLine(y);
        if (b.PixelFormat == pf24bit) {
            for (int x = 0; x < b.Width; ++x)
                v.insert(v.end(), {p[3 * x + 2], p[3 * x + 1], p[3 * x]});
        } else if (b.PixelFormat == pf16bit) {
            for (int x = 0; x < b.Width; ++x)
                v.insert(v.end(), {p[2 * x + 1], p[2 * x]});
        } else if (depth == 8) {
            v.insert(v.end(), p, p + b.Width);
        } else {
            const int per = 8 / depth;
            Bytes row(static_cast<std::size_t>((b.Width * depth + 7) / 8), 0);
            for (int x = 0; x < b.Width; ++x)
                row[static_cast<std::size_t>(x / per)] |= static_cast<std::uint8_t>(p[x] << (8 - depth * (x % per + 1)));
            v.insert(v.end(), row.begin(), row.end());
        }
    }
    return v;
}

} // namespace

TEST(PNGWriterTest, DefaultCaptureLayout)
{
    TPNGLoader loader;
    const auto bmp = Capture(97, 60, 1);
    const Bytes f = SaveBytes(loader, *bmp);
    const Parsed p = Parse(f);
    EXPECT_FALSE(p.Mng);
    EXPECT_EQ(p.Types(), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    const Chunk *ihdr = p.Find("IHDR");
    EXPECT_EQ(ihdr->Data, (Bytes{0, 0, 0, 97, 0, 0, 0, 60, 8, 2, 0, 0, 0}));
    const Chunk *idat = p.Find("IDAT");
    EXPECT_EQ(idat->Data[0], 0x78);
    EXPECT_EQ(idat->Data[1], 0xDA);
    EXPECT_EQ((idat->Data[2] >> 1) & 3, 1); // fixed Huffman
    EXPECT_EQ(Bytes(f.end() - 12, f.end()), (Bytes{0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82}));
    EXPECT_EQ(p.Rows, ExpectedRows(*bmp, 8));
    // Row by row the filter with the smallest sum of absolute signed bytes.
    const int rb = p.RowBytes;
    Bytes prev(static_cast<std::size_t>(rb), 0);
    for (int y = 0; y < 60; ++y) {
        const std::uint8_t *row = &p.Rows[static_cast<std::size_t>(y) * rb];
        long best = -1;
        int want = 0;
        for (int k = 0; k < 5; ++k) {
            long s = 0;
            for (int i = 0; i < rb; ++i) {
                const int l = i >= 3 ? row[i - 3] : 0, u = prev[i], ul = i >= 3 ? prev[i - 3] : 0;
                const int pred = k == 0 ? 0 : k == 1 ? l : k == 2 ? u : k == 3 ? (l + u) / 2 : PaethRef(l, u, ul);
                s += std::abs(static_cast<int>(static_cast<std::int8_t>(row[i] - pred)));
            }
            if (best < 0 || s < best)
                best = s, want = k;
        }
        EXPECT_EQ(p.Filters[static_cast<std::size_t>(y)], want) << "row " << y;
        prev.assign(row, row + rb);
    }
}

TEST(PNGWriterTest, EveryPixelFormatAndFilterPolicyReadsBack)
{
    struct Case {
        std::unique_ptr<TLinearBitmap> Bmp;
        int Depth, ColourType, BitDepthOption;
    };
    std::vector<Case> cases;
    cases.push_back({Capture(33, 17, 2), 8, 2, 0});
    cases.push_back({Indexed(31, 9, 200, false), 8, 3, 0});
    cases.push_back({Indexed(31, 9, 256, true), 8, 0, 0});
    cases.push_back({Indexed(13, 5, 2, false), 1, 3, 1});
    cases.push_back({Indexed(13, 5, 4, false), 2, 3, 2});
    cases.push_back({Indexed(13, 5, 16, false), 4, 3, 4});
    {
        auto g = std::make_unique<TLinearBitmap>();
        g->New(21, 7, pf16bit);
        for (int i = 0; i < g->Size; ++i)
            g->Map[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 37);
        cases.push_back({std::move(g), 16, 0, 0});
    }
    cases.push_back({Capture(1, 1, 3), 8, 2, 0});
    for (const auto &c : cases)
        for (int filter = -3; filter <= 4; ++filter) {
            TPNGLoader loader;
            loader.Filter = filter;
            loader.BitDepth = c.BitDepthOption;
            const Parsed p = Parse(SaveBytes(loader, *c.Bmp));
            ASSERT_EQ(p.Depth, c.Depth);
            ASSERT_EQ(p.ColourType, c.ColourType);
            ASSERT_EQ(p.Rows, ExpectedRows(*c.Bmp, c.Depth)) << "filter " << filter;
            // Our reader gives the bitmap back, from PNG and from MNG.
            for (const char *ext : {"PNG", "MNG"}) {
                const Bytes f = SaveBytes(loader, *c.Bmp, ext);
                TMemStream mem;
                mem.Write(f.data(), static_cast<int>(f.size()));
                mem.Seek(0);
                TPNGLoader reader;
                TLinearBitmap back;
                reader.LoadFromStream(mem, "PNG", back);
                ASSERT_EQ(Bytes(back.Map.get(), back.Map.get() + back.Size),
                          Bytes(c.Bmp->Map.get(), c.Bmp->Map.get() + c.Bmp->Size))
                    << ext << " filter " << filter;
                ASSERT_EQ(back.PixelFormat == pf8bit ? std::memcmp(back.Palette.get(), c.Bmp->Palette.get(),
                                                                   3u << std::min(c.Depth, 8))
                                                     : 0,
                          0);
            }
            for (int ft : p.Filters)
                ASSERT_TRUE(filter < 0 || ft == filter); // the first row too
        }
}

TEST(PNGWriterTest, PaletteTransparencyAndGammaChunks)
{
    TPNGLoader loader;
    auto b = Indexed(16, 4, 40, false);
    std::memset(b->Palette.get() + 3 * 56, 0, 3 * 200); // last 200 entries black
    Parsed p = Parse(SaveBytes(loader, *b));
    ASSERT_TRUE(p.Find("PLTE"));
    EXPECT_EQ(p.Find("PLTE")->Data.size(), 3u * 56);
    // Red first in the file; the bitmap holds blue, green, red.
    EXPECT_EQ(p.Find("PLTE")->Data[3 * 5], b->Palette[3 * 5 + 2]);

    // A used black index keeps its entry.
    b->ScanLine(0)[0] = 100;
    p = Parse(SaveBytes(loader, *b));
    EXPECT_EQ(p.Find("PLTE")->Data.size(), 3u * 101);

    loader.TransparentColor = 3;
    loader.Gamma = 0.45455;
    p = Parse(SaveBytes(loader, *b));
    EXPECT_EQ(p.Types(), (std::vector<std::string>{"IHDR", "gAMA", "PLTE", "tRNS", "IDAT", "IEND"}));
    EXPECT_EQ(p.Find("tRNS")->Data, (Bytes{0xFF, 0xFF, 0xFF, 0x00}));
    EXPECT_EQ(p.Find("gAMA")->Data, (Bytes{0, 0, 0xB1, 0x8F})); // 45455

    // Rounding halves to even; a value that rounds to 0 is no gamma at all.
    loader.Gamma = 0.000025;
    p = Parse(SaveBytes(loader, *b));
    EXPECT_EQ(p.Find("gAMA")->Data, (Bytes{0, 0, 0, 2}));
    loader.Gamma = 0.000004;
    p = Parse(SaveBytes(loader, *b));
    EXPECT_FALSE(p.Find("gAMA"));
    loader.Gamma = 0;

    // An index beyond 255 fits no palette image: no tRNS.
    loader.TransparentColor = 0x123456;
    p = Parse(SaveBytes(loader, *b));
    EXPECT_FALSE(p.Find("tRNS"));

    // True colour: three 16-bit samples, red from the low byte.
    const auto rgb = Capture(8, 8, 4);
    p = Parse(SaveBytes(loader, *rgb));
    EXPECT_EQ(p.Find("tRNS")->Data, (Bytes{0, 0x56, 0, 0x34, 0, 0x12}));
    // Grey: two bytes, only values the depth can hold.
    const auto grey = Indexed(8, 8, 256, true);
    p = Parse(SaveBytes(loader, *grey));
    EXPECT_FALSE(p.Find("tRNS"));
    loader.TransparentColor = 200;
    p = Parse(SaveBytes(loader, *grey));
    EXPECT_EQ(p.Find("tRNS")->Data, (Bytes{0, 200}));

    // A suggested palette goes with true colour, never with grey.
    loader.TransparentColor = -1;
    loader.SuggestedPalette = std::make_unique<std::uint8_t[]>(768);
    std::memset(loader.SuggestedPalette.get(), 0, 768);
    loader.SuggestedPalette[3] = 9;
    EXPECT_EQ(Parse(SaveBytes(loader, *rgb)).Find("PLTE")->Data, (Bytes{0, 0, 0, 0, 0, 9}));
    EXPECT_FALSE(Parse(SaveBytes(loader, *grey)).Find("PLTE"));
}

TEST(PNGWriterTest, LeftoverBitDepthDoesNotCutIndices)
{
    TPNGLoader loader;
    loader.BitDepth = 4; // as left by reading a 16-colour file
    const auto b = Indexed(20, 6, 200, false);
    const Parsed p = Parse(SaveBytes(loader, *b));
    EXPECT_EQ(p.Depth, 8);
    EXPECT_EQ(p.Rows, ExpectedRows(*b, 8));
    // A packed file's palette is no longer than its depth allows.
    auto small = Indexed(20, 6, 4, false);
    loader.BitDepth = 2;
    const Parsed q = Parse(SaveBytes(loader, *small));
    EXPECT_EQ(q.Depth, 2);
    EXPECT_EQ(q.Find("PLTE")->Data.size(), 3u * 4);
}

TEST(PNGWriterTest, MngUsesTheColourTransformOnACopy)
{
    TPNGLoader loader;
    const auto b = Capture(40, 12, 5);
    const Bytes before(b->Map.get(), b->Map.get() + b->Size);
    const Parsed p = Parse(SaveBytes(loader, *b, "MNG"));
    EXPECT_TRUE(p.Mng);
    EXPECT_EQ(p.FilterMethod, 64);
    EXPECT_EQ(p.Types(), (std::vector<std::string>{"MHDR", "IHDR", "IDAT", "IEND", "MEND"}));
    Bytes want = ExpectedRows(*b, 8);
    for (std::size_t i = 0; i < want.size(); i += 3) {
        want[i] = static_cast<std::uint8_t>(want[i] - want[i + 1]);
        want[i + 2] = static_cast<std::uint8_t>(want[i + 2] - want[i + 1]);
    }
    EXPECT_EQ(p.Rows, want);
    EXPECT_EQ(Bytes(b->Map.get(), b->Map.get() + b->Size), before);
    // Palette images keep filter method 0.
    EXPECT_EQ(Parse(SaveBytes(loader, *Indexed(5, 5, 9, false), "MNG")).FilterMethod, 0);
}

TEST(PNGWriterTest, LossyPreFilterStaysWithinTolerance)
{
    TPNGLoader loader;
    loader.Tolerance = 6;
    const auto b = Capture(50, 30, 6);
    const Bytes before(b->Map.get(), b->Map.get() + b->Size);
    Parsed p = Parse(SaveBytes(loader, *b));
    for (int ft : p.Filters)
        EXPECT_EQ(ft, 3);
    const Bytes exact = ExpectedRows(*b, 8);
    ASSERT_EQ(p.Rows.size(), exact.size());
    for (std::size_t i = 0; i < exact.size(); ++i)
        ASSERT_LE(std::abs(p.Rows[i] - exact[i]), 6) << i;
    EXPECT_EQ(Bytes(b->Map.get(), b->Map.get() + b->Size), before);

    // A transparent colour's pixels stay exact and no other pixel turns into it.
    loader.TransparentColor = 0xD0E0F0; // red D0, green E0, blue F0: the flat top area
    p = Parse(SaveBytes(loader, *b));
    for (std::size_t i = 0; i < exact.size(); i += 3) {
        const bool was = exact[i] == 0xD0 && exact[i + 1] == 0xE0 && exact[i + 2] == 0xF0;
        const bool is = p.Rows[i] == 0xD0 && p.Rows[i + 1] == 0xE0 && p.Rows[i + 2] == 0xF0;
        ASSERT_EQ(was, is) << i;
    }

    // Palette images: Paeth, and every pixel keeps a colour near its own.
    loader.TransparentColor = -1;
    loader.Tolerance = 40;
    const auto ix = Indexed(30, 20, 60, false);
    p = Parse(SaveBytes(loader, *ix));
    for (int ft : p.Filters)
        EXPECT_EQ(ft, 4);
    const Bytes &plte = p.Find("PLTE")->Data;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) {
            const std::uint8_t *orig = ix->Palette.get() + 3 * ix->ScanLine(y)[x];
            const std::uint8_t *now = &plte[3 * p.Rows[static_cast<std::size_t>(y * 30 + x)]];
            const int d = std::abs(orig[2] - now[0]) + std::abs(orig[1] - now[1]) + std::abs(orig[0] - now[2]);
            ASSERT_LT(d, 40);
        }
}

TEST(PNGWriterTest, TrialsReportProgressAndRestoreTheFilter)
{
    TPNGLoader loader;
    loader.Filter = -3;
    std::vector<int> seen;
    ProgressUpdate = [&](int v) { seen.push_back(v); };
    const auto b = Capture(64, 64, 7);
    const Bytes f = SaveBytes(loader, *b);
    ProgressUpdate = nullptr;
    EXPECT_EQ(seen, (std::vector<int>{12, 25, 37, 50, 62, 75, 87}));
    EXPECT_EQ(loader.Filter, -3);
    // The trial result is never larger than any single policy.
    for (int fpol = -2; fpol <= 4; ++fpol) {
        TPNGLoader one;
        one.Filter = fpol;
        EXPECT_LE(f.size(), SaveBytes(one, *b).size());
    }
}

TEST(PNGWriterTest, BadOptionsAndFormatsWriteNothing)
{
    TPNGLoader loader;
    const auto b = Capture(8, 8, 8);
    TMemStream mem;
    for (int bad : {5, -4, 100}) {
        loader.Filter = bad;
        EXPECT_EQ(MessageOf([&] { loader.SaveToStream(mem, "PNG", *b); }), "Invalid PNG filter: " + std::to_string(bad));
        EXPECT_EQ(mem.Size(), 0);
    }
    loader.Filter = -1;
    loader.Tolerance = -1;
    EXPECT_EQ(MessageOf([&] { loader.SaveToStream(mem, "PNG", *b); }), "Invalid PNG tolerance: -1");
    loader.Tolerance = 0;
    TLinearBitmap rgba;
    rgba.New(4, 4, pf32bit);
    EXPECT_EQ(MessageOf([&] { loader.SaveToStream(mem, "PNG", rgba); }), "Unsupported pixel format");
    TLinearBitmap empty;
    EXPECT_EQ(MessageOf([&] { loader.SaveToStream(mem, "PNG", empty); }), "Unsupported pixel format");
    EXPECT_EQ(mem.Size(), 0);

    // Through the registry: a refused save leaves no file behind.
    RegisterPNGLoader();
    testutil::TempDir dir;
    const std::string name = dir.File("x.png");
    EXPECT_EQ(MessageOf([&] { rgba.SaveToFile(name); }), "Unsupported pixel format");
    EXPECT_FALSE(testutil::FileExists(name));
    b->SaveToFile(name);
    EXPECT_EQ(Parse(testutil::ReadBytes(name)).Rows, ExpectedRows(*b, 8));
    UnregisterPNGLoader();
}

TEST(PNGWriterTest, NonSeekableStreamGetsTheSameBytes)
{
    imaging_test::ScriptedStream sink; // writes only, no seeking back
    TPNGLoader loader;
    const auto b = Capture(30, 30, 9);
    loader.SaveToStream(sink, "PNG", *b);
    EXPECT_EQ(Bytes(sink.written_.begin(), sink.written_.end()), SaveBytes(loader, *b));
    EXPECT_TRUE(loader.CanSave("png") && loader.CanSave("MNG") && !loader.CanSave("PN") && !loader.CanLoad("BMP"));
    std::string filter;
    loader.GetSaveFilter(filter);
    EXPECT_EQ(filter, "Portable Network Graphics (*.png)|*.png|Multiple-image Network Graphics (*.mng)|*.mng");
}

TEST(PNGWriterTest, PictureFormatsWriteTheFileFormat)
{
    RegisterPNGLoader();
    auto png = platform::FindFileFormat("png");
    auto mng = platform::FindFileFormat(".MNG");
    ASSERT_TRUE(png && mng);
    EXPECT_EQ(png->ClassName, "TPNGGraphic");
    EXPECT_EQ(png->Description, "Portable Network Graphics");
    EXPECT_EQ(mng->ClassName, "TMNGGraphic");
    EXPECT_EQ(BitmapLoaders.FindSaver("png"), PNGLoader());

    const auto b = Capture(20, 10, 11);
    for (auto *fmt : {&*png, &*mng}) {
        auto g = fmt->Create();
        auto *lg = dynamic_cast<TLinearGraphic *>(g.get());
        ASSERT_TRUE(lg);
        lg->Image.Assign(*b);
        QBuffer buf;
        buf.open(QIODevice::ReadWrite);
        g->SaveToStream(buf);
        const QByteArray &data = buf.data();
        const Bytes got(data.begin(), data.end());
        TPNGLoader plain;
        EXPECT_EQ(got, SaveBytes(plain, *b, fmt == &*png ? "PNG" : "MNG"));
        // And the picture reads its stream back.
        auto again = fmt->Create();
        buf.seek(0);
        again->LoadFromStream(buf);
        const TLinearBitmap &img = dynamic_cast<TLinearGraphic &>(*again).Image;
        EXPECT_EQ(Bytes(img.Map.get(), img.Map.get() + img.Size), Bytes(b->Map.get(), b->Map.get() + b->Size));
    }
    UnregisterPNGLoader();
    EXPECT_FALSE(platform::FindFileFormat("png"));
    EXPECT_FALSE(PNGLoader());
}
