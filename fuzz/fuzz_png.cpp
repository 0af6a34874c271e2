// Any bytes as a PNG or MNG file: read or refused within bounds; what loads comes back
// unchanged through our writer and reader.
#include "imaging/MemStream.h"
#include "imaging/PNGLoader.h"

#include <cstdlib>
#include <cstring>

using namespace imaging;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Larger images only test the allocator: the loader's own cap is 2^28 pixels.
    const auto be32 = [](const std::uint8_t *p) { return std::uint64_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; };
    for (std::size_t i = 0; i + 12 <= size; ++i)
        if (std::memcmp(data + i, "IHDR", 4) == 0 && be32(data + i + 4) * be32(data + i + 8) > (1u << 22))
            return 0;
    const auto load = [](TPNGLoader &loader, TMemStream &mem, TLinearBitmap &bmp) {
        try {
            loader.LoadFromStream(mem, "PNG", bmp);
            return true;
        } catch (const platform::Exception &) {
            return false;
        }
    };
    TMemStream mem, out;
    mem.Write(data, static_cast<int>(size));
    mem.Seek(0);
    TPNGLoader loader, writer, reader;
    loader.LoadAlpha = size > 0 && (data[size - 1] & 1);
    TLinearBitmap bmp, back;
    if (!load(loader, mem, bmp))
        return 0;
    writer.SaveToStream(out, "PNG", bmp);
    out.Seek(0);
    if (!load(reader, out, back) || back.PixelFormat != bmp.PixelFormat || back.Size != bmp.Size ||
        std::memcmp(back.Map.get(), bmp.Map.get(), static_cast<std::size_t>(bmp.Size)) != 0 ||
        (bmp.Palette && std::memcmp(back.Palette.get(), bmp.Palette.get(), 768) != 0))
        std::abort();
    return 0;
}
