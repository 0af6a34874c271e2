// Any bytes as a PCX file: read or refused within bounds; what loads comes back unchanged
// through our writer and loader.
#include "RoundTrip.h"
#include "imaging/PCXLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Larger pictures only test the allocator (the cap is 2^28 pixels).
    const auto i16 = [&](int at) { return static_cast<int>(static_cast<std::int16_t>(data[at] | (data[at + 1] << 8))); };
    imaging::TPCXLoader loader;
    if (size < 128 || std::int64_t(i16(66)) * (i16(10) - i16(6) + 1) <= (1 << 22))
        CheckRoundTrip(data, size, "PCX", loader);
    return 0;
}
