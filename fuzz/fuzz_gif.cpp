// Any bytes as a GIF file: it loads or raises GIFException, and every frame (up to 2^22
// pixels) renders pixels, mask and buffer, directly or dithered, within bounds and without
// huge memory.
#include "gif/GIFImage.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

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
    // Every other input renders as for a palette display: dithered.
    gif::GIFPaletteDevice = size % 2 == 1;
    try {
        for (int i = 0; i < image.Count(); ++i) {
            auto *f = image.SubImage(i);
            // Huge frames take the same paths as small ones, only slower.
            if (std::int64_t(f->Width()) * f->Height() > (1 << 22))
                continue;
            const QImage &bmp = f->GetBitmap();
            if (!f->Empty() && (bmp.width() != f->Width() || bmp.height() != f->Height()))
                __builtin_trap();
            f->HasMask();
        }
        // The screen buffer only for screens of sane size.
        if (std::int64_t(image.Width()) * image.Height() <= (1 << 22))
            image.BufferBitmap();
    } catch (const platform::Exception &) {}
    return 0;
}
