// Colour conversion: the fixed vectors of the matrices and the Lab formula,
// grey conversion of every pixel format, colour counts, lookups.
#include "ErrorText.h"
#include "imaging/BitmapConversion.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace imaging;
using imaging_test::MessageOf;

namespace {

using Rgb = std::array<int, 3>;

// A one-row 24-bit image of the given (third, second, first) byte triples.
std::unique_ptr<TLinearBitmap> Row24(std::initializer_list<Rgb> px)
{
    auto b = std::make_unique<TLinearBitmap>();
    b->New(static_cast<int>(px.size()), 1, pf24bit);
    std::uint8_t *p = b->Map.get();
    for (const auto &c : px) {
        p[2] = static_cast<std::uint8_t>(c[0]), p[1] = static_cast<std::uint8_t>(c[1]),
        p[0] = static_cast<std::uint8_t>(c[2]);
        p += 3;
    }
    return b;
}

Rgb Pixel(const TLinearBitmap &b, int x)
{
    const std::uint8_t *p = b.Map.get() + x * b.PixelSize;
    return {p[2], p[1], p[0]};
}

} // namespace

TEST(BitmapConversion, YCbCrMatricesInvertEachOther)
{
    const double expected[3][4] = {
        {1.0, 0.0, 1.402, -178.754}, {1.0, -0.34413, -0.71414, 134.930}, {1.0, 1.772, 0.0, -225.936}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(YCbCrToRGBMatrix[i][j], expected[i][j], 2e-3) << i << "," << j;
    EXPECT_EQ(YCbCrToRGBMatrix[3], (std::array<double, 4>{0, 0, 0, 1}));
    TColorMatrix back;
    InvertMatrix(YCbCrToRGBMatrix, back);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(back[i][j], YCbCrMatrix[i][j], 1e-9);
}

TEST(BitmapConversion, ApplyMatrixVectorsRoundingAndClamping)
{
    const auto bOwner = Row24({{100, 128, 128}, {76, 85, 255}});
    TLinearBitmap &b = *bOwner;
    TLinearBitmap out;
    ApplyMatrix(b, YCbCrToRGBMatrix, &out);
    EXPECT_EQ(Pixel(out, 0), (Rgb{101, 99, 101}));
    EXPECT_EQ(Pixel(out, 1), (Rgb{255, 0, 1}));
    EXPECT_EQ(Pixel(b, 0), (Rgb{100, 128, 128})); // the source stays
    ApplyMatrix(b, YCbCrToRGBMatrix);
    EXPECT_EQ(Pixel(b, 1), (Rgb{255, 0, 1}));

    // Ties go to the even neighbour; out-of-range results clamp.
    const TColorMatrix half = {{{0.5, 0, 0, 0}, {0, 0, 0, -0.5}, {0, 0, 2, 0}, {0, 0, 0, 1}}};
    struct Case { int c0, c2; Rgb out; } cases[] = {
        {5, 0, {2, 0, 0}}, {7, 200, {4, 0, 255}}, {1, 1, {0, 0, 2}}, {3, 127, {2, 0, 254}}};
    for (const auto &c : cases) {
        std::uint8_t o0, o1, o2;
        ApplyMatrixToPixel(static_cast<std::uint8_t>(c.c0), 9, static_cast<std::uint8_t>(c.c2), half, o0, o1, o2);
        EXPECT_EQ((Rgb{o0, o1, o2}), c.out) << c.c0;
    }
    TLinearBitmap grey;
    grey.New(2, 2, pf8bit);
    EXPECT_EQ(MessageOf<ELinearBitmap>([&] { ApplyMatrix(grey, YCbCrToRGBMatrix); }), "Unsupported pixel format");
}

TEST(BitmapConversion, LabToRGBWithoutGamma)
{
    const auto bOwner = Row24({{255, 128, 128}, {0, 128, 128}, {128, 128, 128}, {128, 255, 0}});
    TLinearBitmap &b = *bOwner;
    ApplyPixelFunction(b, LabToRGB);
    EXPECT_EQ(Pixel(b, 0), (Rgb{255, 254, 253}));
    EXPECT_EQ(Pixel(b, 1), (Rgb{0, 0, 0}));
    EXPECT_EQ(Pixel(b, 2), (Rgb{48, 47, 47}));
    EXPECT_EQ(Pixel(b, 3), (Rgb{117, 0, 255})); // a = +100, b = -100: clamped at both ends
}

TEST(BitmapConversion, CountColorsMeansColoursInEveryFormat)
{
    TLinearBitmap black;
    black.New(40, 30, pf24bit);
    EXPECT_EQ(CountColors(black), 1);
    EXPECT_EQ(CountColors(*Row24({{1, 2, 3}, {3, 2, 1}, {1, 2, 3}, {0, 0, 0}, {255, 255, 255}})), 4);

    TLinearBitmap idx;
    idx.New(8, 1, pf8bit);
    idx.Map[3] = 7;
    EXPECT_EQ(CountColors(idx), 2);

    // 32-bit: the fourth byte is no colour; 16-bit: grey levels, not bytes.
    const auto wideOwner = Row24({{1, 2, 3}, {3, 2, 1}, {1, 2, 3}});
    TLinearBitmap &wide = *wideOwner;
    wide.ChangePixelFormat(pf32bit);
    wide.Map[3] = 9;
    EXPECT_EQ(CountColors(wide), 2);
    TLinearBitmap g16;
    g16.New(3, 1, pf16bit);
    const std::uint8_t samples[] = {0x01, 0x02, 0x02, 0x01, 0x01, 0x02};
    std::memcpy(g16.Map.get(), samples, 6);
    EXPECT_EQ(CountColors(g16), 2);
    EXPECT_EQ(CountColors(TLinearBitmap()), 0);
}

TEST(BitmapConversion, HistogramAndLookupSelectChannels)
{
    const auto bOwner = Row24({{1, 2, 3}, {1, 5, 3}, {1, 2, 9}});
    TLinearBitmap &b = *bOwner;
    THistogram h;
    h.Build(b, 1); // green
    EXPECT_EQ(h.Count, 3);
    EXPECT_EQ(h.Counts[2], 2u);
    EXPECT_EQ(h.Counts[5], 1u);
    EXPECT_EQ(h.UsedLevels(), 2);
    h.Build(b, 3);
    EXPECT_EQ(h.Count, 9);
    EXPECT_EQ(h.UsedLevels(), 5);

    TByteLookup inc;
    for (int i = 0; i < 256; ++i)
        inc.Table[i] = static_cast<std::uint8_t>(i + 1);
    ApplyLookup(inc, b, 0); // blue, the first byte
    EXPECT_EQ(Pixel(b, 2), (Rgb{1, 2, 10}));
    EXPECT_EQ(Pixel(b, 0), (Rgb{1, 2, 4}));
    ApplyLookup(inc, b, 3);
    EXPECT_EQ(Pixel(b, 0), (Rgb{2, 3, 5}));

    // 32-bit images select by their own pixel size.
    b.ChangePixelFormat(pf32bit);
    h.Build(b, 2);
    EXPECT_EQ(h.Count, 3);
    EXPECT_EQ(h.Counts[2], 3u);
    TLinearBitmap idx;
    idx.New(4, 1, pf8bit);
    ApplyLookup(inc, idx, 1); // 8-bit images take every byte whatever the channel
    EXPECT_EQ(std::vector<int>(idx.Map.get(), idx.Map.get() + 4), std::vector<int>(4, 1));
}

TEST(BitmapConversion, GreyConversionOfEveryFormat)
{
    // 8-bit through the palette: pure red at index 5 becomes 85.
    TLinearBitmap idx;
    idx.New(2, 1, pf8bit);
    idx.Palette[3 * 5 + 2] = 255;
    idx.Map[0] = 5;
    ConvertToGrey(idx);
    EXPECT_EQ(idx.Map[0], 85);
    EXPECT_EQ(idx.Map[1], 0);
    EXPECT_EQ(std::memcmp(idx.Palette.get(), GreyPalette.data(), 768), 0);

    const auto expectGrey = [](const TLinearBitmap &g, std::vector<int> want) {
        EXPECT_EQ(g.PixelFormat, pf8bit);
        EXPECT_TRUE(g.IsGreyscale());
        EXPECT_EQ(std::vector<int>(g.Map.get(), g.Map.get() + g.Size), want);
    };
    // (2R + 3G + B + 3) div 6 for 24- and 32-bit pixels.
    const auto colourOwner = Row24({{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}});
    const TLinearBitmap &colour = *colourOwner;
    const std::vector<int> greys = {85, 128, 43, 18};
    TLinearBitmap copy;
    MakeGreyCopy(colour, copy);
    expectGrey(copy, greys);
    TLinearBitmap wide;
    wide.Assign(colour);
    wide.ChangePixelFormat(pf32bit);
    ConvertToGrey(wide);
    expectGrey(wide, greys);

    // Source and destination the same bitmap: the pixels are read before they go.
    TLinearBitmap self;
    self.Assign(colour);
    MakeGreyCopy(self, self);
    expectGrey(self, greys);

    TLinearBitmap g16;
    g16.New(2, 1, pf16bit);
    g16.Map[1] = 0x80;
    g16.Map[3] = 0xFF;
    ConvertToGrey(g16);
    expectGrey(g16, {0x80, 0xFF});
}
