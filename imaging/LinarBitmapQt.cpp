// The linear bitmap's meeting points with Qt's QImage and QPainter.
#include "imaging/LinarBitmap.h"

#include <QImage>
#include <QPainter>

#include <cstring>

namespace imaging {

void TLinearBitmap::AssignFromBitmap(const QImage &Bitmap)
{
    if (Bitmap.isNull() || Bitmap.width() == 0 || Bitmap.height() == 0) {
        Clear();
        return;
    }
    QImage converted;
    const QImage *src = &Bitmap;
    TPixelFormat pf;
    switch (Bitmap.format()) {
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8: pf = pf8bit; break;
    case QImage::Format_Grayscale16: pf = pf16bit; break;
    case QImage::Format_BGR888: pf = pf24bit; break;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32: pf = pf32bit; break;
    default:
        if (Bitmap.hasAlphaChannel()) {
            converted = Bitmap.convertToFormat(QImage::Format_ARGB32);
            pf = pf32bit;
        } else {
            converted = Bitmap.convertToFormat(QImage::Format_BGR888);
            pf = pf24bit;
        }
        if (converted.isNull())
            throw ELinearBitmap("Unsupported pixel format");
        src = &converted;
        break;
    }
    New(src->width(), src->height(), pf);
    for (int y = 0; y < Height; ++y)
        std::memcpy(ScanLine(y), src->constScanLine(y), static_cast<std::size_t>(BytesPerLine));
    if (pf == pf8bit) {
        if (src->format() == QImage::Format_Indexed8)
            GetHPaletteEntries(src->colorTable(), 256, Palette.get());
        else
            std::memcpy(Palette.get(), GreyPalette.data(), 768);
    }
}

void TLinearBitmap::AssignTo(QImage &Dest) const
{
    if (!Present || !Map)
        return;
    QImage::Format format;
    switch (PixelFormat) {
    case pf8bit:
    case pf16bit: format = QImage::Format_Indexed8; break;
    case pf24bit: format = QImage::Format_BGR888; break;
    case pf32bit: format = QImage::Format_RGB32; break;
    default: throw ELinearBitmap("Unsupported pixel format");
    }
    QImage image(Width, Height, format);
    if (image.isNull())
        throw platform::EOutOfResources("Not enough memory for a " + std::to_string(Width) + " x " +
                                        std::to_string(Height) + " image");
    if (PixelFormat == pf8bit)
        image.setColorTable(MakeHPalette(Palette ? Palette.get() : GreyPalette.data(), 256));
    else if (PixelFormat == pf16bit)
        image.setColorTable(MakeHPalette(GreyPalette.data(), 256));
    for (int y = 0; y < Height; ++y) {
        const std::uint8_t *s = ScanLine(y);
        std::uint8_t *d = image.scanLine(y);
        switch (PixelFormat) {
        case pf16bit:
            for (int x = 0; x < Width; ++x)
                d[x] = s[2 * x + 1];
            break;
        case pf32bit:
            std::memcpy(d, s, static_cast<std::size_t>(BytesPerLine));
            for (int x = 0; x < Width; ++x)
                d[4 * x + 3] = 0xFF; // Qt's RGB32 wants an opaque fourth byte
            break;
        default: std::memcpy(d, s, static_cast<std::size_t>(BytesPerLine)); break;
        }
    }
    Dest = std::move(image);
}

void TLinearBitmap::PaintToDC(QPainter &Painter, const QRect &Rect, bool Smooth) const
{
    if (!Present || !Map)
        return;
    if (PixelFormat != pf8bit && PixelFormat != pf16bit && PixelFormat != pf24bit && PixelFormat != pf32bit)
        throw Exception("Unsupported pixel format");
    QImage image;
    AssignTo(image);
    const bool was = Painter.testRenderHint(QPainter::SmoothPixmapTransform);
    Painter.setRenderHint(QPainter::SmoothPixmapTransform, Smooth);
    Painter.drawImage(Rect, image);
    Painter.setRenderHint(QPainter::SmoothPixmapTransform, was);
}

} // namespace imaging
