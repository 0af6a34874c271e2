#pragma once
// The Adler-32 trailer of the zlib stream inside PNG image data; the PNG coder
// feeds it the uncompressed bytes explicitly.
#include <cstdint>

namespace imaging {

class TAdler32 {
public:
    std::uint32_t A = 1; // byte sum
    std::uint32_t B = 0; // sum of sums

    void Reset() noexcept
    {
        A = 1;
        B = 0;
    }
    // A count below 1 does nothing.
    void Update(const void *buffer, std::int64_t count) noexcept;
    void UpdateByte(int value) noexcept;
    // (B << 16 | A) with its bytes reversed: stored in memory order it gives the
    // big-endian form that zlib requires.
    std::uint32_t GetResult() const noexcept;
    // The plain checksum value (B << 16 | A).
    std::uint32_t Value() const noexcept { return (B << 16) | A; }
};

} // namespace imaging
