// Any bytes as a PCX file: the loader reads them or raises one of its errors,
// never reading or writing out of bounds. What loads must come back unchanged
// through our writer and loader.
#include "imaging/MemStream.h"
#include "imaging/PCXLoader.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace imaging;

namespace {

bool Load(TMemStream &mem, TLinearBitmap &bmp)
{
    try {
        TPCXLoader loader;
        loader.LoadFromStream(mem, "PCX", bmp);
        return true;
    } catch (const platform::Exception &) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Larger pictures only test the allocator (the cap is 2^28 pixels).
    if (size >= 128) {
        const int bpl = static_cast<std::int16_t>(data[66] | (data[67] << 8));
        const int h = static_cast<std::int16_t>(data[10] | (data[11] << 8)) -
                      static_cast<std::int16_t>(data[6] | (data[7] << 8)) + 1;
        if (std::int64_t(bpl) * h > (1 << 22))
            return 0;
    }
    TMemStream mem;
    mem.Write(data, static_cast<int>(size));
    mem.Seek(0);
    TLinearBitmap bmp;
    if (!Load(mem, bmp))
        return 0;
    TMemStream out;
    TPCXLoader().SaveToStream(out, "PCX", bmp);
    out.Seek(0);
    TLinearBitmap back;
    if (!Load(out, back) || back.PixelFormat != bmp.PixelFormat || back.Size != bmp.Size ||
        std::memcmp(back.Map.get(), bmp.Map.get(), static_cast<std::size_t>(bmp.Size)) != 0 ||
        (bmp.Palette && std::memcmp(back.Palette.get(), bmp.Palette.get(), 768) != 0))
        std::abort();
    return 0;
}
