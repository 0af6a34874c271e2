// The checksum, bit and deflate coders as filter streams over the library's streams: pass-through rules, bit order, end-of-data
// behaviour.
#include "TestHelpers.h"
#include "imaging/BitStream.h"
#include "imaging/CRC32Stream.h"
#include "imaging/Deflate.h"
#include "imaging/DeflateCoder.h"

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

// Round trips: the PNG reader and writer. Here a read one byte past the data raises instead of coming back short.
TEST(DeflateStreamTest, ReadPastTheDataRaises)
{
    const std::string hello = "hello hello hello";
    Probe in(DeflateBuffer(hello.data(), hello.size(), BlockFixed));
    TDeflateStream r(&in, 0);
    char buf[18];
    EXPECT_EQ(MessageOf([&] { r.Read(buf, 18); }), "Read less than expected");
    EXPECT_EQ(std::string(buf, 17), hello);
}

// A copy through an inflating stream gets every byte: the last symbols can sit in the bits the inflater holds after the
// next stream is drained. Lengths around multiples of the copy routines' 4096-byte buffer, every zlib block kind, a
// source that shows its bytes in place and one that is only read.
TEST(DeflateStreamTest, CopiesDeliverEveryByte)
{
    std::mt19937 rng(7);
    for (const int strategy : {Z_HUFFMAN_ONLY, Z_FIXED, Z_DEFAULT_STRATEGY})
        for (const bool text : {false, true})
            for (const std::size_t base : {4096u, 8192u, 12288u, 65536u})
                for (std::size_t n = base - 3; n <= base + 8; ++n) {
                    Bytes data(n, 'a');
                    data[0] = 'b', data[1] = 'c';
                    if (text)
                        for (auto &c : data)
                            c = static_cast<std::uint8_t>("abcdefgh"[rng() % 8]);
                    const Bytes packed = ZlibDeflate(data, 9, strategy, -15);
                    for (int route = 0; route < 4; ++route) {
                        auto mem = MemOf(packed);
                        Probe probe(packed);
                        TDeflateStream in(route & 1 ? static_cast<TBaseStream *>(&probe) : mem.get(), 0);
                        TMemStream out;
                        if (route & 2) {
                            in.SetNoDataExcept(false);
                            EXPECT_EQ(CopyStreamData(in, &out, INT_MAX), static_cast<std::int64_t>(n));
                        } else {
                            out.CopyFrom(in);
                        }
                        const Bytes got = AllOf(out);
                        ASSERT_TRUE(got == data) << got.size() << " of " << n << " bytes, strategy " << strategy << " text " << text << " n " << n
                                                    << " route " << route;
                    }
                }
}
