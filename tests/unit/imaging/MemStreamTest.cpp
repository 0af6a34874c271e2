#include "ErrorText.h"
#include "FakeStreams.h"
#include "imaging/MemStream.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

using namespace imaging;

TEST(MemStream, SeekBoundsAndErrors)
{
    TMemStream s;
    s.Write("abcdef", 6);
    s.Seek(6);
    EXPECT_EQ(imaging_test::MessageOf<EInOutError>([&] { s.Seek(7); }), "Error moving stream pointer");
    EXPECT_EQ(imaging_test::MessageOf<EInOutError>([&] { s.Seek(-1); }), "Error moving stream pointer");
    char buf[4];
    s.Seek(4);
    EXPECT_EQ(imaging_test::MessageOf<EInOutError>([&] { s.Read(buf, 4); }), "Error reading from stream - TMemStream");
    EXPECT_EQ(s.Position(), 6); // the two bytes there were delivered
    s.SetNoDataExcept(false);
    EXPECT_EQ(s.Read(buf, 4), 0);
}

// After Clear (or on a new stream) the first write starts a chain of its own;
// two streams never share blocks.
TEST(MemStream, ClearStartsAFreshChain)
{
    TMemStream a, b;
    a.Write("first", 5);
    a.Clear();
    EXPECT_EQ(a.Size(), 0);
    EXPECT_EQ(a.BlockCount(), 0u);
    b.Write("other", 5);
    a.Write("xy", 2);
    EXPECT_EQ(a.BlockCount(), 1u);
    EXPECT_EQ(b.BlockCount(), 1u);
    a.Clear();
    b.Seek(0);
    char buf[5];
    b.Read(buf, 5);
    EXPECT_EQ(std::string(buf, 5), "other");
    TMemStream c;
    c.Write("c", 1);
    EXPECT_EQ(b.Size(), 5);
}

// Small writes fill blocks of 4096 bytes, a large one gets a block of its
// size; truncation frees the blocks after the current one.
TEST(MemStream, BlocksAndTruncation)
{
    TMemStream one;
    one.Write(imaging_test::RandomBytes(10000, 3).data(), 10000);
    ASSERT_EQ(one.BlockCount(), 1u);
    EXPECT_EQ(one.BlockCapacity(0), 10000u);

    TMemStream s;
    const std::string data = imaging_test::RandomBytes(9000, 4);
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
    s.Write("q", 1);
    EXPECT_EQ(s.Size(), 1);
}

// Reserve counts the room from the position to the chain's end and adds one
// block for what is missing; the writes after it allocate nothing.
TEST(MemStream, ReserveGrowsOnce)
{
    TMemStream s;
    s.Reserve(10000);
    ASSERT_EQ(s.BlockCount(), 1u);
    EXPECT_EQ(s.Size(), 0);
    const std::string data = imaging_test::RandomBytes(10000, 6);
    for (int i = 0; i < 10; ++i)
        s.Write(data.data() + i * 1000, 1000);
    EXPECT_EQ(s.BlockCount(), 1u);
    s.Seek(0);
    s.Reserve(10000); // all there already
    s.Write("z", 1);   // a 1-byte gap for the next block
    s.Seek(2000);
    s.Reserve(8000 + 5000);
    ASSERT_EQ(s.BlockCount(), 2u);
    EXPECT_EQ(s.BlockCapacity(1), 5000u);
    s.Seek(10000);
    s.Reserve(100); // the block that is already there
    EXPECT_EQ(s.BlockCount(), 2u);
    s.Write(data.data(), 5000);
    EXPECT_EQ(s.BlockCount(), 2u);
    std::string back(15000, '\0');
    s.Seek(0);
    s.Read(back.data(), 15000);
    EXPECT_EQ(back, "z" + data.substr(1) + data.substr(0, 5000));
    EXPECT_EQ(imaging_test::MessageOf<EInOutError>([&] { s.Reserve(INT_MAX - 14999); }),
              "Error writing to stream - TMemStream");
    EXPECT_EQ(s.BlockCount(), 2u);
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
    const std::string pool = imaging_test::RandomBytes(20000, 5);
    for (int step = 0; step < 4000; ++step) {
        switch (rng() % 6) {
        case 0:
        case 1: {
            const std::size_t n = rng() % 4 == 0 ? rng() % 9000 : rng() % 200;
            const std::size_t from = rng() % (pool.size() - n);
            ASSERT_EQ(s.Write(pool.data() + from, static_cast<int>(n)), static_cast<int>(n));
            if (pos + n > model.size())
                model.resize(pos + n);
            std::copy(pool.begin() + from, pool.begin() + from + n, model.begin() + pos);
            pos += n;
            break;
        }
        case 2: {
            const int n = static_cast<int>(rng() % 6000);
            std::string got(static_cast<std::size_t>(n), '\0');
            const int r = s.Read(got.data(), n);
            const std::size_t expect = std::min<std::size_t>(n, model.size() - pos);
            ASSERT_EQ(r, static_cast<int>(expect));
            ASSERT_TRUE(std::equal(got.begin(), got.begin() + r, model.begin() + pos));
            pos += expect;
            break;
        }
        case 3:
        case 4: {
            const std::size_t to = rng() % (model.size() + 1);
            s.Seek(static_cast<int>(to));
            pos = to;
            break;
        }
        case 5:
            if (rng() % 4 == 0) {
                s.Truncate();
                model.resize(pos);
            } else if (rng() % 3 == 0) {
                s.Reserve(static_cast<int>(rng() % 9000)); // no visible change
            } else if (rng() % 20 == 0) {
                s.Clear();
                model.clear();
                pos = 0;
            }
            break;
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
