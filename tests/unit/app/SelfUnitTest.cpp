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
    // Another name of the same file is still the program.
    testutil::TempDir dir;
    ASSERT_EQ(::symlink(self.c_str(), dir.File("link").c_str()), 0);
    for (const auto &[file, version] : {std::pair{dir.File("link"), "2.0.0.0"}, {"/bin/sh", ""}, {"/no/such/file", ""}})
        EXPECT_EQ(FileVersion(file), version) << file;
    // The prefix belongs to the version; a file without one gives the prefix alone.
    const std::tuple<std::string, int, const char *> texts[] = {
        {self, 4, "2.0.0.0"}, {self, 15, "test_app - Ver. 2.0"}, {self, 1, "test_app"}, {self, 2, ""},
        {"/bin/sh", 15, "sh - Ver. "}};
    for (const auto &[file, what, text] : texts)
        EXPECT_EQ(VersionText(file, what), text) << file << " " << what;
}

TEST(SelfUnit, TrailingZerosAreDroppedAtMostTwice)
{
    const std::tuple<const char *, const char *, int, const char *> cases[] = {
        {"x", "2.0.0.0", 14, "Ver. 2.0"}, {"x", "2.0.0.5", 14, "Ver. 2.0.0.5"}, {"x", "10.0.0.0", 14, "Ver. 10.0"},
        {"x", "2.0.10.0", 14, "Ver. 2.0.10"}, {"x", "2.0.0.0", 6, "Ver. 2.0.0.0"}, {"/a/b/shot", "", 13, "shot"}};
    for (const auto &[file, version, what, text] : cases)
        EXPECT_EQ(FormatVersionText(file, version, what), text) << version << " " << what;
}

TEST(SelfUnit, PicturesFolder)
{
    // The pictures folder follows the XDG settings; the user name: e2e test_lifecycle (settings file name).
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
    EXPECT_TRUE(stream.isOpen() && stream.pos() == 0);
    EXPECT_EQ(stream.readAll(), QByteArray("GIF89a\x01\x00\x01\x00" "banner", 16));

    // The extension .htm is looked up as the type HTML; a path is ignored.
    LoadResourceToStream("some/folder/Page.HTM", stream);
    EXPECT_EQ(stream.data(), QByteArray("<html>x</html>\n"));
    EXPECT_THROW(try { LoadResourceToStream("468x60-9.gif", stream); } catch (const EResNotFound &e) {
        EXPECT_EQ(e.Message(), "Can't load resource: 468x60-9");
        throw;
    }, EResNotFound);
    EXPECT_THROW(LoadResourceToStream("TEST-3", stream), EResNotFound); // no type
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
