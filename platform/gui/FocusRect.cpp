#include "platform/gui/FocusRect.h"

#include <algorithm>

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
    if (img.isNull() || r.Width() <= 0 || r.Height() <= 0)
        return;
    const int l = r.Left, t = r.Top, rx = r.Right - 1, b = r.Bottom - 1;
    // Loops bounded by the image so a huge rectangle costs no more than the image.
    const int x0 = std::max(l, -1), x1 = std::min(rx, img.width());
    const int y0 = std::max(t + 1, -1), y1 = std::min(b - 1, img.height());
    for (int x = x0; x <= x1; ++x) {
        InvertDot(img, x, t);
        if (b != t)
            InvertDot(img, x, b);
    }
    for (int y = y0; y <= y1; ++y) {
        InvertDot(img, l, y);
        if (rx != l)
            InvertDot(img, rx, y);
    }
}

QRegion FocusRectRegion(const TRect &r)
{
    if (r.Width() <= 0 || r.Height() <= 0)
        return {};
    QRegion reg;
    reg += QRect(r.Left, r.Top, r.Width(), 1);
    reg += QRect(r.Left, r.Bottom - 1, r.Width(), 1);
    reg += QRect(r.Left, r.Top, 1, r.Height());
    reg += QRect(r.Right - 1, r.Top, 1, r.Height());
    return reg;
}

} // namespace platform
