#include "platform/gui/FocusRect.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using platform::DrawFocusRect;
using platform::TRect;

namespace {
QImage Noise(int w, int h, QImage::Format f, quint32 seed)
{
    QImage img(w, h, f);
    if (f == QImage::Format_Indexed8 || f == QImage::Format_Mono) {
        QList<QRgb> table; // a grey ramp
        for (int i = 0, n = f == QImage::Format_Mono ? 2 : 256; i < n; ++i)
            table.push_back(qRgb(i * 255 / (n - 1), i * 255 / (n - 1), i * 255 / (n - 1)));
        img.setColorTable(table);
    }
    QRandomGenerator rng(seed);
    for (int y = 0; y < h; ++y)
        for (qsizetype i = 0; i < img.bytesPerLine(); ++i)
            img.scanLine(y)[i] = uchar(rng.bounded(256));
    return img;
}

// How many pixels differ between two images of one format.
int Changed(const QImage &a, const QImage &b)
{
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}
} // namespace

TEST(FocusRect, DrawingTwiceRestoresTheImageInEveryFormat)
{
    const QImage::Format formats[] = {QImage::Format_BGR888, QImage::Format_RGB32, QImage::Format_Indexed8,
                                      QImage::Format_Mono, QImage::Format_RGB16};
    // Clipped on either side, one pixel wide or high (each pixel touched once), empty.
    const TRect rects[] = {{-5, -5, 10, 10}, {20, 10, 60, 50}, {5, 5, 6, 30}, {5, 5, 30, 6}, {7, 7, 7, 12}};
    for (QImage::Format f : formats)
        for (const TRect &r : rects) {
            const QImage orig = Noise(40, 30, f, quint32(f) * 31 + quint32(r.Left + 100));
            QImage img = orig;
            DrawFocusRect(img, r);
            DrawFocusRect(img, r);
            EXPECT_EQ(img, orig) << f << ": " << r.Left << "," << r.Top << "," << r.Right << "," << r.Bottom;
        }
}

TEST(FocusRect, InvertsEveryOtherBorderPixelOnce)
{
    const QImage orig = Noise(50, 40, QImage::Format_BGR888, 7);
    QImage img = orig;
    const TRect r{10, 5, 20, 12}; // 10 x 7; right/bottom exclusive
    DrawFocusRect(img, r);
    int expected = 0;
    for (int y = r.Top; y < r.Bottom; ++y)
        for (int x = r.Left; x < r.Right; ++x) {
            const bool border = x == r.Left || x == r.Right - 1 || y == r.Top || y == r.Bottom - 1;
            if (border && (x + y) % 2 == 0) {
                ++expected;
                // Inverted, not double-inverted at the corners.
                EXPECT_EQ(img.pixel(x, y) & 0xffffff, ~orig.pixel(x, y) & 0xffffff) << x << "," << y;
            }
        }
    EXPECT_EQ(Changed(orig, img), expected); // so nothing off the border changed
}

TEST(FocusRect, EmptyAndFarAwayRectanglesChangeNothingAndTheRegionIsTheEdges)
{
    const QImage orig = Noise(20, 20, QImage::Format_RGB32, 3);
    QImage img = orig, none;
    for (const TRect &r : {TRect{5, 5, 5, 9}, TRect{9, 5, 5, 9}, TRect{-2000000000, -2000000000, 2000000000, 2000000000},
                           TRect{100, 100, 200, 200}})
        DrawFocusRect(img, r);
    EXPECT_EQ(img, orig);
    DrawFocusRect(none, {0, 0, 5, 5});
    EXPECT_TRUE(none.isNull());
}
