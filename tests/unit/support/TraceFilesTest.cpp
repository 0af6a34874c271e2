// Trace files: names, the program's trace location, the INI file, and flushing to the daily
// data file and standard output (exact bytes, new days, failures, retries, destruction).
#include "TestUtil.h"
#include "TraceTestUtil.h"
#include "platform/core/Exceptions.h"
#include <filesystem>
#include <gtest/gtest.h>
#include <tuple>
#include <unistd.h>

using namespace support;
using testutil::ReadFile, testutil::ScopedEnv, testutil::TempDir, tracetest::At, tracetest::Prefix;

namespace {
TEST(TraceFileNames, DailyAndErrorNames)
{
    TempDir dir;
    tracetest::ManualClock clock(At(2027, 1, 5, 13, 7, 9, 4));
    TVisualTraceCore trace;
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"T/a.log", "T/2027_01_05_a.log", "T/2027_01_05_a.ERRORS.log"},
        // A dot in a folder name is no extension.
        {"x.d/noext", "x.d/2027_01_05_noext", "x.d/2027_01_05_noext.ERRORS"}};
    for (const auto &[data, daily, errors] : cases) {
        trace.SetDataFileName(dir.File(data));
        EXPECT_EQ(trace.DailyFileName(false) + " " + trace.ErrorsFileName(), dir.File(daily) + " " + dir.File(errors));
    }
    trace.SetDataFileName("bare.txt"), clock.Set(At(2026, 3, 2)); // no folder; the clock's date when asked
    EXPECT_EQ(trace.DailyFileName(false) + " " + trace.ErrorsFileName(), "2026_03_02_bare.txt 2026_03_02_bare.ERRORS.txt");
}

TEST(TraceFileNames, ProgramTraceFileFallsBackToTheStateFolder)
{
    TempDir dir;
    EXPECT_EQ(TraceDataFileNameFor(dir.File("Shot")), dir.File("Shot.Trace.txt"));
    EXPECT_EQ(TraceDataFileNameFor(dir.File("Shot.bin")), dir.File("Shot.Trace.txt"));
    {
        ScopedEnv state("XDG_STATE_HOME", dir.File("state"));
        EXPECT_EQ(TraceStateFolder(), dir.File("state/korvane-screenshot/"));
        EXPECT_EQ(TraceDataFileNameFor(dir.File("missing/folder/Shot")),
                  dir.File("state/korvane-screenshot/Shot.Trace.txt"));
    }
    // A relative XDG_STATE_HOME is ignored like a missing one.
    ScopedEnv s("XDG_STATE_HOME", "relative/state"), home("HOME", dir.Path());
    EXPECT_EQ(TraceStateFolder(), dir.File(".local/state/korvane-screenshot/"));
}

class TraceIni : public ::testing::Test {
protected:
    TraceIni() { trace.SetINIFileName(dir.File("trace.ini")), trace.SetUseIniFile(true); }
    std::string Ini() const { return ReadFile(dir.File("trace.ini")); }
    TempDir dir;
    TVisualTraceCore trace;
};

TEST_F(TraceIni, ActivationReadsTheFileWithTheLevelClamped)
{
    testutil::WriteFile(dir.File("trace.ini"), "[Trace]\r\nLevel=12\r\nScreen=1\r\nFile=1\r\n");
    trace.Activate();
    EXPECT_EQ(std::make_tuple(trace.CurrentLevel(), trace.ToScreen(), trace.ToFile()), std::make_tuple(7, true, true));
    testutil::WriteFile(dir.File("trace.ini"), "[Trace]\nLevel=-3\nScreen=0\n");
    trace.ReadIni();
    EXPECT_EQ(std::make_tuple(trace.CurrentLevel(), trace.ToScreen(), trace.ToFile()), std::make_tuple(0, false, false));
    // A missing file starts quiet and is written; one that can be neither read nor written too.
    for (bool folder : {false, true}) {
        TVisualTraceCore t;
        const std::string f = dir.File(folder ? "folder.ini" : "missing.ini");
        if (folder)
            std::filesystem::create_directory(f);
        t.SetINIFileName(f), t.SetUseIniFile(true), t.SetCurrentLevel(4), t.SetToFile(true), t.SetToScreen(true);
        t.Activate(); // must not throw
        EXPECT_EQ(std::make_tuple(t.CurrentLevel(), t.ToScreen(), t.ToFile()), std::make_tuple(0, false, false));
    }
    EXPECT_EQ(ReadFile(dir.File("missing.ini")), "[Trace]\nLevel=0\nScreen=0\nFile=0\n\n");
}

TEST_F(TraceIni, ReadAndWriteNeedAnActiveComponentAndKeepOtherSections)
{
    testutil::WriteFile(dir.File("trace.ini"), "[Trace]\nLevel=5\n");
    trace.ReadIni();
    EXPECT_EQ(trace.CurrentLevel(), 0);
    trace.SetCurrentLevel(3), trace.WriteIni();
    EXPECT_EQ(Ini(), "[Trace]\nLevel=5\n");
    trace.SetINISection("Other"), trace.Activate(), trace.SetCurrentLevel(2), trace.WriteIni();
    EXPECT_EQ(Ini(), "[Trace]\nLevel=5\n\n[Other]\nLevel=2\nScreen=0\nFile=0\n\n");
}

