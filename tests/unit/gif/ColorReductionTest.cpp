// Colour reduction and the colour lookups: the fixed lookups' formulas, the
// general lookup against an exhaustive search, the octree palettes, refused
// arguments, and the quality of a real screenshot.
#include "gif/ColorReduction.h"
#include "gif/GIFUtils.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

using namespace gif;

namespace {

QImage Solid(int w, int h, std::initializer_list<QRgb> colours)
{
    QImage img(w, h, QImage::Format_RGB32);
    auto it = colours.begin();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            img.setPixel(x, y, *it);
            if (++it == colours.end())
                it = colours.begin();
        }
    return img;
}

std::string ErrorOf(int method, int dither, int bits, const TPalette &pal = {})
{
    try {
        ReduceColors(Solid(2, 2, {qRgb(1, 2, 3)}), method, dither, bits, pal);
    } catch (const GIFException &e) {
        return e.what();
    }
    return "";
}

double Psnr(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_BGR888), y = b.convertToFormat(QImage::Format_BGR888);
    double sum = 0;
    for (int r = 0; r < x.height(); ++r)
        for (int i = 0; i < x.width() * 3; ++i) {
            const double d = double(x.constScanLine(r)[i]) - y.constScanLine(r)[i];
            sum += d * d;
        }
    return 10 * std::log10(255.0 * 255.0 / (sum / (double(x.width()) * x.height() * 3)));
}

} // namespace

TEST(ColorReductionTest, FixedLookups)
{
    struct Case {
        std::unique_ptr<TColorLookup> lookup;
        int in[3];
        int index, out[3];
    };
    Case cases[] = {
        {std::make_unique<TNetscapeColorLookup>(TPalette{}), {47, 48, 255}, 11, {0, 51, 255}},
        {std::make_unique<TMonochromeLookup>(TPalette{}), {127, 127, 127}, 0, {0, 0, 0}},
        {std::make_unique<TMonochromeLookup>(TPalette{}), {128, 128, 128}, 1, {255, 255, 255}},
        {std::make_unique<TGrayScaleLookup>(TPalette{}), {255, 0, 0}, 76, {76, 76, 76}},
    };
    for (Case &c : cases) {
        int r, g, b;
        EXPECT_EQ(c.lookup->Lookup(c.in[0], c.in[1], c.in[2], r, g, b), c.index);
        EXPECT_EQ((std::array{r, g, b}), (std::array{c.out[0], c.out[1], c.out[2]}));
    }
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
            int best = 0, bestD = 1 << 30;
            for (int i = 0; i < int(pal.size()); ++i) {
                const int d = (c[0] - qRed(pal[std::size_t(i)])) * (c[0] - qRed(pal[std::size_t(i)])) +
                              (c[1] - qGreen(pal[std::size_t(i)])) * (c[1] - qGreen(pal[std::size_t(i)])) +
                              (c[2] - qBlue(pal[std::size_t(i)])) * (c[2] - qBlue(pal[std::size_t(i)]));
                if (d < bestD)
                    bestD = d, best = i;
            }
            int r, g, b;
            ASSERT_EQ(lookup.Lookup(c[0], c[1], c[2], r, g, b), std::min(best, 255)) << n;
            EXPECT_EQ(qRgb(r, g, b), pal[std::size_t(best)]);
        }
    }
}

TEST(ColorReductionTest, OctreePalettes)
{
    const QImage rgb = Solid(3, 1, {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)}).convertToFormat(QImage::Format_BGR888);
    const TPalette two = MakeOctreePalette(rgb, 2, 8, false);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_NE(two[0], two[1]);
    // Exact colours when they fit; the rest of the palette is black.
    const TPalette four = MakeOctreePalette(rgb, 4, 8, false);
    EXPECT_EQ(std::set<QRgb>(four.begin(), four.end()),
              (std::set<QRgb>{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(0, 0, 0)}));
    const QImage reduced = ReduceColors(Solid(64, 64, {qRgb(7, 200, 90), qRgb(250, 250, 1)}), crOctreeSystem, dmNearest, 0);
    const auto table = reduced.colorTable();
    ASSERT_EQ(table.size(), 256);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(table[i], SystemPalette20()[std::size_t(i)]);
        EXPECT_EQ(table[246 + i], SystemPalette20()[std::size_t(10 + i)]);
    }
    EXPECT_EQ(reduced.pixelColor(0, 0).rgb(), qRgb(7, 200, 90));
    EXPECT_EQ(reduced.pixelColor(1, 0).rgb(), qRgb(250, 250, 1));
}

TEST(ColorReductionTest, EveryMethodGivesItsPaletteAndLeavesTheSourceAlone)
{
    const QImage src = Solid(37, 23, {qRgb(10, 200, 30), qRgb(255, 128, 0), qRgb(90, 90, 90), qRgb(0, 0, 255)})
                           .convertToFormat(QImage::Format_ARGB32);
    const QImage before = src.copy();
    const std::pair<int, int> sizes[] = {{crSystem20, 20}, {crHalftone, 256}, {crFourGreys, 4}, {crBlackWhite, 2},
                                         {crGreys256, 256}, {crWebPalette, 216}, {crOctree, 8},
                                         {crOctreeSystem, 256}, {crCustomPalette, 3}};
    for (const auto &[method, colours] : sizes)
        for (int dither = dmNearest; dither <= dmBurkes; ++dither) {
            const QImage r = ReduceColors(src, method, dither, 3, {qRgb(1, 1, 1), qRgb(2, 2, 2), qRgb(3, 3, 3)});
            ASSERT_EQ(r.format(), QImage::Format_Indexed8);
            EXPECT_EQ(r.colorCount(), colours) << method;
            EXPECT_EQ(r.size(), src.size());
        }
    EXPECT_EQ(ReduceColors(src, crNone, dmNearest, 0).format(), QImage::Format_BGR888);
    EXPECT_EQ(src.format(), QImage::Format_ARGB32);
    EXPECT_EQ(src, before);
}

TEST(ColorReductionTest, BadArgumentsRaise)
{
    EXPECT_EQ(ErrorOf(10, 0, 8), "Invalid reduction method");
    EXPECT_EQ(ErrorOf(crWebPalette, 7, 8), "Invalid reduction method");
    EXPECT_EQ(ErrorOf(crCustomPalette, 0, 8), "Invalid reduction method");
    for (int bits : {-1, 0, 9, 31})
        EXPECT_EQ(ErrorOf(crOctree, 0, bits), "Invalid reduction bits") << bits;
    EXPECT_EQ(ErrorOf(crOctree, 0, 1), "");
    EXPECT_EQ(ErrorOf(crWebPalette, 0, 0), ""); // the bits only matter to the octree
}

TEST(ColorReductionTest, OctreeFloydSteinbergQualityOnAScreenshot)
{
    const QImage screen(QString::fromStdString(testutil::TestData("screens/web-docs-1920x1080.png")));
    ASSERT_FALSE(screen.isNull());
    const QImage reduced = ReduceColors(screen, crOctree, dmFloydSteinberg, 8);
    EXPECT_GT(Psnr(screen, reduced), 36.0);
}
