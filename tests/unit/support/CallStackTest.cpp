// Call-stack frames: the dump layout and the enter/leave trace lines.
#include "TraceTestUtil.h"

#include "support/QX_CallStack.h"
#include "support/QX_VisualTraceCore.h"

#include <gtest/gtest.h>

using namespace support;
using tracetest::At;

namespace {

const std::string Rule(80, '=');
const std::string Head = Rule + "\r\nFunction call stack\r\n" + Rule + "\r\n\r\n";

TEST(CallStackDump, HeadAndNestedFrames)
{
    TQXCI ci;
    EXPECT_EQ(ci.Dump(), Head);
    ci.EnterEx("A", "", true);
    ci.EnterEx("B", "x=1", true);
    ci.EnterEx("C", "p=1\r\nq=2", true);
    ci.EnterEx("D", "", true);
    const std::string expected = Head +
                                 "'A'\r\n\r\n|   \r\n"
                                 "|-- 'B'\r\n    |   x=1\r\n\r\n    |   \r\n"
                                 "    |-- 'C'\r\n        |   p=1\r\n        |   q=2\r\n\r\n        |   \r\n"
                                 "        |-- 'D'\r\n\r\n            |   \r\n";
    EXPECT_EQ(ci.Dump(), expected);
    std::string s;
    ci.Dump(s);
    EXPECT_EQ(s, expected);
}

class CallStackTrace : public ::testing::Test {
protected:
    CallStackTrace() : clock(At(2026, 3, 2))
    {
        trace.SetStandardOutputSink([](const std::vector<std::string> &) {});
        trace.SetToStandardOutput(true);
        trace.SetCurrentLevel(5);
        trace.Activate();
        GlobalTrace = &trace;
    }
    ~CallStackTrace() override { GlobalTrace = nullptr; }
    std::vector<std::string> Texts()
    {
        std::vector<std::string> texts;
        const size_t width = tracetest::Prefix(At(2026, 3, 2)).size();
        for (const auto &line : trace.PendingLines())
            texts.push_back(line.substr(width));
        trace.Flush();
        return texts;
    }
    tracetest::ManualClock clock;
    TVisualTraceCore trace;
};

TEST_F(CallStackTrace, EnterAndLeaveAreTracedAtLevelFive)
{
    TQXCI ci;
    ci.EnterMethod("TfmMain", "FunctionNameHere", "");
    EXPECT_EQ(ci.Item(0).Name, "TfmMain.FunctionNameHere");
    ci.EnterEx("Inner", "n=2", false);
    ci.Enter("Blank");
    ci.Leave();
    ci.Leave();
    ci.Leave();
    EXPECT_EQ(Texts(), (std::vector<std::string>{"-> TfmMain.FunctionNameHere", "-> Inner (n=2)",
                                                 "-> Blank", "<- Blank", "<- Inner",
                                                 "<- TfmMain.FunctionNameHere"}));
    EXPECT_EQ(ci.Count(), 0u);
    ci.Leave(); // empty: nothing
    EXPECT_TRUE(Texts().empty());
}

TEST_F(CallStackTrace, QuietLowLevelDisabledClassOrNoTraceTraceNothing)
{
    TQXCI ci;
    ci.EnterEx("Quiet", "", true);
    ci.Leave(true);
    EXPECT_TRUE(Texts().empty());

    trace.SetCurrentLevel(4);
    ci.Enter("Low");
    ci.Leave();
    EXPECT_TRUE(Texts().empty());

    trace.SetCurrentLevel(7);
    trace.AddClass(tcCalledFunctions, "", false);
    ci.Enter("Filtered");
    EXPECT_TRUE(Texts().empty());
    trace.ClassChecked(0, true);
    ci.Leave();
    EXPECT_EQ(Texts(), std::vector<std::string>{"<- Filtered"});

    GlobalTrace = nullptr;
    ci.Enter("Untraced");
    EXPECT_EQ(ci.Count(), 1u);
    ci.Leave();
    EXPECT_EQ(ci.Count(), 0u);
    EXPECT_TRUE(Texts().empty());
}

} // namespace
