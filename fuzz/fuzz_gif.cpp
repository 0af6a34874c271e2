// Any bytes as a GIF file: it loads or raises GIFException, and every frame
// renders pixels, mask and screen buffer, directly or dithered, within bounds
// and without huge memory.
#include "gif/GIFImage.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

namespace {
// Every 16-bit width or height still fits as one row. Larger frames only
// repeat the paths of smaller ones, yet a few bytes can claim them, and at
// the real limit such inputs took most of the fuzzing time.
constexpr std::int64_t kFuzzPixels = std::int64_t(1) << 16;
// Dithering is by far the dearest step per pixel: only small images take it.
constexpr std::int64_t kDitherPixels = std::int64_t(1) << 10;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Here, not as a definition: the unit tests of a fuzz build keep the real limit.
    gif::GIFMaxPixels = kFuzzPixels;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buf(&bytes);
    buf.open(QIODevice::ReadOnly);
    gif::TGIFImage image;
    image.OnWarning = [](const void *, int, const std::string &) {};
    try {
        image.LoadFromStream(buf);
    } catch (const platform::Exception &) {
        // A failed load leaves the stream where it began.
        if (buf.pos() != 0)
            __builtin_trap();
    }
    // Every other input with small frames renders as for a palette display:
    // dithered.
    std::int64_t pixels = 0;
    for (int i = 0; i < image.Count(); ++i)
        pixels += std::int64_t(image.SubImage(i)->Width()) * image.SubImage(i)->Height();
    gif::GIFPaletteDevice = size % 2 == 1 && pixels <= kDitherPixels;
    try {
        for (int i = 0; i < image.Count(); ++i) {
            auto *f = image.SubImage(i);
            const QImage &bmp = f->GetBitmap();
            if (!f->Empty() && (bmp.width() != f->Width() || bmp.height() != f->Height()))
                __builtin_trap();
            f->HasMask();
        }
        image.BufferBitmap();
    } catch (const platform::Exception &) {}
    return 0;
}
