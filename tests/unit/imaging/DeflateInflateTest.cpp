// The inflater against zlib's output of every kind, hostile input, and the
// rule that it takes no input byte before one of its bits is needed.
#include "DeflateTestData.h"
#include "imaging/DeflateCoder.h"
#include "platform/core/Exceptions.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace imaging;
using namespace deflatetest;

namespace {

// Hands out bytes one call at a time and counts what it gave.
struct CountingSource : InflateSource {
    const Bytes &data;
    std::size_t pos = 0;
    explicit CountingSource(const Bytes &d) : data(d) {}
    std::size_t Pull(std::uint8_t *out, std::size_t n) override
    {
        const std::size_t m = std::min(n, data.size() - pos);
        std::memcpy(out, data.data() + pos, m);
        pos += m;
        return m;
    }
};

// Everything the inflater delivers from `src`, in reads of `readSize`.
Bytes ReadAll(InflateSource &src, std::size_t readSize)
{
    Inflater inf;
    inf.SetSource(&src);
    Bytes out;
    std::vector<std::uint8_t> buf(readSize);
    for (;;) {
        const std::size_t n = inf.Read(buf.data(), buf.size());
        out.insert(out.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n));
        if (n < buf.size())
            break;
    }
    return out;
}

Bytes InflateStream(const Bytes &in, std::size_t *pulled, std::size_t readSize = 4096)
{
    CountingSource src(in);
    Bytes out = ReadAll(src, readSize);
    if (pulled)
        *pulled = src.pos;
    return out;
}

std::string ErrorOf(const Bytes &in)
{
    try {
        InflateBuffer(in.data(), in.size());
    } catch (const platform::Exception &e) {
        return e.what();
    }
    return "no error";
}

struct Bits {
    Bytes out;
    std::uint32_t acc = 0;
    int n = 0;
    Bits &Put(std::uint32_t v, int count)
    {
        for (int i = 0; i < count; ++i) {
            acc |= (i < 32 ? (v >> i) & 1u : 0u) << n;
            if (++n == 8) {
                out.push_back(static_cast<std::uint8_t>(acc));
                acc = 0;
                n = 0;
            }
        }
        return *this;
    }
    Bytes Done()
    {
        if (n)
            out.push_back(static_cast<std::uint8_t>(acc));
        return out;
    }
};

} // namespace

// zlib's output of every level and strategy inflates, and the inflater leaves
// exactly the 4-byte Adler-32 trailer behind the deflate data in the source.
TEST(DeflateInflateTest, InflatesZlibOutputOfEveryKindAndTakesNoByteAfterIt)
{
    const Bytes mixed = MixedData(600000, 21);
    const Bytes noise = RandomData(100000, 22);
    for (const Bytes *d : {&mixed, &noise})
        for (int level : {0, 1, 6, 9})
            for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY, Z_RLE, Z_FILTERED}) {
                const Bytes z = ZlibDeflate(*d, level, strategy, 15);
                const Bytes body(z.begin() + 2, z.end()); // deflate data + Adler-32
                std::size_t used = 0, pulled = 0;
                ASSERT_EQ(InflateBuffer(body.data(), body.size(), &used), *d) << level << "/" << strategy;
                EXPECT_EQ(used, body.size() - 4);
                ASSERT_EQ(InflateStream(body, &pulled), *d);
                EXPECT_EQ(pulled, body.size() - 4) << level << "/" << strategy;
            }
    // Sync and full flushes put empty stored blocks and byte alignment in the middle.
    for (int kind : {Z_SYNC_FLUSH, Z_FULL_FLUSH, Z_PARTIAL_FLUSH, Z_BLOCK}) {
        const Bytes z = ZlibDeflate(mixed, 6, Z_DEFAULT_STRATEGY, -15, 777, kind);
        ASSERT_EQ(InflateBuffer(z.data(), z.size()), mixed) << kind;
        std::size_t pulled = 0;
        ASSERT_EQ(InflateStream(z, &pulled, 1000), mixed);
        EXPECT_EQ(pulled, z.size());
    }
}

