#pragma once
// The reader's per-row work, the hot path of a PNG load: undoing a row filter
// and turning a raw row into the bitmap's pixel layout.
#include <cstdint>

namespace imaging::pngrows {

// Bytes the row buffers must have beyond the row: the vector paths load a
// whole 32-bit word for a 3-byte pixel.
inline constexpr int kRowPadding = 16;

// Undoes filter type `type` (0..4) in place. `prev` is the unfiltered row
// above (all zeros for the first row of a pass); `bpp` the bytes per complete
// pixel, at least 1. Both rows have kRowPadding bytes of room after `n`.
void Unfilter(int type, std::uint8_t *row, const std::uint8_t *prev, int n, int bpp) noexcept;

// How a raw row becomes bitmap pixels.
struct RowFormat {
    int Depth = 8;          // bits per sample: 1, 2, 4, 8 or 16
    int Samples = 1;        // 1 grey/index, 2 grey + alpha, 3 RGB, 4 RGBA
    bool Intrapixel = false; // red and blue were stored minus green
};

// Converts `count` pixels: samples below 8 bits to one byte each; 8-bit grey
// or index copied; 16-bit grey little-endian (2 bytes); colour as blue,
// green, red from the high bytes; alpha (its high byte) to `alpha` when it is
// not null.
void ConvertRow(const RowFormat &f, const std::uint8_t *raw, int count, std::uint8_t *dst,
                std::uint8_t *alpha) noexcept;

} // namespace imaging::pngrows
