// The encoder's output is fixed byte for byte (size and CRC-32 of each case as the literal writer produced them) and inflates
// in zlib and in ours.
#include "TestHelpers.h"
#include "imaging/DeflateCoder.h"
#include "platform/core/Exceptions.h"
#include "imaging/Adler32.h"
#include "imaging/Huffman.h"

using namespace imaging;
using namespace itest;

namespace {

// One run of writes: chunk sizes, and flushes and block-type changes after chunks.
struct Script {
    std::uint8_t type = BlockFixed;
    std::vector<std::size_t> chunks;
    std::vector<int> flushAfter;
    std::vector<std::pair<int, std::uint8_t>> typeAfter;
};

Bytes Encode(const Bytes &data, const Script &s)
{
    VectorSink sink;
    DeflateEncoder c(sink);
    c.SetBlockType(s.type);
    std::size_t pos = 0;
    for (int i = 0; i < static_cast<int>(s.chunks.size()); ++i) {
        c.Write(data.data() + pos, s.chunks[i]);
        pos += s.chunks[i];
        if (std::count(s.flushAfter.begin(), s.flushAfter.end(), i))
            c.Flush();
        for (auto &t : s.typeAfter)
            if (t.first == i)
                c.SetBlockType(t.second);
    }
    c.Finish();
    return sink.Data;
}

const std::pair<std::size_t, unsigned long> kReferenceOutput[] = {
    {2, 0x6AF4413Cu}, {3, 0x5BA301B8u}, {4, 0x5ECE0F09u}, {5, 0xA53194C7u}, {6, 0xA0EFE850u},
    {98, 0xEDD7C279u}, {101, 0xF99BF3F5u}, {273, 0x54CCEE37u}, {7, 0xBD6CECC8u}, {152, 0x9B63750Au},
    {544, 0x6F27DBC8u}, {15124, 0x15E4CF6Du}, {13545, 0x9B8935E0u}, {9581, 0x573AF43Cu}, {17272, 0x25FAA3C4u},
    {26100, 0x392943E9u}, {23716, 0xD47C0D9Au}, {12, 0x2BDCA6E6u}, {13, 0x23BF527Bu}, {15, 0xC7BEAFCCu},
    {13, 0x050127F1u}, {14, 0x51903FE3u}, {16, 0x73AFC72Au}, {103, 0x78C7638Au}, {104, 0x98E50ADFu},
    {183, 0x07ABEA04u}, {566, 0x51F8890Bu}, {149, 0x3B9764BEu}, {9735, 0xA0635897u}, {13652, 0xED007960u},
    {12322, 0xABA0CA6Eu}, {20734, 0x7B7A4656u}, {16309, 0x1C0AC0B0u}, {23984, 0x9B568D4Du}, {5, 0x4564CC52u},
    {6, 0xAFE1B2A6u}, {7, 0x42C69106u}, {8, 0x387439AFu}, {9, 0xE337B383u}, {262, 0x507A2110u},
    {263, 0x44E4E3ECu}, {264, 0x9F5B8881u}, {265, 0x0463317Du}, {520, 0x5CB0DDF2u}, {521, 0x5078F58Cu},
    {32772, 0x1D1B5CD7u}, {32773, 0x3B8D8D3Eu}, {32774, 0x9C88DBE0u}, {65545, 0x1AE90E60u}, {65546, 0xC3008604u},
    {65547, 0xA59D2BE0u}, {346988, 0x4A9771D2u}, {327875, 0xD54CA072u}, {700055, 0xCA365C0Au}, {158189, 0x16EB490Fu},
    {150197, 0x20A73A21u}, {150015, 0x22504CA9u}, {1895, 0x4777570Cu}, {307, 0xAB0895DBu}, {300025, 0x0610164Bu},
    {323110, 0x86CB6EF0u}, {280671, 0xFF8BA302u}, {384030, 0x8069833Fu}, {69910, 0x6976E50Fu}, {52282, 0xF2249669u},
    {200020, 0x280A2486u}, {166055, 0xA2ED5248u}, {116003, 0x9115B0F9u}, {600060, 0x7E45B56Eu}, {350504, 0x4B24E346u},
    {227427, 0xA8E491BCu}, {244596, 0xA242998Bu}, {268152, 0x33AF97F6u}, {283811, 0x64B73F3Cu}, {300701, 0x0F422E12u},
};

Script Chunked(std::size_t total, std::uint8_t type, unsigned seed, std::size_t maxChunk)
{
    std::mt19937 rng(seed);
    Script s;
    s.type = type;
    for (std::size_t left = total; left > 0; left -= s.chunks.back())
        s.chunks.push_back(std::min<std::size_t>(left, 1 + rng() % maxChunk));
    if (s.chunks.empty())
        s.chunks.push_back(0);
    return s;
}

} // namespace

