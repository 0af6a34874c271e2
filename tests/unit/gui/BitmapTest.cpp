#include "platform/gui/Bitmap.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using platform::TBitmap;
using platform::TPixelFormat;

namespace {
TBitmap Blank(TPixelFormat f, int w, int h)
{
    TBitmap b;
    return b.SetPixelFormat(f), b.SetSize(w, h), b;
}

TBitmap Pattern24(int w, int h)
{
    TBitmap b = Blank(TPixelFormat::pf24bit, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t *p = b.ScanLine(y) + 3 * x;
            p[0] = std::uint8_t(x); // blue
            p[1] = std::uint8_t(y); // green
            p[2] = std::uint8_t(x ^ y);
        }
    return b;
}

std::vector<int> Bytes(const TBitmap &b, int row, int n) { return {b.ScanLine(row), b.ScanLine(row) + n}; }
} // namespace

TEST(Bitmap, ResizingKeepsTheOverlappingPixels)
{
    // One-bit rows keep their partial byte; what a growth adds is zero.
    TBitmap m = Blank(TPixelFormat::pf1bit, 11, 1);
    m.ScanLine(0)[0] = 0xA5;
    m.ScanLine(0)[1] = 0xE0;
    m.SetSize(10, 1);
    m.SetSize(16, 1);
    EXPECT_EQ(Bytes(m, 0, 2), (std::vector<int>{0xA5, 0xC0}));
}

TEST(Bitmap, HostileSizesAndRowsAreRefused)
{
    TBitmap b = Pattern24(4, 4);
    EXPECT_THROW(b.SetSize(1 << 15, 1 << 14), platform::EOutOfResources);
    EXPECT_EQ(b.Width(), 4); // unchanged
    EXPECT_THAT([&] { b.ScanLine(4); }, testing::ThrowsMessage<platform::EInvalidGraphicOperation>(
                                             testing::StrEq("Scan line index out of range")));
    EXPECT_THROW(b.ScanLine(-1), platform::EInvalidGraphicOperation);
    b.SetSize(-5, 3);
    EXPECT_TRUE(b.Empty());
}

TEST(Bitmap, CopyRectAndDrawClipToBothBitmaps)
{
    const TBitmap src = Pattern24(10, 10);
    TBitmap dst = Blank(TPixelFormat::pf24bit, 6, 6);
    // Source partly outside: only the part inside arrives, at its place.
    dst.CopyRect({0, 0, 6, 6}, src, {7, 7, 13, 13});
    auto px = [](const TBitmap &b, int x, int y) { return b.Image().pixel(x, y); };
    EXPECT_EQ((std::vector{px(dst, 0, 0), px(dst, 2, 2), px(dst, 3, 3)}),
              (std::vector{px(src, 7, 7), px(src, 9, 9), qRgb(0, 0, 0)}));
    dst.Draw(-4, -5, src);
    EXPECT_EQ((std::vector{px(dst, 0, 0), px(dst, 5, 4)}), (std::vector{px(src, 4, 5), px(src, 9, 9)}));
    // Far outside: nothing happens. Extreme rectangles: no overflow, nothing
    // outside either bitmap touched.
    const TBitmap before = dst;
    dst.CopyRect({-100000, -100000, -99990, -99990}, src, {0, 0, 10, 10});
    EXPECT_EQ(dst.Image(), before.Image());
    dst.CopyRect({-2000000000, 0, 2000000000, 6}, src, {-2000000000, 0, 2000000000, 6});
    dst.CopyRect({0, 0, 2147483647, 6}, src, {-2147483647 - 1, 0, 0, 6});
    EXPECT_EQ(dst.Width(), 6);
}
