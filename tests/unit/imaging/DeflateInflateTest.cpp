// The inflater against zlib's output of every kind, hostile input, and the rule that it takes no input byte before one of its
// bits is needed.
#include "TestHelpers.h"
#include "imaging/DeflateCoder.h"
#include "platform/core/Exceptions.h"

using namespace imaging;
using namespace itest;

namespace {

// Pulls bytes and counts what it gave.
struct Source : InflateSource {
    const Bytes &data;
    std::size_t pos = 0;
    explicit Source(const Bytes &d) : data(d) {}
    std::size_t Pull(std::uint8_t *out, std::size_t n) override
    {
        const std::size_t m = std::min(n, data.size() - pos);
        std::memcpy(out, data.data() + pos, m);
        pos += m;
        return m;
    }
};

Bytes ReadAll(InflateSource &src, std::size_t readSize)
{
    Inflater inf;
    inf.SetSource(&src);
    Bytes out, buf(readSize);
    for (std::size_t n = readSize; n == readSize;) {
        n = inf.Read(buf.data(), buf.size());
        out.insert(out.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n));
    }
    return out;
}

std::string Error(const Bytes &in)
{
    const std::string t = MessageOf<platform::Exception>([&] { InflateBuffer(in.data(), in.size()); });
    return t == kNoException ? "no error" : t;
}

// Fields least significant bit first; Code() writes Huffman codes most significant first.
struct Bits {
    Bytes out;
    int n = 0;
    Bits &Put(std::uint32_t v, int count)
    {
        for (int i = 0; i < count; ++i, ++n) {
            if (n % 8 == 0)
                out.push_back(0);
            out.back() |= static_cast<std::uint8_t>((i < 32 ? (v >> i) & 1u : 0u) << (n % 8));
        }
        return *this;
    }
    Bits &Code(std::uint32_t c, int len)
    {
        for (int i = len - 1; i >= 0; --i)
            Put(c >> i, 1);
        return *this;
    }
    // Dynamic block header whose code-length code gives one bit to length 0 and length 1 (or to 1 and 16).
    Bits &Dynamic(int hlit, int hdist, bool withRepeat)
    {
        Put(1, 1).Put(2, 2).Put(static_cast<std::uint32_t>(hlit - 257), 5).Put(static_cast<std::uint32_t>(hdist - 1), 5);
        Put(14, 4); // order 16 17 18 0 8 7 9 6 10 5 11 4 12 3 13 2 14 1
        for (int s : {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1})
            Put(s == 1 || s == (withRepeat ? 16 : 0), 3);
        return *this;
    }
};

} // namespace

// zlib's output of every level, strategy and flush kind inflates, and the inflater leaves exactly the Adler-32 trailer behind
// the deflate data.
TEST(DeflateInflateTest, InflatesZlibOutputOfEveryKindAndTakesNoByteAfterIt)
{
    const Bytes mixed = MixedData(600000, 21), noise = RandomData(100000, 22);
    for (const Bytes *d : {&mixed, &noise})
        for (int level : {0, 1, 9})
            for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY, Z_RLE}) {
                const Bytes z = ZlibDeflate(*d, level, strategy, 15);
                const Bytes body(z.begin() + 2, z.end());
                std::size_t used = 0;
                ASSERT_EQ(InflateBuffer(body.data(), body.size(), &used), *d) << level << "/" << strategy;
                EXPECT_EQ(used, body.size() - 4) << level << "/" << strategy;
            }
    for (int kind : {Z_SYNC_FLUSH, Z_FULL_FLUSH, Z_PARTIAL_FLUSH, Z_BLOCK}) {
        const Bytes z = ZlibDeflate(mixed, 6, Z_DEFAULT_STRATEGY, -15, 777, kind);
        Source src(z);
        ASSERT_EQ(ReadAll(src, 1000), mixed) << kind;
        EXPECT_EQ(src.pos, z.size());
    }
    // zlib uses all 286 literal/length symbols when lengths of every kind occur.
    Bytes d = RandomData(200000, 44);
    d.insert(d.end(), mixed.begin(), mixed.begin() + 200000);
    const Bytes z = ZlibDeflate(d, 9, Z_DEFAULT_STRATEGY, -15);
    EXPECT_EQ(InflateBuffer(z.data(), z.size()), d);
}

TEST(DeflateInflateTest, HostileInputIsRefused)
{
    const std::string bad = "Error in compressed data", cut = "Read less than expected";
    Bits repeatFirst, pastEnd, overSubscribed, farBack;
    repeatFirst.Dynamic(257, 1, true).Put(1, 1).Put(0, 2); // repeat (16) before any length
    pastEnd.Dynamic(257, 1, true).Put(0, 1);
    for (int i = 0; i < 43; ++i) // 1 + 43 * 6 lengths run past 258
        pastEnd.Put(1, 1).Put(3, 2);
    overSubscribed.Dynamic(257, 1, true).Put(0, 1); // 258 literal lengths of 1
    for (int i = 0; i < 42; ++i)
        overSubscribed.Put(1, 1).Put(3, 2);
    overSubscribed.Put(1, 1).Put(2, 2);
    // Fixed block: 'A', then length 3 at distance 5, before the start of the output.
    farBack.Put(1, 1).Put(1, 2).Code(0x30 + 'A', 8).Code(1, 7).Code(4, 5).Put(0, 1);
    const std::pair<Bytes, std::string> cases[] = {
        {Bits().Put(1, 1).Put(3, 2).out, bad},                                  // block type 3
        {{0x01, 0x05, 0x00, 0xFA, 0xFE, 1, 2, 3, 4, 5}, bad},                   // length vs complement
        {{0x01, 0x05, 0x00, 0xFA, 0xFF, 1, 2}, cut},                            // stored block cut
        {{0x01, 0x05}, cut},
        {Bits().Put(1, 1).Put(2, 2).Put(31, 5).Put(31, 5).Put(15, 4).Put(0, 57).out, bad}, // HLIT 288, HDIST 32
        {repeatFirst.out, bad}, {pastEnd.out, bad}, {overSubscribed.out, bad}, {farBack.out, bad},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(Error(cases[i].first), cases[i].second) << i;
    const Bytes z = ZlibDeflate(MixedData(20000, 1), 6, Z_DEFAULT_STRATEGY, -15);
    for (std::size_t n = 0; n < z.size(); n += 1 + z.size() / 50)
        EXPECT_NE(Error(Bytes(z.begin(), z.begin() + static_cast<std::ptrdiff_t>(n))), "no error") << n;
    // One distance code of one bit is incomplete but allowed.
    Bits one;
    one.Dynamic(257, 1, false);
    for (int i = 0; i < 258; ++i)
        one.Put(i == 65 || i == 256 || i == 257, 1); // 'A', end of block, distance 0: one bit each
    one.Put(0, 1).Put(1, 1);
    EXPECT_EQ(InflateBuffer(one.out.data(), one.out.size()), Bytes{'A'});
}
