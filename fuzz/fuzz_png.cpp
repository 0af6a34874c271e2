// Any bytes as a PNG or MNG file: the reader loads them or raises one of its
// errors, never reading or writing out of bounds. What loads must come back
// unchanged through our writer and reader.
#include "imaging/MemStream.h"
#include "imaging/PNGLoader.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace imaging;

namespace {

// Larger images only test the allocator: the loader's own cap is 2^28 pixels.
constexpr std::uint64_t MaxPixels = 1u << 22;

std::uint32_t GetU32(const std::uint8_t *p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

bool Load(TPNGLoader &loader, TMemStream &mem, TLinearBitmap &bmp)
{
    try {
        loader.LoadFromStream(mem, "PNG", bmp);
        return true;
    } catch (const platform::Exception &) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    for (std::size_t i = 0; i + 12 <= size; ++i)
        if (std::memcmp(data + i, "IHDR", 4) == 0 && std::uint64_t(GetU32(data + i + 4)) * GetU32(data + i + 8) > MaxPixels)
            return 0;
    TMemStream mem;
    mem.Write(data, static_cast<int>(size));
    mem.Seek(0);
    TPNGLoader loader;
    loader.LoadAlpha = size > 0 && (data[size - 1] & 1);
    TLinearBitmap bmp;
    if (!Load(loader, mem, bmp))
        return 0;
    TPNGLoader writer;
    TMemStream out;
    writer.SaveToStream(out, "PNG", bmp);
    out.Seek(0);
    TLinearBitmap back;
    TPNGLoader reader;
    if (!Load(reader, out, back) || back.PixelFormat != bmp.PixelFormat || back.Size != bmp.Size ||
        std::memcmp(back.Map.get(), bmp.Map.get(), static_cast<std::size_t>(bmp.Size)) != 0 ||
        (bmp.Palette && std::memcmp(back.Palette.get(), bmp.Palette.get(), 768) != 0))
        std::abort();
    return 0;
}
