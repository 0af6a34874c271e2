#include "app/SelfUnit.h"

#include "TestUtil.h"
#include "platform/core/ProgramPath.h"
#include "support/ExceptionReport.h"

#include <QBuffer>
#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace app;

TEST(SelfUnit, OnlyTheProgramFileCarriesTheVersion)
{
    const std::string self = platform::ProgramFileName();
    EXPECT_EQ(FileVersion(self), "2.0.0.0");
    EXPECT_EQ(FileVersion("/bin/sh"), "");
    EXPECT_EQ(FileVersion(""), "");
    EXPECT_EQ(FileVersion("/no/such/file"), "");
    // Another name of the same file is still the program.
    testutil::TempDir dir;
    ASSERT_EQ(::symlink(self.c_str(), dir.File("link").c_str()), 0);
    EXPECT_EQ(FileVersion(dir.File("link")), "2.0.0.0");

    EXPECT_EQ(ProgramCaption(), "Korvane ScreenShot - Ver. 2.0");
    EXPECT_EQ(VersionText(self, 14), "Ver. 2.0");
    EXPECT_EQ(VersionText(self, 6), "Ver. 2.0.0.0");
    EXPECT_EQ(VersionText(self, 4), "2.0.0.0");
    EXPECT_EQ(VersionText(self, 15), "test_app - Ver. 2.0");
    EXPECT_EQ(VersionText(self, 1), "test_app");
    EXPECT_EQ(VersionText(self, 2), ""); // the prefix belongs to the version
    EXPECT_EQ(VersionText(self, 0), "");
    // A file without a version gives the prefix alone.
    EXPECT_EQ(VersionText("/bin/sh", 14), "Ver. ");
    EXPECT_EQ(VersionText("/bin/sh", 15), "sh - Ver. ");
}

TEST(SelfUnit, TrailingZerosAreDroppedAtMostTwice)
{
    EXPECT_EQ(FormatVersionText("x", "2.0.0.0", 14), "Ver. 2.0");
    EXPECT_EQ(FormatVersionText("x", "2.1.0.0", 14), "Ver. 2.1");
    EXPECT_EQ(FormatVersionText("x", "2.0.0.5", 14), "Ver. 2.0.0.5");
    EXPECT_EQ(FormatVersionText("x", "10.0.0.0", 14), "Ver. 10.0");
    EXPECT_EQ(FormatVersionText("x", "2.0.10.0", 14), "Ver. 2.0.10");
    EXPECT_EQ(FormatVersionText("x", "2.0.0.0", 6), "Ver. 2.0.0.0");
    EXPECT_EQ(FormatVersionText("/a/b/shot", "", 13), "shot");
    EXPECT_EQ(FormatVersionText("", "3.0.0.0", 13), "3.0");
}

TEST(SelfUnit, UserAndPicturesFolder)
{
    const std::string user = UserName();
    EXPECT_FALSE(user.empty());
    EXPECT_EQ(user.find('/'), std::string::npos);

    // The pictures folder follows the user's XDG folder settings.
    testutil::TempDir home, config;
    testutil::WriteFile(config.File("user-dirs.dirs"), "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
    testutil::ScopedEnv h("HOME", home.Path());
    testutil::ScopedEnv c("XDG_CONFIG_HOME", config.Path());
    EXPECT_EQ(MyPicturesFolder(), home.Path() + "/Bilder");
}

TEST(SelfUnit, ResourcesByFileName)
{
    QBuffer stream;
    stream.setData("old contents that must go");
    stream.open(QIODevice::ReadWrite);
    stream.seek(5);
    LoadResourceToStream("Test-3.gif", stream);
    EXPECT_TRUE(stream.isOpen());
    EXPECT_EQ(stream.pos(), 0);
    EXPECT_EQ(stream.readAll(), QByteArray("GIF89a\x01\x00\x01\x00" "banner", 16));

    // The extension .htm is looked up as the type HTML; a path is ignored.
    LoadResourceToStream("some/folder/Page.HTM", stream);
    EXPECT_EQ(stream.data(), QByteArray("<html>x</html>\n"));

    try {
        LoadResourceToStream("468x60-9.gif", stream);
        FAIL() << "a missing resource must raise";
    } catch (const EResNotFound &e) {
        EXPECT_EQ(e.Message(), "Can't load resource: 468x60-9");
    }
    EXPECT_THROW(LoadResourceToStream("TEST-3", stream), EResNotFound); // no type
    EXPECT_THROW(LoadResourceToStream(".gif", stream), EResNotFound);     // no name
}

TEST(SelfUnit, ReportsCarryTheProgramVersionOnceInstalled)
{
    InitSelfUnit();
    support::TQXResultEx r;
    const std::string block = support::ReportBlock(r, nullptr);
    support::SetFileVersionSource({});
    EXPECT_NE(block.find("\r\n" + platform::ProgramFileName() + "\r\nVer.2.0.0.0\r\n"), std::string::npos)
        << block;
}
