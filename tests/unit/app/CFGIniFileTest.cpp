#include "app/CFGIniFile.h"
#include "app/SelfUnit.h"

#include "TestUtil.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace app;
using testutil::ReadFile;
using testutil::WriteFile;

namespace {
std::string DefaultFolder() { return MyPicturesFolder() + "/Korvane ScreenShot"; }
} // namespace

TEST(CFGIniFile, FileName)
{
    // One file per user beside a writable program, else in the user's config folder.
    EXPECT_EQ(IniFileNameFor("/opt/kss/shot.bin", "anna", true, "/home/anna/.config"), "/opt/kss/shot.anna.ini");
    EXPECT_EQ(IniFileNameFor("/usr/bin/korvane-screenshot", "anna", false, "/home/anna/.config"),
              "/home/anna/.config/korvane-screenshot/korvane-screenshot.anna.ini");
    EXPECT_EQ(IniFileNameFor("/usr/bin/shot.v2", "bob", false, "/cfg/"), "/cfg/korvane-screenshot/shot.bob.ini");
}

TEST(CFGIniFile, FoldersComeBackWhole)
{
    testutil::TempDir dir;
    const std::string file = dir.File("shot.anna.ini");
    LoadConfiguration(file);
    CFGAllData.DestinationFolder = "/tmp/shots here "; // ending in a blank: kept whole
    EXPECT_TRUE(SaveConfiguration(file));
    TCFGIniFile again(file);
    again.Load();
    EXPECT_EQ(again.AllData.DestinationFolder, "/tmp/shots here ");
}

TEST(CFGIniFile, WithoutHomeTheDefaultComesFromThePasswordDatabase)
{
    const std::string pwHome = ::getpwuid(::geteuid())->pw_dir;
    for (const char *home : {static_cast<const char *>(nullptr), "/", "relative"}) {
        testutil::ScopedEnv env("HOME", home);
        testutil::TempDir dir;
        LoadConfiguration(dir.File("s.ini"));
        EXPECT_EQ(CFGAllData.DestinationFolder, pwHome + "/Pictures/Korvane ScreenShot") << (home ? home : "unset");
        EXPECT_EQ(ReadFile(dir.File("s.ini")).find("DestinationFolder=//"), std::string::npos);
    }
}

TEST(CFGIniFile, HandEditedValuesAreNormalisedAndForeignSectionsKept)
{
    testutil::TempDir dir;
    const std::string file = dir.File("shot.ini");
    WriteFile(file, "; kept comment\r\n[Other]\r\nA=1\r\n[Daemon.AutomaticExecution]\r\nRun=1\r\nAt=12:00\r\n"
                    "[generics]\r\nimagefileformat= jpg \r\nDestinationFolder=/data/caps\r\nExtra=x\r\n[Last]\r\nB=2\r\n");
    LoadConfiguration(file);
    EXPECT_EQ(CFGAllData.ImageFileFormat, "JPG");
    EXPECT_EQ(CFGAllData.DestinationFolder, "/data/caps");
    EXPECT_EQ(ReadFile(file), "; kept comment\n[Other]\nA=1\n[generics]\nimagefileformat=JPG\n"
                              "DestinationFolder=/data/caps\nExtra=x\n[Last]\nB=2\n");
    // Formats count as whole entries only; a blank folder counts as missing.
    const std::pair<const char *, const char *> cases[] = {{"bmp", "BMP"}, {"JP", "PNG"}, {"NG", "PNG"}, {"JPG BMP", "PNG"}};
    for (const auto &[stored, read] : cases) {
        WriteFile(file, std::string("[Generics]\nImageFileFormat=") + stored + "\nDestinationFolder=   \n");
        TCFGIniFile cfg(file);
        cfg.Load();
        EXPECT_EQ(cfg.AllData.ImageFileFormat, read) << stored;
        EXPECT_EQ(cfg.AllData.DestinationFolder, DefaultFolder()) << stored;
    }
}

TEST(CFGIniFile, AByteOrderMarkKeepsTheUsersSettings)
{
    testutil::TempDir dir;
    const std::string file = dir.File("shot.ini");
    WriteFile(file, "\xEF\xBB\xBF[Generics]\r\nDestinationFolder=/data/caps\r\nImageFileFormat=BMP\r\n");
    LoadConfiguration(file);
    EXPECT_EQ(CFGAllData.DestinationFolder, "/data/caps");
    EXPECT_EQ(CFGAllData.ImageFileFormat, "BMP");
    const std::string saved = ReadFile(file);
    EXPECT_EQ(saved.find("[Generics]"), 3u) << saved;
    EXPECT_EQ(saved.find("[Generics]", 4), std::string::npos) << saved;
    EXPECT_NE(saved.find("\nDestinationFolder=/data/caps\n"), std::string::npos) << saved;
}

TEST(CFGIniFile, UnwritableOrUnreadableFileDoesNotStopTheProgram)
{
    testutil::TempDir dir;
    WriteFile(dir.File("plain"), "x");
    const std::string blocked = dir.File("plain/shot.ini"); // its folder cannot exist
    CFGAllData = {};
    EXPECT_NO_THROW(LoadConfiguration(blocked));
    EXPECT_EQ(CFGAllData.ImageFileFormat, "PNG");
    EXPECT_EQ(CFGAllData.DestinationFolder, DefaultFolder());
    CFGAllData.ImageFileFormat = "JPG";
    EXPECT_FALSE(SaveConfiguration(blocked));
    EXPECT_EQ(CFGAllData.ImageFileFormat, "JPG"); // kept in memory

    ASSERT_EQ(::mkdir(dir.File("folder.ini").c_str(), 0755), 0); // cannot be read as a file
    EXPECT_NO_THROW(LoadConfiguration(dir.File("folder.ini")));
    // A missing folder of the settings file is created.
    LoadConfiguration(dir.File("config/korvane-screenshot/shot.ini"));
    EXPECT_TRUE(testutil::FileExists(dir.File("config/korvane-screenshot/shot.ini")));
}
