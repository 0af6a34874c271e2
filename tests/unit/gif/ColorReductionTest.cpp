// Colour reduction and lookups: the general lookup against an exhaustive search,
// error diffusion worked by hand, and the quality of a real screenshot.
#include "gif/ColorReduction.h"
#include "GIFTestUtil.h"
#include "TestUtil.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <random>
#include <set>

using namespace gif;

namespace {
QImage Solid(int w, int h, std::initializer_list<QRgb> colours)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int i = 0; i < w * h; ++i)
        img.setPixel(i % w, i / w, colours.begin()[std::size_t(i) % colours.size()]);
    return img;
}

std::vector<int> Indices(const QImage &img)
{
    std::vector<int> v(std::size_t(img.width() * img.height()));
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = img.pixelIndex(int(i) % img.width(), int(i) / img.width());
    return v;
}

double Psnr(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_BGR888), y = b.convertToFormat(QImage::Format_BGR888);
    double sum = 0;
    for (int r = 0; r < x.height(); ++r)
        for (int i = 0; i < x.width() * 3; ++i)
            sum += std::pow(double(x.constScanLine(r)[i]) - y.constScanLine(r)[i], 2);
    return 10 * std::log10(255.0 * 255.0 / (sum / (double(x.width()) * x.height() * 3)));
}
} // namespace

TEST(ColorReductionTest, FixedLookups)
{
    const auto look = [](TColorLookup &&l, int r0, int g0, int b0) { int r, g, b, i = l.Lookup(r0, g0, b0, r, g, b); return std::array{i, r, g, b}; };
    EXPECT_EQ(look(TNetscapeColorLookup(TPalette{}), 47, 48, 255), (std::array{11, 0, 51, 255}));
    EXPECT_EQ(look(TMonochromeLookup(TPalette{}), 127, 127, 127), (std::array{0, 0, 0, 0}));
    EXPECT_EQ(look(TMonochromeLookup(TPalette{}), 128, 128, 128), (std::array{1, 255, 255, 255}));
}

TEST(ColorReductionTest, PaletteLookupFindsTheNearestEntry)
{
    std::mt19937 rng(3);
    for (int n : {1, 2, 20, 256}) {
        TPalette pal;
        for (int i = 0; i < n; ++i)
            pal.push_back(qRgb(int(rng() % 256), int(rng() % 256), int(rng() % 256)));
        pal.push_back(pal.front()); // a duplicate: the lower index wins
        TSlowColorLookup lookup(pal);
        for (int k = 0; k < 20000; ++k) {
            const int c[3] = {int(rng() % 256), int(rng() % 256), int(rng() % 256)};
            const auto sq = [](int d) { return d * d; };
            const auto dist = [&](QRgb p) { return sq(c[0] - qRed(p)) + sq(c[1] - qGreen(p)) + sq(c[2] - qBlue(p)); };
            const auto best = std::min_element(pal.begin(), pal.end(), [&](QRgb a, QRgb b) { return dist(a) < dist(b); });
            int r, g, b;
            ASSERT_EQ(lookup.Lookup(c[0], c[1], c[2], r, g, b), best - pal.begin()) << n;
            ASSERT_EQ(qRgb(r, g, b), *best);
        }
    }
}

TEST(ColorReductionTest, OctreePalettes)
{
    const QImage rgb = Solid(3, 1, {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)}).convertToFormat(QImage::Format_BGR888);
    // Exact colours when they fit; the rest of the palette is black.
    const TPalette four = MakeOctreePalette(rgb, 4, 8, false);
    EXPECT_EQ(std::set<QRgb>(four.begin(), four.end()),
              (std::set<QRgb>{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(0, 0, 0)}));
}

