// What a loader reads comes back unchanged through its own writer and a fresh loader.
#pragma once
#include "imaging/LinarBitmap.h"
#include "imaging/MemStream.h"

#include <cstdlib>
#include <cstring>

template <typename Loader>
void CheckRoundTrip(const std::uint8_t *data, std::size_t size, const char *ext, Loader &loader)
{
    const auto load = [ext](Loader &l, imaging::TMemStream &mem, imaging::TLinearBitmap &bmp) {
        try {
            return l.LoadFromStream(mem, ext, bmp), true;
        } catch (const platform::Exception &) {
            return false;
        }
    };
    imaging::TMemStream mem, out;
    mem.Write(data, static_cast<int>(size));
    mem.Seek(0);
    imaging::TLinearBitmap bmp, back;
    if (!load(loader, mem, bmp))
        return;
    Loader writer, reader;
    writer.SaveToStream(out, ext, bmp);
    out.Seek(0);
    if (!load(reader, out, back) || back.PixelFormat != bmp.PixelFormat || back.Size != bmp.Size ||
        std::memcmp(back.Map.get(), bmp.Map.get(), static_cast<std::size_t>(bmp.Size)) != 0 ||
        (bmp.Palette && std::memcmp(back.Palette.get(), bmp.Palette.get(), 768) != 0))
        std::abort();
}
