#include "app/CFGIniFile.h"
#include "app/SelfUnit.h"

#include "TestUtil.h"
#include "platform/core/ProgramPath.h"
#include "support/QX_VisualTraceCore.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

using namespace app;

namespace {

std::string DefaultFolder()
{
    return MyPicturesFolder() + "/Korvane ScreenShot";
}

} // namespace

TEST(CFGIniFile, DefaultsAndFileName)
{
    TCFGIniFile_AllData d = TCFGIniFile::GetDefaults();
    EXPECT_EQ(d.DestinationFolder, DefaultFolder());
    EXPECT_EQ(d.ImageFileFormat, "PNG");
    EXPECT_EQ(d.FormatList, "PNG\r\nJPG\r\nBMP\r\nTIF");
    // One file per user beside the (writable) program folder.
    EXPECT_EQ(GetIniFileName(), platform::ProgramFolder() + "test_app." + UserName() + ".ini");
    EXPECT_EQ(IniFileNameFor("/opt/kss/shot.bin", "anna", true, "/home/anna/.config"),
              "/opt/kss/shot.anna.ini");
    EXPECT_EQ(IniFileNameFor("/opt/kss/shot.bin", "bob", true, "/home/bob/.config"),
              "/opt/kss/shot.bob.ini");
    // An installed program keeps the same file name in the user's config folder.
    EXPECT_EQ(IniFileNameFor("/usr/bin/korvane-screenshot", "anna", false, "/home/anna/.config"),
              "/home/anna/.config/korvane-screenshot/korvane-screenshot.anna.ini");
    EXPECT_EQ(IniFileNameFor("/usr/bin/shot.v2", "anna", false, "/cfg/"), "/cfg/korvane-screenshot/shot.anna.ini");
}

TEST(CFGIniFile, FirstStartWritesExactlyTheDefaultsAndFoldersComeBackWhole)
{
    testutil::TempDir dir;
    const std::string file = dir.File("shot.anna.ini");
    CFGAllData = {};
    LoadConfiguration(file);
    EXPECT_EQ(testutil::ReadFile(file),
              "[Generics]\nDestinationFolder=" + DefaultFolder() + "\nImageFileFormat=PNG\n\n");
    EXPECT_EQ(CFGAllData.FormatList, "PNG\r\nJPG\r\nBMP\r\nTIF");
    // A folder name ending in a blank is kept whole.
    CFGAllData.DestinationFolder = "/tmp/shots here ";
    CFGAllData.ImageFileFormat = "BMP";
    EXPECT_TRUE(SaveConfiguration(file));
    TCFGIniFile again(file);
    again.Load();
    EXPECT_EQ(again.AllData.DestinationFolder, "/tmp/shots here ");
    EXPECT_EQ(again.AllData.ImageFileFormat, "BMP");
}

TEST(CFGIniFile, WithoutHomeTheDefaultComesFromThePasswordDatabase)
{
    const std::string pwHome = ::getpwuid(::geteuid())->pw_dir;
    for (const char *home : {static_cast<const char *>(nullptr), "", "/", "relative"}) {
        testutil::ScopedEnv env("HOME", home);
        testutil::TempDir dir;
        LoadConfiguration(dir.File("s.ini"));
        EXPECT_EQ(CFGAllData.DestinationFolder, pwHome + "/Pictures/Korvane ScreenShot") << (home ? home : "unset");
        EXPECT_EQ(testutil::ReadFile(dir.File("s.ini")).find("DestinationFolder=//"), std::string::npos);
    }
}

TEST(CFGIniFile, HandEditedValuesAreNormalisedAndForeignSectionsKept)
{
    testutil::TempDir dir;
    const std::string file = dir.File("shot.ini");
    testutil::WriteFile(file, "; kept comment\r\n[Other]\r\nA=1\r\n[Daemon.AutomaticExecution]\r\n"
                              "Run=1\r\nAt=12:00\r\n[generics]\r\nimagefileformat= jpg \r\n"
                              "DestinationFolder=/data/caps\r\nExtra=x\r\n[Last]\r\nB=2\r\n");
    LoadConfiguration(file);
    EXPECT_EQ(CFGAllData.ImageFileFormat, "JPG");
    EXPECT_EQ(CFGAllData.DestinationFolder, "/data/caps");
    EXPECT_EQ(testutil::ReadFile(file),
              "; kept comment\n[Other]\nA=1\n[generics]\nimagefileformat=JPG\n"
              "DestinationFolder=/data/caps\nExtra=x\n[Last]\nB=2\n");

    // Formats count as whole entries only; a blank folder counts as missing.
    struct Case {
        const char *stored;
        const char *read;
    } cases[] = {{"bmp", "BMP"}, {"Tif", "TIF"}, {"PNG", "PNG"}, {"GIF", "PNG"}, {"JP", "PNG"},
                 {"", "PNG"},    {"NG", "PNG"},  {"JPG BMP", "PNG"}, {"jpeg", "PNG"}};
    for (const Case &c : cases) {
        testutil::WriteFile(file, std::string("[Generics]\nImageFileFormat=") + c.stored +
                                      "\nDestinationFolder=   \n");
        TCFGIniFile cfg(file);
        cfg.Load();
        EXPECT_EQ(cfg.AllData.ImageFileFormat, c.read) << c.stored;
        EXPECT_EQ(cfg.AllData.DestinationFolder, DefaultFolder()) << c.stored;
    }
}

TEST(CFGIniFile, UnwritableOrUnreadableFileDoesNotStopTheProgram)
{
    testutil::TempDir dir;
    // A settings file whose folder cannot exist (its parent is a file).
    testutil::WriteFile(dir.File("plain"), "x");
    const std::string blocked = dir.File("plain/shot.ini");
    testutil::WriteFile(dir.File("in.ini"), "[Generics]\nImageFileFormat=bmp\n");
    std::string traced;
    {
        support::TVisualTraceCore trace;
        trace.SetCurrentLevel(1);
        trace.SetStandardOutputSink([&](const std::vector<std::string> &lines) {
            for (const auto &l : lines)
                traced += l + "\n";
        });
        trace.SetToStandardOutput(true);
        trace.Activate();
        support::GlobalTrace = &trace;
        CFGAllData = {};
        EXPECT_NO_THROW(LoadConfiguration(blocked));
        support::GlobalTrace = nullptr;
        trace.Flush();
    }
    EXPECT_NE(traced.find("Settings kept in memory only: "), std::string::npos) << traced;
    EXPECT_EQ(CFGAllData.ImageFileFormat, "PNG");
    EXPECT_EQ(CFGAllData.DestinationFolder, DefaultFolder());
    TCFGIniFile cfg(blocked);
    EXPECT_THROW(cfg.Save(), std::exception);
    CFGAllData.ImageFileFormat = "JPG";
    EXPECT_FALSE(SaveConfiguration(blocked));
    EXPECT_EQ(CFGAllData.ImageFileFormat, "JPG"); // kept in memory

    // An existing name that cannot be read as a file: defaults, nothing lost.
    const std::string folderNamedIni = dir.File("folder.ini");
    ASSERT_EQ(::mkdir(folderNamedIni.c_str(), 0755), 0);
    EXPECT_NO_THROW(LoadConfiguration(folderNamedIni));
    EXPECT_EQ(CFGAllData.ImageFileFormat, "PNG");

    // A missing folder of the settings file is created.
    const std::string nested = dir.File("config/korvane-screenshot/shot.ini");
    LoadConfiguration(nested);
    EXPECT_TRUE(testutil::FileExists(nested));
}
