// Flushing to the daily data file and standard output: exact bytes, new days,
// failures and retries, and destruction.
#include "TestUtil.h"
#include "TraceTestUtil.h"

#include "platform/core/Exceptions.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace support;
using testutil::ReadFile;
using tracetest::At;
using tracetest::Prefix;

namespace {

class TraceFlush : public ::testing::Test {
protected:
    TraceFlush() : trace(std::make_unique<TVisualTraceCore>())
    {
        trace->SetStandardOutputSink(tracetest::Into(out));
        trace->SetDataFileName(dir.File("logs/a.log"));
        trace->SetCurrentLevel(7);
        trace->SetToFile(true);
        trace->Activate();
    }
    void Block() // a regular file where the data file's folder should be
    {
        testutil::WriteFile(dir.File("blocker"), "");
        trace->SetDataFileName(dir.File("blocker/a.log"));
    }
    const platform::DateTime day1 = At(2027, 1, 5, 23, 59, 59, 999);
    const std::string p = Prefix(day1), c = std::string(p.size(), ' ');
    tracetest::ManualClock clock{day1};
    testutil::TempDir dir;
    std::vector<std::string> out;
    std::unique_ptr<TVisualTraceCore> trace;
};

TEST_F(TraceFlush, DailyFileGetsEachLineWithCrLfAndANewFileEachDay)
{
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("logs"))); // made by the setter
    trace->Add(1, {}, "first");
    trace->Add(2, {}, "second\r\nthird");
    trace->Flush();
    const std::string file1 = dir.File("logs/2027_01_05_a.log"), text1 = p + "first\r\n" + p + "second\r\n" + c + "third\r\n";
    EXPECT_EQ(trace->CurrentFileName(), file1);
    EXPECT_EQ(ReadFile(file1), text1);
    // Later flushes of the day append, even after a change of the name; an empty flush adds nothing.
    trace->SetDataFileName(dir.File("other/b.txt"));
    trace->Add(1, {}, "fourth");
    trace->Flush();
    trace->Flush();
    EXPECT_EQ(ReadFile(file1), text1 + p + "fourth\r\n");
    // The first flush of a new day starts a new file, under the new name.
    clock.Set(At(2027, 1, 6, 0, 0, 0, 1));
    trace->Add(1, {}, "next day");
    trace->Flush();
    EXPECT_EQ(trace->CurrentFileName(), dir.File("other/2027_01_06_b.txt"));
    EXPECT_EQ(ReadFile(dir.File("other/2027_01_06_b.txt")), Prefix(At(2027, 1, 6, 0, 0, 0, 1)) + "next day\r\n");
}

TEST_F(TraceFlush, FailedFileWriteIsRetriedOnlyToTheFile)
{
    Block();
    trace->SetToStandardOutput(true);
    // While the file stays unwritable its lines queue up; standard output takes each at once.
    for (const char *text : {"one", "two"}) {
        trace->Add(1, {}, text);
        trace->Flush();
        EXPECT_TRUE(trace->PendingLines().empty());
        EXPECT_EQ(trace->FileRetryLines(), out);
    }
    std::filesystem::remove(dir.File("blocker"));
    trace->Add(1, {}, "three");
    trace->Flush();
    EXPECT_TRUE(trace->FileRetryLines().empty());
    EXPECT_EQ(ReadFile(dir.File("blocker/2027_01_05_a.log")), p + "one\r\n" + p + "two\r\n" + p + "three\r\n");
    EXPECT_EQ(out, (std::vector<std::string>{p + "one", p + "two", p + "three"}));
}

TEST_F(TraceFlush, RetryQueueIsCapped)
{
    Block();
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
    EXPECT_EQ(retry[1], c + "2001"); // the newest kept
    EXPECT_EQ(retry.back(), c + "11999");
}

TEST_F(TraceFlush, FailingStandardOutputAndBrokenPipesDoNoHarm)
{
    trace->SetToStandardOutput(true); // ignores SIGPIPE from now on
    trace->SetStandardOutputSink([](const std::vector<std::string> &) { throw platform::EInOutError("broken"); });
    trace->Add(1, {}, "kept in the file");
    trace->Flush();
    EXPECT_TRUE(trace->PendingLines().empty() && trace->FileRetryLines().empty());
    EXPECT_EQ(ReadFile(dir.File("logs/2027_01_05_a.log")), p + "kept in the file\r\n");

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

TEST_F(TraceFlush, DestructionSendsPendingLinesOutAndTheTimerWaitsMeanwhile)
{
    trace->Add(1, {}, "waits");
    TraceDestroying = true;
    trace->FlushTimerFired();
    EXPECT_EQ(trace->PendingLines().size(), 1u);
    TraceDestroying = false;
    trace->FlushTimerFired();
    EXPECT_TRUE(trace->PendingLines().empty());
    trace->SetToStandardOutput(true);
    trace->Add(1, {}, "last words");
    GlobalTrace = trace.get();
    trace.reset();
    EXPECT_EQ(GlobalTrace.load(), nullptr);
    EXPECT_TRUE(TraceDestroying);
    EXPECT_EQ(ReadFile(dir.File("logs/2027_01_05_a.log")), p + "waits\r\n" + p + "last words\r\n");
    EXPECT_EQ(out, std::vector<std::string>{p + "last words"});
    // A component that is not the global one leaves the global alone; creation clears the flag.
    TVisualTraceCore kept;
    EXPECT_FALSE(TraceDestroying);
    GlobalTrace = &kept;
    { TVisualTraceCore other; }
    EXPECT_EQ(GlobalTrace.load(), &kept);
    GlobalTrace = nullptr;
}

} // namespace
