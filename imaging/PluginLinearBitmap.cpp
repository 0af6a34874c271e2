#include "imaging/PluginLinearBitmap.h"

#include <cstring>

namespace imaging {

namespace {

// Byte k of every 3-byte pixel comes from plane k (plane 0 is blue); at most
// three planes are used.
void InterleavePlanes(TLinearBitmap &Bitmap, const std::uint8_t *Planes, int PlaneCount)
{
    const std::size_t pixels = std::size_t(Bitmap.Width) * std::size_t(Bitmap.Height);
    std::uint8_t *dst = Bitmap.Map.get();
    for (int k = 0; k < PlaneCount && k < 3; ++k) {
        const std::uint8_t *src = Planes + k * pixels;
        for (std::size_t i = 0; i < pixels; ++i)
            dst[3 * i + k] = src[i];
    }
}

} // namespace

void ContainerToBitmap(TLinearBitmap &Bitmap, const TImageContainer &Container)
{
    const int code = Container.PixelFormat;
    const int planes = code & 15;
    const bool planar = (code & 240) == KSS_PLUGIN_PLANAR;
    if (planes == 0)
        throw ELinearBitmap("Unsupported bitmap format");
    // Nothing to copy from: refuse before anything reads it.
    if (!Container.Pixels)
        throw ELinearBitmap("Error in bitmap data");
    if (planes == 1) {
        Bitmap.New(Container.Width, Container.Height, code == KSS_PLUGIN_GREY16 ? pf16bit : pf8bit);
        std::memcpy(Bitmap.Map.get(), Container.Pixels, Bitmap.Size);
        if (Bitmap.PixelFormat == pf8bit)
            std::memcpy(Bitmap.Palette.get(), Container.Palette ? Container.Palette : GreyPalette.data(), 768);
    } else if (code == KSS_PLUGIN_BGR24) {
        Bitmap.New(Container.Width, Container.Height, pf24bit);
        std::memcpy(Bitmap.Map.get(), Container.Pixels, Bitmap.Size);
    } else if (code == KSS_PLUGIN_BGRX32) {
        Bitmap.New(Container.Width, Container.Height, pf32bit);
        std::memcpy(Bitmap.Map.get(), Container.Pixels, Bitmap.Size);
        Bitmap.ChangePixelFormat(pf24bit);
    } else if (planar) {
        Bitmap.New(Container.Width, Container.Height, pf24bit);
        std::memset(Bitmap.Map.get(), 0, Bitmap.Size);
        InterleavePlanes(Bitmap, Container.Pixels, planes);
    } else {
        throw ELinearBitmap("Unsupported pixel format");
    }
}

void BitmapToContainer(const TLinearBitmap &Bitmap, TImageContainer &Container)
{
    std::memset(&Container, 0, sizeof Container);
    if (Bitmap.PixelFormat == pf8bit)
        Container.PixelFormat = KSS_PLUGIN_INDEXED8;
    else if (Bitmap.PixelFormat == pf24bit)
        Container.PixelFormat = KSS_PLUGIN_BGR24;
    else
        throw ELinearBitmap("Unsupported pixel format");
    Container.Width = Bitmap.Width;
    Container.Height = Bitmap.Height;
    Container.BytesPerLine = Bitmap.BytesPerLine;
    Container.Pixels = Bitmap.Map.get();
    Container.Palette = Bitmap.Palette.get();
}

void CheckPluginResult(int Code, const std::string &Text)
{
    switch (Code) {
    case KSS_PLUGIN_OK:
        return;
    case KSS_PLUGIN_CANNOT_OPEN:
        throw Exception("Unable to open file");
    case KSS_PLUGIN_BAD_DATA:
        throw Exception("Error in bitmap data");
    case KSS_PLUGIN_BAD_FORMAT:
        throw Exception("Unsupported pixel format");
    case KSS_PLUGIN_CANNOT_CLOSE:
        throw Exception("Unable to close file");
    default:
        break;
    }
    std::string format = Text.empty() ? "Process failed: %d" : Text;
    const std::size_t at = format.find("%d");
    if (at != std::string::npos)
        format.replace(at, 2, std::to_string(Code));
    throw Exception(format);
}

} // namespace imaging
