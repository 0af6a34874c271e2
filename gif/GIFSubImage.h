#pragma once
// One frame of a GIF image: the image descriptor, an optional local colour
// map, the 8-bit pixels and the extensions that precede the image. It reads
// and writes its part of the stream and renders itself for drawing.
#include "gif/GIFExtensions.h"
#include "gif/GIFStream.h"
#include "platform/core/Geometry.h"

#include <QImage>
#include <functional>
#include <optional>

class QPainter;
class QRect;

namespace gif {

// Writes the image data of a frame (code size byte, data sub-blocks,
// terminator). The encoder unit installs the real one; the frame's write path
// calls whatever is installed and raises "No GIF encoder installed" without.
using TGIFCompressProc = std::function<void(TGIFSubImage &SubImage, QIODevice &Stream)>;
void SetGIFCompressor(TGIFCompressProc Proc);

// Decodes the LZW image data at the stream position into Data (Width x
// Height bytes, already filled with the fill byte). Rows are stored in
// interlaced order when Interlaced. Recoverable problems go to Warn.
void DecodeLZW(QIODevice &Stream, std::uint8_t *Data, int Width, int Height, bool Interlaced,
               const std::function<void(const std::string &)> &Warn);

class TGIFSubImage : public TGIFItem {
public:
    explicit TGIFSubImage(TGIFImage *Image);
    ~TGIFSubImage() override;

    void Clear();
    bool Empty() const;

    // Image descriptor.
    std::uint8_t Separator = bsImageDescriptor;
    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void SetLeft(int Value) { SetBounds(Value, FTop, FWidth, FHeight); }
    void SetTop(int Value) { SetBounds(FLeft, Value, FWidth, FHeight); }
    void SetWidth(int Value) { SetBounds(FLeft, FTop, Value, FHeight); }
    void SetHeight(int Value) { SetBounds(FLeft, FTop, FWidth, Value); }
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
    platform::TRect BoundsRect() const { return {FLeft, FTop, FLeft + FWidth, FTop + FHeight}; }
    std::uint8_t PackedFields = 0;
    bool Interlaced() const { return PackedFields & 0x40; }
    void SetInterlaced(bool Value) { PackedFields = std::uint8_t(Value ? PackedFields | 0x40 : PackedFields & ~0x40); }

    TGIFLocalColorMap &ColorMap() { return FColorMap; }
    const TGIFLocalColorMap &ColorMap() const { return FColorMap; }
    // The local map when it has colours, else the image's global map when
    // that has colours, else the (empty) local map.
    const TGIFColorMap &ActiveColorMap() const;
    TGIFColorMap &ActiveColorMap();
    int BitsPerPixel() const { return FColorMap.BitsPerPixel(); }
    int ColorResolution() const { return BitsPerPixel() - 1; }
    int GetVersion() const override;

    TGIFExtensionList &Extensions() { return FExtensions; }
    const TGIFExtensionList &Extensions() const { return FExtensions; }
    // The frame's graphic control extension (the first one read or created).
    TGIFGraphicControlExtension *GraphicControlExtension() const { return FGCE; }
    // Transparency comes from the frame's own graphic control extension.
    bool Transparent() const { return FGCE && FGCE->Transparent(); }
    int TransparentColorIndex() const { return FGCE ? FGCE->TransparentColorIndex() : 0; }

    // Pixels: Width x Height bytes, rows top down.
    std::uint8_t *Data() { return FData.empty() ? nullptr : FData.data(); }
    const std::uint8_t *Data() const { return FData.empty() ? nullptr : FData.data(); }
    std::int64_t DataSize() const { return std::int64_t(FData.size()); }
    void NewImage();
    void FreeImage();
    void NeedImage();
    std::uint8_t *ScanLine(int Y);
    std::uint8_t Pixels(int X, int Y);

    // Rendering caches.
    bool HasBitmap() const { return !FBitmap.isNull(); }
    void FreeBitmap();
    void FreeMask();
    bool HasMask();
    // The rendered frame: an 8-bit image with the frame's palette, built on
    // first use.
    const QImage &GetBitmap();
    // Transparency mask of the rendered frame (1 = transparent), or null.
    const QImage &Mask() const { return FMask; }
    std::vector<QRgb> GetPalette();
    void SetPalette(std::optional<std::vector<QRgb>> Palette);
    // The frame as Draw shows it (masked pixels see-through when
    // DoTransparent), rendered as GetBitmap renders it, into a new image:
    // dithered through the web palette when Dither, else with Palette. It
    // touches no cache of the frame or the image and reports no progress, so
    // a painter may render ahead with it on its own thread.
    QImage RenderCopy(bool Dither, const std::vector<QRgb> &Palette, bool DoTransparent) const;

    void SaveToStream(QIODevice &Stream) override;
    void LoadFromStream(QIODevice &Stream) override;
    // Refuses pixels above PixelBudget ("Image is too large") before they are
    // allocated: the frame list passes what is left of the image's budget.
    void LoadFromStream(QIODevice &Stream, std::int64_t PixelBudget);
    void Decompress(QIODevice &Stream);
    void Compress(QIODevice &Stream);

    // Draws the frame into Rect (scaled from the logical screen, or tiled).
    void Draw(QPainter &Canvas, const QRect &Rect, bool DoTile, bool DoTransparent);
    platform::TRect ScaleRect(const platform::TRect &Rect) const;

    void Assign(const TGIFSubImage &Source);
    // Takes an image's pixels (1, 4 or 8 bits with a colour table, or any
    // other format by exact colours, at most 256).
    void Assign(const QImage &Source);

    void Crop();
    void Merge(TGIFSubImage *Previous);

private:
    friend class TGIFGraphicControlExtension;
    friend class TGIFExtensionList;
    // Render into Bitmap (and Mask, 1 = transparent, when MakeMask and some
    // pixel is transparent; else null); progress only when Report.
    void RenderDirect(const std::vector<QRgb> &Palette, bool MakeMask, bool Report, QImage &Bitmap,
                      QImage &Mask) const;
    void RenderDithered(bool MakeMask, bool Report, QImage &Bitmap, QImage &Mask) const;

    int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
    std::vector<std::uint8_t> FData;
    TGIFLocalColorMap FColorMap;
    TGIFExtensionList FExtensions;
    TGIFGraphicControlExtension *FGCE = nullptr;
    QImage FBitmap;
    QImage FMask;
    bool FNeedMask = true;
    std::optional<std::vector<QRgb>> FPalette;
};

} // namespace gif
