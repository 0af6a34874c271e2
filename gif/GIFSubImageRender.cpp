// Rendering and drawing of a frame: an 8-bit image with the frame's palette,
// a one-bit mask of its transparent pixels, and drawing scaled or tiled.
#include "gif/ColorLookup.h"
#include "gif/Dither.h"
#include "gif/GIFImage.h"
#include "gif/GIFSubImage.h"

#include <QPainter>

#include <algorithm>
#include <cstring>

namespace gif {

void TGIFSubImage::FreeBitmap()
{
    if (FBitmap.isNull())
        return;
    if (FImage)
        FImage->Images().RenderDropped(std::int64_t(FBitmap.width()) * FBitmap.height());
    FBitmap = QImage();
}

void TGIFSubImage::FreeMask()
{
    FMask = QImage();
    FNeedMask = true;
}

bool TGIFSubImage::HasMask()
{
    if (FNeedMask && Transparent()) {
        FreeBitmap();
        GetBitmap();
    }
    return !FMask.isNull();
}

std::vector<QRgb> TGIFSubImage::GetPalette()
{
    if (FPalette)
        return *FPalette;
    if (FImage && FImage->DitherTest()) {
        FPalette = WebPalette();
        return *FPalette;
    }
    if (FColorMap.Count() == 0)
        return FImage ? FImage->GetPalette() : std::vector<QRgb>();
    FPalette = FColorMap.ExportPalette();
    return *FPalette;
}

void TGIFSubImage::SetPalette(std::optional<std::vector<QRgb>> Palette)
{
    if (Palette == FPalette)
        return;
    FPalette = std::move(Palette);
    if (HasBitmap()) {
        FreeBitmap();
        if (FImage) {
            FImage->PaletteModified = true;
            FImage->Changed();
        }
    }
}

namespace {
QVector<QRgb> Padded(const std::vector<QRgb> &pal)
{
    QVector<QRgb> table(256, qRgb(0, 0, 0));
    std::copy_n(pal.begin(), std::min<std::size_t>(pal.size(), 256), table.begin());
    return table;
}
} // namespace

const QImage &TGIFSubImage::GetBitmap()
{
    if (!FBitmap.isNull())
        return FBitmap;
    const bool empty = Empty();
    if (!empty && FImage)
        FImage->Progress(TProgressStage::psStarting, 0, false, "Rendering...");
    bool failed = true;
    try {
        if (FImage)
            FImage->Images().RenderTaken(*this, std::int64_t(FWidth) * FHeight);
        if (empty) {
            // An empty frame still has its size and palette.
            if (FWidth > 0 && FHeight > 0 && std::int64_t(FWidth) * FHeight <= GIFMaxPixels) {
                FBitmap = QImage(FWidth, FHeight, QImage::Format_Indexed8);
                FBitmap.setColorTable(Padded(GetPalette()));
                FBitmap.fill(0);
            }
        } else {
            const bool dither = FImage && FImage->DitherTest();
            const std::vector<QRgb> palette = dither ? std::vector<QRgb>() : GetPalette();
            const bool makeMask = FNeedMask && Transparent();
            FNeedMask = false;
            QImage bmp, mask;
            if (dither)
                RenderDithered(makeMask, true, bmp, mask);
            else
                RenderDirect(palette, makeMask, true, bmp, mask);
            FBitmap = std::move(bmp);
            if (makeMask)
                FMask = std::move(mask);
        }
        failed = false;
    } catch (const platform::EAbort &) {
    } catch (...) {
        if (FImage) {
            FImage->Images().RenderDropped(std::int64_t(FWidth) * FHeight);
            FImage->Progress(TProgressStage::psEnding, 0, FImage->PaletteModified, "Rendering...");
        }
        throw;
    }
    if (FImage) {
        if (FBitmap.isNull())
            FImage->Images().RenderDropped(std::int64_t(FWidth) * FHeight);
        FImage->Progress(TProgressStage::psEnding, failed ? 0 : 100, FImage->PaletteModified, "Rendering...");
        if (FImage->PaletteModified)
            FImage->Changed();
    }
    return FBitmap;
}

void TGIFSubImage::RenderDirect(const std::vector<QRgb> &Palette, bool MakeMask, bool Report, QImage &Bitmap,
                                QImage &Mask) const
{
    QImage bmp = gif::NewImage(FWidth, FHeight, QImage::Format_Indexed8);
    bmp.setColorTable(Padded(Palette));
    const std::uint8_t ti = std::uint8_t(TransparentColorIndex());
    QImage mask;
    bool any = false;
    if (MakeMask) {
        mask = QImage(FWidth, FHeight, QImage::Format_Mono);
        mask.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        mask.fill(0);
    }
    const std::size_t w = std::size_t(FWidth);
    for (int y = 0; y < FHeight; ++y) {
        if (Report && y % 32 == 0 && FImage)
            FImage->Progress(TProgressStage::psRunning, int(std::int64_t(y) * 100 / FHeight), false, "Rendering...");
        const std::uint8_t *src = FData.data() + std::size_t(y) * w;
        std::memcpy(bmp.scanLine(y), src, w);
        if (MakeMask) {
            std::uint8_t *m = mask.scanLine(y);
            for (std::size_t x = 0; x < w; ++x)
                if (src[x] == ti) {
                    m[x >> 3] |= std::uint8_t(0x80 >> (x & 7));
                    any = true;
                }
        }
    }
    Bitmap = std::move(bmp);
    Mask = any ? std::move(mask) : QImage();
}

void TGIFSubImage::RenderDithered(bool MakeMask, bool Report, QImage &Bitmap, QImage &Mask) const
{
    // The frame's colours through the web palette with Floyd-Steinberg error
    // diffusion, one row at a time. Transparent pixels are not dithered: the
    // ditherer steps over them (their colour's error would spill into their
    // neighbours), they show the web colour of the transparent index and are
    // marked in the mask.
    QImage bmp = gif::NewImage(FWidth, FHeight, QImage::Format_Indexed8);
    const std::vector<QRgb> web = WebPalette();
    bmp.setColorTable(Padded(web));
    const QVector<QRgb> table = ActiveColorMap().ColorTable();
    const bool transparent = Transparent();
    const bool makeMask = MakeMask && transparent;
    const std::uint8_t ti = std::uint8_t(TransparentColorIndex());
    const QRgb tc = table[ti];
    const auto fill = std::uint8_t(WebPaletteIndex(qRed(tc), qGreen(tc), qBlue(tc)));
    QImage mask;
    bool any = false;
    if (makeMask) {
        mask = QImage(FWidth, FHeight, QImage::Format_Mono);
        mask.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        mask.fill(0);
    }
    TNetscapeColorLookup lookup(web);
    TFloydSteinbergDitherer ditherer(FWidth, lookup);
    const std::size_t w = std::size_t(FWidth);
    int r, g, b;
    for (int y = 0; y < FHeight; ++y) {
        if (Report && y % 32 == 0 && FImage)
            FImage->Progress(TProgressStage::psRunning, int(std::int64_t(y) * 100 / FHeight), false, "Rendering...");
        const std::uint8_t *src = FData.data() + std::size_t(y) * w;
        std::uint8_t *dst = bmp.scanLine(y);
        std::uint8_t *m = makeMask ? mask.scanLine(y) : nullptr;
        for (int x = ditherer.Column; x >= 0 && x < FWidth; x = ditherer.Column) {
            if (transparent && src[x] == ti) {
                ditherer.Column += ditherer.Direction;
                dst[x] = fill;
                if (m) {
                    m[x >> 3] |= std::uint8_t(0x80 >> (x & 7));
                    any = true;
                }
                continue;
            }
            const QRgb c = table[src[x]];
            dst[x] = ditherer.Dither(qRed(c), qGreen(c), qBlue(c), r, g, b);
        }
        ditherer.NextLine();
    }
    Bitmap = std::move(bmp);
    Mask = any ? std::move(mask) : QImage();
}

platform::TRect TGIFSubImage::ScaleRect(const platform::TRect &Rect) const
{
    const std::int64_t sw = FImage ? FImage->Width() : 0, sh = FImage ? FImage->Height() : 0;
    // A screen without size maps the frame at its own scale; edges round to
    // the nearest pixel.
    const auto mapX = [&](std::int64_t v) { return int(Rect.Left + (sw > 0 ? MulDiv(v, Rect.Width(), sw) : v)); };
    const auto mapY = [&](std::int64_t v) { return int(Rect.Top + (sh > 0 ? MulDiv(v, Rect.Height(), sh) : v)); };
    return {mapX(FLeft), mapY(FTop), mapX(std::int64_t(FLeft) + FWidth), mapY(std::int64_t(FTop) + FHeight)};
}

namespace {
// The rendered frame with its masked pixels see-through.
QImage WithMask(const QImage &bmp, const QImage &mask)
{
    QImage out = bmp.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto *p = reinterpret_cast<QRgb *>(out.scanLine(y));
        const std::uint8_t *m = mask.constScanLine(y);
        for (int x = 0; x < out.width(); ++x)
            if (m[x >> 3] & (0x80 >> (x & 7)))
                p[x] = 0;
    }
    return out;
}
} // namespace

