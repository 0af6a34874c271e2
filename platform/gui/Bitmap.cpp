#include "platform/gui/Bitmap.h"

#include <QPainter>
#include <algorithm>
#include <cstring>

namespace platform {

QImage::Format TBitmap::QtFormat(TPixelFormat f)
{
    switch (f) {
    case TPixelFormat::pf1bit:
        return QImage::Format_Mono;
    case TPixelFormat::pf8bit:
        return QImage::Format_Indexed8;
    case TPixelFormat::pf15bit:
        return QImage::Format_RGB555;
    case TPixelFormat::pf16bit:
        return QImage::Format_RGB16;
    case TPixelFormat::pf24bit:
        return QImage::Format_BGR888;
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf32bit:
        break;
    }
    return QImage::Format_RGB32;
}

namespace {

QImage NewImage(int w, int h, QImage::Format f)
{
    if (std::int64_t(w) * std::int64_t(h) > TBitmap::MaxPixels)
        throw EOutOfResources("Out of system resources");
    QImage img(w, h, f);
    if (img.isNull())
        throw EOutOfResources("Out of system resources");
    std::memset(img.bits(), 0, std::size_t(img.sizeInBytes()));
    return img;
}

std::vector<QRgb> DefaultPalette(TPixelFormat f)
{
    std::vector<QRgb> pal;
    if (f == TPixelFormat::pf1bit)
        pal = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    else if (f == TPixelFormat::pf8bit)
        for (int i = 0; i < 256; ++i)
            pal.push_back(qRgb(i, i, i));
    return pal;
}

bool Indexed(TPixelFormat f)
{
    return f == TPixelFormat::pf1bit || f == TPixelFormat::pf8bit;
}

} // namespace

void TBitmap::SetSize(int w, int h)
{
    if (w <= 0 || h <= 0) {
        image_ = QImage();
        return;
    }
    if (w == Width() && h == Height())
        return;
    QImage img = NewImage(w, h, QtFormat(format_));
    if (Indexed(format_)) {
        const std::vector<QRgb> pal = palette_.empty() ? DefaultPalette(format_) : palette_;
        img.setColorTable(QList<QRgb>(pal.begin(), pal.end()));
    }
    if (!image_.isNull()) {
        const int rows = std::min(h, Height());
        const int bits = std::min(w, Width()) * img.depth();
        for (int y = 0; y < rows; ++y) {
            std::memcpy(img.scanLine(y), image_.constScanLine(y), std::size_t(bits / 8));
            if (bits % 8) {
                const unsigned mask = 0xffu << (8 - bits % 8);
                uchar &d = img.scanLine(y)[bits / 8];
                d = uchar((d & ~mask) | (image_.constScanLine(y)[bits / 8] & mask));
            }
        }
    }
    image_ = std::move(img);
}

void TBitmap::SetPixelFormat(TPixelFormat f)
{
    if (f == format_)
        return;
    const TPixelFormat old = format_;
    format_ = f;
    if (!Indexed(f))
        palette_.clear();
    if (image_.isNull() || QtFormat(f) == QtFormat(old))
        return;
    QImage img;
    if (Indexed(f) && !palette_.empty())
        img = image_.convertToFormat(QtFormat(f), QList<QRgb>(palette_.begin(), palette_.end()));
    else
        img = image_.convertToFormat(QtFormat(f));
    if (img.isNull())
        throw EOutOfResources("Out of system resources");
    image_ = std::move(img);
    if (Indexed(f) && palette_.empty()) {
        // A full palette, as the conversion may pick fewer colours.
        const auto table = image_.colorTable();
        palette_.assign(table.begin(), table.end());
        palette_.resize(f == TPixelFormat::pf1bit ? 2 : 256, qRgb(0, 0, 0));
        image_.setColorTable(QList<QRgb>(palette_.begin(), palette_.end()));
    }
}

std::vector<QRgb> TBitmap::Palette() const
{
    if (!Indexed(format_))
        return {};
    return palette_.empty() ? DefaultPalette(format_) : palette_;
}

void TBitmap::SetPalette(const std::vector<QRgb> &colors)
{
    if (!Indexed(format_))
        return;
    const std::size_t max = format_ == TPixelFormat::pf1bit ? 2 : 256;
    palette_.assign(colors.begin(), colors.begin() + std::min(colors.size(), max));
    if (!image_.isNull())
        image_.setColorTable(QList<QRgb>(palette_.begin(), palette_.end()));
}

std::uint8_t *TBitmap::ScanLine(int row)
{
    if (row < 0 || row >= Height())
        throw EInvalidGraphicOperation("Scan line index out of range");
    return image_.scanLine(row);
}

const std::uint8_t *TBitmap::ScanLine(int row) const
{
    if (row < 0 || row >= Height())
        throw EInvalidGraphicOperation("Scan line index out of range");
    return image_.constScanLine(row);
}

void TBitmap::Draw(int x, int y, const TBitmap &src)
{
    CopyRect({x, y, x + src.Width(), y + src.Height()}, src, {0, 0, src.Width(), src.Height()});
}

void TBitmap::CopyRect(const TRect &destRect, const TBitmap &src, const TRect &srcRect)
{
    // Sizes in 64 bits: callers may hand in any int rectangle.
    const std::int64_t dw = std::int64_t(destRect.Right) - destRect.Left;
    const std::int64_t dh = std::int64_t(destRect.Bottom) - destRect.Top;
    const std::int64_t sw = std::int64_t(srcRect.Right) - srcRect.Left;
    const std::int64_t sh = std::int64_t(srcRect.Bottom) - srcRect.Top;
    if (image_.isNull() || src.Empty() || dw == 0 || dh == 0 || sw == 0 || sh == 0)
        return;
    // Unscaled copies between bitmaps of one format are plain row moves,
    // clipped to both bitmaps.
    if (dw == sw && dh == sh && dw > 0 && dh > 0 && src.image_.format() == image_.format() &&
        image_.depth() >= 8) {
        const std::int64_t dx = std::int64_t(destRect.Left) - srcRect.Left;
        const std::int64_t dy = std::int64_t(destRect.Top) - srcRect.Top;
        const std::int64_t l = std::max<std::int64_t>({srcRect.Left, 0, -dx});
        const std::int64_t t = std::max<std::int64_t>({srcRect.Top, 0, -dy});
        const std::int64_t r = std::min<std::int64_t>({srcRect.Right, src.Width(), Width() - dx});
        const std::int64_t b = std::min<std::int64_t>({srcRect.Bottom, src.Height(), Height() - dy});
        if (r <= l || b <= t)
            return;
        const int bpp = image_.depth() / 8;
        for (std::int64_t y = t; y < b; ++y)
            std::memmove(image_.scanLine(int(y + dy)) + (l + dx) * bpp, src.image_.constScanLine(int(y)) + l * bpp,
                         std::size_t(r - l) * std::size_t(bpp));
        return;
    }
    // A stretched copy: only for rectangles a painter can take.
    constexpr std::int64_t lim = 1 << 28;
    for (std::int64_t v : {std::int64_t(destRect.Left), std::int64_t(destRect.Top), std::int64_t(destRect.Right),
                           std::int64_t(destRect.Bottom), std::int64_t(srcRect.Left), std::int64_t(srcRect.Top),
                           std::int64_t(srcRect.Right), std::int64_t(srcRect.Bottom)})
        if (v < -lim || v > lim)
            return;
    const QRect dst(destRect.Left, destRect.Top, int(dw), int(dh));
    const QRect from(srcRect.Left, srcRect.Top, int(sw), int(sh));
    if (Indexed(format_)) {
        // QPainter cannot paint on indexed images: go through 32 bits.
        QImage tmp = image_.convertToFormat(QImage::Format_RGB32);
        {
            QPainter p(&tmp);
            p.drawImage(dst, src.image_, from);
        }
        image_ = tmp.convertToFormat(QtFormat(format_), image_.colorTable());
        return;
    }
    QPainter p(&image_);
    p.drawImage(dst, src.image_, from);
}

void TBitmap::Assign(const QImage &img)
{
    switch (img.format()) {
    case QImage::Format_Invalid:
        image_ = QImage();
        format_ = TPixelFormat::pfDevice;
        palette_.clear();
        return;
    case QImage::Format_Mono:
        format_ = TPixelFormat::pf1bit;
        image_ = img;
        break;
    case QImage::Format_MonoLSB:
        format_ = TPixelFormat::pf1bit;
        image_ = img.convertToFormat(QImage::Format_Mono);
        break;
    case QImage::Format_Indexed8:
        format_ = TPixelFormat::pf8bit;
        image_ = img;
        break;
    case QImage::Format_RGB555:
        format_ = TPixelFormat::pf15bit;
        image_ = img;
        break;
    case QImage::Format_RGB16:
        format_ = TPixelFormat::pf16bit;
        image_ = img;
        break;
    case QImage::Format_BGR888:
        format_ = TPixelFormat::pf24bit;
        image_ = img;
        break;
    case QImage::Format_RGB888:
        format_ = TPixelFormat::pf24bit;
        image_ = img.convertToFormat(QImage::Format_BGR888);
        break;
    default:
        format_ = TPixelFormat::pf32bit;
        image_ = img.convertToFormat(QImage::Format_RGB32);
        break;
    }
    if (std::int64_t(image_.width()) * image_.height() > MaxPixels) {
        image_ = QImage();
        throw EOutOfResources("Out of system resources");
    }
    palette_.clear();
    if (Indexed(format_)) {
        const auto table = image_.colorTable();
        palette_.assign(table.begin(), table.end());
    }
}

} // namespace platform
