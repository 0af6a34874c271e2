#include "app/CaptureFile.h"

#include "platform/core/Exceptions.h"
#include "TestUtil.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace app;
using testutil::ReadFile;
using testutil::WriteFile;
namespace fs = std::filesystem;

namespace {
struct Next {
    testutil::TempDir dir;
    int counter = 0;
    std::string last;
    // The folder is given with a trailing "/": names never hold "//".
    TCaptureFile operator()(const std::string &fmt = "PNG") { return TCaptureFile::CreateNext(dir.Path() + "/", fmt, counter, last); }
};
} // namespace

TEST(CaptureFile, NextNumberFollowsExistingFilesAndNeverGoesBack)
{
    Next next;
    WriteFile(next.dir.File("Image_00001.PNG"), "one");
    WriteFile(next.dir.File("Image_00002.PNG"), "two");
    next().Keep();
    EXPECT_EQ(next.last, next.dir.File("Image_00003.PNG"));
    EXPECT_EQ(ReadFile(next.dir.File("Image_00001.PNG")), "one");
    // A freed number is not reused in a run; one counter for all formats, past five digits.
    fs::remove(next.dir.File("Image_00001.PNG"));
    const std::pair<int, const char *> steps[] = {{3, "Image_00004.PNG"}, {4, "Image_00005.JPG"}, {99999, "Image_100000.PNG"}};
    for (const auto &[counter, name] : steps) {
        next.counter = counter;
        TCaptureFile f = next(std::string(name).substr(std::string(name).size() - 3));
        EXPECT_EQ(next.last, next.dir.File(name));
        f.Keep();
    }
}

TEST(CaptureFile, FoldersAndSymbolicLinksOfTheNameAreSkippedUntouched)
{
    Next next;
    const auto &d = next.dir;
    fs::create_directory(d.File("Image_00001.PNG"));
    WriteFile(d.File("victim"), "precious");
    fs::create_symlink(d.File("victim"), d.File("Image_00002.PNG"));
    fs::create_symlink(d.File("not-there"), d.File("Image_00003.PNG"));
    TCaptureFile f = next();
    EXPECT_EQ(next.last, d.File("Image_00004.PNG"));
    ASSERT_EQ(::write(f.Handle(), "new", 3), 3);
    f.Keep();
    EXPECT_EQ(ReadFile(d.File("victim")), "precious");
    EXPECT_FALSE(fs::exists(d.File("not-there")));
    EXPECT_EQ(ReadFile(next.last), "new");
}

TEST(CaptureFile, AFileThatIsNotKeptIsRemovedOnceButNotOneThatReplacedIt)
{
    Next next;
    {
        TCaptureFile f = next();
        EXPECT_TRUE(fs::exists(next.last));
    }
    EXPECT_FALSE(fs::exists(next.last));
    // Moving the object keeps one owner.
    TCaptureFile a = next();
    TCaptureFile b(std::move(a));
    EXPECT_TRUE(fs::exists(next.last));
    b.Discard();
    EXPECT_FALSE(fs::exists(next.last));

    TCaptureFile c = next();
    WriteFile(next.dir.File("other"), "someone else's");
    fs::rename(next.dir.File("other"), next.last);
    c.Discard();
    EXPECT_EQ(ReadFile(next.last), "someone else's");
}

TEST(CaptureFile, CreationFailureRaisesAndLeavesTheCounterPastTheName)
{
    testutil::TempDir dir;
    WriteFile(dir.File("plain"), "x"); // a file where a folder should be
    const std::string folder = dir.File("plain") + "/shots";
    int counter = 4;
    std::string last = "previous";
    try {
        TCaptureFile::CreateNext(folder, "PNG", counter, last);
        FAIL() << "no exception";
    } catch (const platform::EFCreateError &e) {
        EXPECT_EQ(e.Message().rfind("Cannot create file \"" + folder + "/Image_00005.PNG\". ", 0), 0u) << e.Message();
    }
    EXPECT_EQ(counter, 5);
    EXPECT_EQ(last, folder + "/Image_00005.PNG");
}
