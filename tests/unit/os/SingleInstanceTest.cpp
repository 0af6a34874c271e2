#include "platform/os/SingleInstance.h"

#include "TestUtil.h"

#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using platform::TSingleInstance;

using State = TSingleInstance::TState;

TEST(SingleInstance, OnlyALockHeldElsewhereIsBusyAndNoChildInheritsIt)
{
    testutil::TempDir dir;
    TSingleInstance first, second;
    ASSERT_EQ(first.Acquire(dir.File("x.lock")), State::Acquired);
    EXPECT_EQ(second.Acquire(dir.File("x.lock")), State::Busy);
    EXPECT_TRUE(::fcntl(first.Descriptor(), F_GETFD) & FD_CLOEXEC);
}

TEST(SingleInstance, AFileThatCannotBeUsedFailsWithTheReason)
{
    testutil::TempDir dir;
    testutil::WriteFile(dir.File("victim"), "keep");
    ASSERT_EQ(::symlink(dir.File("victim").c_str(), dir.File("link.lock").c_str()), 0);
    ::mkdir(dir.File("folder.lock").c_str(), 0700);
    testutil::WriteFile(dir.File("file"), "");
    // A planted link, no regular file, XDG_RUNTIME_DIR a file, a missing folder.
    const std::pair<std::string, std::string> cases[] = {
        {"link.lock", "Too many levels of symbolic links"}, {"folder.lock", "Is a directory"},
        {"file/x.lock", "Not a directory"}, {"no/such/x.lock", "No such file or directory"}};
    for (const auto &[name, reason] : cases) {
        TSingleInstance lock;
        EXPECT_EQ(lock.Acquire(dir.File(name)), State::Failed) << name;
        EXPECT_EQ(lock.FailureText(), "cannot use the lock file \"" + dir.File(name) + "\": " + reason);
        EXPECT_FALSE(lock.Held());
    }
    EXPECT_EQ(testutil::ReadFile(dir.File("victim")), "keep");
    // Someone else's file, even one we could write to, is never used.
    if (::geteuid() == 0) {
        testutil::WriteFile(dir.File("planted.lock"), "");
        ASSERT_EQ(::chmod(dir.File("planted.lock").c_str(), 0666), 0);
        ASSERT_EQ(::chown(dir.File("planted.lock").c_str(), 65534, 65534), 0);
        TSingleInstance lock;
        EXPECT_EQ(lock.Acquire(dir.File("planted.lock")), State::Failed);
        EXPECT_EQ(lock.FailureText(), "cannot use the lock file \"" + dir.File("planted.lock") +
                                          "\": it belongs to another user (id 65534)");
    }
}

TEST(SingleInstance, LockPathPerDisplayInTheRuntimeFolder)
{
    {
        testutil::ScopedEnv env("XDG_RUNTIME_DIR", "/run/user/1000");
        EXPECT_EQ(TSingleInstance::DefaultLockPath("KorvaneScreenShotIsActive", ":0"),
                  "/run/user/1000/KorvaneScreenShotIsActive.:0.lock");
        // The screen number and the local socket's "unix" do not make another display; a TCP host does.
        for (const auto &[display, file] :
             {std::pair{"localhost:10.0", "N.localhost:10.lock"}, {"/tmp/launch-x/org.x:0", "N._tmp_launch-x_org.x:0.lock"},
              {":77", "N.:77.lock"}, {":77.1", "N.:77.lock"}, {"unix:77", "N.:77.lock"}, {"unix:77.2", "N.:77.lock"},
              {"localhost:77", "N.localhost:77.lock"}, {"host:77.0", "N.host:77.lock"}})
            EXPECT_EQ(TSingleInstance::DefaultLockPath("N", display), std::string("/run/user/1000/") + file);
    }
    {
        testutil::ScopedEnv env("XDG_RUNTIME_DIR", nullptr);
        EXPECT_EQ(TSingleInstance::DefaultLockPath("N", ":0"), "/tmp/N." + std::to_string(::geteuid()) + ".:0.lock");
    }
    testutil::ScopedEnv display("DISPLAY", ":7.0");
    EXPECT_EQ(TSingleInstance::DisplayFromEnvironment(), ":7.0");
}
