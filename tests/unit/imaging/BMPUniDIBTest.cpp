#include "imaging/BMPUniDIB.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace imaging;

TEST(UniDIB, RoundsDepthsAndSizes)
{
    const struct {
        int w, bits, h, wantBits, wantW, wantH, bpl;
    } cases[] = {{3, 2, 2, 4, 3, 2, 4},   {0, 15, 0, 16, 1, 1, 4}, {5, 0, -2, 1, 5, -2, 4},
                 {2, 25, 1, 32, 2, 1, 8}, {3, 24, 1, 24, 3, 1, 12}};
    for (const auto &c : cases) {
        const TUniDIB d(c.w, 0, c.bits, c.h);
        EXPECT_EQ(d.BitCount(), c.wantBits) << c.bits;
        EXPECT_EQ(d.Width(), c.wantW);
        EXPECT_EQ(d.Height(), c.wantH);
        EXPECT_EQ(d.BytesPerLine, c.bpl);
        EXPECT_EQ(d.HasPalette, c.wantBits <= 8);
    }
    EXPECT_THROW(TUniDIB(1 << 15, 0, 8, 1 << 14), ELinearBitmap);
}

// Where each depth keeps pixel X, that reading gives back what was set, and
// that positions outside the section change nothing.
TEST(UniDIB, PixelOperationsPerDepth)
{
    TUniDIB one(9, 0, 1, 1), four(3, 0, 4, 1), rgb(2, 0, 24, 2), wide(1, 0, 32, 1);
    one.SetPixel(0, 0, 1);
    one.SetPixel(8, 0, 5);
    EXPECT_EQ(std::vector<int>(one.Bits, one.Bits + 2), (std::vector<int>{0x80, 0x80}));
    four.SetPosition(0, 0);
    for (std::uint32_t v : {0xA, 0xB, 0xC})
        four.PutNext(v);
    EXPECT_EQ(std::vector<int>(four.Bits, four.Bits + 2), (std::vector<int>{0xAB, 0xC0}));
    four.SetPosition(1, 0);
    EXPECT_EQ(four.GetNext(), 0xBu);
    for (auto [x, y] : {std::pair{1, 1}, {2, 0}, {0, 2}, {-1, 0}})
        rgb.SetPixel(x, y, 0x112233);
    EXPECT_EQ(rgb.Bits[8 + 3], 0x33);
    EXPECT_EQ(rgb.GetPixel(1, 1), 0x112233u);
    EXPECT_EQ(std::count(rgb.Bits, rgb.Bits + rgb.ImageSize, 0), rgb.ImageSize - 3);
    wide.SetPosition(0, 0);
    wide.PutNext(0xDEADBEEF);
    wide.PutNext(1); // past the end: ignored
    EXPECT_EQ(wide.GetPixel(0, 0), 0xDEADBEEFu);
}

TEST(UniDIB, SixteenBitLayouts)
{
    // Channels 0x2B, 0x15, 0x0B (first six bits wide where the layout allows).
    const std::uint32_t v = 0x2B << 16 | 0x15 << 8 | 0x0B;
    const struct {
        int layout;
        std::uint32_t word, back;
    } cases[] = {{0, 0x0B << 10 | 0x15 << 5 | 0x0B, 0x0B << 16 | 0x15 << 8 | 0x0B},
                 {1, 0x8000 | 0x15 << 10 | 0x15 << 5 | 0x0B, v},
                 {2, 0x8000 | 0x0B << 10 | 0x0A << 5 | 0x0B, 0x0B << 16 | 0x15 << 8 | 0x0B},
                 {3, 0x8000 | 0x0B << 10 | 0x15 << 5 | 0x05, 0x0B << 16 | 0x15 << 8 | 0x0B}};
    for (const auto &c : cases) {
        TUniDIB d(1, c.layout, 16, 1);
        d.SetPixel(0, 0, v);
        EXPECT_EQ(static_cast<std::uint32_t>(d.Bits[0] | d.Bits[1] << 8), c.word) << c.layout;
        EXPECT_EQ(d.GetPixel(0, 0), c.back) << c.layout;
    }
}

TEST(UniDIB, ColourTableAndImage)
{
    TUniDIB d(2, 0, 8, 2); // bottom-up
    TLogPalette pal;
    pal.palPalEntry[7] = {200, 100, 50, 0};
    d.SetColorTable(pal);
    EXPECT_EQ(d.Info.Colors[7][0], 50);
    d.SetPixel(1, 0, 7); // memory row 0 is the picture's bottom row
    const QImage image = d.ToImage();
    EXPECT_EQ(image.pixel(1, 1), qRgb(200, 100, 50));
    EXPECT_EQ(image.pixel(1, 0), qRgb(0, 0, 0));
    TUniDIB rgb(1, 0, 24, 1);
    rgb.SetColorTable(pal); // no colour table: nothing happens
    EXPECT_EQ(rgb.Info.Colors[7][0], 0);
}
