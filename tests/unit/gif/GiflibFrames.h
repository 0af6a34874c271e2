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
    struct Reader {
        const std::uint8_t *p;
        std::size_t left;
    } r{static_cast<const std::uint8_t *>(File), Size};
    const auto read = [](GifFileType *g, GifByteType *buf, int n) {
        auto *r = static_cast<Reader *>(g->UserData);
        const std::size_t k = std::min(std::size_t(n), r->left);
        std::memcpy(buf, r->p, k);
        r->p += k;
        r->left -= k;
        return int(k);
    };
    int err = 0;
    GifFileType *g = DGifOpen(&r, read, &err);
    if (!g)
        return std::nullopt;
    std::optional<std::vector<std::vector<std::uint8_t>>> frames;
    if (DGifSlurp(g) == GIF_OK) {
        frames.emplace();
        for (int i = 0; i < g->ImageCount; ++i) {
            const SavedImage &s = g->SavedImages[i];
            frames->emplace_back(s.RasterBits, s.RasterBits + std::size_t(s.ImageDesc.Width) * std::size_t(s.ImageDesc.Height));
        }
    }
    DGifCloseFile(g, &err);
    return frames;
}

} // namespace gif_test
