// Any bytes as a JPEG file, at full and 1/8 scale: decoded or EJPEG/ELinearBitmap, within
// bounds, no leak or abort; what decodes saves and loads again.
#include "imaging/JPEGLoader.h"
#include "imaging/MemStream.h"

using namespace imaging;

namespace {
// Frames of more than 2^22 pixels are skipped: their (legitimate) slowness hides other findings.
bool DeclaresHugeFrame(const std::uint8_t *d, std::size_t n)
{
    for (std::size_t i = 0; i + 8 < n; ++i)
        if (d[i] == 0xFF && d[i + 1] >= 0xC0 && d[i + 1] <= 0xCF && d[i + 1] != 0xC4 && d[i + 1] != 0xC8 &&
            d[i + 1] != 0xCC) {
            const std::uint64_t h = d[i + 5] << 8 | d[i + 6], w = d[i + 7] << 8 | d[i + 8];
            if (w * h > (1u << 22))
                return true;
        }
    return false;
}

bool TryLoad(TJPEGLoader &loader, const std::uint8_t *data, std::size_t size, TLinearBitmap &out)
{
    TMemStream mem;
    mem.Write(data, static_cast<int>(size));
    mem.Seek(0);
    try {
        return loader.LoadFromStream(mem, "JPG", out), true;
    } catch (const EJPEG &) {
    } catch (const ELinearBitmap &) {}
    return false;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > (1u << 20) || DeclaresHugeFrame(data, size))
        return 0;
    TJPEGLoader full, eighth;
    eighth.MinWidth = eighth.MinHeight = 1;
    TLinearBitmap a, b;
    if (TryLoad(full, data, size, a)) {
        TMemStream saved;
        full.SaveToStream(saved, "JPG", a);
        saved.Seek(0);
        full.LoadFromStream(saved, "JPG", b);
        if (b.Width != a.Width || b.Height != a.Height)
            __builtin_trap();
    }
    TryLoad(eighth, data, size, b);
    return 0;
}
