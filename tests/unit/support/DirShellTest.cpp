#include "support/DirShell.h"
#include "TestUtil.h"
#include "support/Results.h"
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tuple>

using namespace support;
using namespace std::string_literals;

TEST(CheckDirectory, ExistingMissingBlankAndFile)
{
    testutil::TempDir dir;
    TQXResultEx r{0, "", "old"};
    EXPECT_TRUE(CheckDirectory(dir.Path(), 80, r));
    EXPECT_EQ(std::make_tuple(r.Code, r.Text, r.Detail), std::make_tuple(0, "Directory: '" + dir.Path() + "'", ""s));
    EXPECT_FALSE(CheckDirectory(dir.File("missing"), 80, r));
    EXPECT_EQ(ResultToText(r, roCRLF | roDetail),
              "Directory does not exist (50.0E90)\r\nDirectory: '" + dir.File("missing") + "'");
    EXPECT_FALSE(CheckDirectory(" \t", 6, r));
    EXPECT_EQ(std::make_pair(r.Code, r.Text), std::make_pair(0x6E90, "Directory: '<empty string>'"s));
    testutil::WriteFile(dir.File("f"), "x"); // a file is not a directory
    EXPECT_FALSE(CheckDirectory(dir.File("f"), 80, r));
}

TEST(ShellOpen, FailureWhenNoOpener)
{
    testutil::TempDir empty;
    TQXResultEx r;
    EXPECT_FALSE((testutil::ScopedEnv("PATH", empty.Path()), ShellOpen(nullptr, "/tmp", 80, r))); // PATH back after
    EXPECT_EQ(r.Code, 0x500FFF);
    EXPECT_EQ(r.Text.rfind("Exception: 'Cannot start xdg-open", 0), 0u) << r.Text;
    EXPECT_NE(r.Detail.find("ClassName: 'EInOutError'"), std::string::npos);
}
