#include "TestHelpers.h"
#include "imaging/LinarBitmap.h"

#include <QImage>
#include <QPainter>

#include <climits>

using namespace imaging;
using itest::MessageOf;
using B = std::vector<std::uint8_t>;

namespace {

B Pixels(const TLinearBitmap &b) { return B(b.Map.get(), b.Map.get() + b.Size); }

// A 24-bit image with a distinct colour per pixel.
void MakeColourful(TLinearBitmap &b, int w, int h)
{
    b.New(w, h, pf24bit);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t *p = b.ScanLine(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(x * 37 + y), p[1] = static_cast<std::uint8_t>(y * 91 + 5);
            p[2] = static_cast<std::uint8_t>(x ^ (y * 7));
        }
}

} // namespace

TEST(LinearBitmap, NewChecksSizesAndKeepsTheBitmapOnFailure)
{
    TLinearBitmap b;
    EXPECT_EQ(b.PixelFormat, pfCustom);
    b.New(3, 2, pf24bit);
    EXPECT_EQ(b.BytesPerLine, 9);
    EXPECT_EQ(Pixels(b), B(18, 0)); // new pixels start zeroed
    b.FillBytes(7);
    b.New(3, 2, pf24bit);
    EXPECT_EQ(b.Map[17], 7); // same size and format: contents kept
    EXPECT_EQ(MessageOf<ELinearBitmap>([&] { b.New(5, 5, pf15bit); }), "Unsupported pixel format");
    EXPECT_EQ(MessageOf<ELinearBitmap>([&] { b.New(5, 5, pfCustom); }), "Unsupported pixel format");
    // Sizes whose 32-bit products overflow, or that exceed 2^28 pixels.
    for (auto size : {std::pair{0, 5}, {INT_MAX, INT_MAX}, {65536, 65536}, {1 << 15, 1 << 14}, {INT_MAX, 1}, {-1, -1}})
        EXPECT_EQ(MessageOf<ELinearBitmap>([&] { b.New(size.first, size.second, pf32bit); }), "Invalid bitmap size")
            << size.first << "x" << size.second;
    EXPECT_EQ(b.Width * 10 + b.PixelFormat, 30 + pf24bit);
    EXPECT_EQ(b.Map[17], 7);
    b.New(1 << 14, 1 << 14, pf8bit); // exactly 2^28 pixels is allowed
    EXPECT_EQ(b.Size, 1 << 28);
    EXPECT_EQ(b.Palette[767], 0); // a new palette starts zeroed
    b.Clear();
    EXPECT_FALSE(b.Present);
    EXPECT_EQ(b.Map, nullptr);
    EXPECT_EQ(b.PixelFormat, pfCustom);
}

TEST(LinearBitmap, TakeOverLeavesTheSourceTrulyEmpty)
{
    TLinearBitmap a, b;
    MakeColourful(a, 4, 3);
    const B pixels = Pixels(a);
    b.TakeOver(a);
    EXPECT_EQ(Pixels(b), pixels);
    EXPECT_EQ(a.Width + a.Height + a.Size, 0);
    a.Fill(0xFFFFFF); // pixel operations on the emptied source do nothing
    a.FillBytes(1);
    a.ChangePixelFormat(pf32bit);
    a.PackLines();
    EXPECT_FALSE(a.IsGreyscale());
    EXPECT_FALSE(a.Present);
    QImage untouched(2, 2, QImage::Format_RGB32);
    untouched.fill(Qt::red);
    a.AssignTo(untouched);
    EXPECT_EQ(untouched.pixel(1, 1), qRgb(255, 0, 0));
}

