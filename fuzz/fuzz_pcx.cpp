// Any bytes as a PCX file: read or refused within bounds; what loads comes back unchanged
// through our writer and loader.
#include "imaging/MemStream.h"
#include "imaging/PCXLoader.h"

#include <cstdlib>
#include <cstring>

using namespace imaging;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Larger pictures only test the allocator (the cap is 2^28 pixels).
    const auto i16 = [&](int at) { return static_cast<int>(static_cast<std::int16_t>(data[at] | (data[at + 1] << 8))); };
    if (size >= 128 && std::int64_t(i16(66)) * (i16(10) - i16(6) + 1) > (1 << 22))
        return 0;
    const auto load = [](TMemStream &mem, TLinearBitmap &bmp) {
        try {
            TPCXLoader().LoadFromStream(mem, "PCX", bmp);
            return true;
        } catch (const platform::Exception &) {
            return false;
        }
    };
    TMemStream mem, out;
    mem.Write(data, static_cast<int>(size));
    mem.Seek(0);
    TLinearBitmap bmp, back;
    if (!load(mem, bmp))
        return 0;
    TPCXLoader().SaveToStream(out, "PCX", bmp);
    out.Seek(0);
    if (!load(out, back) || back.PixelFormat != bmp.PixelFormat || back.Size != bmp.Size ||
        std::memcmp(back.Map.get(), bmp.Map.get(), static_cast<std::size_t>(bmp.Size)) != 0 ||
        (bmp.Palette && std::memcmp(back.Palette.get(), bmp.Palette.get(), 768) != 0))
        std::abort();
    return 0;
}