QImage TGIFSubImage::RenderCopy(bool Dither, const std::vector<QRgb> &Palette, bool DoTransparent) const
{
    if (Empty())
        return {};
    const bool masked = DoTransparent && Transparent();
    QImage bmp, mask;
    if (Dither)
        RenderDithered(masked, false, bmp, mask);
    else
        RenderDirect(Palette, masked, false, bmp, mask);
    return mask.isNull() ? bmp : WithMask(bmp, mask);
}

void TGIFSubImage::Draw(QPainter &Canvas, const QRect &Rect, bool DoTile, bool DoTransparent)
{
    const QImage &bmp = GetBitmap();
    if (bmp.isNull())
        return;
    const QImage src = DoTransparent && Transparent() && HasMask() ? WithMask(GetBitmap(), FMask) : GetBitmap();
    if (!DoTile) {
        const auto r = ScaleRect({Rect.left(), Rect.top(), Rect.left() + Rect.width(), Rect.top() + Rect.height()});
        Canvas.drawImage(QRect(r.Left, r.Top, r.Width(), r.Height()), src);
        return;
    }
    const int sw = FImage ? FImage->Width() : 0, sh = FImage ? FImage->Height() : 0;
    if (sw <= 0 || sh <= 0) {
        // Without a screen size there is nothing to repeat by.
        Canvas.drawImage(QPoint(Rect.left() + FLeft, Rect.top() + FTop), src);
        return;
    }
    const QRect clip = Rect;
    for (std::int64_t x = std::int64_t(Rect.left()) + FLeft; x <= clip.right(); x += sw)
        for (std::int64_t y = std::int64_t(Rect.top()) + FTop; y <= clip.bottom(); y += sh)
            Canvas.drawImage(QPoint(int(x), int(y)), src);
}

} // namespace gif
