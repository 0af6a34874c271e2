#pragma once
// Small memory and integer routines used by the loaders, checksums and the
// PNG code.
#include <cstdint>
#include <memory>

namespace imaging {

// Empties an owning pointer (the pointer is cleared before the block goes).
template <typename T>
void FreeMemAndNil(std::unique_ptr<T> &P)
{
    std::unique_ptr<T> old = std::move(P);
}

// First index i with StartIndex <= i < EndIndex and Buffer[i] == Value, or -1.
int FindByte(std::uint8_t Value, int EndIndex, int StartIndex, const void *Buffer);
// First index i in the same range where Buffer[i], Buffer[i + 1] hold Value
// little-endian, or -1. The byte at EndIndex may be read: Buffer must hold
// EndIndex + 1 bytes.
int FindWord(std::uint16_t Value, int EndIndex, int StartIndex, const void *Buffer);
void ZeroMem(void *P, std::size_t Count);
void SwapDWord(std::uint32_t &X);
std::int32_t SwapDWordValue(std::int32_t X);
void SwapInts(std::int32_t &A, std::int32_t &B);
int ClampInt(int Value, int Min, int Max);
constexpr int Align4(int X) { return (X + 3) & ~3; }
constexpr int Align8(int X) { return (X + 7) & ~7; }

} // namespace imaging
