// Trace file names, the program's trace location and the trace INI file.
#include "TestUtil.h"
#include "TraceTestUtil.h"

#include "platform/core/IniFile.h"
#include "support/QX_VisualTraceCore.h"

#include <filesystem>
#include <gtest/gtest.h>

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

TEST_F(TraceIni, LevelIsClampedWhenRead)
{
    testutil::WriteFile(dir.File("trace.ini"), "[Trace]\r\nLevel=12\r\nScreen=1\r\nFile=1\r\n");
    trace.Activate();
    EXPECT_EQ(trace.CurrentLevel(), 7);
    EXPECT_TRUE(trace.ToScreen());
    EXPECT_TRUE(trace.ToFile());

    testutil::WriteFile(dir.File("trace.ini"), "[Trace]\nLevel=-3\nScreen=0\n");
    trace.ReadIni();
    EXPECT_EQ(trace.CurrentLevel(), 0);
    EXPECT_FALSE(trace.ToScreen());
    EXPECT_FALSE(trace.ToFile());
}

TEST_F(TraceIni, MissingFileStartsQuietAndIsWritten)
{
    trace.SetCurrentLevel(4);
    trace.SetToFile(true);
    trace.Activate();
    EXPECT_EQ(trace.CurrentLevel(), 0);
    EXPECT_FALSE(trace.ToFile());
    EXPECT_EQ(Ini(), "[Trace]\nLevel=0\nScreen=0\nFile=0\n\n");
}

TEST_F(TraceIni, UnreadableFileLeavesTheOutputsOff)
{
    std::filesystem::create_directory(dir.File("trace.ini")); // can be neither read nor written
    trace.SetCurrentLevel(6);
    trace.SetToScreen(true);
    trace.Activate(); // must not throw
    EXPECT_EQ(trace.CurrentLevel(), 0);
    EXPECT_FALSE(trace.ToScreen());
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
    platform::TMemIniFile ini(dir.File("trace.ini"));
    EXPECT_EQ(ini.ReadInteger("Trace", "Level", -1), 5); // other sections stay
    EXPECT_EQ(ini.ReadInteger("Other", "Level", -1), 2);
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
    platform::TMemIniFile ini(dir.File("trace.ini"));
    EXPECT_EQ(ini.ReadSection("TraceClasses"),
              (std::vector<std::string>{"Painting", "CalledFunctions"}));
    EXPECT_FALSE(ini.ReadBool("TraceClasses", "CalledFunctions", true));
    EXPECT_FALSE(ini.ReadBool("TraceClasses", "Painting", true));

    trace.SetUseIniFile(false);
    trace.ClassChecked(1, true);
    EXPECT_FALSE(platform::TMemIniFile(dir.File("trace.ini")).ReadBool("TraceClasses", "Painting", true));
}

} // namespace
