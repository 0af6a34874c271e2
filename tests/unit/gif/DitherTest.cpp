// Dither engines through colour reduction: serpentine order and error
// arithmetic worked by hand, and what must not change the result.
#include "gif/ColorReduction.h"

#include <gtest/gtest.h>

#include <random>

using namespace gif;

namespace {

std::vector<int> Indices(const QImage &img)
{
    std::vector<int> v;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            v.push_back(img.pixelIndex(x, y));
    return v;
}

QImage Filled(int w, int h, QRgb c)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

} // namespace

TEST(DitherTest, FloydSteinbergRunsTheSecondRowFromTheRight)
{
    // Grey 100 to black and white. Row 0 left to right: 100 -> black,
    // 100 + 700/16 -> white, ... Row 1 starts at the right edge with the
    // errors gathered under it (worked out by hand).
    const QImage r = ReduceColors(Filled(4, 2, qRgb(100, 100, 100)), crBlackWhite, dmFloydSteinberg, 8);
    EXPECT_EQ(Indices(r), (std::vector<int>{0, 1, 0, 0, 1, 0, 0, 1}));
}

TEST(DitherTest, ColoursInThePaletteGiveNoError)
{
    std::mt19937 rng(5);
    QImage img(31, 17, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, qRgb(int(rng() % 6) * 51, int(rng() % 6) * 51, int(rng() % 6) * 51));
    const auto nearest = Indices(ReduceColors(img, crWebPalette, dmNearest, 8));
    for (int mode = dmFloydSteinberg; mode <= dmBurkes; ++mode)
        EXPECT_EQ(Indices(ReduceColors(img, crWebPalette, mode, 8)), nearest) << mode;
}

TEST(DitherTest, EveryEngineKeepsTheAverageAndStaysInRange)
{
    // Mid grey over black and white: about half the pixels white, whatever
    // the kernel; and one-pixel-wide or extreme pictures cannot leave the
    // palette or the rows.
    for (int mode = dmFloydSteinberg; mode <= dmBurkes; ++mode) {
        const auto v = Indices(ReduceColors(Filled(40, 40, qRgb(128, 128, 128)), crBlackWhite, mode, 8));
        const long white = std::count(v.begin(), v.end(), 1);
        EXPECT_NEAR(double(white) / double(v.size()), 128.0 / 255.0, 0.03) << mode;
        for (const QImage &img : {Filled(1, 9, qRgb(200, 10, 128)), Filled(9, 1, qRgb(255, 255, 255)),
                                  Filled(5, 5, qRgb(0, 0, 0))}) {
            const auto idx = Indices(ReduceColors(img, crFourGreys, mode, 8));
            EXPECT_TRUE(std::all_of(idx.begin(), idx.end(), [](int i) { return i >= 0 && i < 4; })) << mode;
        }
    }
}
