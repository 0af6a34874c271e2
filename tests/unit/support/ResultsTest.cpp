// The result message catalogue and result texts.
#include "support/Results.h"
#include "support/dm_LNG.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>
#include <vector>
#include <stdexcept>

using namespace support;

namespace {

// A text data module that counts the texts asked of it and can be told to
// change its answers or to fail.
class CountingLNG : public TdmLNG {
public:
    std::string GetText(std::int32_t id) const override
    {
        ++calls;
        ++perId[id];
        if (failOn == id)
            throw std::runtime_error("text source failed");
        if (!prefix.empty())
            return prefix + TdmLNG::GetText(id);
        return TdmLNG::GetText(id);
    }
    mutable int calls = 0;
    mutable std::map<std::int32_t, int> perId;
    std::int32_t failOn = 0;
    std::string prefix;
};

class ResultsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearResultTable();
        dmLNG = &lng;
    }
    void TearDown() override
    {
        dmLNG = nullptr;
        ClearResultTable();
    }
    CountingLNG lng;
};

TQXResultEx Rec(std::int32_t code, std::string text = {}, std::string detail = {})
{
    return TQXResultEx{code, std::move(text), std::move(detail)};
}

} // namespace

TEST_F(ResultsTest, CatalogueHoldsTheRowsTheSystemNeeds)
{
    const TQXR_Descrs t = ResultTable();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].Code, 0);
    EXPECT_EQ(t[0].Text, "Ok");
    EXPECT_EQ(t[1].Code, 3728);
    EXPECT_EQ(t[1].Text, "Directory does not exist");
    EXPECT_EQ(t[2].Code, 4095);
    EXPECT_EQ(t[2].Text, "System error");
    for (const auto &row : t) {
        EXPECT_EQ(row.Low, 65535);
        EXPECT_EQ(row.High, 65535);
    }
}

TEST_F(ResultsTest, FindResultTextByModule)
{
    std::string s = "unchanged";
    EXPECT_TRUE(FindResultText(0x500FFF, s)); // module 80 is listed
    EXPECT_EQ(s, "System error");
    EXPECT_TRUE(FindResultText(0x500E90, s));
    EXPECT_EQ(s, "Directory does not exist");
    EXPECT_TRUE(FindResultText(0x6E90, s)); // small listed module
    EXPECT_EQ(s, "Directory does not exist");
    EXPECT_TRUE(FindResultText(0, s));
    EXPECT_EQ(s, "Ok");

    s = "unchanged";
    EXPECT_FALSE(FindResultText(0x7F0FFF, s)); // module 127 is not listed
    EXPECT_EQ(s, "unchanged");
    EXPECT_FALSE(FindResultText(0x3FFF, s)); // neither is module 3
    EXPECT_FALSE(FindResultText(0x123, s));
    EXPECT_EQ(s, "unchanged");
}

TEST(ResultRowTest, ExactAndRangeRows)
{
    const TQXR_Descr exact{0xE90, 65535, 65535, "x"};
    EXPECT_TRUE(RowMatches(exact, 0xE90, false));
    EXPECT_FALSE(RowMatches(exact, 0x7F0E90, false)); // unlisted: only the exact value
    EXPECT_TRUE(RowMatches(exact, 0x500E90, true));
    EXPECT_FALSE(RowMatches(exact, 0x500E91, true));

    // A row of a module matches a listed code only by its exact value.
    const TQXR_Descr moduleRow{0x6E90, 65535, 65535, "y"};
    EXPECT_TRUE(RowMatches(moduleRow, 0x6E90, true));
    EXPECT_FALSE(RowMatches(moduleRow, 0x500E90, true));

    const TQXR_Descr range{65535, 0xA000, 0xA9FF, "z"};
    EXPECT_TRUE(RowMatches(range, 0xA000, false));
    EXPECT_TRUE(RowMatches(range, 0xA9FF, true));
    EXPECT_FALSE(RowMatches(range, 0x9FFF, false));
    EXPECT_FALSE(RowMatches(range, 0xAA00, false));
    EXPECT_FALSE(RowMatches(range, -1, false)); // unsigned: -1 is above every range

    // Ranges compare unsigned: a range up to 0xFFFFFFFF takes negative codes.
    const TQXR_Descr high{65535, static_cast<std::int32_t>(0x80000000u), -1, "w"};
    EXPECT_TRUE(RowMatches(high, -1, false));
    EXPECT_FALSE(RowMatches(high, 5, false));
}

