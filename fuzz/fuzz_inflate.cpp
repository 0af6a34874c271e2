// Any bytes as deflate data: the inflater decodes them or raises one of its
// errors; it never reads out of bounds. Pulling from a stream a byte at a
// time must give the same result and take no byte after the data; what it
// decodes must survive our encoder and come back the same.
#include "imaging/DeflateCoder.h"
#include "platform/core/Exceptions.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Source : imaging::InflateSource {
    const std::uint8_t *data;
    std::size_t size, pos = 0;
    Source(const std::uint8_t *d, std::size_t n) : data(d), size(n) {}
    std::size_t Pull(std::uint8_t *out, std::size_t n) override
    {
        const std::size_t m = n < size - pos ? n : size - pos;
        std::memcpy(out, data + pos, m);
        pos += m;
        return m;
    }
};

constexpr std::size_t MaxOutput = 8u << 20; // bounds the work of one input

bool Decode(imaging::Inflater &inf, std::vector<std::uint8_t> &out, std::string &error)
{
    std::uint8_t chunk[4096];
    try {
        for (;;) {
            const std::size_t n = inf.Read(chunk, sizeof chunk);
            out.insert(out.end(), chunk, chunk + n);
            if (n < sizeof chunk || out.size() > MaxOutput)
                return n < sizeof chunk;
        }
    } catch (const platform::Exception &e) {
        error = e.what();
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    imaging::Inflater mem;
    mem.SetInput(data, size);
    std::vector<std::uint8_t> a;
    std::string errA;
    const bool okA = Decode(mem, a, errA);

    Source src(data, size);
    imaging::Inflater pull;
    pull.SetSource(&src);
    std::vector<std::uint8_t> b;
    std::string errB;
    const bool okB = Decode(pull, b, errB);

    if (okA != okB || errA != errB)
        std::abort();
    if (okA) {
        if (a != b || src.pos != mem.InputUsed())
            std::abort();
        if (a.size() > 65536)
            return 0; // keeps each input quick; the unit tests re-encode large data
        const std::uint8_t type = size > 0 && (data[0] & 8) ? imaging::BlockDynamic : imaging::BlockFixed;
        const auto packed = imaging::DeflateBuffer(a.data(), a.size(), type);
        if (imaging::InflateBuffer(packed.data(), packed.size()) != a)
            std::abort();
    }
    return 0;
}
