#include "ResourceUsage.h"
#include "TestHelpers.h"

#include <QImage>

#include <climits>
#include <cstring>
#include <vector>
#include <memory>
#include <array>
#include <fstream>
#include <unistd.h>
#include "imaging/BitmapConversion.h"
#include "imaging/HIPSLoader.h"
#include "imaging/JPEGLoader.h"
#include "imaging/PCXLoader.h"
#include "imaging/PNGLoader.h"

using namespace imaging;
using namespace itest;

namespace {

// A 24-bit image with a distinct colour per pixel.
std::unique_ptr<TLinearBitmap> Colourful(int w, int h)
{
    auto b = NewBitmap(w, h, pf24bit);
    for (int i = 0; i < w * h; ++i) {
        const int x = i % w, y = i / w;
        b->Map[3 * i] = std::uint8_t(x * 37 + y), b->Map[3 * i + 1] = std::uint8_t(y * 91 + 5), b->Map[3 * i + 2] = std::uint8_t(x ^ (y * 7));
    }
    return b;
}

// The process's resident memory in bytes.
std::int64_t Resident()
{
    std::int64_t pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    EXPECT_GT(resident, 0);
    return resident * sysconf(_SC_PAGESIZE);
}

} // namespace

// A new bitmap is zero pages that nothing has touched: a file refused after a header that declares 2^28 pixels (805 MB at 24
// bits) costs no resident memory and no time, while the refused bitmap is still held. 16384 x 16384 each; the JPEG has no
// quantisation table. The time is user CPU: mapping the sanitiser's shadow of the picture is kernel time, which a busy
// machine stretches past a quarter second of the clock.
TEST(LinearBitmap, RefusedLoadsCostNoResidentMemory)
{
    const Bytes png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0x40, 0, 0, 0, 0x40, 0,
                    8, 2, 0, 0, 0, 0x26, 0xAA, 0x87, 0xD3, 0, 0, 1, 0, 'I', 'D', 'A', 'T'};
    Bytes pcx{10, 5, 1, 8};
    PutLE(pcx, 8, 16383, 2), PutLE(pcx, 10, 16383, 2), PutLE(pcx, 65, 3, 1), PutLE(pcx, 66, 16384, 2), PutLE(pcx, 127, 0, 1);
    const std::string hips = "a\nb\n1\nd\n16384\n16384\n16384\n16384\n0\n0\n35\n1\n0\n0\n0\n\n";
    const Bytes jpg{0xFF, 0xD8, 0xFF, 0xC0, 0, 17, 8, 0x40, 0, 0x40, 0, 3, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0,
                    0xFF, 0xDA, 0, 12, 3, 1, 0, 2, 0x11, 3, 0x11, 0, 63, 0};
    TPNGLoader pngLoader;
    TPCXLoader pcxLoader;
    THIPSLoader hipsLoader;
    TJPEGLoader jpgLoader;
    const struct {
        TBitmapLoader *loader;
        Bytes file;
        std::string error;
        bool made; // the bitmap was made before the refusal (HIPS makes it only once pixel data arrives)
    } cases[] = {
        {&pngLoader, png, "Read less than expected", true},
        {&pcxLoader, pcx, "Read less than expected", true},
        {&hipsLoader, Bytes(hips.begin(), hips.end()), "Read less than expected", false},
        {&jpgLoader, jpg, "JPEG error #52: Quantization table 0x00 was not defined", true},
    };
    for (const auto &c : cases) {
        TLinearBitmap b;
        const std::int64_t before = Resident();
        const double cpu = testutil::CpuSeconds();
        EXPECT_EQ(LoadWith(*c.loader, c.file, b, "X"), c.error) << c.error;
        const double seconds = testutil::CpuSeconds() - cpu;
        EXPECT_EQ(std::int64_t(b.Width) * b.Height, c.made ? std::int64_t(1) << 28 : 0) << c.error;
        EXPECT_LT(Resident() - before, std::int64_t(64) << 20) << c.error;
        EXPECT_LT(seconds, 0.5) << c.error;
    }
}

