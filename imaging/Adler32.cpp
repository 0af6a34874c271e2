#include "imaging/Adler32.h"

#include "imaging/CRC32Core.h"

namespace imaging {

void TAdler32::Update(const void *buffer, std::int64_t count) noexcept
{
    if (count < 1)
        return;
    Adler32Update(A, B, buffer, static_cast<std::size_t>(count));
}

void TAdler32::UpdateByte(int value) noexcept
{
    A += static_cast<std::uint8_t>(value);
    if (A >= 65521)
        A -= 65521;
    B += A;
    if (B >= 65521)
        B -= 65521;
}

std::uint32_t TAdler32::GetResult() const noexcept
{
    return __builtin_bswap32(Value());
}

} // namespace imaging
