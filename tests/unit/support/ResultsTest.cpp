// The result message catalogue and result texts.
#include "support/Results.h"
#include "support/dm_LNG.h"
#include <gtest/gtest.h>
#include <map>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

using namespace support;

namespace {
// A text module that counts the texts asked of it, can change its answers or fail, and
// can call back into the catalogue while it is built.
class CountingLNG : public TdmLNG {
public:
    std::string GetText(std::int32_t id) const override
    {
        ++calls, ++perId[id];
        if (failOn == id)
            throw std::runtime_error("text source failed");
        if (reenter)
            reenter = false, nested = CodeToText(0x500E90, false);
        return prefix + TdmLNG::GetText(id);
    }
    mutable int calls = 0;
    mutable std::map<std::int32_t, int> perId;
    std::int32_t failOn = 0;
    std::string prefix;
    mutable bool reenter = false;
    mutable std::string nested;
};

class ResultsTest : public ::testing::Test {
protected:
    void SetUp() override { ClearResultTable(), dmLNG = &lng; }
    void TearDown() override { dmLNG = nullptr, ClearResultTable(); }
    CountingLNG lng;
};

TQXResultEx Rec(std::int32_t code, std::string text = {}, std::string detail = {}) { return {code, text, detail}; }
} // namespace

TEST(ResultRowTest, ExactAndRangeRows)
{
    const TQXR_Descr exact{0xE90, 65535, 65535, "x"}, moduleRow{0x6E90, 65535, 65535, "y"},
        range{65535, 0xA000, 0xA9FF, "z"}, high{65535, static_cast<std::int32_t>(0x80000000u), -1, "w"};
    const struct { const TQXR_Descr &row; std::int32_t code; bool listed, matches; } cases[] = {
        {exact, 0x7F0E90, false, false}, // unlisted: only the exact value
        {exact, 0x500E90, true, true},   {moduleRow, 0x500E90, true, false}, // a module's row: exact only
        {range, 0xA9FF, true, true},     {range, 0x9FFF, false, false},   {range, 0xAA00, false, false},
        {range, -1, false, false}, // unsigned: -1 is above every range...
        {high, -1, false, true},   {high, 5, false, false}, // ...and in one that reaches 0xFFFFFFFF
    };
    for (const auto &c : cases)
        EXPECT_EQ(RowMatches(c.row, c.code, c.listed), c.matches) << c.row.Text << " " << std::hex << c.code;
}

TEST_F(ResultsTest, CodeToTextAndSeverityPrefixes)
{
    const struct { std::int32_t code; bool severity; const char *text; } cases[] = {
        {0, true, "Ok"}, {0x500FFF, true, "System error (50.0FFF)"},
        {0x500E90, false, "Directory does not exist (50.0E90)"}, {0x6E90, true, "Err: Directory does not exist (6E90)"},
        // Without a message: the fallback, never with prefix or parentheses.
        {0x7F0001, true, "System error: 7F.0001"}, {-1, true, "System error: FF.0FFF"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CodeToText(c.code, c.severity), c.text) << std::hex << c.code;
    EXPECT_EQ(FormatResultCode(0x7F0001, true, true, true), "");
    const std::pair<std::int32_t, const char *> prefixes[] = {
        {0x2900, "Msg: "}, {0xD10, "Warning!: "}, {0x500E90, "Err: "}, {0, ""}, {0x500FFF, ""}};
    for (const auto &[code, prefix] : prefixes)
        EXPECT_EQ(SeverityPrefix(code), prefix) << std::hex << code;
    // Every text, row and prefix alike, is asked of the module (a fresh catalogue sees the change).
    ClearResultTable();
    lng.prefix = "#";
    EXPECT_EQ(CodeToText(0x500E90, true), "#Err: #Directory does not exist (50.0E90)");
}

TEST_F(ResultsTest, ResultToTextFlags)
{
    const TQXResultEx ok = Rec(0, "x", "d"), empty = Rec(0), dir = Rec(0x500E90, "", "Directory: 'C:/x'"),
                      ex = Rec(0x500FFF, "Access denied", "ClassName: 'EFCreateError'\r\nUnit: 'x'");
    const std::string noDir = "Directory does not exist (50.0E90)";
    const struct { const TQXResultEx &r; TResultOptions o; std::string text; } cases[] = {
        // A success carrying a text.
        {ok, roSkipCodeWhenOK, "x"}, {ok, roCRLF, "Ok\r\nx"},
        {ok, roDetail | roQuote | roSkipCodeWhenOK, "'x d'"}, {empty, roCRLF | roDetail, "Ok"}, {empty, roSkipCodeWhenOK, ""},
        // A failure with a detail.
        {dir, roCRLF | roSeverity | roDetail, "Err: " + noDir + "\r\nDirectory: 'C:/x'"},
        {dir, roCRLF, noDir}, // detail left out
        {dir, roSkipCodeWhenOK | roDetail, noDir + " Directory: 'C:/x'"}, // failure keeps its code
        {ex, roCRLF | roSeverity | roDetail,
         "System error (50.0FFF)\r\nAccess denied\r\nClassName: 'EFCreateError'\r\nUnit: 'x'"},
        {ex, roQuote | roDetail, "System error (50.0FFF) 'Access denied ClassName: 'EFCreateError'\r\nUnit: 'x''"},
        {Rec(0x500FFF, " ", "\r\n"), roQuote | roDetail, "System error (50.0FFF)"}, // blank texts: only the code
    };
    for (const auto &c : cases)
        EXPECT_EQ(ResultToText(c.r, c.o), c.text) << c.r.Code << " " << c.r.Text;
    // The Boolean form maps onto the flags (and never sets roSkipCodeWhenOK).
    EXPECT_EQ(ResultToTextOpt(dir, true, false, true, true), ResultToText(dir, roCRLF | roSeverity | roDetail));
    EXPECT_EQ(ResultToTextOpt(ok, false, true, false, false), "Ok 'x'");
}

TEST_F(ResultsTest, CatalogueIsBuiltOnceEvenByConcurrentFirstUse)
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
    EXPECT_EQ(seen, std::vector<std::string>(8, "Directory does not exist (50.0E90)"));
    EXPECT_EQ(std::make_tuple(lng.perId[17586], lng.perId[21655], lng.perId[588]), std::make_tuple(1, 1, 1));
    // Later changes of the text source do not reach the catalogue.
    lng.prefix = "new ";
    const int calls = lng.calls;
    EXPECT_EQ(CodeToText(0, false), "Ok");
    EXPECT_EQ(lng.calls, calls);
}

TEST_F(ResultsTest, FailedBuildIsNotKeptHalfBuilt)
{
    lng.failOn = 21655; // the second row's text
    std::string s;
    EXPECT_THROW(FindResultText(0, s), std::runtime_error);
    lng.failOn = 0;
    EXPECT_TRUE(FindResultText(0x500E90, s) && s == "Directory does not exist");
    EXPECT_EQ(ResultTable().size(), 3u);
}

TEST_F(ResultsTest, ReentrantTextSourceDoesNotRebuildOrDeadlock)
{
    lng.reenter = true;
    EXPECT_EQ(CodeToText(0x500E90, false), "Directory does not exist (50.0E90)");
    EXPECT_EQ(lng.nested, "System error: 50.0E90"); // saw no catalogue yet and fell back
    EXPECT_EQ(ResultTable().size(), 3u);
}
