#pragma once
// CRC-32 of PNG chunks (reflected polynomial 0xEDB88320) and Adler-32 of zlib
// streams, on plain buffers. The stream classes fold through these.
#include <cstddef>
#include <cstdint>

namespace imaging {

// The 256-entry byte table of the CRC; entry n is n shifted right eight times,
// XOR-ing 0xEDB88320 whenever a 1 bit falls out.
extern const std::uint32_t CRC32Table[256];

// Folds `count` bytes into the running register `reg` (not complemented:
// start with 0xFFFFFFFF, complement at the end). Uses carry-less multiply
// when the CPU has it, slicing by eight otherwise.
std::uint32_t CRC32Update(std::uint32_t reg, const void *data, std::size_t count) noexcept;

// The byte-at-a-time table step, kept for tests and short inputs.
std::uint32_t CRC32UpdateBytewise(std::uint32_t reg, const void *data, std::size_t count) noexcept;

// Folds `count` bytes into the Adler-32 sums (a starts at 1, b at 0); both stay
// below 65521.
void Adler32Update(std::uint32_t &a, std::uint32_t &b, const void *data, std::size_t count) noexcept;

// The literal one-subtraction-per-byte form, kept for tests.
void Adler32UpdateBytewise(std::uint32_t &a, std::uint32_t &b, const void *data, std::size_t count) noexcept;

} // namespace imaging
