#pragma once
// The class-library bitmap: a QImage in one of the device-independent pixel
// formats, rows 4-byte aligned, top row first. Only QtGui is needed, so the
// image libraries can use it without widgets.
#include "platform/core/Exceptions.h"
#include "platform/core/Geometry.h"

#include <QImage>
#include <cstdint>
#include <vector>

namespace platform {

KSS_DECLARE_EXCEPTION(EInvalidGraphicOperation, Exception)

// pfDevice is held as 32-bit. There is no 4-bit storage.
enum class TPixelFormat { pfDevice, pf1bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

class TBitmap {
public:
    // Larger bitmaps are refused rather than allocated.
    static constexpr std::int64_t MaxPixels = std::int64_t(1) << 28;

    TBitmap() = default;

    int Width() const { return image_.width(); }
    int Height() const { return image_.height(); }
    bool Empty() const { return image_.isNull(); }
    // Sizes keep the pixels of the overlapping top-left area; new pixels are
    // 0. A width or height of 0 (or less) makes the bitmap empty.
    void SetWidth(int w) { SetSize(w, Height()); }
    void SetHeight(int h) { SetSize(Width(), h); }
    void SetSize(int w, int h);

    TPixelFormat PixelFormat() const { return format_; }
    // Converts the pixels to the new format (8-bit gets a 256-entry palette
    // chosen by the conversion unless one is set).
    void SetPixelFormat(TPixelFormat f);

    // Palette of an 8-bit or 1-bit bitmap (ARGB values).
    std::vector<QRgb> Palette() const;
    void SetPalette(const std::vector<QRgb> &colors);

    int BytesPerLine() const { return int(image_.bytesPerLine()); }
    // Row `row` of the pixel data; EInvalidGraphicOperation when out of range.
    std::uint8_t *ScanLine(int row);
    const std::uint8_t *ScanLine(int row) const;

    // Canvas copies. `Draw` puts all of `src` at (x, y); `CopyRect` copies
    // `srcRect` of `src` into `destRect` (stretching when the sizes differ).
    // Both clip to the bitmaps.
    void Draw(int x, int y, const TBitmap &src);
    void CopyRect(const TRect &destRect, const TBitmap &src, const TRect &srcRect);

    void Assign(const TBitmap &src) { *this = src; }
    // Takes `img` (converted to the nearest supported format).
    void Assign(const QImage &img);

    const QImage &Image() const { return image_; }
    QImage &Image() { return image_; }

    static QImage::Format QtFormat(TPixelFormat f);

private:
    QImage image_;
    TPixelFormat format_ = TPixelFormat::pfDevice;
    std::vector<QRgb> palette_;
};

} // namespace platform