TEST(LinearBitmap, NewChecksSizesAndKeepsTheBitmapOnFailure)
{
    TLinearBitmap b;
    b.New(3, 2, pf24bit);
    EXPECT_EQ(b.BytesPerLine, 9);
    EXPECT_EQ(PixelsOf(b), Bytes(18, 0)); // new pixels start zeroed
    b.FillBytes(7);
    b.New(3, 2, pf24bit);
    EXPECT_EQ(b.Map[17], 7); // same size and format: contents kept
    for (TPixelFormat pf : {pf15bit, pfCustom})
        EXPECT_EQ(MessageOf<ELinearBitmap>([&] { b.New(5, 5, pf); }), "Unsupported pixel format");
    // Sizes whose 32-bit products overflow, or that exceed 2^28 pixels.
    for (auto size : {std::pair{0, 5}, {INT_MAX, INT_MAX}, {65536, 65536}, {1 << 15, 1 << 14}, {INT_MAX, 1}, {-1, -1}})
        EXPECT_EQ(MessageOf<ELinearBitmap>([&] { b.New(size.first, size.second, pf32bit); }), "Invalid bitmap size") << size.first;
    EXPECT_EQ(b.Width * 10 + b.PixelFormat, 30 + pf24bit);
    EXPECT_EQ(b.Map[17], 7);
    b.New(1 << 14, 1 << 14, pf8bit); // exactly 2^28 pixels is allowed
    EXPECT_EQ(b.Size, 1 << 28);
    EXPECT_EQ(b.Palette[767], 0); // a new palette starts zeroed
    b.Clear();
    EXPECT_TRUE(!b.Present && !b.Map && b.PixelFormat == pfCustom);
    TLinearBitmap a; // TakeOver leaves the source truly empty: pixel operations on it do nothing
    b.TakeOver(*Colourful(4, 3));
    a.TakeOver(b);
    EXPECT_EQ(PixelsOf(a), PixelsOf(*Colourful(4, 3)));
    EXPECT_EQ(b.Width + b.Height + b.Size, 0);
    b.Fill(0xFFFFFF);
    b.FillBytes(1);
    b.ChangePixelFormat(pf32bit);
    b.PackLines();
    EXPECT_FALSE(b.IsGreyscale() || b.Present);
    QImage untouched(2, 2, QImage::Format_RGB32);
    untouched.fill(Qt::red);
    b.AssignTo(untouched);
    EXPECT_EQ(untouched.pixel(1, 1), qRgb(255, 0, 0));
}

TEST(LinearBitmap, ConversionMatrix)
{
    auto b = Colourful(5, 3);
    const Bytes rgb = PixelsOf(*b);
    b->ChangePixelFormat(pf32bit);
    EXPECT_EQ(b->Size, 60);
    EXPECT_EQ(b->Map[3], 0); // fourth byte written as 0
    EXPECT_EQ(b->ScanLine(2)[4 * 4 + 2], rgb[2 * 15 + 4 * 3 + 2]);
    b->ChangePixelFormat(pf24bit);
    EXPECT_EQ(PixelsOf(*b), rgb);
    auto p = NewBitmap(2, 1, pf8bit, {1, 200}); // 8 -> 24 through the palette
    std::memcpy(&p->Palette[3], "\x0a\x14\x1e", 3);
    std::memcpy(&p->Palette[600], "\x01\x02\x03", 3);
    p->ChangePixelFormat(pf24bit);
    EXPECT_EQ(PixelsOf(*p), (Bytes{10, 20, 30, 1, 2, 3}));
    EXPECT_EQ(p->Palette, nullptr);
    auto g = NewBitmap(2, 1, pf16bit, {0x34, 0x12, 0xFF, 0xAB}); // 16-bit grey: every conversion takes the high byte
    TLinearBitmap g8;
    g8.Assign(*g);
    g8.ChangePixelFormat(pf8bit);
    EXPECT_EQ(PixelsOf(g8), (Bytes{0x12, 0xAB}));
    EXPECT_TRUE(g8.IsGreyscale());
    g->ChangePixelFormat(pf24bit);
    EXPECT_EQ(PixelsOf(*g), (Bytes{0x12, 0x12, 0x12, 0xAB, 0xAB, 0xAB}));
    // 24 -> 8, the 3-3-2 cube: Pillow reads our 8-bit BMP saves in tests/interop.
    b->ChangePixelFormat(pf32bit);
    b->ChangePixelFormat(pf8bit); // through 24-bit
    EXPECT_EQ(b->PixelFormat, pf8bit);
    EXPECT_EQ(MessageOf<ELinearBitmap>([&] { b->ChangePixelFormat(pf16bit); }), "Unsupported pixel format");
}

