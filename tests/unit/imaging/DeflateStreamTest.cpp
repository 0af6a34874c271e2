// The checksum, bit and deflate coders as filter streams over the library's streams: pass-through rules, bit order, end-of-data
// behaviour.
#include "TestHelpers.h"
#include "imaging/BitStream.h"
#include "imaging/CRC32Stream.h"
#include "imaging/Deflate.h"

#include <climits>

using namespace imaging;
using namespace itest;

namespace {

// Serves bytes (at most `limit` per Read) and records what happens to it.
struct Probe : TBaseStream {
    Bytes data;
    std::size_t pos = 0;
    int flushes = 0, views = 0, limit = 1 << 30, available = -1;
    Probe(Bytes d = {}) : data(std::move(d))
    {
        CanRead = CanWrite = true;
        NoDataExcept = false;
    }
    int Write(const void *p, int n) override
    {
        data.insert(data.end(), static_cast<const std::uint8_t *>(p), static_cast<const std::uint8_t *>(p) + n);
        return n;
    }
    int Read(void *p, int n) override
    {
        const auto m = std::min<std::size_t>({static_cast<std::size_t>(n), data.size() - pos, static_cast<std::size_t>(limit)});
        std::memcpy(p, data.data() + pos, m);
        pos += m;
        return static_cast<int>(m);
    }
    int Available() override { return available >= 0 ? available : static_cast<int>(data.size() - pos); }
    void Flush() override { ++flushes; }
};
} // namespace

TEST(DeflateStreamTest, CrcStreamFoldsWhatPasses)
{
    Probe next;
    TCRC32Stream crc(&next);
    EXPECT_EQ(crc.Write("IEND", 4), 4);
    EXPECT_EQ(crc.GetCRC(), 0xAE426082u);
    crc.Flush();
    EXPECT_EQ(next.flushes, 0);
    EXPECT_EQ(next.data, (Bytes{'I', 'E', 'N', 'D'}));
    next.data = {'1', '2', '3', '4', '5', '6', '7', '8', '9'}; // a short read folds only what it delivered
    next.pos = 0;
    next.limit = 5;
    crc.ResetCRC();
    char buf[9];
    EXPECT_EQ(crc.Read(buf, 9), 5);
    next.limit = 100;
    EXPECT_EQ(crc.Read(buf + 5, 9), 4);
    EXPECT_EQ(crc.GetCRC(), 0xCBF43926u);
}

TEST(DeflateStreamTest, BitStreamOrderAndEnds)
{
    Probe next;
    {
        TBitStream bits(&next);
        bits.WriteBits(0b101, 3);
        bits.WriteBits(0b11, 2);
        EXPECT_TRUE(next.data.empty());
        bits.Flush();
        EXPECT_EQ(next.data, (Bytes{0x1D}));
        EXPECT_THROW(bits.WriteBits(0, 33), platform::EAssertionFailed);
        bits.WriteBits(0xFFFF, 0);
        bits.WriteBits(0xABCDE, 20);
        bits.WriteBits(1, 1); // pending: the destructor writes it
    }
    EXPECT_EQ(next.data, (Bytes{0x1D, 0xDE, 0xBC, 0x1A}));
    Probe in({0xDE, 0xBC, 0x0A});
    TBitStream r(&in);
    std::uint32_t v = 0;
    EXPECT_EQ(r.ReadBits(&v, 12), 12);
    EXPECT_EQ(v, 0xCDEu);
    EXPECT_EQ(r.ReadBit(), 1);
    r.Flush(); // drops the rest of the byte
    v = 0xFFFFFFFF;
    EXPECT_EQ(r.ReadBits(&v, 14), 8);
    EXPECT_EQ(v, 0xFFFFFF0Au); // the last byte filled is cleared first, later ones untouched
    EXPECT_EQ(MessageOf([&] { r.ReadBit(); }), "Read less than expected");
    // Available adds the bits used of the current byte, but never wraps past INT_MAX.
    Probe three({1, 2, 3}), huge({0xFF});
    huge.available = INT_MAX;
    TBitStream t(&three), h(&huge);
    EXPECT_EQ(t.ReadBits(&v, 3) + h.ReadBits(&v, 3), 6);
    EXPECT_EQ(t.Available(), 2 + 3);
    EXPECT_EQ(h.Available(), INT_MAX);
}

