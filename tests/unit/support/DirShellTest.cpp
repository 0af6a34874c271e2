#include "support/DirShell.h"

#include "TestUtil.h"
#include "support/Results.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>

using namespace support;

TEST(CheckDirectory, ExistingMissingAndEmpty)
{
    testutil::TempDir dir;
    TQXResultEx r;
    r.Detail = "old";
    EXPECT_TRUE(CheckDirectory(dir.Path(), 80, r));
    EXPECT_EQ(r.Code, 0);
    EXPECT_EQ(r.Text, "Directory: '" + dir.Path() + "'");
    EXPECT_EQ(r.Detail, "");

    EXPECT_FALSE(CheckDirectory(dir.File("missing"), 80, r));
    EXPECT_EQ(r.Code, 0x500E90);
    EXPECT_EQ(ResultToText(r, roCRLF | roDetail),
              "Directory does not exist (50.0E90)\r\nDirectory: '" + dir.File("missing") + "'");

    EXPECT_FALSE(CheckDirectory("", 80, r));
    EXPECT_EQ(r.Code, ComposeCode(3728, 80));
    EXPECT_EQ(r.Text, "Directory: '<empty string>'");
    EXPECT_FALSE(CheckDirectory(" \t", 6, r));
    EXPECT_EQ(r.Code, 0x6E90);
    EXPECT_EQ(r.Text, "Directory: '<empty string>'");

    // A file is not a directory.
    testutil::WriteFile(dir.File("f"), "x");
    EXPECT_FALSE(CheckDirectory(dir.File("f"), 80, r));
}

TEST(ShellOpen, SuccessWhenStartedFailureWhenNoOpener)
{
    std::optional<std::string> oldPath;
    if (const char *p = std::getenv("PATH"))
        oldPath = p;
    testutil::TempDir bin;
    testutil::WriteFile(bin.File("xdg-open"), "#!/bin/sh\nexit 3\n");
    ASSERT_EQ(::chmod(bin.File("xdg-open").c_str(), 0755), 0);

    TQXResultEx r;
    ::setenv("PATH", bin.Path().c_str(), 1);
    // The opener's own verdict is not known: a target it cannot open is success.
    EXPECT_TRUE(ShellOpen(nullptr, "no-such-scheme://x", 80, r));
    EXPECT_EQ(r.Code, 0);

    testutil::TempDir empty;
    ::setenv("PATH", empty.Path().c_str(), 1);
    EXPECT_FALSE(ShellOpen(nullptr, "/tmp", 80, r));
    if (oldPath)
        ::setenv("PATH", oldPath->c_str(), 1);
    else
        ::unsetenv("PATH");
    EXPECT_EQ(r.Code, 0x500FFF);
    EXPECT_EQ(r.Text.rfind("Exception: 'Cannot start xdg-open", 0), 0u) << r.Text;
    EXPECT_NE(r.Detail.find("ClassName: 'EInOutError'"), std::string::npos);
}