TEST(LinearBitmap, FillAndIsGreyscale)
{
    const struct { TPixelFormat pf; std::uint32_t colour; Bytes pixel; } cases[] = {
        {pf24bit, 0x0000FF, {0, 0, 255}}, {pf32bit, 0x00FF8040, {0xFF, 0x80, 0x40, 0}}, {pf8bit, 0x0000FF, {85}},
        {pf16bit, 0x0000FF, {85, 85}}, {pf16bit, 0, {0, 0}}};
    for (int w = 1; w <= 5; ++w)
        for (const auto &c : cases) {
            auto b = NewBitmap(w, 2, c.pf);
            b->Fill(c.colour);
            for (int i = 0; i < b->Size; i += b->PixelSize)
                ASSERT_EQ(Bytes(&b->Map[i], &b->Map[i] + b->PixelSize), c.pixel) << w << " " << i;
        }
    TLinearBitmap b; // 8-bit by its palette: the PNG, JPEG and grey-conversion tests
    b.New(2, 2, pf24bit);
    b.Fill(0x808080);
    EXPECT_TRUE(b.IsGreyscale());
    b.Map[4] = 1;
    EXPECT_FALSE(b.IsGreyscale());
}

TEST(LinearBitmap, ResizePackLinesAndAssign)
{
    TLinearBitmap e, c;
    e.Resize(3, 2, 0, 0, 0x0000FF);
    EXPECT_TRUE(e.PixelFormat == pf8bit && e.IsGreyscale());
    EXPECT_EQ(PixelsOf(e), Bytes(6, 85));
    const auto b = NewBitmap(4, 2, pf8bit, {10, 11, 12, 13, 14, 15, 16, 17});
    const struct { int w, h, x, y; std::uint32_t colour; Bytes want; } cases[] = {
        {4, 2, -2, 0, 0, {12, 13, 0, 0, 16, 17, 0, 0}},
        {5, 3, 1, 1, 0xFFFFFF, {255, 255, 255, 255, 255, 255, 10, 11, 12, 13, 255, 14, 15, 16, 17}},
        {2, 1, -1, -1, 0, {15, 16}}};
    for (const auto &r : cases) {
        c.Assign(*b);
        c.Resize(r.w, r.h, r.x, r.y, r.colour);
        EXPECT_EQ(PixelsOf(c), r.want) << r.w;
    }
    for (int off : {4, -4, 1000, -1000, INT_MAX, INT_MIN}) // far outside: a filled image, nothing else touched
        for (bool vertical : {false, true}) {
            c.Assign(*b);
            c.Resize(3, 3, vertical ? 0 : off, vertical ? off : 0, 0x0000FF);
            EXPECT_EQ(PixelsOf(c), Bytes(9, 85)) << off << vertical;
        }
    c.Resize(0, 3, 0, 0, 0);
    EXPECT_FALSE(c.Present);
    EXPECT_EQ(MessageOf<ELinearBitmap>([&] { b->Resize(1 << 20, 1 << 20, 0, 0, 0); }), "Invalid bitmap size");
    EXPECT_EQ(b->Width, 4);
    auto d = Colourful(3, 2);
    const Bytes before = PixelsOf(*d);
    d->Width = 2;
    d->PackLines();
    EXPECT_EQ(d->BytesPerLine * 100 + d->Size, 612);
    EXPECT_EQ(Bytes(d->Map.get() + 6, d->Map.get() + 12), Bytes(before.begin() + 9, before.begin() + 15));
    d->Width = 5; // rows now claim more than the block held
    d->PackLines();
    EXPECT_EQ(d->Size, 30);
}

