#pragma once
// Huffman code tables (per symbol: code with its bits reversed, and length)
// and the binary decoding tree of the deflate coder. The deflate stream itself
// decodes through lookup tables (Deflate); the tree serves THuffmanBitStream.
#include <cstdint>

namespace imaging {

struct THuffmanCode {
    std::uint32_t Code = 0;   // bits reversed: written LSB first, the MSB of the code goes out first
    std::uint32_t Length = 0; // 0: the symbol has no code
};

class THuffmanCodes {
public:
    static constexpr int Capacity = 289;

    int MaxSymbol = -1;
    THuffmanCode Codes[Capacity];

    // MaxSymbol := n - 1; n must be 1..289.
    void SetCount(int n);
    // Canonical codes from code lengths (lengths[0..MaxSymbol]). Lengths above
    // maxBits and over-subscribed sets raise "Error in compressed data".
    void BuildFromLengths(const std::uint8_t *lengths, int maxBits);
    // Optimal lengths limited to maxBits, then canonical codes. `freq`
    // (freq[0..MaxSymbol]) is consumed: the merge overwrites it.
    void BuildFromFrequencies(std::uint32_t *freq, int maxBits);
    // Every symbol gets `bits` bits and its own number as code.
    void SetFixedLength(int bits);
};

// Reverses the low `count` bits of `value`.
std::uint32_t ReverseBits(std::uint32_t value, int count) noexcept;

struct THuffmanNode {
    std::uint16_t One = 0xFFFF;
    std::uint16_t Zero = 0xFFFF;
    std::uint16_t Parent = 0xFFFF;
};

class THuffmanTree {
public:
    static constexpr int NodeCount = 578;
    static constexpr std::uint16_t None = 0xFFFF;

    THuffmanNode Nodes[NodeCount];
    int MaxSymbol = -1;
    int LastNode = 0;
    int Root = 0;

    void SetCount(int n);
    // Builds the tree from a code table (takes MaxSymbol from it). A table that
    // does not form a prefix code (over-subscribed) raises "Error in compressed data".
    void Build(const THuffmanCodes &codes);
    void BuildFromLengths(const std::uint8_t *lengths, int maxBits);
};

} // namespace imaging
