// The PNG/MNG writer: file layout, every pixel format and filter policy read
// back through zlib and our reader, the chunk rules, refused options and failed saves.
#include "PNGTestUtil.h"
#include "TestUtil.h"
#include "imaging/PNGLoader.h"
#include "imaging/Progress.h"
#include "platform/gui/Graphic.h"

#include <QBuffer>

using namespace imaging;
using namespace pngtest;
using itest::MessageOf;

namespace {

Bytes SaveBytes(TPNGLoader &loader, const TLinearBitmap &bmp, const std::string &ext = "PNG")
{
    TMemStream mem;
    loader.SaveToStream(mem, ext, bmp);
    return itest::AllOf(mem);
}

Bytes Pixels(const TLinearBitmap &b) { return Bytes(b.Map.get(), b.Map.get() + b.Size); }

// A capture-like 24-bit image: flat areas, a gradient, text-like noise.
std::unique_ptr<TLinearBitmap> Capture(int w, int h, unsigned seed)
{
    auto b = std::make_unique<TLinearBitmap>();
    b->New(w, h, pf24bit);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint8_t v = (rng() % 7 == 0) ? 0 : 255;
            const std::uint8_t px[3][3] = {{0xF0, 0xE0, 0xD0}, {std::uint8_t(x), std::uint8_t(y), std::uint8_t(x + y)}, {v, v, v}};
            std::memcpy(b->ScanLine(y) + 3 * x, px[y < h / 3 ? 0 : y < 2 * h / 3 ? 1 : 2], 3);
        }
    return b;
}

std::unique_ptr<TLinearBitmap> Indexed(int w, int h, int colours, bool grey)
{
    auto b = std::make_unique<TLinearBitmap>();
    b->New(w, h, pf8bit);
    for (int i = 0; i < 256; ++i) {
        std::uint8_t *e = b->Palette.get() + 3 * i;
        e[0] = static_cast<std::uint8_t>(grey ? i : i * 7);
        e[1] = static_cast<std::uint8_t>(grey ? i : 255 - i);
        e[2] = static_cast<std::uint8_t>(grey ? i : i * 3 + 1);
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
        Bytes row(static_cast<std::size_t>((b.Width * depth * (b.PixelFormat == pf24bit ? 3 : 1) + 7) / 8), 0);
        for (int x = 0; x < b.Width; ++x)
            if (b.PixelFormat == pf24bit)
                row[3 * x] = p[3 * x + 2], row[3 * x + 1] = p[3 * x + 1], row[3 * x + 2] = p[3 * x];
            else if (b.PixelFormat == pf16bit)
                row[2 * x] = p[2 * x + 1], row[2 * x + 1] = p[2 * x];
            else
                row[x * depth / 8] |= static_cast<std::uint8_t>(p[x] << (8 - depth - x * depth % 8));
        v.insert(v.end(), row.begin(), row.end());
    }
    return v;
}

} // namespace

