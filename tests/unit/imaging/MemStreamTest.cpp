#include "TestHelpers.h"

using namespace imaging;
using itest::MessageOf;

TEST(MemStream, SeekBoundsErrorsAndFreshChains)
{
    TMemStream s;
    s.Write("abcdef", 6);
    s.Seek(6);
    EXPECT_EQ(MessageOf<EInOutError>([&] { s.Seek(7); }), "Error moving stream pointer");
    EXPECT_EQ(MessageOf<EInOutError>([&] { s.Seek(-1); }), "Error moving stream pointer");
    char buf[5];
    s.Seek(4);
    EXPECT_EQ(MessageOf<EInOutError>([&] { s.Read(buf, 4); }), "Error reading from stream - TMemStream");
    EXPECT_EQ(s.Position(), 6); // the two bytes there were delivered
    s.SetNoDataExcept(false);
    EXPECT_EQ(s.Read(buf, 4), 0);
    // After Clear the first write starts a chain of its own; streams never share blocks.
    TMemStream b;
    s.Clear();
    EXPECT_EQ(s.BlockCount(), 0u);
    b.Write("other", 5);
    s.Write("xy", 2);
    EXPECT_EQ(s.BlockCount() + b.BlockCount(), 2u);
    s.Clear();
    TMemStream c;
    c.Write("c", 1);
    b.Seek(0);
    b.Read(buf, 5);
    EXPECT_EQ(std::string(buf, 5), "other");
}

// Small writes fill blocks of 4096 bytes, a large one gets a block of its
// size; truncation frees the blocks after the current one.
TEST(MemStream, BlocksAndTruncation)
{
    TMemStream one;
    one.Write(itest::RandomBytes(10000, 3).data(), 10000);
    ASSERT_EQ(one.BlockCount(), 1u);
    EXPECT_EQ(one.BlockCapacity(0), 10000u);
    TMemStream s;
    const std::string data = itest::RandomBytes(9000, 4);
    for (int i = 0; i < 9; ++i)
        s.Write(data.data() + i * 1000, 1000);
    ASSERT_EQ(s.BlockCount(), 3u);
    EXPECT_EQ(s.BlockCapacity(2), 4096u);
    s.Seek(5000);
    s.Truncate();
    EXPECT_EQ(s.Size(), 5000);
    EXPECT_EQ(s.BlockCount(), 2u);
    s.Seek(0);
    s.Truncate();
    EXPECT_EQ(s.BlockCount(), 0u);
}

// A fixed-seed random sequence of writes, reads, seeks and truncations must
// behave exactly like a std::vector model.
TEST(MemStream, RandomOperationsMatchAVectorModel)
{
    std::mt19937 rng(20260);
    TMemStream s;
    s.SetNoDataExcept(false);
    std::vector<char> model;
    std::size_t pos = 0;
    const std::string pool = itest::RandomBytes(20000, 5);
    for (int step = 0; step < 4000; ++step) {
        const unsigned op = rng() % 6;
        if (op < 2) {
            const std::size_t n = rng() % 4 == 0 ? rng() % 9000 : rng() % 200, from = rng() % (pool.size() - n);
            ASSERT_EQ(s.Write(pool.data() + from, static_cast<int>(n)), static_cast<int>(n));
            model.resize(std::max(model.size(), pos + n));
            std::copy(pool.begin() + from, pool.begin() + from + n, model.begin() + pos);
            pos += n;
        } else if (op == 2) {
            std::string got(rng() % 6000, '\0');
            const int r = s.Read(got.data(), static_cast<int>(got.size()));
            ASSERT_EQ(r, static_cast<int>(std::min(got.size(), model.size() - pos)));
            ASSERT_TRUE(std::equal(got.begin(), got.begin() + r, model.begin() + pos));
            pos += static_cast<std::size_t>(r);
        } else if (op < 5) {
            pos = rng() % (model.size() + 1);
            s.Seek(static_cast<int>(pos));
        } else if (rng() % 4 == 0) {
            s.Truncate();
            model.resize(pos);
        } else if (rng() % 20 == 0) {
            s.Clear();
            model.clear();
            pos = 0;
        }
        ASSERT_EQ(s.Size(), static_cast<int>(model.size())) << "step " << step;
        ASSERT_EQ(s.Position(), static_cast<int>(pos));
        ASSERT_EQ(s.Available(), static_cast<int>(model.size() - pos));
    }
    s.Seek(0);
    std::vector<char> all(model.size());
    s.Read(all.data(), static_cast<int>(all.size()));
    EXPECT_EQ(all, model);
}