TEST(LinearBitmap, ConversionMatrix)
{
    TLinearBitmap b;
    MakeColourful(b, 5, 3);
    const B rgb = Pixels(b);
    b.ChangePixelFormat(pf32bit);
    EXPECT_EQ(b.Size, 60);
    EXPECT_EQ(b.Map[3], 0); // fourth byte written as 0
    EXPECT_EQ(b.ScanLine(2)[4 * 4 + 2], rgb[2 * 15 + 4 * 3 + 2]);
    b.ChangePixelFormat(pf24bit);
    EXPECT_EQ(Pixels(b), rgb);

    TLinearBitmap p; // 8 -> 24 through the palette
    p.New(2, 1, pf8bit);
    p.Map[0] = 1, p.Map[1] = 200;
    p.Palette[3] = 10, p.Palette[4] = 20, p.Palette[5] = 30;
    p.Palette[600] = 1, p.Palette[601] = 2, p.Palette[602] = 3;
    p.ChangePixelFormat(pf24bit);
    EXPECT_EQ(Pixels(p), (B{10, 20, 30, 1, 2, 3}));
    EXPECT_EQ(p.Palette, nullptr);

    TLinearBitmap g, g8; // 16-bit grey: every conversion takes the high byte
    g.New(2, 1, pf16bit);
    g.Map[0] = 0x34, g.Map[1] = 0x12, g.Map[2] = 0xFF, g.Map[3] = 0xAB;
    g8.Assign(g);
    g8.ChangePixelFormat(pf8bit);
    EXPECT_EQ(Pixels(g8), (B{0x12, 0xAB}));
    EXPECT_TRUE(g8.IsGreyscale());
    g.ChangePixelFormat(pf24bit);
    EXPECT_EQ(Pixels(g), (B{0x12, 0x12, 0x12, 0xAB, 0xAB, 0xAB}));

    TLinearBitmap c; // 24 -> 8: the 3-3-2 cube
    c.New(3, 1, pf24bit);
    std::memcpy(c.Map.get(), "\xff\xff\xff\x00\x00\xff\xff\x00\x00", 9); // white, red, blue
    c.ChangePixelFormat(pf8bit);
    EXPECT_EQ(Pixels(c), (B{255, 0xE0, 0x03}));
    const auto entry = [&](int i) { return B(&c.Palette[3 * i], &c.Palette[3 * i + 3]); };
    EXPECT_EQ(entry(255), (B{255, 255, 255}));
    EXPECT_EQ(entry(0xE0), (B{0, 0, 255}));
    EXPECT_EQ(entry(0x03), (B{255, 0, 0}));
    EXPECT_EQ(entry(0x20)[2], 36); // round(255 / 7)

    MakeColourful(c, 2, 2);
    c.ChangePixelFormat(pf32bit);
    c.ChangePixelFormat(pf8bit); // through 24-bit
    EXPECT_EQ(c.PixelFormat, pf8bit);
    EXPECT_EQ(MessageOf<ELinearBitmap>([&] { c.ChangePixelFormat(pf16bit); }), "Unsupported pixel format");
}

TEST(LinearBitmap, FillAndIsGreyscale)
{
    const struct { TPixelFormat pf; std::uint32_t colour; B pixel; } cases[] = {
        {pf24bit, 0x0000FF, {0, 0, 255}}, {pf32bit, 0x00FF8040, {0xFF, 0x80, 0x40, 0}}, {pf8bit, 0x0000FF, {85}},
        {pf16bit, 0x0000FF, {85, 85}}, {pf16bit, 0, {0, 0}}};
    for (int w = 1; w <= 5; ++w)
        for (const auto &c : cases) {
            TLinearBitmap b;
            b.New(w, 2, c.pf);
            b.Fill(c.colour);
            for (int i = 0; i < b.Size; i += b.PixelSize)
                ASSERT_EQ(B(&b.Map[i], &b.Map[i] + b.PixelSize), c.pixel) << w << " " << i;
        }
    TLinearBitmap b;
    EXPECT_FALSE(b.IsGreyscale());
    b.New(2, 2, pf24bit);
    b.Fill(0x808080);
    EXPECT_TRUE(b.IsGreyscale());
    b.Map[4] = 1;
    EXPECT_FALSE(b.IsGreyscale());
    b.New(2, 2, pf8bit);
    EXPECT_FALSE(b.IsGreyscale()); // zero palette
    std::memcpy(b.Palette.get(), GreyPalette.data(), 768);
    EXPECT_TRUE(b.IsGreyscale());
    b.New(2, 2, pf32bit);
    EXPECT_FALSE(b.IsGreyscale());
}

