// Trace file names, the program's trace location and the trace INI file.
#include "TestUtil.h"
#include "TraceTestUtil.h"

#include "support/QX_VisualTraceCore.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <tuple>

using namespace support;
using testutil::TempDir;
using tracetest::At;

namespace {

using testutil::ScopedEnv;
TEST(TraceFileNames, DailyTimedAndErrorNames)
{
    TempDir dir;
    tracetest::ManualClock clock(At(2027, 1, 5, 13, 7, 9, 4));
    TVisualTraceCore trace;
    trace.SetDataFileName(dir.File("T/a.log"));
    EXPECT_EQ(trace.DailyFileName(true), dir.File("T/2027_01_05_a_at_2027-01-05-13-07-09-004.log"));
    const struct { std::string data, daily, errors; } cases[] = {
        {dir.File("T/a.log"), dir.File("T/2027_01_05_a.log"), dir.File("T/2027_01_05_a.ERRORS.log")},
        {dir.File("T/noext"), dir.File("T/2027_01_05_noext"), dir.File("T/2027_01_05_noext.ERRORS")},
        // A dot in a folder name is no extension; the base name keeps its first dot.
        {dir.File("x.d/noext"), dir.File("x.d/2027_01_05_noext"), dir.File("x.d/2027_01_05_noext.ERRORS")},
        {dir.File("Shot.Trace.txt"), dir.File("2027_01_05_Shot.Trace.txt"),
         dir.File("2027_01_05_Shot.Trace.ERRORS.txt")},
        {"bare.txt", "2027_01_05_bare.txt", "2027_01_05_bare.ERRORS.txt"},
    };
    for (const auto &c : cases) {
        trace.SetDataFileName(c.data);
        EXPECT_EQ(trace.DailyFileName(false), c.daily);
        EXPECT_EQ(trace.ErrorsFileName(), c.errors);
    }
    // The date is the clock's at the time of asking.
    clock.Set(At(2026, 3, 2));
    EXPECT_EQ(trace.ErrorsFileName(), "2026_03_02_bare.ERRORS.txt");
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
    {
        ScopedEnv state("XDG_STATE_HOME", "relative/state"); // not absolute: ignored
        ScopedEnv home("HOME", dir.Path());
        EXPECT_EQ(TraceStateFolder(), dir.File(".local/state/korvane-screenshot/"));
    }
    {
        ScopedEnv state("XDG_STATE_HOME", nullptr);
        ScopedEnv home("HOME", dir.Path() + "/");
        EXPECT_EQ(TraceStateFolder(), dir.File(".local/state/korvane-screenshot/"));
    }
    // The name follows the running program.
    EXPECT_NE(ProgramTraceDataFileName().find("Trace.txt"), std::string::npos);
}

class TraceIni : public ::testing::Test {
protected:
    TraceIni()
    {
        trace.SetINIFileName(dir.File("trace.ini"));
        trace.SetUseIniFile(true);
    }
    std::string Ini() const { return testutil::ReadFile(dir.File("trace.ini")); }
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
        t.SetINIFileName(f);
        t.SetUseIniFile(true);
        t.SetCurrentLevel(4);
        t.SetToFile(true);
        t.SetToScreen(true);
        t.Activate(); // must not throw
        EXPECT_EQ(std::make_tuple(t.CurrentLevel(), t.ToScreen(), t.ToFile()), std::make_tuple(0, false, false));
    }
    EXPECT_EQ(testutil::ReadFile(dir.File("missing.ini")), "[Trace]\nLevel=0\nScreen=0\nFile=0\n\n");
}

TEST_F(TraceIni, ReadAndWriteNeedAnActiveComponent)
{
    testutil::WriteFile(dir.File("trace.ini"), "[Trace]\nLevel=5\n");
    trace.ReadIni();
    EXPECT_EQ(trace.CurrentLevel(), 0);
    trace.SetCurrentLevel(3);
    trace.WriteIni();
    EXPECT_EQ(Ini(), "[Trace]\nLevel=5\n");
    trace.SetINISection("Other");
    trace.Activate();
    trace.SetCurrentLevel(2);
    trace.WriteIni();
    EXPECT_EQ(Ini(), "[Trace]\nLevel=5\n\n[Other]\nLevel=2\nScreen=0\nFile=0\n\n"); // other sections stay
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

} // namespace
