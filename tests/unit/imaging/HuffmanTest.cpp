// Code tables from lengths and from frequencies, and the decoding tree.
#include "TestHelpers.h"
#include "imaging/Huffman.h"
#include "platform/core/Exceptions.h"


using namespace imaging;

namespace {
// Checks that `c` is complete (Kraft sum 1, for 2+ symbols), within `maxBits`
// and equal to the canonical code of its own lengths.
void ExpectCompleteCanonical(const THuffmanCodes &c, int count, int maxBits, bool complete)
{
    std::uint64_t kraft = 0;
    std::vector<std::uint8_t> lens(static_cast<std::size_t>(count));
    for (int s = 0; s < count; ++s) {
        ASSERT_LE(c.Codes[s].Length, static_cast<std::uint32_t>(maxBits));
        lens[static_cast<std::size_t>(s)] = static_cast<std::uint8_t>(c.Codes[s].Length);
        kraft += c.Codes[s].Length ? std::uint64_t(1) << (32 - c.Codes[s].Length) : 0;
    }
    if (complete) {
        ASSERT_EQ(kraft, std::uint64_t(1) << 32);
    }
    THuffmanCodes canon;
    canon.SetCount(count);
    canon.BuildFromLengths(lens.data(), maxBits);
    for (int s = 0; s < count; ++s)
        ASSERT_EQ(c.Codes[s].Code, canon.Codes[s].Code) << s;
}
} // namespace

TEST(HuffmanTest, LengthsFromFrequencies)
{
    THuffmanCodes c;
    c.SetCount(32);
    c.SetFixedLength(5);
    EXPECT_EQ(c.Codes[1].Code, 0b10000u);
    EXPECT_EQ(c.Codes[1].Length, 5u);
    // A lone symbol gets one bit, none gives no codes; ties go to the later
    // symbol (ties to the earlier one would give 2, 2, 1 for three equal weights).
    using V = std::vector<std::uint32_t>;
    for (const auto &[weights, lengths] : {std::pair<V, V>{{0, 0, 42, 0}, {0, 0, 1, 0}},
                                           {{0, 0, 0}, {0, 0, 0}}, {{1, 1, 2}, {2, 2, 1}}, {{1, 1, 1}, {1, 2, 2}}}) {
        c.SetCount(static_cast<int>(weights.size()));
        V w = weights, got;
        c.BuildFromFrequencies(w.data(), 15);
        for (std::size_t s = 0; s < weights.size(); ++s)
            got.push_back(c.Codes[s].Length);
        EXPECT_EQ(got, lengths);
    }
    EXPECT_EQ(c.Codes[1].Code, ReverseBits(0b10, 2)); // canonical: 0, 10, 11

    // Fibonacci weights make a maximally deep tree: limited to 7 bits.
    std::uint32_t f[19] = {1, 1};
    for (int i = 2; i < 19; ++i)
        f[i] = f[i - 1] + f[i - 2];
    c.SetCount(19);
    c.BuildFromFrequencies(f, 7);
    ExpectCompleteCanonical(c, 19, 7, true);
    std::mt19937 rng(5);
    for (int round = 0; round < 200; ++round) {
        std::uint32_t freq[288];
        int used = 0;
        for (auto &x : freq)
            used += (x = (rng() % 3 == 0) ? 0 : (rng() % 4 == 0 ? rng() % 65537 : rng() % 5)) != 0;
        THuffmanCodes t;
        t.SetCount(288);
        t.BuildFromFrequencies(freq, 15);
        ExpectCompleteCanonical(t, 288, 15, used >= 2);
    }
}

TEST(HuffmanTest, CanonicalCodesTreeAndBadSets)
{
    const std::uint8_t lens[4] = {2, 1, 3, 3};
    THuffmanCodes c;
    c.SetCount(4);
    c.BuildFromLengths(lens, 15);
    const std::uint32_t canonical[4] = {0b10, 0, 0b110, 0b111}; // before reversal
    THuffmanTree tree;
    tree.SetCount(4);
    tree.BuildFromLengths(lens, 15);
    EXPECT_EQ(tree.Root, 4);
    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(c.Codes[s].Code, ReverseBits(canonical[s], lens[s]));
        EXPECT_EQ(c.Codes[s].Length, lens[s]);
        int node = tree.Root;
        std::uint32_t code = c.Codes[s].Code;
        for (std::uint32_t i = 0; i < c.Codes[s].Length; ++i, code >>= 1)
            node = (code & 1) ? tree.Nodes[node].One : tree.Nodes[node].Zero;
        EXPECT_EQ(node, s);
    }
    const std::uint8_t over[4] = {1, 1, 1, 0}, tooLong[4] = {1, 9, 2, 0};
    EXPECT_EQ(itest::MessageOf([&] { c.BuildFromLengths(over, 15); }), "Error in compressed data");
    EXPECT_EQ(itest::MessageOf([&] { c.BuildFromLengths(tooLong, 7); }), "Error in compressed data");

    // A complete code over all 289 symbols needs every internal node.
    THuffmanCodes all;
    all.SetCount(289);
    std::vector<std::uint32_t> ones(289, 1);
    all.BuildFromFrequencies(ones.data(), 15);
    THuffmanTree big;
    big.Build(all);
    EXPECT_LT(big.LastNode, THuffmanTree::NodeCount);
    THuffmanCodes bad; // one code a prefix of another
    bad.SetCount(3);
    bad.Codes[0] = {0, 1};
    bad.Codes[1] = {0, 2};
    bad.Codes[2] = {1, 1};
    EXPECT_THROW(big.Build(bad), platform::Exception);
}