TEST(ColorReductionTest, EveryMethodGivesItsPaletteAndLeavesTheSourceAlone)
{
    const QImage src = Solid(37, 23, {qRgb(10, 200, 30), qRgb(255, 128, 0), qRgb(90, 90, 90), qRgb(0, 0, 255)})
                           .convertToFormat(QImage::Format_ARGB32);
    const QImage before = src.copy();
    // The octree with 3 bits gives 8 colours; the custom palette its 3.
    for (const auto &[method, colours] : {std::pair{crOctree, 8}, {crOctreeSystem, 256}, {crCustomPalette, 3}, {crWebPalette, 216}})
        for (int dither = dmNearest; dither <= dmBurkes; ++dither) {
            const QImage r = ReduceColors(src, method, dither, 3, {qRgb(1, 1, 1), qRgb(2, 2, 2), qRgb(3, 3, 3)});
            EXPECT_TRUE(r.format() == QImage::Format_Indexed8 && r.colorCount() == colours && r.size() == src.size()) << method;
        }
    EXPECT_EQ(ReduceColors(src, crNone, dmNearest, 0).format(), QImage::Format_BGR888);
    EXPECT_EQ(src, before); // format and pixels
}

TEST(ColorReductionTest, BadArgumentsRaise)
{
    // The bits only matter to the octree; a custom palette needs colours.
    const struct { int method, dither, bits; const char *text; } cases[] = {
        {10, 0, 8, "Invalid reduction method"}, {crWebPalette, 7, 8, "Invalid reduction method"},
        {crCustomPalette, 0, 8, "Invalid reduction method"}, {crOctree, 0, 0, "Invalid reduction bits"}, {crOctree, 0, 1, ""}};
    for (const auto &c : cases)
        EXPECT_EQ(gif_test::MessageOf([&] { ReduceColors(Solid(2, 2, {qRgb(1, 2, 3)}), c.method, c.dither, c.bits, {}); }), c.text) << c.method << " " << c.dither << " " << c.bits;
}

TEST(ColorReductionTest, OctreeFloydSteinbergQualityOnAScreenshot)
{
    const QImage screen(QString::fromStdString(testutil::TestData("screens/web-docs-1920x1080.png")));
    ASSERT_FALSE(screen.isNull());
    EXPECT_GT(Psnr(screen, ReduceColors(screen, crOctree, dmFloydSteinberg, 8)), 41.0); // Pillow's quantize with dithering: 39.2 dB
}

TEST(DitherTest, FloydSteinbergWorkedByHand)
{
    // Grey 100 to black and white. Row 0 left to right: 100 -> black, 100 + 700/16 -> white, ...
    // Row 1 starts at the right edge with the errors gathered under it.
    EXPECT_EQ(Indices(ReduceColors(Solid(4, 2, {qRgb(100, 100, 100)}), crBlackWhite, dmFloydSteinberg, 8)),
              (std::vector<int>{0, 1, 0, 0, 1, 0, 0, 1}));
    // One pixel wide: only the error straight below is kept: grey 128 alternates white and black.
    EXPECT_EQ(Indices(ReduceColors(Solid(1, 6, {qRgb(128, 128, 128)}), crBlackWhite, dmFloydSteinberg, 8)),
              (std::vector<int>{1, 0, 1, 0, 1, 0}));
    // Three rows of greys to three greys, the middle row right to left: the 3/16 behind and the 1/16 ahead land
    // where the direction of travel says. Worked out apart from this code.
    const int grey[12] = {200, 168, 248, 56, 192, 192, 104, 0, 136, 96, 232, 208};
    QImage greys(4, 3, QImage::Format_RGB32);
    for (int i = 0; i < 12; ++i)
        greys.setPixel(i % 4, i / 4, qRgb(grey[i], grey[i], grey[i]));
    const TPalette three{qRgb(0, 0, 0), qRgb(128, 128, 128), qRgb(255, 255, 255)};
    EXPECT_EQ(Indices(ReduceColors(greys, crCustomPalette, dmFloydSteinberg, 8, three)),
              (std::vector<int>{2, 1, 2, 0, 1, 2, 1, 0, 1, 1, 2, 1}));
}