// Codes 10, 0, 110, 111 (canonical, stored reversed); one code of one bit leaves the other branch empty.
TEST(DeflateStreamTest, HuffmanBitStreamDecodesThroughTheTree)
{
    const std::uint8_t lens[4] = {2, 1, 3, 3}, one[4] = {1, 0, 0, 0};
    THuffmanTree tree, half;
    tree.SetCount(4);
    tree.BuildFromLengths(lens, 15);
    half.SetCount(4);
    half.BuildFromLengths(one, 15);
    Probe next({0xD9, 0xAF, 0x01}), bad({0x02}); // 10 0 110 111 111 0 10 110, first bit lowest
    THuffmanBitStream r(&next), rb(&bad);
    for (int s : {0, 1, 2, 3, 3, 1, 0, 2})
        EXPECT_EQ(r.DecodeSymbol(tree), s);
    EXPECT_EQ(rb.DecodeSymbol(half), 0);
    EXPECT_EQ(MessageOf([&] { rb.DecodeSymbol(half); }), "Invalid Huffman code");
}

// Writes and reads in pieces of every size: the PNG writer and reader (PngSuite, its split IDATs, fuzz_png).
// Here each block type, and the CRC under the inflater covers exactly the deflate bytes, not the trailer.
TEST(DeflateStreamTest, RoundTripsAndTakesExactlyTheDeflateBytes)
{
    const Bytes d = MixedData(100000, 12);
    for (std::uint8_t type : {BlockDynamic, BlockFixed, BlockStored}) {
        TMemStream mem;
        {
            TDeflateStream w(&mem, -1);
            EXPECT_TRUE(w.CanWrite && !w.CanRead && w.BlockType() == BlockDynamic);
            w.SetBlockType(type);
            ASSERT_EQ(w.Write(d.data(), static_cast<int>(d.size())), static_cast<int>(d.size()));
        }
        const Bytes deflated = AllOf(mem);
        mem.Write("\1\2\3\4", 4);
        mem.Seek(0);
        TCRC32Stream crc(&mem);
        TDeflateStream r(&crc, 0);
        Bytes out(d.size()), tail(4);
        ASSERT_EQ(r.Read(out.data(), static_cast<int>(out.size())), static_cast<int>(out.size()));
        EXPECT_EQ(out, d);
        EXPECT_EQ(MessageOf([&] { r.Read(out.data(), 8); }), "Read less than expected");
        r.SetNoDataExcept(false);
        EXPECT_TRUE(r.Read(out.data(), 8) == 0 && r.EndOfData());
        EXPECT_EQ(MessageOf([&] { r.Write(out.data(), 1); }), "Stream not open for write");
        EXPECT_EQ(crc.GetCRC(), crc32(0, deflated.data(), static_cast<uInt>(deflated.size())));
        ASSERT_EQ(crc.Read(tail.data(), 4), 4);
        EXPECT_EQ(tail, (Bytes{1, 2, 3, 4}));
    }
}

TEST(DeflateStreamTest, ModesFlushAndTruncation)
{
    Probe ro;
    ro.CanWrite = false;
    EXPECT_THROW(TDeflateStream(&ro, 1), platform::EAssertionFailed);
    EXPECT_THROW(TDeflateStream(&ro, 7), platform::EAssertionFailed);
    Probe out; // Flush puts whole blocks out; the partial byte stays until Finish
    TDeflateStream w(&out, 1);
    w.SetBlockType(BlockFixed);
    w.Write("hello hello hello", 17);
    EXPECT_TRUE(out.data.empty());
    w.Flush();
    const std::size_t flushed = out.data.size();
    EXPECT_GT(flushed, 0u);
    w.Finish();
    EXPECT_GT(out.data.size(), flushed);
    const std::string hello = "hello hello hello";
    EXPECT_EQ(ZlibInflateRaw(out.data, 17), Bytes(hello.begin(), hello.end()));
    Probe cut(Bytes(out.data.begin(), out.data.begin() + 4)); // the next stream runs dry inside a block
    TDeflateStream r(&cut, 0);
    char buf[17];
    EXPECT_EQ(MessageOf([&] { r.Read(buf, 17); }), "Read less than expected");
}
