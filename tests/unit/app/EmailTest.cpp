#include "app/EmailStuff.h"

#include "TestUtil.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

using namespace app;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

namespace {
struct LauncherGuard {
    explicit LauncherGuard(TMailLauncher l) : previous(SetMailLauncher(std::move(l))) {}
    ~LauncherGuard() { SetMailLauncher(previous); }
    TMailLauncher previous;
};

struct PathGuard {
    explicit PathGuard(const std::string &front)
    {
        const char *p = std::getenv("PATH");
        old = p ? p : "";
        ::setenv("PATH", (front + ":" + old).c_str(), 1);
    }
    ~PathGuard() { ::setenv("PATH", old.c_str(), 1); }
    std::string old;
};
} // namespace

TEST(Email, SubjectAndAttachmentOnly)
{
    TMailCommand seen;
    LauncherGuard g([&](const TMailCommand &c) {
        seen = c;
        return true;
    });
    const std::string subject = "Image captured with Korvane ScreenShot - Ver. 2.0";
    EXPECT_EQ(SendMail(subject, "", "/home/u/Pictures/Image_00001.PNG", "", "", "", ""), 0);
    EXPECT_EQ(seen, (TMailCommand{"xdg-email", "--subject", subject, "--attach",
                                  "/home/u/Pictures/Image_00001.PNG"}));
}

TEST(Email, RecipientBecomesAMailtoAddressAndTheSenderIsLeftToTheClient)
{
    EXPECT_EQ(BuildMailCommand("", "hello", "", "Ann", "ann@example.org"),
              (TMailCommand{"xdg-email", "--body", "hello", "mailto:ann@example.org"}));
    // An address can never turn into an option or a second header.
    const TMailCommand c = BuildMailCommand("", "", "", "", "-x?cc=b@c d");
    EXPECT_EQ(c.back(), "mailto:-x%3Fcc%3Db@c%20d");
    EXPECT_EQ(BuildMailCommand("", "", "", "", ""), TMailCommand{"xdg-email"});
}

TEST(Email, NoMailClientGivesMinusOne)
{
    LauncherGuard g([](const TMailCommand &) { return false; });
    EXPECT_EQ(SendMail("s", "", "/f", "", "", "", ""), -1);
    EXPECT_FALSE(StartDetachedCommand({}));
    EXPECT_FALSE(StartDetachedCommand({"/nonexistent/xdg-email-kss", "--subject", "s"}));
}

TEST(Email, ClientGetsItsArgumentsVerbatimAndNeverBlocksTheCaller)
{
    TempDir dir;
    const std::string out = dir.File("args.txt");
    const std::string marker = dir.File("pwned");
    // A client that records its arguments, one per line, then lingers.
    WriteFile(dir.File("xdg-email"),
              "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > " + out +
                  ".tmp\nmv " + out + ".tmp " + out + "\nsleep 5\n");
    std::filesystem::permissions(dir.File("xdg-email"), std::filesystem::perms::owner_all);
    PathGuard path(dir.Path());

    const std::string subject = "Image captured with $(touch " + marker + ") 'q' \"d\" `x`";
    const std::string file = dir.File("Image 00001;rm.PNG");
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(SendMail(subject, "", file, "", "", "", ""), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));

    for (int i = 0; i < 200 && !testutil::FileExists(out); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    EXPECT_EQ(ReadFile(out), "--subject\n" + subject + "\n--attach\n" + file + "\n");
    EXPECT_FALSE(testutil::FileExists(marker));
}