TEST_F(TraceIni, ClassSectionHoldsOneKeyPerClass)
{
    static const TTrcCls tcPainting{"tcPainting"};
    testutil::WriteFile(dir.File("trace.ini"), "[TraceClasses]\nPainting=0\n");
    trace.AddClass(tcCalledFunctions, "Called functions");
    trace.AddClass(&tcPainting, "Painting");
    EXPECT_TRUE(trace.IsClassEnabled(tcCalledFunctions));
    EXPECT_FALSE(trace.IsClassEnabled(&tcPainting)); // state read from the class section
    trace.ClassChecked(0, false); // Active is not needed for the class section
    EXPECT_EQ(Ini(), "[TraceClasses]\nPainting=0\nCalledFunctions=0\n");
    trace.SetUseIniFile(false);
    trace.ClassChecked(1, true);
    EXPECT_EQ(Ini(), "[TraceClasses]\nPainting=0\nCalledFunctions=0\n");
}

class TraceFlush : public ::testing::Test {
protected:
    TraceFlush() : trace(std::make_unique<TVisualTraceCore>())
    {
        trace->SetStandardOutputSink(tracetest::Into(out)), trace->SetDataFileName(dir.File("logs/a.log"));
        trace->SetCurrentLevel(7), trace->SetToFile(true), trace->Activate();
    }
    // A regular file where the data file's folder should be.
    void Block() { testutil::WriteFile(dir.File("blocker"), ""), trace->SetDataFileName(dir.File("blocker/a.log")); }
    const platform::DateTime day1 = At(2027, 1, 5, 23, 59, 59, 999);
    const std::string p = Prefix(day1), c = std::string(p.size(), ' ');
    tracetest::ManualClock clock{day1};
    TempDir dir;
    std::vector<std::string> out;
    std::unique_ptr<TVisualTraceCore> trace;
};

TEST_F(TraceFlush, DailyFileGetsEachLineWithCrLfAndANewFileEachDay)
{
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("logs"))); // made by the setter
    trace->Add(1, {}, "first"), trace->Add(2, {}, "second\r\nthird"), trace->Flush();
    const std::string file1 = dir.File("logs/2027_01_05_a.log"),
                      text1 = p + "first\r\n" + p + "second\r\n" + c + "third\r\n";
    EXPECT_EQ(trace->CurrentFileName(), file1);
    EXPECT_EQ(ReadFile(file1), text1);
    // Later flushes of the day append, even after a change of the name; an empty flush adds nothing.
    trace->SetDataFileName(dir.File("other/b.txt"));
    trace->Add(1, {}, "fourth");
    trace->Flush(), trace->Flush();
    EXPECT_EQ(ReadFile(file1), text1 + p + "fourth\r\n");
    // The first flush of a new day starts a new file, under the new name.
    clock.Set(At(2027, 1, 6, 0, 0, 0, 1)), trace->Add(1, {}, "next day"), trace->Flush();
    EXPECT_EQ(trace->CurrentFileName(), dir.File("other/2027_01_06_b.txt"));
    EXPECT_EQ(ReadFile(dir.File("other/2027_01_06_b.txt")), Prefix(At(2027, 1, 6, 0, 0, 0, 1)) + "next day\r\n");
}

TEST_F(TraceFlush, FailedFileWriteIsRetriedOnlyToTheFile)
{
    Block();
    EXPECT_EQ(trace->DataFileName(), dir.File("blocker/a.log")); // stored although its folder cannot be made
    trace->SetToStandardOutput(true);
    // While the file stays unwritable its lines queue up; standard output takes each at once.
    for (const char *text : {"one", "two"}) {
        trace->Add(1, {}, text), trace->Flush();
        EXPECT_TRUE(trace->PendingLines().empty() && trace->FileRetryLines() == out);
    }
    std::filesystem::remove(dir.File("blocker"));
    trace->Add(1, {}, "three"), trace->Flush();
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
        trace->Add(1, {}, text, true), trace->Flush();
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
    trace->Add(1, {}, "kept in the file"), trace->Flush();
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
    ::close(fds[0]), ::close(fds[1]);
}

TEST_F(TraceFlush, DestructionSendsPendingLinesOutAndTheTimerWaitsMeanwhile)
{
    trace->Add(1, {}, "waits");
    TraceDestroying = true, trace->FlushTimerFired();
    EXPECT_EQ(trace->PendingLines().size(), 1u);
    TraceDestroying = false, trace->FlushTimerFired();
    EXPECT_TRUE(trace->PendingLines().empty());
    trace->SetToStandardOutput(true), trace->Add(1, {}, "last words");
    GlobalTrace = trace.get(), trace.reset();
    EXPECT_TRUE(GlobalTrace.load() == nullptr && TraceDestroying);
    EXPECT_EQ(ReadFile(dir.File("logs/2027_01_05_a.log")), p + "waits\r\n" + p + "last words\r\n");
    EXPECT_EQ(out, std::vector<std::string>{p + "last words"});
    TVisualTraceCore next; // creation clears the flag
    EXPECT_FALSE(TraceDestroying);
}
} // namespace