TEST(PNGWriterTest, DefaultCaptureLayoutAndFilterChoice)
{
    TPNGLoader loader;
    const auto bmp = Capture(97, 60, 1);
    const Bytes f = SaveBytes(loader, *bmp);
    const Parsed p = Parse(f);
    EXPECT_FALSE(p.Mng);
    EXPECT_EQ(p.Types(), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    EXPECT_EQ(p.Find("IHDR")->Data, (Bytes{0, 0, 0, 97, 0, 0, 0, 60, 8, 2, 0, 0, 0}));
    const Bytes &idat = p.Find("IDAT")->Data;
    EXPECT_EQ(idat[0] * 256 + idat[1], 0x78DA);
    EXPECT_EQ((idat[2] >> 1) & 3, 1); // fixed Huffman
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
                const int pred[5] = {0, l, u, (l + u) / 2, PaethRef(l, u, ul)};
                s += std::abs(static_cast<int>(static_cast<std::int8_t>(row[i] - pred[k])));
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
    for (int depth : {1, 2, 4})
        cases.push_back({Indexed(13, 5, 1 << depth, false), depth, 3, depth});
    cases.push_back({std::make_unique<TLinearBitmap>(), 16, 0, 0});
    cases.back().Bmp->New(21, 7, pf16bit);
    for (int i = 0; i < cases.back().Bmp->Size; ++i)
        cases.back().Bmp->Map[i] = static_cast<std::uint8_t>(i * 37);
    cases.push_back({Capture(1, 1, 3), 8, 2, 0});
    for (const auto &c : cases)
        for (int filter = -3; filter <= 4; ++filter) {
            TPNGLoader loader;
            loader.Filter = filter;
            loader.BitDepth = c.BitDepthOption;
            const Parsed p = Parse(SaveBytes(loader, *c.Bmp));
            ASSERT_EQ(p.Depth * 10 + p.ColourType, c.Depth * 10 + c.ColourType);
            ASSERT_EQ(p.Rows, ExpectedRows(*c.Bmp, c.Depth)) << "filter " << filter;
            for (int ft : p.Filters)
                ASSERT_TRUE(filter < 0 || ft == filter); // the first row too
            for (const char *ext : {"PNG", "MNG"}) { // our reader gives the bitmap back
                TPNGLoader reader;
                TLinearBitmap back;
                reader.LoadFromStream(*itest::MemOf(SaveBytes(loader, *c.Bmp, ext)), "PNG", back);
                ASSERT_EQ(Pixels(back), Pixels(*c.Bmp)) << ext << " filter " << filter;
                ASSERT_TRUE(back.PixelFormat != pf8bit ||
                            !std::memcmp(back.Palette.get(), c.Bmp->Palette.get(), 3u << std::min(c.Depth, 8)));
            }
        }
}

TEST(PNGWriterTest, PaletteTransparencyAndGammaChunks)
{
    TPNGLoader loader;
    auto b = Indexed(16, 4, 40, false);
    std::memset(b->Palette.get() + 3 * 56, 0, 3 * 200); // last 200 entries black
    Parsed p = Parse(SaveBytes(loader, *b));
    EXPECT_EQ(p.Find("PLTE")->Data.size(), 3u * 56);
    EXPECT_EQ(p.Find("PLTE")->Data[3 * 5], b->Palette[3 * 5 + 2]); // red first in the file
    b->ScanLine(0)[0] = 100; // a used black index keeps its entry
    EXPECT_EQ(Parse(SaveBytes(loader, *b)).Find("PLTE")->Data.size(), 3u * 101);

    loader.TransparentColor = 3;
    loader.Gamma = 0.45455;
    p = Parse(SaveBytes(loader, *b));
    EXPECT_EQ(p.Types(), (std::vector<std::string>{"IHDR", "gAMA", "PLTE", "tRNS", "IDAT", "IEND"}));
    EXPECT_EQ(p.Find("tRNS")->Data, (Bytes{0xFF, 0xFF, 0xFF, 0x00}));
    EXPECT_EQ(p.Find("gAMA")->Data, (Bytes{0, 0, 0xB1, 0x8F})); // 45455
    loader.Gamma = 0.000025; // halves round to even; a value that rounds to 0 is no gamma at all
    EXPECT_EQ(Parse(SaveBytes(loader, *b)).Find("gAMA")->Data, (Bytes{0, 0, 0, 2}));
    loader.Gamma = 0.000004;
    EXPECT_FALSE(Parse(SaveBytes(loader, *b)).Find("gAMA"));
    loader.Gamma = 0;

    loader.TransparentColor = 0x123456; // an index beyond 255 fits no palette image
    EXPECT_FALSE(Parse(SaveBytes(loader, *b)).Find("tRNS"));
    const auto rgb = Capture(8, 8, 4); // true colour: three 16-bit samples, red from the low byte
    EXPECT_EQ(Parse(SaveBytes(loader, *rgb)).Find("tRNS")->Data, (Bytes{0, 0x56, 0, 0x34, 0, 0x12}));
    const auto grey = Indexed(8, 8, 256, true); // grey: two bytes, only values the depth can hold
    EXPECT_FALSE(Parse(SaveBytes(loader, *grey)).Find("tRNS"));
    loader.TransparentColor = 200;
    EXPECT_EQ(Parse(SaveBytes(loader, *grey)).Find("tRNS")->Data, (Bytes{0, 200}));

    loader.TransparentColor = -1; // a suggested palette goes with true colour, never with grey
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
    loader.BitDepth = 2; // a packed file's palette is no longer than its depth allows
    const Parsed q = Parse(SaveBytes(loader, *Indexed(20, 6, 4, false)));
    EXPECT_EQ(q.Depth, 2);
    EXPECT_EQ(q.Find("PLTE")->Data.size(), 3u * 4);
}

TEST(PNGWriterTest, MngIsFramedAndUsesTheColourTransformOnACopy)
{
    TPNGLoader loader;
    const auto b = Capture(40, 12, 5);
    const Bytes before = Pixels(*b);
    const Parsed p = Parse(SaveBytes(loader, *b, "MNG"));
    EXPECT_TRUE(p.Mng);
    EXPECT_EQ(p.FilterMethod, 64);
    EXPECT_EQ(p.Types(), (std::vector<std::string>{"MHDR", "IHDR", "IDAT", "IEND", "MEND"}));
    EXPECT_EQ(p.Find("MHDR")->Data, (Bytes{0, 0, 0, 40, 0, 0, 0, 12, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0}));
    Bytes want = ExpectedRows(*b, 8);
    for (std::size_t i = 0; i < want.size(); i += 3) {
        want[i] = static_cast<std::uint8_t>(want[i] - want[i + 1]);
        want[i + 2] = static_cast<std::uint8_t>(want[i + 2] - want[i + 1]);
    }
    EXPECT_EQ(p.Rows, want);
    EXPECT_EQ(Pixels(*b), before);
    EXPECT_EQ(Parse(SaveBytes(loader, *Indexed(5, 5, 9, false), "MNG")).FilterMethod, 0); // palette images keep 0
}

TEST(PNGWriterTest, LossyPreFilterStaysWithinTolerance)
{
    TPNGLoader loader;
    loader.Tolerance = 6;
    const auto b = Capture(50, 30, 6);
    const Bytes before = Pixels(*b), exact = ExpectedRows(*b, 8);
    Parsed p = Parse(SaveBytes(loader, *b));
    EXPECT_EQ(p.Filters, std::vector<int>(30, 3));
    ASSERT_EQ(p.Rows.size(), exact.size());
    for (std::size_t i = 0; i < exact.size(); ++i)
        ASSERT_LE(std::abs(p.Rows[i] - exact[i]), 6) << i;
    EXPECT_EQ(Pixels(*b), before);
    loader.TransparentColor = 0xD0E0F0; // its pixels (the flat top) stay exact and no other pixel turns into it
    p = Parse(SaveBytes(loader, *b));
    const auto isKey = [](const std::uint8_t *q) { return q[0] == 0xD0 && q[1] == 0xE0 && q[2] == 0xF0; };
    for (std::size_t i = 0; i < exact.size(); i += 3)
        ASSERT_EQ(isKey(&exact[i]), isKey(&p.Rows[i])) << i;

    loader.TransparentColor = -1; // palette images: Paeth, and every pixel keeps a colour near its own
    loader.Tolerance = 40;
    const auto ix = Indexed(30, 20, 60, false);
    p = Parse(SaveBytes(loader, *ix));
    EXPECT_EQ(p.Filters, std::vector<int>(20, 4));
    for (int i = 0; i < 600; ++i) {
        const std::uint8_t *orig = ix->Palette.get() + 3 * ix->Map[i], *now = &p.Find("PLTE")->Data[3 * p.Rows[i]];
        ASSERT_LT(std::abs(orig[2] - now[0]) + std::abs(orig[1] - now[1]) + std::abs(orig[0] - now[2]), 40);
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
    for (int policy = -2; policy <= 4; ++policy) { // never larger than any single policy
        TPNGLoader one;
        one.Filter = policy;
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
    }
    loader.Filter = -1;
    loader.Tolerance = -1;
    EXPECT_EQ(MessageOf([&] { loader.SaveToStream(mem, "PNG", *b); }), "Invalid PNG tolerance: -1");
    loader.Tolerance = 0;
    TLinearBitmap rgba, empty;
    rgba.New(4, 4, pf32bit);
    EXPECT_EQ(MessageOf([&] { loader.SaveToStream(mem, "PNG", rgba); }), "Unsupported pixel format");
    EXPECT_EQ(MessageOf([&] { loader.SaveToStream(mem, "PNG", empty); }), "Unsupported pixel format");
    EXPECT_EQ(mem.Size(), 0);

    RegisterPNGLoader(); // through the registry: a refused save leaves no file behind
    testutil::TempDir dir;
    const std::string name = dir.File("x.png");
    EXPECT_EQ(MessageOf([&] { rgba.SaveToFile(name); }), "Unsupported pixel format");
    EXPECT_FALSE(testutil::FileExists(name));
    b->SaveToFile(name);
    EXPECT_EQ(Parse(testutil::ReadBytes(name)).Rows, ExpectedRows(*b, 8));
    UnregisterPNGLoader();

    itest::ScriptedStream sink; // writes only, no seeking back: the same bytes
    loader.SaveToStream(sink, "PNG", *b);
    EXPECT_EQ(Bytes(sink.written_.begin(), sink.written_.end()), SaveBytes(loader, *b));
}

TEST(PNGWriterTest, RegistrationAndPictureFormats)
{
    TPNGLoader loader;
    EXPECT_TRUE(loader.CanSave("png") && loader.CanSave("MNG") && !loader.CanSave("PN") && !loader.CanLoad("BMP"));
    std::string filter;
    loader.GetSaveFilter(filter);
    EXPECT_EQ(filter, "Portable Network Graphics (*.png)|*.png|Multiple-image Network Graphics (*.mng)|*.mng");
    RegisterPNGLoader();
    auto png = platform::FindFileFormat("png"), mng = platform::FindFileFormat(".MNG");
    ASSERT_TRUE(png && mng);
    EXPECT_EQ(png->ClassName + "/" + mng->ClassName, "TPNGGraphic/TMNGGraphic");
    EXPECT_EQ(png->Description, "Portable Network Graphics");
    EXPECT_EQ(BitmapLoaders.FindSaver("png"), PNGLoader());
    const auto b = Capture(20, 10, 11);
    for (auto *fmt : {&*png, &*mng}) { // the picture's streams hold the file format, both ways
        auto g = fmt->Create();
        dynamic_cast<TLinearGraphic &>(*g).Image.Assign(*b);
        QBuffer buf;
        buf.open(QIODevice::ReadWrite);
        g->SaveToStream(buf);
        EXPECT_EQ(Bytes(buf.data().begin(), buf.data().end()), SaveBytes(loader, *b, fmt == &*png ? "PNG" : "MNG"));
        auto again = fmt->Create();
        buf.seek(0);
        again->LoadFromStream(buf);
        EXPECT_EQ(Pixels(dynamic_cast<TLinearGraphic &>(*again).Image), Pixels(*b));
    }
    UnregisterPNGLoader();
    EXPECT_FALSE(platform::FindFileFormat("png"));
    EXPECT_FALSE(PNGLoader());
}
