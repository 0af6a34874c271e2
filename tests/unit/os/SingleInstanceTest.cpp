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

TEST(SingleInstance, SecondHolderIsRefusedUntilTheFirstReleasesOrEnds)
{
    testutil::TempDir dir;
    const std::string path = dir.File("x.lock");
    TSingleInstance first, second;
    ASSERT_TRUE(first.Acquire(path));
    EXPECT_FALSE(second.Acquire(path));
    EXPECT_FALSE(second.Held());
    // Another process sees the lock too.
    EXPECT_NE(RunChild({"flock", "-n", path, "true"}), 0);
    first.Release();
    EXPECT_EQ(RunChild({"flock", "-n", path, "true"}), 0);
    {
        TSingleInstance third;
        ASSERT_TRUE(third.Acquire(path));
    }
    EXPECT_TRUE(second.Acquire(path));
}

TEST(SingleInstance, ChildProcessesDoNotInheritTheLock)
{
    testutil::TempDir dir;
    const std::string path = dir.File("x.lock");
    TSingleInstance lock;
    ASSERT_TRUE(lock.Acquire(path));
    EXPECT_TRUE(::fcntl(lock.Descriptor(), F_GETFD) & FD_CLOEXEC);
    pid_t child = 0;
    ASSERT_EQ(RunChild({"sleep", "30"}, &child), 0);
    lock.Release();
    // The child still runs; had it inherited the descriptor, it would hold
    // the lock for its 30 seconds. (The kernel drops the child's copy of a
    // close-on-exec descriptor a moment after the spawn returns.)
    TSingleInstance next;
    bool ok = false;
    for (int i = 0; i < 100 && !ok; ++i) {
        ok = next.Acquire(path);
        if (!ok)
            ::usleep(10000);
    }
    EXPECT_TRUE(ok);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

TEST(SingleInstance, RefusesSymbolicLinksAndMissingFolders)
{
    testutil::TempDir dir;
    const std::string target = dir.File("victim");
    testutil::WriteFile(target, "keep");
    const std::string link = dir.File("x.lock");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    TSingleInstance lock;
    EXPECT_FALSE(lock.Acquire(link));
    EXPECT_EQ(testutil::ReadFile(target), "keep");
    EXPECT_FALSE(lock.Acquire(dir.File("no/such/folder.lock")));
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
