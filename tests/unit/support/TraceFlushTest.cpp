// Flushing to the daily data file and standard output: exact bytes, new
// days, failures and retries, and what happens on destruction.
#include "TestUtil.h"
#include "TraceTestUtil.h"

#include "platform/core/Exceptions.h"
#include "support/QX_VisualTraceCore.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace support;
using testutil::ReadFile;
using testutil::TempDir;
using tracetest::At;
using tracetest::Prefix;

namespace {

class TraceFlush : public ::testing::Test {
protected:
    TraceFlush() : clock(day1)
    {
        trace = std::make_unique<TVisualTraceCore>();
        trace->SetStandardOutputSink(out.Sink());
        trace->SetDataFileName(dir.File("logs/a.log"));
        trace->SetCurrentLevel(7);
        trace->SetToFile(true);
        trace->Activate();
    }
    const platform::DateTime day1 = At(2027, 1, 5, 23, 59, 59, 999);
    tracetest::ManualClock clock;
    TempDir dir;
    tracetest::StdoutCapture out;
    std::unique_ptr<TVisualTraceCore> trace;
};

TEST_F(TraceFlush, DailyFileGetsEachLineWithCrLfAndANewFileEachDay)
{
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("logs"))); // made by the setter
    trace->Add(1, {}, "first");
    trace->Add(2, {}, "second\r\nthird");
    trace->Flush();
    const std::string p = Prefix(day1), c(p.size(), ' '), file1 = dir.File("logs/2027_01_05_a.log");
    EXPECT_EQ(trace->CurrentFileName(), file1);
    EXPECT_EQ(ReadFile(file1), p + "first\r\n" + p + "second\r\n" + c + "third\r\n");
    EXPECT_TRUE(trace->PendingLines().empty());

    // Later flushes of the day append, even after a change of the data file name; a flush with
    // nothing pending adds nothing.
    trace->SetDataFileName(dir.File("other/b.txt"));
    trace->Add(1, {}, "fourth");
    trace->Flush();
    trace->Flush();
    EXPECT_EQ(trace->CurrentFileName(), file1);

    // The first flush of a new day starts a new file, under the new name.
    const auto day2 = At(2027, 1, 6, 0, 0, 0, 1);
    clock.Set(day2);
    trace->Add(1, {}, "next day");
    trace->Flush();
    EXPECT_EQ(trace->CurrentFileName(), dir.File("other/2027_01_06_b.txt"));
    EXPECT_EQ(ReadFile(dir.File("other/2027_01_06_b.txt")), Prefix(day2) + "next day\r\n");
    EXPECT_EQ(ReadFile(file1), p + "first\r\n" + p + "second\r\n" + c + "third\r\n" + p + "fourth\r\n");
}

TEST_F(TraceFlush, FailedFileWriteIsRetriedOnlyToTheFile)
{
    // A regular file where the folder should be: the data file cannot be made.
    testutil::WriteFile(dir.File("blocker"), "");
    trace->SetDataFileName(dir.File("blocker/a.log"));
    trace->SetToStandardOutput(true);
    const std::string p = Prefix(day1);

    // While the file stays unwritable its lines queue up; standard output takes each at once.
    for (const char *text : {"one", "two"}) {
        trace->Add(1, {}, text);
        trace->Flush();
        EXPECT_TRUE(trace->PendingLines().empty());
        EXPECT_EQ(trace->FileRetryLines(), out.lines);
    }
    EXPECT_EQ(out.lines, (std::vector<std::string>{p + "one", p + "two"}));

    std::filesystem::remove(dir.File("blocker"));
    trace->Add(1, {}, "three");
    trace->Flush();
    EXPECT_TRUE(trace->FileRetryLines().empty());
    EXPECT_EQ(ReadFile(dir.File("blocker/2027_01_05_a.log")),
              p + "one\r\n" + p + "two\r\n" + p + "three\r\n");
    // Standard output took every line exactly once.
    EXPECT_EQ(out.lines, (std::vector<std::string>{p + "one", p + "two", p + "three"}));
}

TEST_F(TraceFlush, RetryQueueIsCapped)
{
    testutil::WriteFile(dir.File("blocker"), "");
    trace->SetDataFileName(dir.File("blocker/a.log"));
    for (int round = 0; round < 3; ++round) {
        std::string text;
        for (int i = 0; i < 4000; ++i)
            text += std::to_string(round * 4000 + i) + "\r\n";
        trace->Add(1, {}, text, true);
        trace->Flush();
    }
    const auto retry = trace->FileRetryLines();
    ASSERT_EQ(retry.size(), TraceFileRetryMaxLines);
    EXPECT_EQ(retry.front(), TraceTruncatedLine);
    EXPECT_EQ(retry.back(), std::string(Prefix(day1).size(), ' ') + "11999");
    EXPECT_EQ(retry[1], std::string(Prefix(day1).size(), ' ') + "2001"); // the newest kept
}

TEST_F(TraceFlush, FailingStandardOutputIsDroppedWithoutHarm)
{
    trace->SetToStandardOutput(true);
    trace->SetStandardOutputSink([](const std::vector<std::string> &) {
        throw platform::EInOutError("broken");
    });
    trace->Add(1, {}, "kept in the file");
    trace->Flush();
    EXPECT_TRUE(trace->PendingLines().empty());
    EXPECT_TRUE(trace->FileRetryLines().empty());
    EXPECT_EQ(ReadFile(dir.File("logs/2027_01_05_a.log")), Prefix(day1) + "kept in the file\r\n");
}

TEST_F(TraceFlush, BrokenPipeDoesNotKillTheProcess)
{
    trace->SetToStandardOutput(true); // ignores SIGPIPE from now on
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    EXPECT_THROW(WriteLinesToFd(fds[1], {"a", "b"}), platform::EInOutError);
    ::close(fds[1]);

    ASSERT_EQ(::pipe(fds), 0);
    WriteLinesToFd(fds[1], {"a", "bc"});
    char buf[16] = {};
    EXPECT_EQ(::read(fds[0], buf, sizeof buf), 5);
    EXPECT_EQ(std::string(buf, 5), "a\nbc\n");
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST_F(TraceFlush, DestructionSendsPendingLinesOut)
{
    trace->SetToStandardOutput(true);
    trace->Add(1, {}, "last words");
    GlobalTrace = trace.get();
    trace.reset();
    EXPECT_EQ(GlobalTrace.load(), nullptr);
    EXPECT_TRUE(TraceDestroying);
    EXPECT_EQ(ReadFile(dir.File("logs/2027_01_05_a.log")), Prefix(day1) + "last words\r\n");
    EXPECT_EQ(out.lines, std::vector<std::string>{Prefix(day1) + "last words"});

    // A component that is not the global one leaves the global alone.
    TVisualTraceCore kept;
    EXPECT_FALSE(TraceDestroying); // creation clears it
    GlobalTrace = &kept;
    { TVisualTraceCore other; }
    EXPECT_EQ(GlobalTrace.load(), &kept);
    GlobalTrace = nullptr;
}

TEST_F(TraceFlush, FlushTimerDoesNothingWhileDestroyingOrInactive)
{
    trace->Add(1, {}, "waits");
    TraceDestroying = true; // set while the component is destroyed
    trace->FlushTimerFired();
    EXPECT_EQ(trace->PendingLines().size(), 1u);
    TraceDestroying = false;
    trace->FlushTimerFired();
    EXPECT_TRUE(trace->PendingLines().empty());
}

} // namespace