TEST(LinearBitmap, ResizePackLinesAndAssign)
{
    TLinearBitmap e;
    e.Resize(3, 2, 0, 0, 0x0000FF);
    EXPECT_TRUE(e.PixelFormat == pf8bit && e.IsGreyscale());
    EXPECT_EQ(Pixels(e), B(6, 85));
    TLinearBitmap b, c;
    b.New(4, 2, pf8bit);
    std::iota(b.Map.get(), b.Map.get() + 8, 10);
    const struct { int w, h, x, y; std::uint32_t colour; B want; } cases[] = {
        {4, 2, -2, 0, 0, {12, 13, 0, 0, 16, 17, 0, 0}},
        {5, 3, 1, 1, 0xFFFFFF, {255, 255, 255, 255, 255, 255, 10, 11, 12, 13, 255, 14, 15, 16, 17}},
        {2, 1, -1, -1, 0, {15, 16}}};
    for (const auto &r : cases) {
        c.Assign(b);
        c.Resize(r.w, r.h, r.x, r.y, r.colour);
        EXPECT_EQ(Pixels(c), r.want) << r.w;
    }
    for (int off : {4, -4, 1000, -1000, INT_MAX, INT_MIN}) // far outside: a filled image, nothing else touched
        for (bool vertical : {false, true}) {
            c.Assign(b);
            c.Resize(3, 3, vertical ? 0 : off, vertical ? off : 0, 0x0000FF);
            EXPECT_EQ(Pixels(c), B(9, 85)) << off << vertical;
        }
    c.Resize(0, 3, 0, 0, 0);
    EXPECT_FALSE(c.Present);
    EXPECT_EQ(MessageOf<ELinearBitmap>([&] { b.Resize(1 << 20, 1 << 20, 0, 0, 0); }), "Invalid bitmap size");
    EXPECT_EQ(b.Width, 4);

    MakeColourful(c, 3, 2);
    const B before = Pixels(c);
    c.Width = 2;
    c.PackLines();
    EXPECT_EQ(c.BytesPerLine * 100 + c.Size, 612);
    EXPECT_EQ(B(c.Map.get() + 6, c.Map.get() + 12), B(before.begin() + 9, before.begin() + 15));
    c.Width = 5; // rows now claim more than the block held
    c.PackLines();
    EXPECT_EQ(c.Size, 30);

    b.Palette[27] = 77;
    auto d = TLinearBitmap::CreateFrom(b);
    EXPECT_EQ(Pixels(*d), Pixels(b));
    EXPECT_EQ(d->Palette[27], 77);
    d->Assign(TLinearBitmap());
    EXPECT_FALSE(d->Present);
    b.AssignTo(*d);
    EXPECT_EQ(d->Palette[27], 77);
}

// One-row images of every format and several widths survive QImage round trips.
TEST(LinearBitmap, QImageRoundTrips)
{
    for (int w : {1, 2, 3, 5, 7})
        for (TPixelFormat pf : {pf24bit, pf32bit, pf8bit}) {
            TLinearBitmap s, back;
            MakeColourful(s, w, 1);
            s.ChangePixelFormat(pf);
            QImage image;
            s.AssignTo(image);
            ASSERT_EQ(image.size(), QSize(w, 1));
            back.Assign(image);
            EXPECT_EQ(back.PixelFormat, pf);
            for (int i = 0; i < s.Size; ++i) // 32-bit arrives with its fourth byte opaque
                ASSERT_EQ(back.Map[i], pf == pf32bit && i % 4 == 3 ? 0xFF : s.Map[i]) << w << " " << int(pf) << " " << i;
            EXPECT_TRUE(pf != pf8bit || std::memcmp(back.Palette.get(), s.Palette.get(), 768) == 0);
        }
    QImage g16(3, 1, QImage::Format_Grayscale16); // 16-bit grey comes out as 8-bit grey of its high bytes
    auto *row = reinterpret_cast<quint16 *>(g16.scanLine(0));
    row[0] = 0x0102, row[1] = 0xFF00, row[2] = 0x8080;
    TLinearBitmap g;
    g.Assign(g16);
    EXPECT_EQ(g.PixelFormat, pf16bit);
    QImage out;
    g.AssignTo(out);
    EXPECT_EQ(out.format(), QImage::Format_Indexed8);
    EXPECT_EQ(out.pixelIndex(0, 0) * 1000 + out.pixelIndex(1, 0), 1255);
    EXPECT_EQ(out.pixel(2, 0), qRgb(0x80, 0x80, 0x80));

    QImage mono(9, 2, QImage::Format_Mono);
    mono.fill(1);
    mono.setColor(1, qRgb(1, 2, 3));
    TLinearBitmap b;
    b.Assign(mono);
    EXPECT_EQ(b.PixelFormat, pf24bit); // a 1-bit image becomes 24-bit
    EXPECT_EQ(b.ScanLine(1)[8 * 3 + 2], 1);
    QImage indexed(2, 1, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(9, 8, 7), qRgb(6, 5, 4)});
    indexed.setPixel(0, 0, 1);
    indexed.setPixel(1, 0, 0);
    b.Assign(indexed);
    EXPECT_EQ(b.PixelFormat, pf8bit);
    EXPECT_EQ(B(&b.Palette[3], &b.Palette[9]), (B{4, 5, 6, 0, 0, 0})); // missing entries black
    EXPECT_EQ(b.Map[0], 1);
    QImage grey(2, 2, QImage::Format_Grayscale8);
    grey.fill(50);
    b.Assign(grey);
    EXPECT_TRUE(b.IsGreyscale());
    for (auto format : {QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB32}) {
        QImage argb(2, 2, format);
        argb.fill(qRgba(10, 20, 30, 255));
        b.Assign(argb);
        EXPECT_EQ(b.PixelFormat, pf32bit);
        EXPECT_EQ(b.Map[0], 30);
    }
    b.Assign(QImage());
    EXPECT_FALSE(b.Present);
}