// One-row images of every format and several widths survive QImage round trips; other QImage formats arrive as the nearest of
// ours.
TEST(LinearBitmap, QImageRoundTripsAndFormats)
{
    for (int w : {1, 2, 3, 5, 7})
        for (TPixelFormat pf : {pf24bit, pf32bit, pf8bit}) {
            auto s = Colourful(w, 1);
            s->ChangePixelFormat(pf);
            QImage image;
            s->AssignTo(image);
            ASSERT_EQ(image.size(), QSize(w, 1));
            TLinearBitmap back;
            back.Assign(image);
            EXPECT_EQ(back.PixelFormat, pf);
            for (int i = 0; i < s->Size; ++i) // 32-bit arrives with its fourth byte opaque
                ASSERT_EQ(back.Map[i], pf == pf32bit && i % 4 == 3 ? 0xFF : s->Map[i]) << w << " " << int(pf) << " " << i;
            EXPECT_TRUE(pf != pf8bit || std::memcmp(back.Palette.get(), s->Palette.get(), 768) == 0);
        }
    QImage g16(3, 1, QImage::Format_Grayscale16); // 16-bit grey comes out as 8-bit grey of its high bytes
    auto *row = reinterpret_cast<quint16 *>(g16.scanLine(0));
    row[0] = 0x0102, row[1] = 0xFF00, row[2] = 0x8080;
    TLinearBitmap b;
    b.Assign(g16);
    EXPECT_EQ(b.PixelFormat, pf16bit);
    QImage out;
    b.AssignTo(out);
    EXPECT_EQ(out.format(), QImage::Format_Indexed8);
    EXPECT_EQ(out.pixelIndex(0, 0) * 1000 + out.pixelIndex(1, 0), 1255);
    EXPECT_EQ(out.pixel(2, 0), qRgb(0x80, 0x80, 0x80));
    b.Assign(QImage());
    EXPECT_FALSE(b.Present);
}

TEST(LinearBitmap, FileExtAndPalettes)
{
    for (auto [name, ext] : {std::pair{"photo.Png", "PNG"}, {"a.b\\c", ""}, {"/home/x.y/noext", ""}, {"noext", ""},
                             {"C:name.jpeg", "JPEG"}, {"dir/a.tar.gz", "GZ"}})
        EXPECT_EQ(FileExtUpper(name), ext) << name;
    std::uint8_t pal[768] = {}, bgr[768], back[768];
    FillGreyRamp(pal, 4);
    EXPECT_EQ(pal[3] * 1000 + pal[9], 85255);
    std::iota(bgr, bgr + 768, 0);
    const auto table = MakeHPalette(bgr, 256); // both ways in full: the 8-bit QImage round trips
    GetHPaletteEntries(table.mid(0, 3), 256, back); // missing entries black
    EXPECT_EQ(back[8] * 1000 + back[9], bgr[8] * 1000);
    GetHPaletteEntries({}, 256, back);
    EXPECT_EQ(std::memcmp(back, GreyPalette.data(), 768), 0);
}

// The colour count the metafile writer relies on: 32-bit ignores the fourth byte, 16-bit counts grey levels, not bytes.
TEST(BitmapConversion, CountColors)
{
    TLinearBitmap black, idx, g16;
    black.New(40, 30, pf24bit);
    EXPECT_EQ(CountColors(black), 1);
    idx.New(8, 1, pf8bit);
    idx.Map[3] = 7;
    EXPECT_EQ(CountColors(idx), 2);
    auto wide = NewBitmap(3, 1, pf24bit, {1, 2, 3, 3, 2, 1, 1, 2, 3});
    wide->ChangePixelFormat(pf32bit);
    wide->Map[3] = 9;
    EXPECT_EQ(CountColors(*wide), 2);
    g16.New(3, 1, pf16bit);
    std::memcpy(g16.Map.get(), "\x01\x02\x02\x01\x01\x02", 6);
    EXPECT_EQ(CountColors(g16), 2);
}

// The conversion vectors the colour-conversion routines promise.
namespace {

using Rgb = std::array<int, 3>;
using Ints = std::vector<int>;

// A one-row 24-bit image of (red, green, blue) = (third, second, first byte).
std::unique_ptr<TLinearBitmap> Row24(std::initializer_list<Rgb> px)
{
    auto b = std::make_unique<TLinearBitmap>();
    b->New(static_cast<int>(px.size()), 1, pf24bit);
    std::uint8_t *p = b->Map.get();
    for (const auto &c : px)
        for (int i = 2; i >= 0; --i)
            *p++ = static_cast<std::uint8_t>(c[static_cast<std::size_t>(i)]);
    return b;
}

Rgb Pixel(const TLinearBitmap &b, int x)
{
    const std::uint8_t *p = b.Map.get() + x * b.PixelSize;
    return {p[2], p[1], p[0]};
}

Ints Map(const TLinearBitmap &b) { return Ints(b.Map.get(), b.Map.get() + b.Size); }

} // namespace

