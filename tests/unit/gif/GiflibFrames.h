#pragma once
// giflib as the independent decoder of what the GIF writer produces.
#include <gif_lib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace gif_test {

// The pixels of every image of a GIF file in memory, rows in display order
// (giflib undoes interlacing); nothing when giflib refuses the file.
inline std::optional<std::vector<std::vector<std::uint8_t>>> GiflibFrames(const void *File, std::size_t Size)
{
    std::pair<const std::uint8_t *, std::size_t> r{static_cast<const std::uint8_t *>(File), Size};
    int err = 0;
    GifFileType *g = DGifOpen(&r, [](GifFileType *g, GifByteType *buf, int n) {
        auto &[p, left] = *static_cast<decltype(r) *>(g->UserData);
        const std::size_t k = std::min(std::size_t(n), left);
        std::memcpy(buf, p, k), p += k, left -= k;
        return int(k);
    }, &err);
    std::optional<std::vector<std::vector<std::uint8_t>>> frames;
    if (g && DGifSlurp(g) == GIF_OK)
        for (int i = (frames.emplace(), 0); i < g->ImageCount; ++i) {
            const SavedImage &s = g->SavedImages[i];
            frames->emplace_back(s.RasterBits, s.RasterBits + std::size_t(s.ImageDesc.Width) * std::size_t(s.ImageDesc.Height));
        }
    if (g)
        DGifCloseFile(g, &err);
    return frames;
}
} // namespace gif_test
