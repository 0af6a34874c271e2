// Any bytes as a PNG or MNG file: read or refused within bounds; what loads comes back
// unchanged through our writer and reader.
#include "RoundTrip.h"
#include "imaging/PNGLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Larger images only test the allocator: the loader's own cap is 2^28 pixels.
    const auto be32 = [](const std::uint8_t *p) { return std::uint64_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; };
    for (std::size_t i = 0; i + 12 <= size; ++i)
        if (std::memcmp(data + i, "IHDR", 4) == 0 && be32(data + i + 4) * be32(data + i + 8) > (1u << 22))
            return 0;
    imaging::TPNGLoader loader;
    loader.LoadAlpha = size > 0 && (data[size - 1] & 1);
    CheckRoundTrip(data, size, "PNG", loader);
    return 0;
}
