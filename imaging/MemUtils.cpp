#include "imaging/MemUtils.h"

#include <cstring>
#include <utility>

namespace imaging {

int FindByte(std::uint8_t Value, int EndIndex, int StartIndex, const void *Buffer)
{
    if (StartIndex < 0)
        StartIndex = 0;
    if (EndIndex <= StartIndex)
        return -1;
    const auto *p = static_cast<const std::uint8_t *>(Buffer);
    const void *hit = std::memchr(p + StartIndex, Value, static_cast<std::size_t>(EndIndex - StartIndex));
    return hit ? static_cast<int>(static_cast<const std::uint8_t *>(hit) - p) : -1;
}

int FindWord(std::uint16_t Value, int EndIndex, int StartIndex, const void *Buffer)
{
    const auto *p = static_cast<const std::uint8_t *>(Buffer);
    const auto lo = static_cast<std::uint8_t>(Value & 0xFF), hi = static_cast<std::uint8_t>(Value >> 8);
    for (int i = StartIndex < 0 ? 0 : StartIndex; i < EndIndex; ++i)
        if (p[i] == lo && p[i + 1] == hi)
            return i;
    return -1;
}

void ZeroMem(void *P, std::size_t Count)
{
    if (Count)
        std::memset(P, 0, Count);
}

void SwapDWord(std::uint32_t &X) { X = __builtin_bswap32(X); }

std::int32_t SwapDWordValue(std::int32_t X)
{
    return static_cast<std::int32_t>(__builtin_bswap32(static_cast<std::uint32_t>(X)));
}

void SwapInts(std::int32_t &A, std::int32_t &B) { std::swap(A, B); }

int ClampInt(int Value, int Min, int Max)
{
    if (Value < Min)
        return Min;
    if (Value > Max)
        return Max;
    return Value;
}

} // namespace imaging