TEST_F(ResultsTest, CodeToText)
{
    EXPECT_EQ(CodeToText(0, true), "Ok");
    EXPECT_EQ(CodeToText(0, false), "Ok");
    EXPECT_EQ(CodeToText(0x500FFF, true), "System error (50.0FFF)");
    EXPECT_EQ(CodeToText(0x500E90, true), "Err: Directory does not exist (50.0E90)");
    EXPECT_EQ(CodeToText(0x500E90, false), "Directory does not exist (50.0E90)");
    EXPECT_EQ(CodeToText(0x6E90, true), "Err: Directory does not exist (6E90)");
    EXPECT_EQ(CodeToText(4095, true), "System error (0FFF)");
    // Without a message: the fallback, never with prefix or parentheses.
    EXPECT_EQ(CodeToText(0x7F0001, true), "System error: 7F.0001");
    EXPECT_EQ(CodeToText(0x500123, true), "System error: 50.0123");
    EXPECT_EQ(CodeToText(-1, true), "System error: FF.0FFF");
}

TEST_F(ResultsTest, FormatResultCodeFlags)
{
    EXPECT_EQ(FormatResultCode(0x500E90, false, true, false), "Err: Directory does not exist");
    EXPECT_EQ(FormatResultCode(0x500E90, false, false, false), "Directory does not exist");
    EXPECT_EQ(FormatResultCode(0x7F0001, true, true, true), "");
    EXPECT_EQ(FormatResultCode(0x7F0001, false, false, false), "System error: 7F.0001");
}

TEST_F(ResultsTest, SeverityPrefixesComeFromTheTextModule)
{
    // Every text, row and prefix alike, is asked of the module.
    lng.prefix = "#";
    EXPECT_EQ(CodeToText(0x500E90, true), "#Err: #Directory does not exist (50.0E90)");
    EXPECT_EQ(CodeToText(0x7F0001, true), "#System error: 7F.0001");
}

TEST_F(ResultsTest, SeverityPrefixByClass)
{
    EXPECT_EQ(SeverityPrefix(0x2900), "Msg: ");
    EXPECT_EQ(SeverityPrefix(0xD10), "Warning!: ");
    EXPECT_EQ(SeverityPrefix(0x500E90), "Err: ");
    EXPECT_EQ(SeverityPrefix(0), "");
    EXPECT_EQ(SeverityPrefix(0x500FFF), "");
}

TEST_F(ResultsTest, ResultToTextOnSuccessWithText)
{
    const TQXResultEx ok = Rec(0, "x", "d");
    EXPECT_EQ(ResultToText(ok, roSkipCodeWhenOK), "x");
    EXPECT_EQ(ResultToText(ok, {}), "Ok x");
    EXPECT_EQ(ResultToText(ok, roCRLF), "Ok\r\nx");
    EXPECT_EQ(ResultToText(ok, roQuote), "Ok 'x'");
    EXPECT_EQ(ResultToText(ok, roSeverity), "Ok x"); // class 4: no prefix
    EXPECT_EQ(ResultToText(ok, roDetail), "Ok x d");
    EXPECT_EQ(ResultToText(ok, roDetail | roQuote), "Ok 'x d'");
    EXPECT_EQ(ResultToText(ok, roDetail | roQuote | roSkipCodeWhenOK), "'x d'");
    EXPECT_EQ(ResultToText(Rec(0), roCRLF | roDetail), "Ok");
    EXPECT_EQ(ResultToText(Rec(0), roSkipCodeWhenOK), "");
}

TEST_F(ResultsTest, ResultToTextOnFailureWithDetail)
{
    const TQXResultEx dir = Rec(0x500E90, "", "Directory: 'C:/x'");
    EXPECT_EQ(ResultToText(dir, roCRLF | roDetail), "Directory does not exist (50.0E90)\r\nDirectory: 'C:/x'");
    EXPECT_EQ(ResultToText(dir, roCRLF | roSeverity | roDetail),
              "Err: Directory does not exist (50.0E90)\r\nDirectory: 'C:/x'");
    EXPECT_EQ(ResultToText(dir, roCRLF), "Directory does not exist (50.0E90)"); // detail left out
    EXPECT_EQ(ResultToText(dir, roSkipCodeWhenOK | roDetail),
              "Directory does not exist (50.0E90) Directory: 'C:/x'"); // failure keeps its code

    const TQXResultEx ex = Rec(0x500FFF, "Access denied", "ClassName: 'EFCreateError'\r\nUnit: 'x'");
    EXPECT_EQ(ResultToText(ex, roCRLF | roSeverity | roDetail),
              "System error (50.0FFF)\r\nAccess denied\r\nClassName: 'EFCreateError'\r\nUnit: 'x'");
    EXPECT_EQ(ResultToText(ex, roQuote | roDetail),
              "System error (50.0FFF) 'Access denied ClassName: 'EFCreateError'\r\nUnit: 'x''");

    // Blank texts with roQuote: only the code text.
    EXPECT_EQ(ResultToText(Rec(0x500FFF, " ", "\r\n"), roQuote | roDetail), "System error (50.0FFF)");
}

