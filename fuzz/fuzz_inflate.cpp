// Any bytes as deflate data: decoded or refused within bounds, the same from memory and from a
// source (pulled, or peeked in views of any size) taking no byte after the data; re-encodable;
// copied whole through the deflate stream, from a stream shown in place and from one only read.
#include "imaging/Deflate.h"
#include "imaging/DeflateCoder.h"
#include "imaging/MemStream.h"
#include "platform/core/Exceptions.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
// Pulls, and when `peek` is set also shows views of varying size (none at times).
struct Source : imaging::InflateSource {
    const std::uint8_t *data;
    std::size_t size, pos = 0, shown = 0;
    bool peek;
    unsigned turn = 0;
    Source(const std::uint8_t *d, std::size_t n, bool p) : data(d), size(n), peek(p) {}
    std::size_t Pull(std::uint8_t *out, std::size_t n) override
    {
        n = std::min(n, size - pos);
        std::memcpy(out, data + pos, n);
        pos += n, shown = 0;
        return n;
    }
    const std::uint8_t *Peek(std::size_t &count) override
    {
        static const std::size_t sizes[] = {0, 1, 3, 8, 9, 64, 1000};
        count = shown = std::min(peek ? sizes[turn++ % 7] : 0, size - pos);
        return data + pos;
    }
    void Skip(std::size_t count) override
    {
        if (count > shown)
            std::abort(); // took more than it was shown
        pos += count, shown = 0;
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
    for (bool peek : {false, true}) {
        Source src(data, size, peek);
        imaging::Inflater pull;
        pull.SetSource(&src);
        std::vector<std::uint8_t> b;
        std::string errB;
        const bool okB = Decode(pull, b, errB);
        if (okA != okB || errA != errB || (okA && (a != b || src.pos != mem.InputUsed())))
            std::abort();
    }
    if (okA && a.size() <= MaxOutput) {
        imaging::TMemStream stored;
        stored.Write(data, static_cast<int>(size));
        imaging::TFilterStream plain(&stored); // shows nothing in place: only read
        plain.CanRead = true;
        for (imaging::TBaseStream *next : {static_cast<imaging::TBaseStream *>(&stored), static_cast<imaging::TBaseStream *>(&plain)}) {
            stored.Seek(0);
            imaging::TDeflateStream in(next, 0);
            imaging::TMemStream copy;
            copy.CopyFrom(in);
            std::vector<std::uint8_t> c(static_cast<std::size_t>(copy.Size()));
            copy.Seek(0);
            if (!c.empty())
                copy.Read(c.data(), copy.Size());
            if (c != a)
                std::abort();
        }
    }
    if (okA && a.size() <= 65536) { // keeps each input quick; the unit tests re-encode large data
        const std::uint8_t type = size > 0 && (data[0] & 8) ? imaging::BlockDynamic : imaging::BlockFixed;
        const auto packed = imaging::DeflateBuffer(a.data(), a.size(), type);
        if (imaging::InflateBuffer(packed.data(), packed.size()) != a)
            std::abort();
    }
    return 0;
}
