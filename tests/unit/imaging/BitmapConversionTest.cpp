// Colour conversion: the fixed vectors of the matrices and the Lab formula,
// grey conversion of every pixel format, colour counts, lookups.
#include "TestHelpers.h"
#include "imaging/BitmapConversion.h"

using namespace imaging;
using itest::MessageOf;

namespace {

using Rgb = std::array<int, 3>;
using Bytes = std::vector<int>;

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

Bytes Map(const TLinearBitmap &b) { return Bytes(b.Map.get(), b.Map.get() + b.Size); }

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

TEST(BitmapConversion, CountsHistogramsAndLookups)
{
    TLinearBitmap black, idx, g16;
    black.New(40, 30, pf24bit);
    EXPECT_EQ(CountColors(black), 1);
    idx.New(8, 1, pf8bit);
    idx.Map[3] = 7;
    EXPECT_EQ(CountColors(idx), 2);
    // 32-bit: the fourth byte is no colour; 16-bit: grey levels, not bytes.
    const auto wide = Row24({{1, 2, 3}, {3, 2, 1}, {1, 2, 3}});
    wide->ChangePixelFormat(pf32bit);
    wide->Map[3] = 9;
    EXPECT_EQ(CountColors(*wide), 2);
    g16.New(3, 1, pf16bit);
    std::memcpy(g16.Map.get(), "\x01\x02\x02\x01\x01\x02", 6);
    EXPECT_EQ(CountColors(g16), 2);
    const auto b = Row24({{1, 2, 3}, {1, 5, 3}, {1, 2, 9}});
    THistogram h;
    h.Build(*b, 1); // green
    EXPECT_EQ(h.Count, 3);
    EXPECT_EQ((Bytes{int(h.Counts[2]), int(h.Counts[5]), h.UsedLevels()}), (Bytes{2, 1, 2}));
    h.Build(*b, 3);
    EXPECT_EQ((Bytes{h.Count, h.UsedLevels()}), (Bytes{9, 5}));
    TByteLookup inc;
    for (int i = 0; i < 256; ++i)
        inc.Table[i] = static_cast<std::uint8_t>(i + 1);
    ApplyLookup(inc, *b, 0); // blue only
    EXPECT_EQ(Map(*b), (Bytes{4, 2, 1, 4, 5, 1, 10, 2, 1}));
    ApplyLookup(inc, *b, 3);
    EXPECT_EQ(Map(*b), (Bytes{5, 3, 2, 5, 6, 2, 11, 3, 2}));
    ApplyLookup(inc, idx, 1); // 8-bit: every byte, whatever the channel
    EXPECT_EQ(Map(idx), (Bytes{1, 1, 1, 8, 1, 1, 1, 1}));
}

TEST(BitmapConversion, GreyConversionOfEveryFormat)
{
    TLinearBitmap idx; // through the palette: pure red at index 5 becomes 85
    idx.New(2, 1, pf8bit);
    idx.Palette[3 * 5 + 2] = 255;
    idx.Map[0] = 5;
    ConvertToGrey(idx);
    EXPECT_EQ(Map(idx), (Bytes{85, 0}));
    EXPECT_TRUE(idx.IsGreyscale());
    // (2R + 3G + B + 3) div 6 for 24- and 32-bit pixels, also when the copy
    // goes into its own source.
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
        EXPECT_EQ(Map(*g), g == &g16 ? (Bytes{0x55, 0x80}) : (Bytes{85, 128, 43, 18}));
    }
}
