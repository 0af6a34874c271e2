// Any bytes as an icon or cursor file (no selection form): an image or an error, within bounds;
// what loads keeps its colours through ICO and CUR, and drawing it stays inside a small canvas.
#include "imaging/ICOLoader.h"
#include "imaging/MemStream.h"

#include <QImage>

#include <cstdlib>

namespace {
std::uint32_t ColorAt(const imaging::TLinearBitmap &b, int x, int y)
{
    const std::uint8_t *p = b.PixelFormat == imaging::pf8bit ? b.Palette.get() + 3 * b.ScanLine(y)[x] : b.ScanLine(y) + 3 * x;
    return p[0] | p[1] << 8 | p[2] << 16;
}

void RoundTrip(imaging::TICOLoader &loader, const imaging::TLinearBitmap &first, const char *ext)
{
    imaging::TMemStream file;
    loader.SaveToStream(file, ext, first);
    file.Seek(0);
    imaging::TLinearBitmap again;
    loader.LoadFromStream(file, ext, again);
    for (int y = 0; y < first.Height; ++y)
        for (int x = 0; x < first.Width; ++x)
            if (again.Width != first.Width || again.Height != first.Height || ColorAt(again, x, y) != ColorAt(first, x, y))
                std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > (1u << 20))
        return 0;
    imaging::TMemStream stream;
    stream.Write(data, static_cast<int>(size));
    stream.Seek(0);
    imaging::TICOLoader loader;
    loader.NoDialog = true;
    imaging::TLinearBitmap bitmap;
    try {
        loader.LoadFromStream(stream, "ICO", bitmap);
    } catch (const platform::Exception &) {
        return 0;
    }
    RoundTrip(loader, bitmap, "ICO");
    RoundTrip(loader, bitmap, "CUR");
    stream.Seek(0);
    imaging::TIconList list;
    list.LoadFromStream(stream);
    QImage canvas(5, 7, QImage::Format_RGB32);
    const int dx = size > 0 ? data[size - 1] % 16 - 8 : 0;
    for (const auto &image : list.Images)
        image->DrawMasked(canvas, dx - image->Width / 2, 3 - image->Height / 2);
    return 0;
}
