#include "TestHelpers.h"
#include "imaging/DynamicLists.h"
#include "imaging/MemUtils.h"

#include <climits>

using namespace imaging;

TEST(DynamicList, GrowthDeleteAndAssign)
{
    struct Rec {
        std::int32_t a[6];
    } *records = nullptr;
    TDynamicList list(sizeof(Rec), reinterpret_cast<void **>(&records));
    for (int i = 0; i < 17; ++i) {
        list.Add();
        records[list.Count - 1].a[0] = i;
    }
    EXPECT_EQ(list.Capacity, 32);
    EXPECT_EQ(records[16].a[5], 0); // new records start zeroed
    EXPECT_THROW(list.Delete(17), platform::EAssertionFailed);
    EXPECT_THROW(list.Delete(-1), platform::EAssertionFailed);
    list.Delete(0);
    ASSERT_EQ(list.Count, 16);
    EXPECT_EQ(records[0].a[0] * 100 + records[15].a[0], 116); // the mirror follows the moved block
    TDynamicList steps(4, nullptr);
    steps.GrowBy = 5;
    for (int i = 0; i < 11; ++i)
        steps.Add();
    EXPECT_EQ(steps.Capacity, 15);
    EXPECT_THROW(steps.Assign(list), platform::EAssertionFailed); // record sizes differ
    TDynamicList copy(sizeof(Rec), nullptr);
    copy.Assign(list);
    ASSERT_EQ(copy.Count, 16);
    EXPECT_EQ(static_cast<Rec *>(copy.Data())[15].a[0], 16);
    list.Compact();
    EXPECT_EQ(list.Capacity, 16);
    list.SetCapacity(3);
    EXPECT_EQ(list.Count, 3);
    list.Clear();
    EXPECT_EQ(records, nullptr);
}

// The stream form is a 32-bit count and the records; hostile counts must not
// allocate or read what the stream does not hold.
TEST(DynamicList, StreamFormAndBadCounts)
{
    TDynamicList list(24, nullptr), back(24, nullptr);
    list.Add();
    list.Add();
    std::memset(list.Data(), 0xAB, 48);
    TMemStream mem;
    list.SaveToStream(mem);
    const itest::Bytes saved = itest::AllOf(mem);
    ASSERT_EQ(saved.size(), 52u);
    EXPECT_EQ(itest::Bytes(saved.begin(), saved.begin() + 4), (itest::Bytes{2, 0, 0, 0}));
    back.LoadFromStream(*itest::MemOf(saved));
    EXPECT_EQ(back.Count, 2);
    EXPECT_EQ(std::memcmp(back.Data(), list.Data(), 48), 0);
    for (const std::string &partial : {std::string(), std::string("\x01\x00", 2)}) { // a missing count is an empty list
        auto s = itest::MemOf(partial);
        back.LoadFromStream(*s);
        EXPECT_EQ(back.Count, 0);
        EXPECT_TRUE(s->NoDataExcept);
    }
    for (std::int32_t count : {-1, INT_MIN, 3, 0x7FFFFFFF, 100000000}) {
        itest::Bytes b(52, 'r');
        std::memcpy(b.data(), &count, 4);
        EXPECT_THROW(back.LoadFromStream(*itest::MemOf(b)), EInOutError) << count;
        EXPECT_EQ(back.Count, 0);
    }
}

TEST(MemUtils, SearchesStopAtTheirEnds)
{
    const unsigned char buf[] = {1, 2, 3, 2, 4, 0};
    EXPECT_EQ(std::vector<int>({FindByte(2, 5, 0, buf), FindByte(2, 5, 2, buf), FindByte(2, 3, 3, buf), FindByte(9, 5, 0, buf)}),
              std::vector<int>({1, 3, -1, -1}));
    EXPECT_EQ(FindWord(0x0402, 4, 0, buf), 3); // reads the byte at EndIndex
    EXPECT_EQ(FindWord(0x0302, 5, 2, buf), -1);
    EXPECT_EQ(Align4(5) * 100 + Align8(9), 816);
    std::uint32_t x = 0xA1B2C3D4;
    std::int32_t a = 1, b = 2;
    unsigned char z[3] = {1, 1, 1};
    SwapDWord(x), SwapInts(a, b), ZeroMem(z, 2);
    EXPECT_EQ(std::vector<long>({x, std::uint32_t(SwapDWordValue(0xA1B2C3D4)), a * 10 + b, z[1] * 10 + z[2]}),
              std::vector<long>({0xD4C3B2A1, 0xD4C3B2A1, 21, 1}));
    EXPECT_EQ(ClampInt(-5, 0, 9) * 100 + ClampInt(15, 0, 9) * 10 + ClampInt(4, 0, 9), 94);
}