TEST_F(ResultsTest, ResultToTextOptMatchesTheFlags)
{
    const TQXResultEx dir = Rec(0x500E90, "t", "d");
    for (int bits = 0; bits < 16; ++bits) {
        TResultOptions o;
        if (bits & 1) o = o | roCRLF;
        if (bits & 2) o = o | roQuote;
        if (bits & 4) o = o | roSeverity;
        if (bits & 8) o = o | roDetail;
        EXPECT_EQ(ResultToTextOpt(dir, bits & 1, bits & 2, bits & 4, bits & 8), ResultToText(dir, o)) << bits;
    }
    // Flag 4 is never set by the Boolean form.
    EXPECT_EQ(ResultToTextOpt(Rec(0, "x"), false, false, false, false), "Ok x");
}

TEST_F(ResultsTest, CatalogueIsBuiltOnce)
{
    std::string s;
    FindResultText(0, s);
    const int after = lng.calls;
    EXPECT_EQ(lng.perId[17586], 1);
    EXPECT_EQ(lng.perId[21655], 1);
    EXPECT_EQ(lng.perId[588], 1);
    for (int i = 0; i < 5; ++i) {
        FindResultText(0x500E90, s);
        CodeToText(0x500FFF, false);
    }
    EXPECT_EQ(lng.calls, after);
    EXPECT_EQ(lng.perId[21655], 1);

    // Later changes of the text source do not reach the catalogue.
    lng.prefix = "new ";
    EXPECT_EQ(CodeToText(0, false), "Ok");
}

TEST_F(ResultsTest, NoTextModuleUsesTheBuiltInTexts)
{
    dmLNG = nullptr;
    EXPECT_EQ(CodeToText(0x500E90, true), "Err: Directory does not exist (50.0E90)");
    EXPECT_EQ(CodeToText(0x7F0001, true), "System error: 7F.0001");
    EXPECT_EQ(lng.calls, 0);
}

TEST_F(ResultsTest, FailedBuildIsNotKeptHalfBuilt)
{
    lng.failOn = 21655; // the second row's text
    std::string s;
    EXPECT_THROW(FindResultText(0, s), std::runtime_error);
    // Nothing half-built was published: the next use builds it completely.
    lng.failOn = 0;
    EXPECT_TRUE(FindResultText(0x500E90, s));
    EXPECT_EQ(s, "Directory does not exist");
    EXPECT_EQ(ResultTable().size(), 3u);
    EXPECT_EQ(CodeToText(0x500FFF, true), "System error (50.0FFF)");
}

namespace {
// A text source that asks for a result text while the catalogue is built.
class ReentrantLNG : public TdmLNG {
public:
    std::string GetText(std::int32_t id) const override
    {
        if (!inside) {
            inside = true;
            nested = CodeToText(0x500E90, false);
            inside = false;
        }
        return TdmLNG::GetText(id);
    }
    mutable bool inside = false;
    mutable std::string nested;
};
} // namespace

TEST_F(ResultsTest, ReentrantTextSourceDoesNotRebuildOrDeadlock)
{
    ReentrantLNG re;
    dmLNG = &re;
    EXPECT_EQ(CodeToText(0x500E90, false), "Directory does not exist (50.0E90)");
    // The nested call saw no catalogue yet and fell back.
    EXPECT_EQ(re.nested, "System error: 50.0E90");
    EXPECT_EQ(ResultTable().size(), 3u);
}

TEST_F(ResultsTest, ConcurrentFirstUseBuildsOnce)
{
    std::vector<std::string> seen(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] {
            for (int k = 0; k < 200; ++k)
                seen[i] = CodeToText(0x500E90, false);
        });
    for (auto &t : threads)
        t.join();
    for (const auto &s : seen)
        EXPECT_EQ(s, "Directory does not exist (50.0E90)");
    EXPECT_EQ(lng.perId[21655], 1);
}