TEST(LinearBitmap, PaintStretchesOntoAPainter)
{
    TLinearBitmap b;
    b.New(2, 2, pf24bit);
    b.Fill(0x0000FF);
    b.ScanLine(1)[3] = 255; // bottom right: blue + red
    QImage canvas(6, 6, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    {
        QPainter painter(&canvas);
        b.PaintToDC(painter, QRect(1, 1, 4, 4), false);
    }
    const QRgb black = qRgb(0, 0, 0), red = qRgb(255, 0, 0), magenta = qRgb(255, 0, 255);
    const QRgb diagonal[6] = {black, red, red, magenta, magenta, black};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(canvas.pixel(i, i), diagonal[i]) << i;
    TLinearBitmap g;
    g.New(1, 1, pf16bit);
    g.Map[1] = 0x40;
    {
        QPainter painter(&canvas);
        g.Paint(painter, QRect(0, 0, 2, 2), true);
    }
    EXPECT_EQ(canvas.pixel(1, 1), qRgb(0x40, 0x40, 0x40));
}

TEST(LinearBitmap, FileExtAndPalettes)
{
    for (auto [name, ext] : {std::pair{"photo.Png", "PNG"}, {"a.b\\c", ""}, {"/home/x.y/noext", ""}, {"noext", ""},
                             {"C:name.jpeg", "JPEG"}, {"dir/a.tar.gz", "GZ"}})
        EXPECT_EQ(FileExtUpper(name), ext) << name;
    std::uint8_t pal[768] = {};
    FillGreyRamp(pal, 4);
    EXPECT_EQ(pal[3] * 1000 + pal[9], 85255);
    EXPECT_EQ(SwapRB(0x12345678), 0x12785634u);
    std::uint8_t rgb[768], bgr[768], back[768];
    std::iota(rgb, rgb + 768, 0);
    RGBToBGRPalette(rgb, bgr);
    EXPECT_EQ(bgr[0] * 10 + bgr[2], 20);
    TPaletteEntry entries[2];
    PaletteToEntries(bgr, entries, 2);
    EXPECT_EQ(entries[1].peRed * 100 + entries[1].peBlue * 10 + entries[1].peFlags, 351);
    const auto table = MakeHPalette(bgr, 256);
    ASSERT_EQ(table.size(), 256);
    EXPECT_EQ(table[1], qRgb(3, 4, 5));
    GetHPaletteEntries(table, 256, back);
    EXPECT_EQ(std::memcmp(back, bgr, 768), 0);
    GetHPaletteEntries(table.mid(0, 3), 256, back); // missing entries black
    EXPECT_EQ(back[8] * 1000 + back[9], bgr[8] * 1000);
    GetHPaletteEntries({}, 256, back);
    EXPECT_EQ(std::memcmp(back, GreyPalette.data(), 768), 0);
}
