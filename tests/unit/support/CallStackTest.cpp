// Call-stack frames: the dump layout and the enter/leave trace lines.
#include "TraceTestUtil.h"
#include "support/QX_CallStack.h"
#include "support/QX_VisualTraceCore.h"
#include <gtest/gtest.h>

using namespace support;
using tracetest::At;

namespace {
TEST(CallStackDump, HeadAndNestedFrames)
{
    const std::string rule(80, '='), head = rule + "\r\nFunction call stack\r\n" + rule + "\r\n\r\n";
    TQXCI ci;
    EXPECT_EQ(ci.Dump(), head);
    ci.EnterEx("A", "", true), ci.EnterEx("B", "x=1", true), ci.EnterEx("C", "p=1\r\nq=2", true), ci.EnterEx("D", "", true);
    const std::string expected = head + "'A'\r\n\r\n|   \r\n|-- 'B'\r\n    |   x=1\r\n\r\n    |   \r\n"
                                        "    |-- 'C'\r\n        |   p=1\r\n        |   q=2\r\n\r\n        |   \r\n"
                                        "        |-- 'D'\r\n\r\n            |   \r\n";
    std::string s;
    ci.Dump(s);
    EXPECT_EQ(s, expected);
}

TEST(CallStackTrace, EnterAndLeaveAreTracedAtLevelFiveUnlessQuietOrFiltered)
{
    tracetest::ManualClock clock(At(2026, 3, 2));
    TVisualTraceCore trace;
    trace.SetStandardOutputSink([](const std::vector<std::string> &) {});
    trace.SetToStandardOutput(true), trace.SetCurrentLevel(5), trace.Activate();
    GlobalTrace = &trace;
    auto texts = [&trace] {
        std::vector<std::string> texts;
        for (const auto &line : trace.PendingLines())
            texts.push_back(line.substr(tracetest::Prefix(At(2026, 3, 2)).size()));
        trace.Flush();
        return texts;
    };
    TQXCI ci;
    ci.EnterMethod("TfmMain", "FunctionNameHere", "");
    ci.EnterEx("Inner", "n=2", false);
    ci.Enter("Blank");
    ci.EnterEx("Quiet", "", true);
    ci.Leave(true);
    for (int i = 0; i < 4; ++i)
        ci.Leave(); // the last one on an empty stack: nothing
    EXPECT_EQ(texts(), (std::vector<std::string>{"-> TfmMain.FunctionNameHere", "-> Inner (n=2)", "-> Blank",
                                                 "<- Blank", "<- Inner", "<- TfmMain.FunctionNameHere"}));
    EXPECT_EQ(ci.Count(), 0u);
    trace.SetCurrentLevel(7), trace.AddClass(tcCalledFunctions, "", false), ci.Enter("Filtered");
    EXPECT_TRUE(texts().empty());
    trace.ClassChecked(0, true), ci.Leave();
    EXPECT_EQ(texts(), std::vector<std::string>{"<- Filtered"});
    GlobalTrace = nullptr;
}
} // namespace