TEST(DeflateEncoderTest, KnownVectors)
{
    // Empty input and stored blocks at 65535 bytes: the reference output's edge sizes.
    // Two literals, then matches at distance 2 of 258, 258, 258, 224; an empty final block.
    const Bytes a(1000, 'a');
    EXPECT_EQ(DeflateBuffer(a.data(), a.size(), BlockFixed),
              (Bytes{0x4A, 0x4C, 0x1C, 0x85, 0xA3, 0x70, 0x14, 0x0E, 0x77, 0x08, 0x18, 0x00}));
    // No pair repeats: HLIT - 257 = 0 and HDIST - 1 = 0 (one zero distance length).
    Bytes d(256);
    std::iota(d.begin(), d.end(), 0);
    const Bytes out = DeflateBuffer(d.data(), d.size(), BlockDynamic);
    EXPECT_EQ((out[0] | (out[1] << 8)) & 0x1FFF, 0x5);
    EXPECT_EQ(ZlibInflateRaw(out, d.size()), d);
}

TEST(DeflateEncoderTest, MatchesReferenceOnEdgeSizesVariedDataAndChunking)
{
    std::size_t next = 0;
    const auto check = [&](const Bytes &data, const Script &s, const std::string &what) {
        ASSERT_LT(next, std::size(kReferenceOutput));
        const Bytes out = Encode(data, s);
        const auto [size, crc] = kReferenceOutput[next++];
        ASSERT_EQ(out.size(), size) << what;
        ASSERT_EQ(crc32(0, out.data(), static_cast<uInt>(out.size())), crc) << what;
        ASSERT_EQ(ZlibInflateRaw(out, data.size()), data) << what;
    };
    for (std::uint8_t type : {BlockFixed, BlockDynamic, BlockStored})
        for (std::size_t n : {0, 1, 2, 3, 4, 257, 258, 259, 260, 515, 516, 32767, 32768, 32769, 65535, 65536, 65537}) {
            Script s;
            s.type = type;
            s.chunks = {n};
            check(MixedData(n, static_cast<unsigned>(n + type)), s, "type " + std::to_string(type) + " size " + std::to_string(n));
        }
    std::vector<std::pair<Bytes, const char *>> cases = {
        {MixedData(700000, 1), "mixed"}, {RandomData(150000, 2), "random"}, {Bytes(300000, 0), "zeros"}};
    Bytes rgb;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 640; ++x)
            rgb.insert(rgb.end(), {static_cast<std::uint8_t>(x * 3 + y), static_cast<std::uint8_t>((x / 16) * 40),
                                   static_cast<std::uint8_t>(y)});
    cases.push_back({rgb, "gradient"});
    Bytes pairs; // every position of one pair: the 64-candidate limit matters
    std::mt19937 rng(4);
    for (int i = 0; i < 200000; ++i)
        pairs.push_back(rng() % 3 ? 'x' : static_cast<std::uint8_t>('a' + rng() % 3));
    cases.push_back({pairs, "pairs"});
    // Every item a match with extra bits on both codes: the block-size mark is stepped over, not hit.
    Bytes m = RandomData(4096, 3);
    for (std::mt19937 r8(8); m.size() < 600000;) {
        const std::size_t from = m.size() - 5 - r8() % 4000;
        for (std::size_t i = 0; i < 11; ++i)
            m.push_back(m[from + i]);
    }
    cases.push_back({m, "matches11"});
    unsigned seed = 10;
    for (const auto &[data, name] : cases)
        for (std::uint8_t type : {BlockFixed, BlockDynamic, BlockStored}) {
            ++seed;
            check(data, Chunked(data.size(), type, seed, seed % 2 ? 70000 : 300), std::string(name) + " type " + std::to_string(type));
        }
    const Bytes d = MixedData(400000, 77); // flushes and block-type changes at random points
    for (unsigned seed2 = 0; seed2 < 6; ++seed2) {
        std::mt19937 r(seed2);
        Script s = Chunked(d.size(), static_cast<std::uint8_t>(seed2 % 3), seed2, 40000);
        for (int i = 0; i < static_cast<int>(s.chunks.size()); ++i) {
            if (r() % 4 == 0)
                s.flushAfter.push_back(i);
            if (r() % 3 == 0)
                s.typeAfter.push_back({i, static_cast<std::uint8_t>(r() % 3)});
        }
        check(d, s, "flush seed " + std::to_string(seed2));
    }
}

