#include "ResourceUsage.h"
#include "TestHelpers.h"
#include "imaging/LibraryTrace.h"
#include "imaging/MetafilePlayer.h"
#include "imaging/MetafileWriter.h"
#include "imaging/WMFLoader.h"

#include <QImage>
#include <QRegion>

#include <numeric>
#include <vector>

using namespace imaging;
using itest::MessageOf;
using L = std::initializer_list<std::int64_t>;

namespace {

// Little-endian values of `bytes` bytes each.
std::string Le(int bytes, L values)
{
    std::string s;
    for (std::int64_t v : values)
        for (int i = 0; i < bytes; ++i)
            s += char(v >> 8 * i & 0xFF);
    return s;
}

// A WMF record from its function and 16-bit parameters (colours as two words).
std::string W(int func, L words, const std::string &tail = {})
{
    return Le(4, {3 + std::int64_t(words.size() + tail.size() / 2)}) + Le(2, {func}) + Le(2, words) + tail;
}

// Placeable (96 units per inch) when given a size.
std::string WMF(const std::string &records, int objects, int right = 0, int bottom = 0)
{
    return (right ? Le(4, {0x9AC6CDD7}) + Le(2, {0, 0, 0, right, bottom, 96, 0, 0, 0}) : "") + Le(2, {1, 9, 0x300}) +
           Le(4, {9 + std::int64_t(records.size() / 2)}) + Le(2, {objects, 0, 0, 0}) + records + W(0, {});
}

std::string E(int type, L longs, const std::string &tail = {})
{
    return Le(4, {type, 8 + std::int64_t(4 * longs.size() + tail.size())}) + Le(4, longs) + tail;
}

// An EMF of w x h pixels (96 dpi reference device).
std::string EMF(const std::string &records, int w, int h)
{
    const std::string body = records + E(14, {0, 16, 20});
    return Le(4, {1, 88, 0, 0, w - 1, h - 1, 0, 0, w * 2540LL / 96, h * 2540LL / 96, 0x464D4520, 0x10000,
                  88 + std::int64_t(body.size()), 3}) +
           Le(2, {4, 0}) + Le(4, {0, 0, 0, 960, 960, 254, 254}) + body;
}

QImage Play(const std::string &m, const TMetafileLimits &limits = {})
{
    return PlayMetafile(reinterpret_cast<const std::uint8_t *>(m.data()), m.size(), limits);
}

QRgb At(const QImage &i, int x, int y) { return i.pixel(x, y) & 0xFFFFFF; }

// Reference work for a side x side 32-bit canvas, in user CPU seconds: a fresh buffer of its size filled and read once. It
// runs on the same memory as a load, so a slow or busy machine slows both alike; and it is compiled as the pixel loops of
// the load are, so an unoptimised build slows both alike too.
double CanvasReferenceCpu(int side)
{
    volatile std::uint64_t sink = 1; // read back so that neither pass can be left out
    const double start = testutil::CpuSeconds();
    {
        std::vector<std::uint64_t> canvas(std::size_t(side) * side / 2, std::uint64_t(sink));
        sink = std::accumulate(canvas.begin(), canvas.end(), std::uint64_t(0));
    }
    return testutil::CpuSeconds() - start;
}

std::string Load(const std::string &data, const char *ext, TLinearBitmap *out = nullptr)
{
    itest::ScriptedStream s(data);
    TLinearBitmap own;
    return MessageOf([&] { TWMFLoader().LoadFromStream(s, ext, out ? *out : own); });
}

std::string Save(const TLinearBitmap &b, const char *ext)
{
    itest::ScriptedStream s;
    return TWMFLoader().SaveToStream(s, ext, b), s.written_;
}

// A 2 x 2 bottom-up 24-bit DIB: bottom row blue, green; top row red, white.
const std::string kInfo = Le(4, {40, 2, 2}) + Le(2, {1, 24}) + Le(4, {0, 0, 0, 0, 0, 0});
const std::string kBits("\xFF\0\0\0\xFF\0\0\0\0\0\xFF\xFF\xFF\xFF\0\0", 16);

TEST(WMFLoader, SavedPicturesLoadBackWithTheirPixels)
{
    // Four colours: 8-bit with those colours first, in the order met; 600 random colours stay 24-bit.
    const itest::Bytes colours = {0, 0, 255, 0, 255, 0, 255, 0, 0, 10, 20, 30, 0};
    itest::Bytes px, index;
    for (int i = 0; i < 15; ++i)
        index.push_back(std::uint8_t(i / 2 % 4)), px.insert(px.end(), &colours[3 * index[i]], &colours[3 * index[i] + 3]);
    const auto four = itest::NewBitmap(5, 3, pf24bit, px), grad = itest::NewBitmap(300, 2, pf24bit, itest::RandomData(1800, 3));
    for (const char *ext : {"WMF", "EMF"}) {
        SCOPED_TRACE(ext);
        TLinearBitmap a, b;
        ASSERT_EQ(Load(Save(*four, ext), ext, &a), itest::kNoException);
        ASSERT_EQ(a.PixelFormat, pf8bit);
        EXPECT_EQ(itest::Bytes(a.Palette.get(), a.Palette.get() + 13), colours);
        EXPECT_EQ(itest::Bytes(a.Map.get(), a.Map.get() + 15), index);
        Load(Save(*grad, ext), ext, &b);
        ASSERT_EQ(b.PixelFormat, pf24bit);
        EXPECT_EQ(itest::PixelsOf(b), itest::PixelsOf(*grad));
    }
    // An 8-bit picture carries its palette: a palette record in each kind.
    four->ChangePixelFormat(pf8bit);
    const std::string wmf = Save(*four, "wmf"), emf = Save(*four, "emf");
    EXPECT_NE(wmf.find(std::string("\xF7\0\0\3\0\1", 6)), std::string::npos);
    EXPECT_EQ(emf.substr(40, 4), " EMF");
    EXPECT_NE(emf.find(std::string("\x31\0\0\0", 4)), std::string::npos);

    const auto wide = itest::NewBitmap(32768, 1, pf8bit);
    EXPECT_EQ(MessageOf([&] { Save(*wide, "WMF"); }), "A Windows metafile holds at most 32767 pixels per side");
    TLinearBitmap back;
    EXPECT_EQ((Load(Save(*wide, "EMF"), "EMF", &back), back.Width), 32768);

    // Beyond 256 colours a pixel takes the nearest colour of the palette.
    itest::Bytes grey;
    for (int i = 0; i < 256; ++i)
        grey.insert(grey.end(), 3, std::uint8_t(i));
    grey.insert(grey.end(), {250, 250, 251});
    const auto many = itest::NewBitmap(257, 1, pf24bit, grey);
    ReduceToPalette(*many);
    ASSERT_EQ(many->PixelFormat, pf8bit);
    EXPECT_EQ(many->Map[256], 250);
}

TEST(MetafilePlayer, RecordsDrawExactPixels)
{
    const std::int64_t one = 0x3F800000; // 1.0f
    const struct { std::string file; QSize size; std::vector<std::tuple<int, int, QRgb>> pixels; } cases[] = {
        // WMF: a 200 x 100 window on a 100 x 50 picture; a red rectangle without an outline over the window's top-left quarter.
        {WMF(W(0x020B, {0, 0}) + W(0x020C, {100, 200}) + W(0x02FC, {0, 0xFF, 0, 0}) + W(0x02FA, {5, 0, 0, 0, 0}) +
                 W(0x012D, {0}) + W(0x012D, {1}) + W(0x041B, {50, 100, 0, 0}), 2, 100, 50),
         {100, 50}, {{10, 10, 0xFF0000}, {49, 24, 0xFF0000}, {51, 10, 0xFFFFFF}, {10, 26, 0xFFFFFF}}},
        // A deleted object's slot is the lowest free one: the blue brush takes 0.
        {WMF(W(0x02FC, {0, 0xFF, 0, 0}) + W(0x02FC, {0, 0, 0, 0}) + W(0x01F0, {0}) + W(0x02FC, {0, 0, 0xFF, 0}) +
                 W(0x02FA, {5, 0, 0, 0, 0}) + W(0x012D, {0}) + W(0x012D, {2}) + W(0x041B, {10, 10, 0, 0}), 3, 10, 10),
         {10, 10}, {{5, 5, 0x0000FF}}},
        // Without the placeable header the first window gives the size.
        {WMF(W(0x020C, {30, 40}), 0), {40, 30}, {}},
        // WMF StretchDIB (packed DIB), one source pixel (the green one) to 3 x 3.
        {WMF(W(0x0F43, {0x0020, 0x00CC, 0, 1, 1, 0, 1, 3, 3, 0, 0}, kInfo + kBits), 0, 4, 4), {4, 4},
         {{0, 0, 0x00FF00}, {2, 2, 0x00FF00}, {3, 3, 0xFFFFFF}}},
        // EMF: anisotropic mapping doubles a 5 x 5 logical square filled with the stock black brush and drawn with the stock
        // null pen.
        {EMF(E(17, {8}) + E(9, {10, 10}) + E(11, {20, 20}) + E(37, {0x80000004}) + E(37, {0x80000008}) +
                 E(43, {0, 0, 5, 5}), 20, 20),
         {20, 20}, {{0, 0, 0}, {9, 9, 0}, {11, 11, 0xFFFFFF}}},
        // StretchDIBits: the DIB stretched to 4 x 4 at (2, 2).
        {EMF(E(81, {0, 0, 5, 5, 2, 2, 0, 0, 2, 2, 80, 40, 120, 16, 0, 0x00CC0020, 4, 4}, kInfo + kBits), 8, 8), {8, 8},
         {{1, 1, 0xFFFFFF}, {2, 2, 0xFF0000}, {5, 3, 0xFFFFFF}, {3, 5, 0x0000FF}, {5, 5, 0x00FF00}}},
        // A pie runs counter-clockwise on the picture even where the mapping turns the y axis up: from the right to the top is
        // the top-right quarter.
        {EMF(E(17, {8}) + E(9, {10, 10}) + E(11, {10, -10}) + E(12, {0, 10}) + E(37, {0x80000008}) +
                 E(37, {0x80000004}) + E(47, {0, 0, 10, 10, 10, 5, 5, 10}), 10, 10),
         {10, 10}, {{7, 2, 0}, {2, 7, 0xFFFFFF}, {7, 7, 0xFFFFFF}, {2, 2, 0xFFFFFF}}},
        // The stock grey brush is 808080, not Qt's grey.
        {EMF(E(37, {0x80000008}) + E(37, {0x80000002}) + E(43, {0, 0, 10, 10}), 10, 10), {10, 10}, {{5, 5, 0x808080}}},
        // StretchBlt's source rows count from the top even for a bottom-up DIB: source pixel (0, 0) is the red one.
        {EMF(E(77, {0, 0, 3, 3, 0, 0, 4, 4, 0x00CC0020, 0, 0, one, 0, 0, one, 0, 0, 0, 0, 108, 40, 148, 16, 1, 1},
               kInfo + kBits), 10, 10),
         {10, 10}, {{2, 2, 0xFF0000}}},
        // SetDIBitsToDevice of a band: only the bottom scan of the 2 x 2 DIB is stored; its blue pixel lands at (0, 0).
        {EMF(E(80, {0, 0, 1, 1, 0, 0, 0, 0, 2, 1, 76, 40, 116, 8, 0, 0, 1}, kInfo + kBits.substr(0, 8)), 10, 10),
         {10, 10}, {{0, 0, 0x0000FF}}},
        // RestoreDC(1) restores the first saved state (the black brush), not the latest nor the second.
        {EMF(E(37, {0x80000008}) + E(37, {0x80000004}) + E(33, {}) + E(37, {0x80000002}) + E(33, {}) +
                 E(37, {0x80000003}) + E(34, {1}) + E(43, {0, 0, 5, 5}), 10, 10),
         {10, 10}, {{2, 2, 0}}},
    };
    for (const auto &c : cases) {
        const QImage img = Play(c.file);
        EXPECT_EQ(img.size(), c.size);
        for (auto [x, y, rgb] : c.pixels)
            EXPECT_EQ(At(img, x, y), rgb) << &c - cases << ": " << x << "," << y;
    }

    // A positive font height is the cell, a negative one the character: "H" of height +40 is drawn smaller than of height -40.
    auto inkRows = [&](int height) {
        const std::string text = E(84, {0, 0, 0, 0, 1, 0, 0, 10, 10, 1, 76, 0, 0, 0, 0, 0, 0}, std::string("H\0\0\0", 4));
        const QImage img = Play(EMF(E(82, {1, height, 0, 0, 0, 400}, std::string(72, '\0')) + E(37, {1}) + text, 100, 100));
        int rows = 0;
        for (int y = 0, x = 0; y < img.height(); ++y, x = 0) {
            while (x < img.width() && At(img, x, y) == 0xFFFFFFu)
                ++x;
            rows += x < img.width();
        }
        return rows;
    };
    const int cell = inkRows(40), character = inkRows(-40);
    EXPECT_GT(cell, 10);
    EXPECT_LT(cell, character);
}

TEST(MetafilePlayer, HostileMetafiles)
{
    std::vector<std::string> traced;
    LibraryTrace = [&](const std::string &t) { traced.push_back(t); };
    const std::string black = E(37, {0x80000004}) + E(43, {0, 0, 9, 9});
    // Type 0 is just unknown; a zero-size record or one beyond the file ends the play; a short record and an object index out
    // of range are skipped.
    const std::pair<std::string, QRgb> cases[] = {
        {EMF(E(0, {}) + black, 10, 10), 0},
        {EMF(std::string("\x2B\0\0\0\0\0\0\0", 8) + black, 10, 10), 0xFFFFFF},
        {EMF(E(43, {0, 0}) + E(37, {3}) + E(37, {99}) + std::string("\x2B\0\0\0\xFF\xFF\0\0", 8), 10, 10), 0xFFFFFF},
        {WMF(W(0x012D, {7}) + W(0x041B, {1}) + std::string("\xFF\xFF\0\0\x1B\x04", 6), 1, 10, 10), 0xFFFFFF},
    };
    for (const auto &[data, rgb] : cases)
        EXPECT_EQ(At(Play(data), 5, 5), rgb) << data.size();
    EXPECT_EQ(traced, (std::vector<std::string>{
                          "EMF record 0 not played", "Short EMF record 43 not played",
                          "EMF object index out of range in record 37 not played",
                          "EMF record 43 reaches beyond the file: play ends",
                          "WMF object index out of range in record 301 not played", "Short WMF record 1051 not played",
                          "WMF record 1051 reaches beyond the file: play ends"}));

    // Records share one budget of pixels touched (here the picture limit, 400): an 8 x 8 run-length DIB of two bytes (red,
    // then end of bitmap; 64 pixels decoded count 256) drawn to one pixel fits once, not twice, and the play stops there.
    const std::string rle =
        Le(4, {40, 8, 8}) + Le(2, {1, 8}) + Le(4, {1, 2, 0, 0, 1, 0}) + std::string("\0\0\xFF\0\0\1", 6);
    auto blit = [&](int x) { return E(81, {0, 0, 9, 9, x, x, 0, 0, 8, 8, 80, 44, 124, 2, 0, 0x00CC0020, 1, 1}, rle); };
    traced.clear();
    TMetafileLimits limits;
    limits.MaxPixels = 400;
    const QImage budget = Play(EMF(blit(0) + blit(5) + black, 10, 10), limits);
    EXPECT_EQ(std::pair(At(budget, 0, 0), At(budget, 5, 5)), std::pair(0xFF0000u, 0xFFFFFFu));
    EXPECT_EQ(traced, std::vector<std::string>{"Metafile play ends: its drawing passes the metafile's limit"});
    LibraryTrace = nullptr;

    EXPECT_EQ(Load("not a metafile at all", "WMF"), "Metafile is not valid");
    EXPECT_EQ(Load(EMF("", 0, 0), "EMF"), "Metafile is not valid");
    EXPECT_EQ(Load(EMF("", 100000, 100000), "EMF"), "Invalid bitmap size");
    EXPECT_EQ(Load(WMF("", 0, 30000, 30000), "WMF"), "Invalid bitmap size");
    EXPECT_EQ(Load(WMF("", 0, 10, 10).substr(0, 30), "WMF"), "Metafile is not valid");
}

// Hostile metafiles, built here: a load holds at most its 32-bit canvas and an 8-bit copy, and the drawing work is bounded.
TEST(WMFLoader, HugeAndBusyMetafilesStayWithinBounds)
{
#ifdef NDEBUG
    constexpr int kShrink = 1;
#else
    // Unoptimised (sanitiser) builds run the pixel loops tens of times slower: smaller pictures.
    constexpr int kShrink = 4;
#endif
    // A load costs 3 to 7 times the canvas reference below, in either build, idle or beside programs copying memory. A play
    // whose drawing passed its limit 64 times over would cost some 150 times (in the sanitiser build, whose busy case is
    // smaller, it would draw every rectangle, and the trace tells). The clock counts in ticks of a few ms, which is most of
    // what the smallest canvas takes.
    constexpr double kTimes = 32, kTicks = 0.1;
    std::vector<std::string> traced;
    LibraryTrace = [&](const std::string &t) { traced.push_back(t); };
    const std::string black = E(37, {0x80000004}) + E(37, {0x80000008});
    std::string rects;
    for (int i = 0; i < 1000; ++i)
        rects += E(43, {0, 0, 8192, 8192});
    // A run-length DIB of two bytes (end of bitmap) claiming 16384 x 16384 pixels.
    const std::string rle = Le(4, {40, 16384, 16384}) + Le(2, {1, 8}) + Le(4, {1, 2, 0, 0, 1, 0}) + std::string("\0\1", 2);
    const struct { std::string file; const char *ext; int side; const char *trace; } cases[] = {
        // 46 bytes declaring 16384 x 16384 pixels, nothing drawn.
        {WMF("", 0, 16384 / kShrink, 16384 / kShrink), "WMF", 16384 / kShrink, nullptr},
        // A thousand rectangles over all of 8192 x 8192, then a red pixel: the play stops before it.
        {EMF(black + rects + E(15, {0, 0, 0x0000FF}), 8192 / kShrink, 8192 / kShrink), "EMF", 8192 / kShrink,
         "Metafile play ends: its drawing passes the metafile's limit"},
        // The bitmap is not drawn; the black square after it is.
        {EMF(E(81, {0, 0, 9, 9, 0, 0, 0, 0, 16384, 16384, 80, 40, 120, 2, 0, 0x00CC0020, 2048, 2048}, rle) + black +
                 E(43, {0, 0, 2048, 2048}), 2048 / kShrink, 2048 / kShrink),
         "EMF", 2048 / kShrink, "Metafile bitmap not drawn: its pixels pass the metafile's limit"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.side);
        traced.clear();
        TLinearBitmap b;
        std::string error;
        const testutil::TUsage used = testutil::UsageOf([&] { error = Load(c.file, c.ext, &b); });
        ASSERT_EQ(error, itest::kNoException);
        const double canvasMiB = 4.0 * c.side * c.side / (1 << 20); // a 32-bit canvas
        EXPECT_LT(used.PeakMiB, 1.5 * canvasMiB + 16);
        const double reference = CanvasReferenceCpu(c.side);
        RecordProperty("cpu_per_reference_" + std::to_string(c.side), std::to_string(used.CpuSeconds / reference));
        EXPECT_LT(used.CpuSeconds, kTimes * reference + kTicks) << "reference " << reference << " s";
        EXPECT_EQ(traced, c.trace ? std::vector<std::string>{c.trace} : std::vector<std::string>{});
        ASSERT_EQ(std::tuple(b.Width, b.Height, b.PixelFormat), std::tuple(c.side, c.side, pf8bit));
        const std::uint8_t *first = &b.Palette[3 * b.Map[0]];
        EXPECT_EQ(first[0] + first[1] + first[2], c.trace ? 0 : 765); // black, or white where nothing was drawn
    }
    LibraryTrace = nullptr;
}

// Boxes reaching the ends of 32-bit, or carried there by the mapping, keep exactly their pixels on the picture; Qt's int
// rectangles wrap beyond (a clip from INT_MIN to INT_MAX has no width an int holds, a box past INT_MAX fills from INT_MIN).
TEST(MetafilePlayer, FarClipsAndBoxesKeepTheirPixels)
{
    constexpr std::int64_t MIN = INT32_MIN, MAX = INT32_MAX;
    // EMF 10 x 10 without a frame: the bounds give the size, one pixel a unit.
    auto emf = [](const std::string &records) { return EMF(records, 10, 10).replace(24, 16, std::string(16, '\0')); };
    const std::string black = E(37, {0x80000004}) + E(37, {0x80000008}), fill = black + E(43, {0, 0, 10, 10});
    const std::string twice = E(17, {8}) + E(9, {1, 1}) + E(11, {2, 2}); // two pixels a unit
    auto patBlt = [](std::int64_t x, std::int64_t w) { return E(76, {0, 0, 9, 9, x, 0, w, 2, 0x42, 0, 0, 0x3F800000, 0, 0,
                                                                      0x3F800000, 0, 0, 0, 0, 0, 0, 0, 0}); };
    auto opaqueText = [](std::int64_t x, std::int64_t opts, const std::string &text) {
        return E(25, {0}) + E(84, {0, 0, 0, 0, 1, 0, 0, x, 1, std::int64_t(text.size() / 2), 76, opts, 1, 1, MAX, 2, 0}, text);
    };
    // WMF 10 x 10 with a black brush and no pen: the clip is set while the viewport (or window) carries a logical unit
    // 32767^2 times further, then the extent is set back and the picture filled.
    auto wmf = [](const std::string &clip, bool window) {
        const int scale = window ? 0x0410 : 0x0412, num = window ? 1 : 32767, den = window ? 32767 : 1;
        return WMF(W(0x02FC, {0, 0, 0, 0}) + W(0x02FA, {5, 0, 0, 0, 0}) + W(0x012D, {0}) + W(0x012D, {1}) +
                       W(scale, {den, num, den, num}) + W(scale, {den, num, den, num}) + clip +
                       W(window ? 0x020C : 0x020E, {10, 10}) + W(0x041B, {10, 10, 0, 0}),
                   2, 10, 10);
    };
    const QRegion all(0, 0, 10, 10), none;
    const struct { std::string file; QRegion inked; QRgb ink = 0; } cases[] = {
        {emf(E(30, {MIN, MIN, MAX, MAX}) + fill), all},
        {emf(E(30, {3, 2, MAX, MAX}) + fill), QRegion(3, 2, 7, 8)},
        {emf(E(30, {MIN, MIN, 4, 6}) + fill), QRegion(0, 0, 4, 6)},
        {emf(E(30, {MAX, 6, MIN, 1}) + fill), QRegion(0, 1, 10, 5)}, // inverted: the corners are put in order
        {emf(E(30, {MIN, MIN, MAX, MAX}) + E(30, {5, MIN, 5, MAX}) + fill), none},
        {emf(E(29, {MIN, MIN, MAX, MAX}) + fill), none},
        {emf(E(29, {4, MIN, MAX, MAX}) + fill), QRegion(0, 0, 4, 10)},
        {emf(E(30, {MIN, MIN, MAX, MAX}) + E(29, {2, 2, MAX, MAX}) + fill), all - QRegion(2, 2, 8, 8)},
        {wmf(W(0x0416, {5, 5, -5, -5}), false), all},
        {wmf(W(0x0416, {0, 0, -5, -5}), false), none},
        {wmf(W(0x0415, {3, 3, -3, -3}), false), none},
        {wmf(W(0x0416, {32767, 32767, -32768, -32768}), true), all},
        // Drawing boxes past INT_MAX: pixels, a pattern blit, an opaque text box, a text background off the picture.
        {emf(E(15, {MAX, 3, 0}) + E(15, {4, 5, 0}) + E(15, {MIN, 7, 0})), QRegion(4, 5, 1, 1)},
        {emf(twice + black + patBlt(1, MAX)), QRegion(2, 0, 8, 4)},
        {emf(twice + opaqueText(1, 2, "")), QRegion(2, 2, 8, 2)},
        {emf(opaqueText(MAX - 20, 0, std::string("H\0H\0", 4))), none},
        // A bitmap blit over 2^31 units from -3 * 2^29 keeps its source in proportion: the picture lies three quarters into
        // the source's width, in its second column (the bottom row's green; a source left whole would show its first).
        {emf(twice + E(81, {0, 0, 5, 5, -(3 << 29), 0, 0, 0, 2, 1, 80, 40, 120, 16, 0, 0x00CC0020, MAX, 1}, kInfo + kBits)),
         QRegion(0, 0, 10, 2), 0x00FF00},
    };
    for (const auto &c : cases) {
        const QImage img = Play(c.file);
        ASSERT_EQ(img.size(), QSize(10, 10));
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x)
                EXPECT_EQ(At(img, x, y), c.inked.contains(QPoint(x, y)) ? c.ink : 0xFFFFFF)
                    << &c - cases << ": " << x << "," << y;
    }
}

} // namespace
