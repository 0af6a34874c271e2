// Code tables from lengths and from frequencies, and the decoding tree (the
// fuzz target checks the same properties on arbitrary tables).
#include "TestHelpers.h"
#include "imaging/Huffman.h"
#include "platform/core/Exceptions.h"

using namespace imaging;

TEST(HuffmanTest, LengthsFromFrequencies)
{
    THuffmanCodes c;
    c.SetCount(32);
    c.SetFixedLength(5);
    EXPECT_EQ(c.Codes[1].Code * 10 + c.Codes[1].Length, 0b10000u * 10 + 5);
    // A lone symbol gets one bit, none gives no codes; ties go to the later
    // symbol (ties to the earlier one would give 2, 2, 1 for three equal weights).
    using V = std::vector<std::uint32_t>;
    for (const auto &[weights, lengths] : {std::pair<V, V>{{0, 0, 42, 0}, {0, 0, 1, 0}}, {{0, 0, 0}, {0, 0, 0}},
                                           {{1, 1, 2}, {2, 2, 1}}, {{1, 1, 1}, {1, 2, 2}}}) {
        c.SetCount(static_cast<int>(weights.size()));
        V w = weights, got;
        c.BuildFromFrequencies(w.data(), 15);
        for (std::size_t s = 0; s < weights.size(); ++s)
            got.push_back(c.Codes[s].Length);
        EXPECT_EQ(got, lengths);
    }
    EXPECT_EQ(c.Codes[1].Code, ReverseBits(0b10, 2)); // canonical: 0, 10, 11
    // Fibonacci weights make a maximally deep tree: limited to 7 bits, still
    // complete and the canonical code of its own lengths.
    std::uint32_t f[19] = {1, 1};
    for (int i = 2; i < 19; ++i)
        f[i] = f[i - 1] + f[i - 2];
    c.SetCount(19);
    c.BuildFromFrequencies(f, 7);
    std::uint64_t kraft = 0;
    std::uint8_t lens[19];
    for (int s = 0; s < 19; ++s) {
        ASSERT_TRUE(c.Codes[s].Length >= 1 && c.Codes[s].Length <= 7) << s;
        kraft += std::uint64_t(1) << (32 - (lens[s] = static_cast<std::uint8_t>(c.Codes[s].Length)));
    }
    EXPECT_EQ(kraft, std::uint64_t(1) << 32);
    THuffmanCodes canon;
    canon.SetCount(19);
    canon.BuildFromLengths(lens, 7);
    for (int s = 0; s < 19; ++s)
        EXPECT_EQ(c.Codes[s].Code, canon.Codes[s].Code) << s;
}

TEST(HuffmanTest, CanonicalCodesTreeAndBadSets)
{
    const std::uint8_t lens[4] = {2, 1, 3, 3}, over[4] = {1, 1, 1, 0}, tooLong[4] = {1, 9, 2, 0};
    const std::uint32_t canonical[4] = {0b10, 0, 0b110, 0b111}; // before reversal
    THuffmanCodes c;
    c.SetCount(4);
    c.BuildFromLengths(lens, 15);
    THuffmanTree tree;
    tree.SetCount(4);
    tree.BuildFromLengths(lens, 15);
    EXPECT_EQ(tree.Root, 4);
    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(c.Codes[s].Code, ReverseBits(canonical[s], lens[s]));
        EXPECT_EQ(c.Codes[s].Length, lens[s]);
        int node = tree.Root;
        for (std::uint32_t i = 0, code = c.Codes[s].Code; i < c.Codes[s].Length; ++i, code >>= 1)
            node = (code & 1) ? tree.Nodes[node].One : tree.Nodes[node].Zero;
        EXPECT_EQ(node, s);
    }
    EXPECT_EQ(itest::MessageOf([&] { c.BuildFromLengths(over, 15); }), "Error in compressed data");
    EXPECT_EQ(itest::MessageOf([&] { c.BuildFromLengths(tooLong, 7); }), "Error in compressed data");
    THuffmanCodes all; // a complete code over all 289 symbols needs every internal node
    all.SetCount(289);
    std::vector<std::uint32_t> ones(289, 1);
    all.BuildFromFrequencies(ones.data(), 15);
    THuffmanTree big;
    big.Build(all);
    EXPECT_LT(big.LastNode, THuffmanTree::NodeCount);
    THuffmanCodes bad; // one code a prefix of another
    bad.SetCount(3);
    bad.Codes[0] = {0, 1}, bad.Codes[1] = {0, 2}, bad.Codes[2] = {1, 1};
    EXPECT_THROW(big.Build(bad), platform::Exception);
}