TEST(DeflateInflateTest, StoredDataAcrossTheWindowKeepsLaterReferencesRight)
{
    // Stored blocks fill the window past its end, then fixed blocks refer back
    // into them from across the wrap.
    const Bytes d = MixedData(300000, 8);
    VectorSink sink;
    DeflateEncoder enc(sink);
    enc.SetBlockType(BlockStored);
    enc.Write(d.data(), 150001);
    enc.SetBlockType(BlockFixed);
    enc.Write(d.data() + 150001, d.size() - 150001);
    enc.Finish();
    EXPECT_EQ(InflateBuffer(sink.Data.data(), sink.Data.size()), d);
    std::size_t pulled = 0;
    EXPECT_EQ(InflateStream(sink.Data, &pulled, 7), d);
}

TEST(DeflateInflateTest, HostileInputIsRefused)
{
    const std::string bad = "Error in compressed data";
    // Block type 3.
    EXPECT_EQ(ErrorOf(Bits().Put(1, 1).Put(3, 2).Done()), bad);
    // Stored length that does not match its complement.
    EXPECT_EQ(ErrorOf({0x01, 0x05, 0x00, 0xFA, 0xFE, 1, 2, 3, 4, 5}), bad);
    // Truncated stored block.
    EXPECT_EQ(ErrorOf({0x01, 0x05, 0x00, 0xFA, 0xFF, 1, 2}), "Read less than expected");
    EXPECT_EQ(ErrorOf({0x01, 0x05}), "Read less than expected");
    // HLIT 288 and HDIST 32: more lengths than the format has room for.
    EXPECT_EQ(ErrorOf(Bits().Put(1, 1).Put(2, 2).Put(31, 5).Put(31, 5).Put(15, 4).Put(0, 3 * 19).Done()), bad);
    // Code-length code: symbols 1 and 16 with one bit each (codes 0 and 1).
    auto header = [](Bits &b, int hlit, int hdist) {
        b.Put(1, 1).Put(2, 2).Put(static_cast<std::uint32_t>(hlit - 257), 5).Put(static_cast<std::uint32_t>(hdist - 1), 5);
        b.Put(14, 4); // 18 code-length lengths: order 16 17 18 0 8 7 9 6 10 5 11 4 12 3 13 2 14 1
        const int lens[18] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
        for (int l : lens)
            b.Put(static_cast<std::uint32_t>(l), 3);
    };
    {
        Bits b;
        header(b, 257, 1);
        b.Put(1, 1).Put(0, 2); // symbol 16 (canonical code 1) before any length
        EXPECT_EQ(ErrorOf(b.Done()), bad);
    }
    {
        Bits b;
        header(b, 257, 1);
        b.Put(0, 1); // symbol 1 (code 0): length 1 for literal 0
        for (int i = 0; i < 43; ++i)
            b.Put(1, 1).Put(3, 2); // repeat 6 times each: the last one runs past 258 lengths
        EXPECT_EQ(ErrorOf(b.Done()), bad);
    }
    {
        // Over-subscribed literal lengths: 258 lengths of 1.
        Bits b;
        header(b, 257, 1);
        b.Put(0, 1);
        for (int i = 0; i < 42; ++i)
            b.Put(1, 1).Put(3, 2);
        b.Put(1, 1).Put(2, 2); // 1 + 42 * 6 + 5 = 258 lengths
        EXPECT_EQ(ErrorOf(b.Done()), bad);
    }
    // A distance before the start of the output: fixed block, literal, then length 3 distance 5.
    {
        Bits b;
        b.Put(1, 1).Put(1, 2);
        const std::uint32_t litA = 0x30 + 'A'; // 8-bit code, written MSB first
        for (int i = 7; i >= 0; --i)
            b.Put((litA >> i) & 1, 1);
        b.Put(0, 1).Put(0, 1).Put(0, 1).Put(0, 1).Put(0, 1).Put(0, 1).Put(1, 1); // 257: 0000001
        b.Put(0, 1).Put(0, 1).Put(1, 1).Put(0, 1).Put(0, 1).Put(0, 1);           // distance symbol 4 + 1 extra bit
        EXPECT_EQ(ErrorOf(b.Done()), bad);
    }
    // Truncated Huffman data: cut zlib's output short at many places.
    const Bytes d = MixedData(20000, 1);
    const Bytes z = ZlibDeflate(d, 6, Z_DEFAULT_STRATEGY, -15);
    for (std::size_t cut = 0; cut < z.size(); cut += 1 + z.size() / 50) {
        const Bytes part(z.begin(), z.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_NE(ErrorOf(part), "no error") << cut;
    }
}

TEST(DeflateInflateTest, DynamicHeaderWith286LiteralsAndIncompleteCodes)
{
    // zlib uses all 286 literal/length symbols when lengths of every kind occur.
    Bytes d = RandomData(200000, 44);
    const Bytes m = MixedData(200000, 45);
    d.insert(d.end(), m.begin(), m.end());
    const Bytes z = ZlibDeflate(d, 9, Z_DEFAULT_STRATEGY, -15);
    EXPECT_EQ(InflateBuffer(z.data(), z.size()), d);

    // One distance code of one bit (incomplete, allowed); a distance code
    // that is not in it is undecodable.
    Bits b;
    b.Put(1, 1).Put(2, 2).Put(0, 5).Put(0, 5).Put(14, 4);
    // Code-length code: lengths 0 and 1 with one bit each.
    const int order[18] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1};
    for (int s : order)
        b.Put(s == 0 || s == 1 ? 1 : 0, 3);
    // 258 lengths: symbol 65 ('A') and 256 get 1 bit, the distance gets 1 bit.
    for (int i = 0; i < 258; ++i)
        b.Put((i == 65 || i == 256 || i == 257) ? 1 : 0, 1); // code 0 = length 0, code 1 = length 1
    b.Put(0, 1); // literal 'A' (code 0)
    b.Put(1, 1); // end of block (code 1)
    const Bytes ok = b.Done();
    EXPECT_EQ(InflateBuffer(ok.data(), ok.size()), Bytes{'A'});
}

