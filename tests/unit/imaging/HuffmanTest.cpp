// Code tables from lengths and from frequencies, and the decoding tree.
#include "imaging/Huffman.h"
#include "platform/core/Exceptions.h"

#include <gtest/gtest.h>

#include <random>

using namespace imaging;

namespace {
// Kraft sum times 2^15 of a table's lengths.
std::uint64_t KraftSum(const THuffmanCodes &c)
{
    std::uint64_t sum = 0;
    for (int s = 0; s <= c.MaxSymbol; ++s)
        if (c.Codes[s].Length)
            sum += std::uint64_t(1) << (32 - c.Codes[s].Length);
    return sum;
}
} // namespace

TEST(HuffmanTest, FixedLengthAndFrequencies)
{
    THuffmanCodes c;
    c.SetCount(32);
    c.SetFixedLength(5);
    EXPECT_EQ(c.Codes[1].Code, 0b10000u);
    EXPECT_EQ(c.Codes[1].Length, 5u);

    // Lengths from weights. A lone symbol gets one bit, none gives no codes;
    // ties go to the later symbol: of three equal weights the last two merge
    // first (ties to the earlier one would give 2, 2, 1).
    using V = std::vector<std::uint32_t>;
    for (const auto &[weights, lengths] : {std::pair<V, V>{{0, 0, 42, 0}, {0, 0, 1, 0}},
                                           {{0, 0, 0}, {0, 0, 0}},
                                           {{1, 1, 2}, {2, 2, 1}},
                                           {{1, 1, 1}, {1, 2, 2}}}) {
        c.SetCount(static_cast<int>(weights.size()));
        V w = weights;
        c.BuildFromFrequencies(w.data(), 15);
        V got;
        for (std::size_t s = 0; s < weights.size(); ++s)
            got.push_back(c.Codes[s].Length);
        EXPECT_EQ(got, lengths);
    }
    EXPECT_EQ(c.Codes[0].Code, 0u); // canonical: 0, 10, 11
    EXPECT_EQ(c.Codes[1].Code, ReverseBits(0b10, 2));
}

TEST(HuffmanTest, LimitedLengthsStayCanonicalAndComplete)
{
    // Fibonacci weights make a maximally deep tree; limiting to 7 bits must
    // still give a complete prefix code equal to the canonical code of its lengths.
    THuffmanCodes c;
    c.SetCount(19);
    std::uint32_t f[19];
    std::uint32_t a = 1, b = 1;
    for (int i = 0; i < 19; ++i) {
        f[i] = a;
        const std::uint32_t t = a + b;
        a = b;
        b = t;
    }
    c.BuildFromFrequencies(f, 7);
    std::uint8_t lens[19];
    for (int s = 0; s < 19; ++s) {
        ASSERT_GE(c.Codes[s].Length, 1u);
        ASSERT_LE(c.Codes[s].Length, 7u);
        lens[s] = static_cast<std::uint8_t>(c.Codes[s].Length);
    }
    EXPECT_EQ(KraftSum(c), std::uint64_t(1) << 32);
    THuffmanCodes canon;
    canon.SetCount(19);
    canon.BuildFromLengths(lens, 7);
    for (int s = 0; s < 19; ++s)
        EXPECT_EQ(c.Codes[s].Code, canon.Codes[s].Code) << s;

    // Random frequency tables: always complete (2+ symbols), within the limit, canonical.
    std::mt19937 rng(5);
    for (int round = 0; round < 200; ++round) {
        THuffmanCodes t;
        t.SetCount(288);
        std::uint32_t freq[288];
        int used = 0;
        for (auto &x : freq) {
            x = (rng() % 3 == 0) ? 0 : (rng() % 4 == 0 ? rng() % 65537 : rng() % 5);
            used += x != 0;
        }
        t.BuildFromFrequencies(freq, 15);
        std::uint8_t l[288];
        for (int s = 0; s < 288; ++s)
            l[s] = static_cast<std::uint8_t>(t.Codes[s].Length);
        if (used >= 2) {
            ASSERT_EQ(KraftSum(t), std::uint64_t(1) << 32);
        }
        THuffmanCodes k;
        k.SetCount(288);
        k.BuildFromLengths(l, 15);
        for (int s = 0; s < 288; ++s)
            ASSERT_EQ(t.Codes[s].Code, k.Codes[s].Code);
    }
}

TEST(HuffmanTest, CanonicalCodesTreeAndBadSets)
{
    const std::uint8_t lens[4] = {2, 1, 3, 3};
    THuffmanCodes c;
    c.SetCount(4);
    c.BuildFromLengths(lens, 15);
    const std::uint32_t canonical[4][2] = {{0b10, 2}, {0, 1}, {0b110, 3}, {0b111, 3}}; // before reversal
    THuffmanTree tree;
    tree.SetCount(4);
    tree.BuildFromLengths(lens, 15);
    EXPECT_EQ(tree.Root, 4);
    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(c.Codes[s].Code, ReverseBits(canonical[s][0], static_cast<int>(canonical[s][1])));
        EXPECT_EQ(c.Codes[s].Length, canonical[s][1]);
        int node = tree.Root;
        std::uint32_t code = c.Codes[s].Code;
        for (std::uint32_t i = 0; i < c.Codes[s].Length; ++i, code >>= 1)
            node = (code & 1) ? tree.Nodes[node].One : tree.Nodes[node].Zero;
        EXPECT_EQ(node, s);
    }
    const std::uint8_t over[4] = {1, 1, 1, 0}; // three codes of one bit cannot exist
    EXPECT_THROW(c.BuildFromLengths(over, 15), platform::Exception);
    const std::uint8_t tooLong[4] = {1, 9, 2, 0};
    try {
        c.BuildFromLengths(tooLong, 7);
        FAIL();
    } catch (const platform::Exception &e) {
        EXPECT_STREQ(e.what(), "Error in compressed data");
    }

    // A complete code over all 289 symbols needs every internal node.
    THuffmanCodes all;
    all.SetCount(289);
    std::uint32_t freq[289];
    for (auto &f : freq)
        f = 1;
    all.BuildFromFrequencies(freq, 15);
    THuffmanTree big;
    big.Build(all);
    EXPECT_LT(big.LastNode, THuffmanTree::NodeCount);

    // A hand-made table where one code is a prefix of another.
    THuffmanCodes bad;
    bad.SetCount(3);
    bad.Codes[0] = {0, 1};
    bad.Codes[1] = {0, 2};
    bad.Codes[2] = {1, 1};
    EXPECT_THROW(big.Build(bad), platform::Exception);
}
