// Any bytes as a JPEG file, at full and 1/8 scale: decoded or EJPEG/ELinearBitmap, within
// bounds, no leak or abort; what decodes saves and loads again.
#include "imaging/JPEGLoader.h"
#include "imaging/MemStream.h"

using namespace imaging;

namespace {
bool TryLoad(TJPEGLoader &loader, TMemStream &mem, TLinearBitmap &out)
{
    try {
        return mem.Seek(0), loader.LoadFromStream(mem, "JPG", out), true;
    } catch (const EJPEG &) {
    } catch (const ELinearBitmap &) {}
    return false;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *d, std::size_t size)
{
    if (size > (1u << 20))
        return 0;
    // Frames of more than 2^22 pixels are skipped: their (legitimate) slowness hides other findings.
    for (std::size_t i = 0; i + 8 < size; ++i)
        if (d[i] == 0xFF && d[i + 1] >= 0xC0 && d[i + 1] <= 0xCF && d[i + 1] != 0xC4 && d[i + 1] != 0xC8 &&
            d[i + 1] != 0xCC && std::uint64_t(d[i + 5] << 8 | d[i + 6]) * (d[i + 7] << 8 | d[i + 8]) > (1u << 22))
            return 0;
    TJPEGLoader full, eighth;
    eighth.MinWidth = eighth.MinHeight = 1;
    TMemStream mem, saved;
    mem.Write(d, static_cast<int>(size));
    TLinearBitmap a, b;
    if (TryLoad(full, mem, a)) {
        full.SaveToStream(saved, "JPG", a);
        saved.Seek(0);
        full.LoadFromStream(saved, "JPG", b);
        if (b.Width != a.Width || b.Height != a.Height)
            __builtin_trap();
    }
    TryLoad(eighth, mem, b);
    return 0;
}
