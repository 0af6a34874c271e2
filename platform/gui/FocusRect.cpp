#include "platform/gui/FocusRect.h"

#include <algorithm>
#include <cstdint>

namespace platform {

namespace {

void InvertPixel(QImage &img, int x, int y)
{
    uchar *line = img.scanLine(y);
    switch (img.depth()) {
    case 1: {
        const int bit = img.format() == QImage::Format_MonoLSB ? (x & 7) : 7 - (x & 7);
        line[x >> 3] ^= uchar(1u << bit);
        break;
    }
    case 8:
        line[x] ^= 0xff;
        break;
    case 16:
        line[2 * x] ^= 0xff;
        line[2 * x + 1] ^= 0xff;
        break;
    case 24:
        line[3 * x] ^= 0xff;
        line[3 * x + 1] ^= 0xff;
        line[3 * x + 2] ^= 0xff;
        break;
    case 32:
        // Colour bytes only; alpha stays.
        reinterpret_cast<QRgb *>(line)[x] ^= 0x00ffffffu;
        break;
    default:
        break;
    }
}

// Dots on a fixed checkerboard, so the pattern does not crawl while the
// rectangle changes.
void InvertDot(QImage &img, int x, int y)
{
    if (((x + y) & 1) == 0 && x >= 0 && y >= 0 && x < img.width() && y < img.height())
        InvertPixel(img, x, y);
}

} // namespace

void DrawFocusRect(QImage &img, const TRect &r)
{
    if (img.isNull() || r.Right <= r.Left || r.Bottom <= r.Top)
        return;
    // 64-bit edges: any int rectangle is fine, however far it reaches.
    const std::int64_t l = r.Left, t = r.Top, rx = std::int64_t(r.Right) - 1, b = std::int64_t(r.Bottom) - 1;
    // Loops bounded by the image, so a huge rectangle costs no more than the image.
    const int x0 = int(std::max<std::int64_t>(l, 0)), x1 = int(std::min<std::int64_t>(rx, img.width() - 1));
    const int y0 = int(std::max<std::int64_t>(t + 1, 0)), y1 = int(std::min<std::int64_t>(b - 1, img.height() - 1));
    const auto inside = [&](std::int64_t v, int size) { return v >= 0 && v < size; };
    for (int x = x0; x <= x1; ++x) {
        if (inside(t, img.height()))
            InvertDot(img, x, int(t));
        if (b != t && inside(b, img.height()))
            InvertDot(img, x, int(b));
    }
    for (int y = y0; y <= y1; ++y) {
        if (inside(l, img.width()))
            InvertDot(img, int(l), y);
        if (rx != l && inside(rx, img.width()))
            InvertDot(img, int(rx), y);
    }
}

QRegion FocusRectRegion(const TRect &r)
{
    if (r.Right <= r.Left || r.Bottom <= r.Top)
        return {};
    // Kept within what a QRect can hold; the region only steers repainting.
    const auto c = [](std::int64_t v) { return int(std::clamp<std::int64_t>(v, -(1 << 28), 1 << 28)); };
    const int l = c(r.Left), t = c(r.Top), rr = c(r.Right), bb = c(r.Bottom);
    QRegion reg;
    reg += QRect(QPoint(l, t), QPoint(rr - 1, t));
    reg += QRect(QPoint(l, bb - 1), QPoint(rr - 1, bb - 1));
    reg += QRect(QPoint(l, t), QPoint(l, bb - 1));
    reg += QRect(QPoint(rr - 1, t), QPoint(rr - 1, bb - 1));
    return reg;
}

} // namespace platform
