// Formatting, wrapping, limits and filtering of trace lines.
#include "TestUtil.h"
#include "TraceTestUtil.h"
#include <gtest/gtest.h>

using namespace support;
using tracetest::At;
using tracetest::Prefix;

namespace {
class TraceLines : public ::testing::Test {
protected:
    TraceLines() : clock(stamp)
    {
        // The file output goes into the test's own folder, never beside the binary.
        trace.SetStandardOutputSink([](const std::vector<std::string> &) {}), trace.SetDataFileName(dir.File("t.txt"));
        trace.SetToStandardOutput(true), trace.SetCurrentLevel(7), trace.Activate();
    }
    testutil::TempDir dir;
    const platform::DateTime stamp = At(2009, 9, 9, 14, 5, 3, 7);
    tracetest::ManualClock clock;
    TVisualTraceCore trace;
    const std::string prefix = Prefix(stamp);
    const std::string cont = std::string(prefix.size(), ' ');
};

TEST_F(TraceLines, QueuedOnlyWhenActiveAtTheLevelAndWithAnOutput)
{
    auto queues = [](TVisualTraceCore &t, int level, const std::string &text) {
        t.Add(level, {}, text);
        const bool queued = !t.PendingLines().empty(), asked = t.FlushRequested();
        t.Flush();
        return queued || asked;
    };
    TVisualTraceCore inactive;
    inactive.SetToStandardOutput(true), inactive.SetCurrentLevel(7);
    EXPECT_FALSE(queues(inactive, 0, "x"));
    trace.SetCurrentLevel(3);
    EXPECT_FALSE(queues(trace, 4, "too detailed"));
    trace.SetToStandardOutput(false);
    EXPECT_FALSE(queues(trace, 0, "no output"));
    trace.SetToFile(true), trace.Add(3, {}, "at the level"); // any one output is enough
    EXPECT_EQ(trace.PendingLines(), std::vector<std::string>{prefix + "at the level"});
    trace.Flush();
    EXPECT_EQ(testutil::ReadFile(dir.File("2009_09_09_t.txt")), prefix + "at the level\r\n");
    trace.Add(1, {}, ""); // an empty text queues nothing but asks for a flush
    EXPECT_TRUE(trace.PendingLines().empty());
    EXPECT_TRUE(trace.FlushRequested());
    trace.Flush();
    trace.SetCurrentLevel(12); // clamped to 0..7
    EXPECT_EQ(trace.CurrentLevel(), 7);
    EXPECT_FALSE(queues(trace, 256, "no level wraps round to 0"));
}

TEST_F(TraceLines, LineBreaksAndWrapping)
{
    // The texts after the prefix (the first line's; the others, its width in blanks).
    const struct { int charPerLine; std::string text; std::vector<std::string> lines; } cases[] = {
        {20, "\r\n", {""}},
        {20, "A\r\n\nB", {"A", "B"}}, // a line feed right after CR LF is swallowed too
        {20, "A\n\nB", {"A", "", "B"}},
        {20, std::string(60, 'x') + "y", {std::string(60, 'x'), "y"}}, // wraps at 3 x CharPerLine
        {20, std::string(60, 'x') + "\r\n", {std::string(60, 'x')}}, // no empty line after a full one
        {2, "abcdefgh\r\n\r\nij", {"abcdef", "gh", "", "ij"}},
        {-5, "abcd", {"abc", "d"}}, // below 1 counts as 1
        // Breaks right at a wrap point: no empty line, and a swallowed LF after CR only.
        {1, "abc\r\n\r\nd", {"abc", "", "d"}},
        {1, "ab\r\r\n\nc", {"ab", "", "c"}},
    };
    for (const auto &c : cases) {
        trace.SetCharPerLine(c.charPerLine);
        trace.Add(1, {}, c.text);
        std::vector<std::string> expected;
        for (const auto &l : c.lines)
            expected.push_back((expected.empty() ? prefix : cont) + l);
        EXPECT_EQ(trace.PendingLines(), expected) << c.text;
        trace.Flush();
    }
    EXPECT_EQ(trace.CharPerLine(), 1);
}

TEST_F(TraceLines, ThreeHundredLinesPerAddUnlessUnlimited)
{
    std::string over, exactly, wide;
    for (int i = 1; i <= 301; ++i)
        over += "line " + std::to_string(i) + "\r\n";
    for (int i = 1; i <= 300; ++i)
        exactly += (i > 1 ? "\r\n" : "") + std::string("l") + std::to_string(i);
    for (int i = 0; i < 400; ++i)
        wide += std::string(200, 'u') + "\r\n";
    const std::string u200 = cont + std::string(200, 'u'), cut = TraceTruncatedLine;
    const struct { int charPerLine; std::string text; bool unlimited; size_t size; std::string line300, last; } cases[] = {
        {20, over, false, 301, cont + "line 300", cut},
        {20, exactly, false, 300, cont + "l300", cont + "l300"},
        {1, std::string(1000, 'z'), false, 301, cont + "zzz", cut}, // wrapped pieces count as lines too
        {20, wide, true, 400, u200, u200},                          // unlimited neither wraps nor cuts
    };
    for (const auto &c : cases) {
        trace.SetCharPerLine(c.charPerLine);
        trace.Add(1, {}, c.text, c.unlimited);
        const auto lines = trace.PendingLines();
        ASSERT_EQ(lines.size(), c.size);
        EXPECT_EQ(lines[299], c.line300);
        EXPECT_EQ(lines.back(), c.last);
        trace.Flush();
    }
}

TEST_F(TraceLines, PrefixWithLevelContinuationAndFramedText)
{
    trace.Add(1, {}, "one\r\ntwo");
    clock.Set(At(2009, 9, 9, 14, 5, 4, 500));
    trace.SetShowLevel(true);
    trace.Add(5, {}, "three\r\nfour");
    EXPECT_EQ(trace.PendingLines(), (std::vector<std::string>{" 2009/09/09 14:05:03.007 one", cont + "two",
                                                              "5 2009/09/09 14:05:04.500 three",
                                                              std::string(26, ' ') + "four"}));
    trace.Flush();
    // Separators of three times CharPerLine, each line with the full prefix.
    trace.SetShowLevel(false), clock.Set(stamp), trace.SetCharPerLine(4);
    trace.AddFramed(1, "body", '!');
    const std::string sep(12, '!');
    EXPECT_EQ(trace.PendingLines(), (std::vector<std::string>{prefix + sep, prefix + "body", prefix + sep}));
}

TEST_F(TraceLines, ClassFilter)
{
    static const TTrcCls tcOther{"tcOther"};
    EXPECT_TRUE(trace.ClassesEnabled({}));
    EXPECT_TRUE(trace.IsClassEnabled(tcCalledFunctions)); // in no list
    trace.AddClass(tcCalledFunctions, "Called functions", true);
    trace.AddClass(&tcOther, "Other", true);
    trace.SetSecondClassList({{&tcOther, "", false}}); // consulted first
    EXPECT_TRUE(trace.IsClassEnabled(tcCalledFunctions));
    EXPECT_FALSE(trace.IsClassEnabled(&tcOther));
    EXPECT_FALSE(trace.ClassesEnabled({tcCalledFunctions, &tcOther}));
    trace.Add(1, {&tcOther}, "filtered");
    trace.ClassChecked(0, false), trace.Add(1, {tcCalledFunctions}, "filtered");
    EXPECT_TRUE(trace.PendingLines().empty());
    trace.ClassChecked(0, true), trace.Add(1, {tcCalledFunctions}, "passes");
    EXPECT_EQ(trace.PendingLines(), std::vector<std::string>{prefix + "passes"});
}
} // namespace
