// Code lengths build a prefix code whose tree walks back to every symbol, or are refused;
// frequencies always give a complete (or single) code within the length limit.
#include "imaging/Huffman.h"
#include "platform/core/Exceptions.h"

#include <cstdlib>

using namespace imaging;

namespace {
// Walks every code down the tree to its symbol; returns the Kraft sum (times 2^32) and the codes counted.
std::uint64_t CheckTree(const THuffmanCodes &codes, int count, int maxBits, int &coded)
{
    THuffmanTree tree;
    tree.Build(codes);
    std::uint64_t kraft = 0;
    coded = 0;
    for (int s = 0; s < count; ++s) {
        const THuffmanCode &c = codes.Codes[s];
        if (c.Length > static_cast<std::uint32_t>(maxBits))
            std::abort();
        kraft += c.Length ? std::uint64_t(1) << (32 - c.Length) : 0;
        coded += c.Length != 0;
        int node = tree.Root;
        for (std::uint32_t i = 0, code = c.Code; i < c.Length; ++i, code >>= 1) {
            if (node <= tree.MaxSymbol || node > tree.LastNode)
                std::abort();
            node = (code & 1) ? tree.Nodes[node].One : tree.Nodes[node].Zero;
        }
        if (c.Length && node != s)
            std::abort();
    }
    return kraft;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const int count = 1 + data[0] % THuffmanCodes::Capacity, maxBits = 1 + data[1] % 15;
    data += 2;
    size -= 2;
    THuffmanCodes codes;
    codes.SetCount(count);
    std::uint8_t lens[THuffmanCodes::Capacity] = {};
    std::uint32_t freq[THuffmanCodes::Capacity] = {};
    std::uint64_t kraft = 0;
    int used = 0, coded = 0;
    for (int i = 0; i < count; ++i) {
        lens[i] = static_cast<std::size_t>(i) < size ? data[i] % 17 : 0;
        kraft += lens[i] ? std::uint64_t(1) << (32 - lens[i]) : 0;
        const std::size_t at = static_cast<std::size_t>(i) * 3;
        if (at + 2 < size)
            freq[i] = data[at] | (data[at + 1] << 8) | (std::uint32_t(data[at + 2] & 0x7F) << 16);
        used += freq[i] != 0;
    }
    try {
        codes.BuildFromLengths(lens, maxBits);
        if (kraft > (std::uint64_t(1) << 32))
            std::abort(); // an over-subscribed set must have been refused
        CheckTree(codes, count, 16, coded);
    } catch (const platform::Exception &) {}
    try {
        codes.BuildFromFrequencies(freq, maxBits);
    } catch (const platform::EAssertionFailed &) {
        if (used <= (1 << maxBits))
            std::abort(); // only too many symbols for the limit may fail
        return 0;
    }
    kraft = CheckTree(codes, count, maxBits, coded);
    if (coded != used || (used >= 2 && kraft != (std::uint64_t(1) << 32)))
        std::abort();
    return 0;
}
