#include "app/CaptureFile.h"

#include "platform/core/Exceptions.h"
#include "TestUtil.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace app;
using testutil::FileExists;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;
namespace fs = std::filesystem;

TEST(CaptureFile, NamesCarryFiveDigitsAtLeast)
{
    EXPECT_EQ(CaptureFileName("/pics/shots", 7, "PNG"), "/pics/shots/Image_00007.PNG");
    EXPECT_EQ(CaptureFileName("/pics/shots/", 1, "JPG"), "/pics/shots/Image_00001.JPG");
    EXPECT_EQ(CaptureFileName("/p", 99999, "BMP"), "/p/Image_99999.BMP");
    EXPECT_EQ(CaptureFileName("/p", 100000, "PNG"), "/p/Image_100000.PNG");
    EXPECT_EQ(IncludeTrailingPathDelimiter(""), "");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a"), "/a/");
}

TEST(CaptureFile, NextNumberFollowsExistingFilesAndNeverGoesBack)
{
    TempDir dir;
    WriteFile(dir.File("Image_00001.PNG"), "one");
    WriteFile(dir.File("Image_00002.PNG"), "two");
    int counter = 0;
    std::string last;
    {
        TCaptureFile f = TCaptureFile::CreateNext(dir.Path(), "PNG", counter, last);
        EXPECT_EQ(counter, 3);
        EXPECT_EQ(last, dir.File("Image_00003.PNG"));
        EXPECT_EQ(f.FileName(), last);
        f.Keep();
    }
    EXPECT_TRUE(FileExists(dir.File("Image_00003.PNG")));
    EXPECT_EQ(ReadFile(dir.File("Image_00001.PNG")), "one");

    // A freed number is not used again in the same run.
    fs::remove(dir.File("Image_00001.PNG"));
    TCaptureFile g = TCaptureFile::CreateNext(dir.Path(), "PNG", counter, last);
    EXPECT_EQ(last, dir.File("Image_00004.PNG"));
    g.Keep();
    // The counter is shared by all formats, and goes past five digits.
    TCaptureFile h = TCaptureFile::CreateNext(dir.Path(), "JPG", counter, last);
    EXPECT_EQ(last, dir.File("Image_00005.JPG"));
    counter = 99999;
    TCaptureFile i = TCaptureFile::CreateNext(dir.Path(), "PNG", counter, last);
    EXPECT_EQ(counter, 100000);
    EXPECT_EQ(last, dir.File("Image_100000.PNG"));
}

TEST(CaptureFile, FoldersAndSymbolicLinksOfTheNameAreSkippedUntouched)
{
    TempDir dir;
    fs::create_directory(dir.File("Image_00001.PNG"));
    WriteFile(dir.File("victim"), "precious");
    fs::create_symlink(dir.File("victim"), dir.File("Image_00002.PNG"));
    fs::create_symlink(dir.File("not-there"), dir.File("Image_00003.PNG"));
    int counter = 0;
    std::string last;
    TCaptureFile f = TCaptureFile::CreateNext(dir.Path(), "PNG", counter, last);
    EXPECT_EQ(last, dir.File("Image_00004.PNG"));
    ASSERT_EQ(::write(f.Handle(), "new", 3), 3);
    f.Keep();
    EXPECT_EQ(ReadFile(dir.File("victim")), "precious");
    EXPECT_FALSE(fs::exists(dir.File("not-there")));
    EXPECT_TRUE(fs::is_directory(dir.File("Image_00001.PNG")));
    EXPECT_EQ(ReadFile(last), "new");
}

TEST(CaptureFile, AFileThatIsNotKeptIsRemoved)
{
    TempDir dir;
    int counter = 0;
    std::string last;
    {
        TCaptureFile f = TCaptureFile::CreateNext(dir.Path(), "PNG", counter, last);
        ASSERT_EQ(::write(f.Handle(), "half", 4), 4);
        EXPECT_TRUE(FileExists(last));
    }
    EXPECT_FALSE(fs::exists(last));

    // Moving the object keeps one owner: the file goes once, when the last
    // owner ends.
    TCaptureFile a = TCaptureFile::CreateNext(dir.Path(), "PNG", counter, last);
    TCaptureFile b(std::move(a));
    EXPECT_TRUE(FileExists(last));
    b.Discard();
    EXPECT_FALSE(fs::exists(last));
}

TEST(CaptureFile, RemovalSparesAFileThatReplacedTheName)
{
    TempDir dir;
    int counter = 0;
    std::string last;
    TCaptureFile f = TCaptureFile::CreateNext(dir.Path(), "PNG", counter, last);
    WriteFile(dir.File("other"), "someone else's");
    fs::rename(dir.File("other"), last);
    f.Discard();
    EXPECT_EQ(ReadFile(last), "someone else's");
}

TEST(CaptureFile, CreationFailureRaisesAndLeavesTheCounterPastTheName)
{
    TempDir dir;
    WriteFile(dir.File("plain"), "x"); // a file where a folder should be
    const std::string folder = dir.File("plain") + "/shots";
    int counter = 4;
    std::string last = "previous";
    try {
        TCaptureFile::CreateNext(folder, "PNG", counter, last);
        FAIL() << "no exception";
    } catch (const platform::EFCreateError &e) {
        EXPECT_EQ(e.Message().rfind("Cannot create file \"" + folder + "/Image_00005.PNG\". ", 0), 0u)
            << e.Message();
    }
    EXPECT_EQ(counter, 5);
    EXPECT_EQ(last, folder + "/Image_00005.PNG");
}

TEST(CaptureFile, ForceDirectories)
{
    TempDir dir;
    EXPECT_TRUE(ForceDirectories(dir.File("a/b/c")));
    EXPECT_TRUE(fs::is_directory(dir.File("a/b/c")));
    EXPECT_TRUE(ForceDirectories(dir.File("a/b/c")));
    WriteFile(dir.File("f"), "x");
    EXPECT_FALSE(ForceDirectories(dir.File("f")));
    EXPECT_FALSE(ForceDirectories(dir.File("f/sub")));
    EXPECT_THROW(ForceDirectories(""), platform::EInOutError);
}
