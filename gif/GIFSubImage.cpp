#include "gif/GIFSubImage.h"

#include "gif/GIFImage.h"

#include <QBuffer>
#include <QIODevice>

#include <algorithm>
#include <cstring>

namespace gif {

namespace {
TGIFCompressProc &Compressor()
{
    static TGIFCompressProc proc;
    return proc;
}
} // namespace

void SetGIFCompressor(TGIFCompressProc Proc)
{
    Compressor() = std::move(Proc);
}

TGIFSubImage::TGIFSubImage(TGIFImage *Image) : TGIFItem(Image), FColorMap(this), FExtensions(Image) {}

TGIFSubImage::~TGIFSubImage()
{
    // The extensions look at their frame while they go.
    FExtensions.Clear();
    FreeBitmap(); // leaves the image's count of renderings
}

void TGIFSubImage::Clear()
{
    FExtensions.Clear();
    FColorMap.Clear();
    FreeImage();
    FHeight = FWidth = 0;
    FGCE = nullptr;
    FreeBitmap();
    FreeMask();
}

bool TGIFSubImage::Empty() const
{
    return FData.empty() || FWidth == 0 || FHeight == 0;
}

const TGIFColorMap &TGIFSubImage::ActiveColorMap() const
{
    if (FColorMap.Count() > 0)
        return FColorMap;
    if (FImage && FImage->Header().ColorMap().Count() > 0)
        return FImage->Header().ColorMap();
    return FColorMap;
}

TGIFColorMap &TGIFSubImage::ActiveColorMap()
{
    return const_cast<TGIFColorMap &>(static_cast<const TGIFSubImage *>(this)->ActiveColorMap());
}

int TGIFSubImage::GetVersion() const
{
    return FColorMap.Optimized() || FExtensions.Count() > 0 ? gv89a : gv87a;
}

void TGIFSubImage::NewImage()
{
    FreeImage();
    const std::int64_t n = std::int64_t(FWidth) * FHeight;
    CheckPixelCount(FWidth, FHeight);
    FData.assign(std::size_t(n), 0);
}

void TGIFSubImage::FreeImage()
{
    FData.clear();
    FData.shrink_to_fit();
}

void TGIFSubImage::NeedImage()
{
    if (FData.empty())
        NewImage();
    if (FData.empty())
        Error("Image is empty");
}

std::uint8_t *TGIFSubImage::ScanLine(int Y)
{
    if (Y < 0 || Y >= FHeight)
        Error("Invalid pixel coordinates");
    NeedImage();
    return FData.data() + std::size_t(Y) * std::size_t(FWidth);
}

std::uint8_t TGIFSubImage::Pixels(int X, int Y)
{
    if (X < 0 || X >= FWidth)
        Error("Invalid pixel coordinates");
    return ScanLine(Y)[X];
}

void TGIFSubImage::SetBounds(int ALeft, int ATop, int AWidth, int AHeight)
{
    ALeft = std::clamp(ALeft, 0, 65535);
    ATop = std::clamp(ATop, 0, 65535);
    AWidth = std::clamp(AWidth, 0, 65535);
    AHeight = std::clamp(AHeight, 0, 65535);
    const bool changed = AWidth != FWidth || AHeight != FHeight;
    FLeft = ALeft;
    FTop = ATop;
    FWidth = AWidth;
    FHeight = AHeight;
    if (changed) {
        FreeBitmap();
        FreeMask();
        NewImage();
    }
    if (!FImage)
        return;
    // The logical screen grows to hold the frame, within its 16 bits.
    bool warned = false;
    auto &h = FImage->Header();
    if (h.Width < ALeft + AWidth) {
        if (h.Width > 0) {
            Warning(1, "Image width too small for contained frames");
            warned = true;
        }
        h.Width = std::uint16_t(std::min(ALeft + AWidth, 65535));
    }
    if (h.Height < ATop + AHeight) {
        if (h.Height > 0) {
            Warning(1, "Image height too small for contained frames");
            warned = true;
        }
        h.Height = std::uint16_t(std::min(ATop + AHeight, 65535));
    }
    if (warned)
        Warning(1, "Image exceeds Logical Screen size");
}

void TGIFSubImage::LoadFromStream(QIODevice &Stream)
{
    LoadFromStream(Stream, GIFMaxPixels);
}

void TGIFSubImage::LoadFromStream(QIODevice &Stream, std::int64_t PixelBudget)
{
    Clear();
    FExtensions.LoadFromStream(Stream, *this);
    // Only an image separator starts an image; anything else ends the frame
    // here (the block sequence then reports it).
    const int b = GetByte(Stream);
    if (b < 0)
        return;
    StepBack(Stream);
    if (b != bsImageDescriptor)
        return;
    std::uint8_t d[10];
    ReadCheck(Stream, d, 10);
    Separator = d[0];
    FLeft = d[1] | d[2] << 8;
    FTop = d[3] | d[4] << 8;
    FWidth = d[5] | d[6] << 8;
    FHeight = d[7] | d[8] << 8;
    PackedFields = d[9];
    if (FHeight == 0 || FWidth == 0) {
        if (FImage) {
            FWidth = FImage->Width();
            FHeight = FImage->Height();
        }
        Warning(1, "Image exceeds Logical Screen size");
    }
    if (PackedFields & 0x80) {
        const int n = 2 << (PackedFields & 7);
        if (n < 2 || n > 256)
            Error("Invalid number of colors specified in Image Descriptor");
        FColorMap.LoadFromStream(Stream, n);
    }
    CheckPixelCount(FWidth, FHeight);
    if (std::int64_t(FWidth) * FHeight > PixelBudget)
        Error("Image is too large");
    Decompress(Stream);
    if (GIFRenderOnLoad)
        GetBitmap();
}

void TGIFSubImage::Decompress(QIODevice &Stream)
{
    FreeBitmap();
    FreeMask();
    FData.assign(std::size_t(std::int64_t(FWidth) * FHeight), std::uint8_t(Transparent() ? TransparentColorIndex() : 0));
    DecodeLZW(Stream, FData.data(), FWidth, FHeight, Interlaced(), [this](const std::string &m) { Warning(1, m); });
}

void TGIFSubImage::Compress(QIODevice &Stream)
{
    if (!Compressor())
        Error("No GIF encoder installed");
    Compressor()(*this, Stream);
}

void TGIFSubImage::SaveToStream(QIODevice &Stream)
{
    FExtensions.SaveToStream(Stream);
    if (Empty())
        return;
    if (FColorMap.Count() > 0)
        PackedFields = std::uint8_t(0x80 | (FColorMap.Optimized() ? 0x20 : 0) | (ColorResolution() & 7));
    else
        PackedFields &= 0x58;
    const std::uint8_t d[10] = {Separator,
                                std::uint8_t(FLeft),
                                std::uint8_t(FLeft >> 8),
                                std::uint8_t(FTop),
                                std::uint8_t(FTop >> 8),
                                std::uint8_t(FWidth),
                                std::uint8_t(FWidth >> 8),
                                std::uint8_t(FHeight),
                                std::uint8_t(FHeight >> 8),
                                PackedFields};
    WriteCheck(Stream, d, 10);
    FColorMap.SaveToStream(Stream);
    Compress(Stream);
}

void TGIFSubImage::Assign(const TGIFSubImage &Source)
{
    if (&Source == this)
        return;
    Clear();
    if (Source.Empty() && Source.FExtensions.Count() == 0)
        return;
    if (!Source.Empty()) {
        Separator = Source.Separator;
        FLeft = Source.FLeft;
        FTop = Source.FTop;
        FWidth = Source.FWidth;
        FHeight = Source.FHeight;
        PackedFields = Source.PackedFields;
        FData = Source.FData;
        FColorMap.Assign(Source.FColorMap);
    }
    // The extensions travel through their stream form.
    QBuffer buf;
    buf.open(QIODevice::ReadWrite);
    const_cast<TGIFExtensionList &>(Source.FExtensions).SaveToStream(buf);
    buf.seek(0);
    FExtensions.LoadFromStream(buf, *this);
    if (Source.HasBitmap()) {
        if (FImage)
            FImage->Images().RenderTaken(*this, std::int64_t(Source.FBitmap.width()) * Source.FBitmap.height());
        FBitmap = Source.FBitmap;
        FMask = Source.FMask;
        FNeedMask = Source.FNeedMask;
    }
}

} // namespace gif
