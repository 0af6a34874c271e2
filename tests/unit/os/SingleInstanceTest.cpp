#include "platform/os/QuitSignals.h"
#include "platform/os/SingleInstance.h"

#include "TestUtil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using platform::TSingleInstance;

namespace {

// Runs argv in a child process and returns its exit status.
int RunChild(const std::vector<std::string> &args, pid_t *keepRunning = nullptr)
{
    std::vector<char *> argv;
    for (const auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    if (keepRunning) {
        *keepRunning = pid;
        return 0;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

using State = TSingleInstance::TState;

TEST(SingleInstance, OnlyALockHeldElsewhereIsBusyUntilReleased)
{
    testutil::TempDir dir;
    const std::string path = dir.File("x.lock");
    TSingleInstance first, second;
    ASSERT_EQ(first.Acquire(path), State::Acquired);
    EXPECT_EQ(second.Acquire(path), State::Busy);
    EXPECT_EQ(second.FailureText(), "");
    // Another process sees the lock too; a child does not inherit it.
    EXPECT_TRUE(::fcntl(first.Descriptor(), F_GETFD) & FD_CLOEXEC);
    EXPECT_NE(RunChild({"flock", "-n", path, "true"}), 0);
    first.Release();
    EXPECT_EQ(RunChild({"flock", "-n", path, "true"}), 0);
    EXPECT_EQ(second.Acquire(path), State::Acquired);
}

TEST(SingleInstance, AFileThatCannotBeUsedFailsWithTheReason)
{
    testutil::TempDir dir;
    testutil::WriteFile(dir.File("victim"), "keep");
    ASSERT_EQ(::symlink(dir.File("victim").c_str(), dir.File("link.lock").c_str()), 0);
    ::mkdir(dir.File("folder.lock").c_str(), 0700);
    testutil::WriteFile(dir.File("file"), "");
    const std::pair<std::string, std::string> cases[] = {
        {"link.lock", "Too many levels of symbolic links"},           // planted link
        {"folder.lock", "Is a directory"},                           // no regular file
        {"file/x.lock", "Not a directory"},                          // XDG_RUNTIME_DIR is a file
        {"no/such/x.lock", "No such file or directory"},
    };
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
        // The screen number does not make another display.
        for (const auto &[display, file] : {std::pair{":0.1", "N.:0.lock"}, {"localhost:10.0", "N.localhost:10.lock"},
                                            {"/tmp/launch-x/org.x:0", "N._tmp_launch-x_org.x:0.lock"}, {":1", "N.:1.lock"}})
            EXPECT_EQ(TSingleInstance::DefaultLockPath("N", display), std::string("/run/user/1000/") + file);
    }
    {
        testutil::ScopedEnv env("XDG_RUNTIME_DIR", nullptr);
        EXPECT_EQ(TSingleInstance::DefaultLockPath("N", ":0"),
                  "/tmp/N." + std::to_string(::geteuid()) + ".:0.lock");
    }
    {
        testutil::ScopedEnv display("DISPLAY", ":7.0");
        EXPECT_EQ(TSingleInstance::DisplayFromEnvironment(), ":7.0");
    }
}

TEST(QuitSignals, TerminationSignalsArriveOnTheMainThread)
{
    std::vector<int> seen;
    {
        platform::TQuitSignals quit([&](int sig) { seen.push_back(sig); });
        ::raise(SIGTERM);
        ::raise(SIGHUP);
        QElapsedTimer t;
        t.start();
        while (seen.size() < 2 && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    EXPECT_EQ(seen, (std::vector<int>{SIGTERM, SIGHUP}));
    // The default disposition is back once the object is gone.
    struct sigaction sa {};
    ::sigaction(SIGTERM, nullptr, &sa);
    EXPECT_EQ(sa.sa_handler, SIG_DFL);
}