TEST(DeflateEncoderTest, TypeChangeWithStoredDataPendingFlushesFirst)
{
    // 40,000 stored bytes pending exceed the Huffman pending limit: switching must code them first instead of copying a
    // negative count.
    const Bytes d = MixedData(90000, 5);
    VectorSink sink;
    DeflateEncoder enc(sink);
    enc.SetBlockType(BlockStored);
    enc.Write(d.data(), 40000);
    enc.SetBlockType(BlockFixed);
    ASSERT_GE(sink.Data.size(), 40005u);
    enc.Write(d.data() + 40000, 50000);
    enc.Finish();
    EXPECT_EQ(InflateBuffer(sink.Data.data(), sink.Data.size()), d);
    EXPECT_THROW(enc.Write(d.data(), 1), platform::EInOutError);
    EXPECT_THROW(enc.SetBlockType(3), platform::Exception);
}

// Trees on any input: fuzz_huffman; exact codes: the reference output above. Here the smallest over-full set and a length
// above the limit.
TEST(HuffmanTest, BadLengthSetsAreRefused)
{
    const std::uint8_t over[4] = {1, 1, 1, 0}, tooLong[4] = {1, 9, 2, 0};
    THuffmanCodes c;
    c.SetCount(4);
    EXPECT_EQ(MessageOf([&] { c.BuildFromLengths(over, 15); }), "Error in compressed data");
    EXPECT_EQ(MessageOf([&] { c.BuildFromLengths(tooLong, 7); }), "Error in compressed data");
}

// CRC-32 against zlib: every chunk the PNG tests parse. Adler-32 here, as all 0xFF bytes push both sums to their reduction
// limits, which image rows rarely do.
TEST(ChecksumTest, AdlerMatchesZlibAtItsReductionLimits)
{
    TAdler32 a;
    a.Update("abc", 3);
    a.Update("x", -5); // a negative count adds nothing
    EXPECT_EQ(a.Value(), 0x024D0127u);
    const Bytes ff(200000, 0xFF), rnd = RandomData(200000, 3);
    for (const Bytes *src : {&ff, &rnd})
        for (std::size_t len : {1, 31, 32, 5552, 5553, 200000}) {
            TAdler32 x;
            x.Update(src->data(), static_cast<std::int64_t>(len));
            ASSERT_EQ(x.Value(), adler32(1, src->data(), uInt(len))) << len;
        }
}
