#include "imaging/Huffman.h"

#include "platform/core/Exceptions.h"

#include <algorithm>
#include <cstring>
#include <array>

namespace imaging {

namespace {
[[noreturn]] void BadData()
{
    throw platform::Exception("Error in compressed data");
}
} // namespace

std::uint32_t ReverseBits(std::uint32_t value, int count) noexcept
{
    std::uint32_t r = 0;
    for (int i = 0; i < count; ++i) {
        r = (r << 1) | (value & 1);
        value >>= 1;
    }
    return r;
}

void THuffmanCodes::SetCount(int n)
{
    if (n < 1 || n > Capacity)
        throw platform::EAssertionFailed("Invalid Huffman symbol count");
    MaxSymbol = n - 1;
}

void THuffmanCodes::BuildFromLengths(const std::uint8_t *lengths, int maxBits)
{
    if (maxBits < 1 || maxBits > 32 || MaxSymbol < 0)
        throw platform::EAssertionFailed("Invalid Huffman code length limit");
    std::uint32_t count[33] = {};
    for (int s = 0; s <= MaxSymbol; ++s) {
        if (lengths[s] > maxBits)
            BadData();
        ++count[lengths[s]];
    }
    count[0] = 0;
    // Kraft check: more codes of a length than the code space leaves would
    // give codes that do not fit their length.
    std::int64_t left = 1;
    for (int bits = 1; bits <= maxBits; ++bits) {
        left = left * 2 - count[bits];
        if (left < 0)
            BadData();
        if (left > (std::int64_t(1) << 33))
            left = std::int64_t(1) << 33; // only the sign matters from here
    }
    std::uint32_t next[33] = {};
    std::uint32_t code = 0;
    for (int bits = 1; bits <= maxBits; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    for (int s = 0; s <= MaxSymbol; ++s) {
        const int len = lengths[s];
        Codes[s].Length = static_cast<std::uint32_t>(len);
        Codes[s].Code = len ? ReverseBits(next[len]++, len) : 0;
    }
}

void THuffmanCodes::BuildFromFrequencies(std::uint32_t *freq, int maxBits)
{
    if (maxBits < 1 || maxBits > 32 || MaxSymbol < 0)
        throw platform::EAssertionFailed("Invalid Huffman code length limit");
    const int n = MaxSymbol + 1;
    for (auto &c : Codes)
        c = THuffmanCode{};
    int link[Capacity];
    int depth[Capacity];
    std::uint64_t weight[Capacity]; // 64-bit, so huge frequencies cannot wrap to 0
    for (int i = 0; i < n; ++i) {
        link[i] = -1;
        depth[i] = 0;
        weight[i] = freq[i];
    }
    bool limited = false;

    // Merge the two smallest weights until one is left; ties go to the later symbol.
    for (;;) {
        int s1 = -1, s2 = -1;
        for (int i = 0; i < n; ++i) {
            if (weight[i] == 0)
                continue;
            if (s1 < 0 || weight[i] <= weight[s1]) {
                s2 = s1;
                s1 = i;
            } else if (s2 < 0 || weight[i] <= weight[s2]) {
                s2 = i;
            }
        }
        if (s2 < 0) {
            if (s1 < 0) {
                for (int i = 0; i < n; ++i)
                    freq[i] = 0;
                return;
            }
            if (depth[s1] == 0)
                depth[s1] = 1;
            break;
        }
        weight[s1] += weight[s2];
        weight[s2] = 0;
        int k = s1;
        for (;;) {
            ++depth[k];
            if (link[k] < 0)
                break;
            k = link[k];
        }
        link[k] = s2;
        for (k = s2; k >= 0; k = link[k])
            ++depth[k];
    }
    for (int i = 0; i < n; ++i)
        freq[i] = static_cast<std::uint32_t>(weight[i]);

    // Depth counts, indexed by depth - 1; sized for any tree of n leaves.
    // (fixed size: nothing is allocated while coding)
    const int slots = std::max(2 * maxBits, n + 1);
    std::array<int, 2 * Capacity> count{};
    int maxDepth = 0;
    for (int i = 0; i < n; ++i)
        if (depth[i] > 0) {
            ++count[static_cast<std::size_t>(depth[i] - 1)];
            maxDepth = std::max(maxDepth, depth[i]);
        }

    // Length limiting of ISO/IEC 10918-1 Annex K.
    for (int i = slots - 1; i >= maxBits; --i) {
        while (count[static_cast<std::size_t>(i)] > 0) {
            limited = true;
            int j = i - 2;
            while (j >= 0 && count[static_cast<std::size_t>(j)] == 0)
                --j;
            if (j < 0)
                throw platform::EAssertionFailed("Too many Huffman symbols for the length limit");
            count[static_cast<std::size_t>(i)] -= 2;
            count[static_cast<std::size_t>(i - 1)] += 1;
            count[static_cast<std::size_t>(j + 1)] += 2;
            count[static_cast<std::size_t>(j)] -= 1;
        }
    }

    // Symbols by depth, ties by symbol number.
    int list[Capacity];
    int listed = 0;
    for (int d = 1; d <= maxDepth; ++d)
        for (int i = 0; i < n; ++i)
            if (depth[i] == d)
                list[listed++] = i;

    int lens[Capacity];
    {
        int pos = 0;
        for (int len = 1; len <= maxBits && pos < listed; ++len)
            for (int c = 0; c < count[static_cast<std::size_t>(len - 1)] && pos < listed; ++c)
                lens[pos++] = len;
        if (pos != listed)
            throw platform::EAssertionFailed("Huffman length limiting failed");
    }

    // Codes along the list.
    std::uint32_t code = 0;
    int cur = listed > 0 ? lens[0] : 0;
    for (int pos = 0; pos < listed;) {
        while (pos < listed && lens[pos] == cur) {
            Codes[list[pos]].Code = code++;
            Codes[list[pos]].Length = static_cast<std::uint32_t>(cur);
            ++pos;
        }
        ++cur;
        code <<= 1;
    }

    // After limiting, codes of one length follow the list order, not the symbol
    // order: sort them so the table equals the canonical code of its lengths.
    if (limited) {
        for (int len = 1; len <= maxBits; ++len) {
            std::uint32_t codes[Capacity];
            int m = 0;
            for (int i = 0; i < n; ++i)
                if (Codes[i].Length == static_cast<std::uint32_t>(len))
                    codes[m++] = Codes[i].Code;
            std::sort(codes, codes + m);
            m = 0;
            for (int i = 0; i < n; ++i)
                if (Codes[i].Length == static_cast<std::uint32_t>(len))
                    Codes[i].Code = codes[m++];
        }
    }
    for (int i = 0; i < n; ++i)
        Codes[i].Code = ReverseBits(Codes[i].Code, static_cast<int>(Codes[i].Length));
}

void THuffmanCodes::SetFixedLength(int bits)
{
    if (bits < 1 || bits > 32)
        throw platform::EAssertionFailed("Invalid Huffman code length");
    for (int s = 0; s <= MaxSymbol; ++s) {
        Codes[s].Length = static_cast<std::uint32_t>(bits);
        Codes[s].Code = ReverseBits(static_cast<std::uint32_t>(s), bits);
    }
}

void THuffmanTree::SetCount(int n)
{
    if (n < 1 || n > THuffmanCodes::Capacity)
        throw platform::EAssertionFailed("Invalid Huffman symbol count");
    MaxSymbol = n - 1;
}

void THuffmanTree::Build(const THuffmanCodes &codes)
{
    if (codes.MaxSymbol < 0 || codes.MaxSymbol >= THuffmanCodes::Capacity)
        throw platform::EAssertionFailed("Invalid Huffman symbol count");
    MaxSymbol = codes.MaxSymbol;
    LastNode = MaxSymbol + 1;
    Root = MaxSymbol + 1;
    // Every internal node starts without children; a complete code of all 289
    // symbols needs one node more than 2*MaxSymbol - 1.
    for (int i = 0; i < NodeCount; ++i)
        Nodes[i] = THuffmanNode{};
    for (int s = 0; s <= MaxSymbol; ++s) {
        const THuffmanCode &c = codes.Codes[s];
        if (c.Length == 0)
            continue;
        if (c.Length > 32)
            BadData();
        int node = Root;
        std::uint32_t code = c.Code;
        for (std::uint32_t b = 0; b + 1 < c.Length; ++b, code >>= 1) {
            std::uint16_t &child = (code & 1) ? Nodes[node].One : Nodes[node].Zero;
            if (child == None) {
                if (LastNode + 1 >= NodeCount)
                    BadData();
                ++LastNode;
                child = static_cast<std::uint16_t>(LastNode);
                Nodes[LastNode].Parent = static_cast<std::uint16_t>(node);
            } else if (child <= MaxSymbol) {
                BadData(); // a shorter code is a prefix of this one
            }
            node = child;
        }
        std::uint16_t &leaf = (code & 1) ? Nodes[node].One : Nodes[node].Zero;
        if (leaf != None)
            BadData(); // two codes for one place
        leaf = static_cast<std::uint16_t>(s);
        Nodes[s].Parent = static_cast<std::uint16_t>(node);
    }
}

void THuffmanTree::BuildFromLengths(const std::uint8_t *lengths, int maxBits)
{
    THuffmanCodes codes;
    codes.MaxSymbol = MaxSymbol;
    codes.BuildFromLengths(lengths, maxBits);
    Build(codes);
}

} // namespace imaging