TEST(DeflateInflateTest, DecodesInPlaceFromPeekedViewsAndTakesOnlyWhatItUsed)
{
    // Views of random sizes (sometimes none, so single bytes are pulled too).
    struct PeekSource : InflateSource {
        const Bytes &data;
        std::size_t pos = 0, view = 0;
        std::mt19937 rng;
        PeekSource(const Bytes &d, unsigned seed) : data(d), rng(seed) {}
        std::size_t Pull(std::uint8_t *out, std::size_t n) override
        {
            const std::size_t m = std::min(n, data.size() - pos);
            std::memcpy(out, data.data() + pos, m);
            pos += m;
            view = 0;
            return m;
        }
        const std::uint8_t *Peek(std::size_t &count) override
        {
            const unsigned pick = rng() % 4;
            count = std::min<std::size_t>(pick == 0 ? 0 : pick == 1 ? 1 + rng() % 7 : 1 + rng() % 5000, data.size() - pos);
            view = count;
            return data.data() + pos;
        }
        void Skip(std::size_t count) override
        {
            if (count > view)
                throw std::logic_error("skipped more than was shown");
            pos += count;
            view = 0;
        }
    };
    const Bytes d = MixedData(400000, 71);
    std::vector<Bytes> streams;
    for (int level : {0, 1, 6, 9})
        streams.push_back(ZlibDeflate(d, level, Z_DEFAULT_STRATEGY, -15, level == 6 ? 5000 : 0, Z_FULL_FLUSH));
    for (std::uint8_t type : {BlockFixed, BlockDynamic, BlockStored})
        streams.push_back(DeflateBuffer(d.data(), d.size(), type));
    unsigned seed = 0;
    for (Bytes s : streams) {
        const std::size_t len = s.size();
        s.insert(s.end(), {0xA1, 0xA2, 0xA3, 0xA4});
        for (std::size_t readSize : {1u, 777u, 65536u}) {
            PeekSource src(s, ++seed);
            ASSERT_EQ(ReadAll(src, readSize), d) << seed;
            EXPECT_EQ(src.pos, len) << seed; // the trailer is still in the source
        }
    }
}