TEST(BitmapConversion, MatrixVectorsRoundingAndClamping)
{
    const double rows[3][4] = {{1, 0, 1.402, -178.754}, {1, -0.34413, -0.71414, 134.930}, {1, 1.772, 0, -225.936}};
    TColorMatrix back;
    InvertMatrix(YCbCrToRGBMatrix, back);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            EXPECT_NEAR(back[i][j], YCbCrMatrix[i][j], 1e-9);
            EXPECT_NEAR(YCbCrToRGBMatrix[i][j], i < 3 ? rows[i][j] : j == 3, 2e-3);
        }
    const auto b = Row24({{100, 128, 128}, {76, 85, 255}});
    TLinearBitmap out;
    ApplyMatrix(*b, YCbCrToRGBMatrix, &out);
    EXPECT_EQ(Pixel(out, 0), (Rgb{101, 99, 101}));
    EXPECT_EQ(Pixel(out, 1), (Rgb{255, 0, 1}));
    EXPECT_EQ(Pixel(*b, 0), (Rgb{100, 128, 128})); // the source stays
    ApplyMatrix(*b, YCbCrToRGBMatrix);
    EXPECT_EQ(Map(*b), Map(out));
    // Ties go to the even neighbour; out-of-range results clamp.
    const TColorMatrix m = {{{0.5, 0, 0, 0}, {0, 0, 0, -0.5}, {0, 0, 2, 0}, {0, 0, 0, 1}}};
    const struct { int c0, c2; Rgb out; } cases[] = {{5, 0, {2, 0, 0}}, {7, 200, {4, 0, 255}}, {1, 1, {0, 0, 2}}};
    for (const auto &c : cases) {
        std::uint8_t o0, o1, o2;
        ApplyMatrixToPixel(static_cast<std::uint8_t>(c.c0), 9, static_cast<std::uint8_t>(c.c2), m, o0, o1, o2);
        EXPECT_EQ((Rgb{o0, o1, o2}), c.out) << c.c0;
    }
    TLinearBitmap idx;
    idx.New(2, 2, pf8bit);
    EXPECT_EQ(MessageOf<ELinearBitmap>([&] { ApplyMatrix(idx, m); }), "Unsupported pixel format");
}

TEST(BitmapConversion, LabToRGBWithoutGamma)
{
    const auto b = Row24({{255, 128, 128}, {0, 128, 128}, {128, 128, 128}, {128, 255, 0}});
    ApplyPixelFunction(*b, LabToRGB);
    const Rgb want[] = {{255, 254, 253}, {0, 0, 0}, {48, 47, 47}, {117, 0, 255}}; // a = +100, b = -100 clamps
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(Pixel(*b, x), want[x]) << x;
}

TEST(BitmapConversion, GreyConversionOfEveryFormat)
{
    TLinearBitmap idx; // through the palette: pure red at index 5 becomes 85
    idx.New(2, 1, pf8bit);
    idx.Palette[3 * 5 + 2] = 255;
    idx.Map[0] = 5;
    ConvertToGrey(idx);
    EXPECT_EQ(Map(idx), (Ints{85, 0}));
    EXPECT_TRUE(idx.IsGreyscale());
    // (2R + 3G + B + 3) div 6 for 24- and 32-bit pixels, also when the copy goes into its own source.
    const auto colour = Row24({{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}});
    TLinearBitmap copy, wide, self, g16;
    MakeGreyCopy(*colour, copy);
    wide.Assign(*colour);
    wide.ChangePixelFormat(pf32bit);
    ConvertToGrey(wide);
    self.Assign(*colour);
    MakeGreyCopy(self, self);
    g16.New(2, 1, pf16bit);
    std::memcpy(g16.Map.get(), "\x00\x55\xFF\x80", 4);
    ConvertToGrey(g16);
    for (const auto *g : {&copy, &wide, &self, &g16}) {
        EXPECT_EQ(g->PixelFormat, pf8bit);
        EXPECT_TRUE(g->IsGreyscale());
        EXPECT_EQ(Map(*g), g == &g16 ? (Ints{0x55, 0x80}) : (Ints{85, 128, 43, 18}));
    }
}
