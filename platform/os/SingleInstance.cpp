#include "platform/os/SingleInstance.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

TSingleInstance::~TSingleInstance()
{
    Release();
}

TSingleInstance::TState TSingleInstance::Fail(const std::string &lockPath, const std::string &why)
{
    failure_ = "cannot use the lock file \"" + lockPath + "\": " + why;
    return TState::Failed;
}

TSingleInstance::TState TSingleInstance::Acquire(const std::string &lockPath)
{
    Release();
    failure_.clear();
    // O_NOFOLLOW: in a shared folder such as /tmp a planted symbolic link
    // must not make us create or lock someone else's file.
    int fd;
    do {
        fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return Fail(lockPath, std::strerror(errno));
    struct stat st {};
    std::string why;
    if (::fstat(fd, &st) != 0)
        why = std::strerror(errno);
    else if (!S_ISREG(st.st_mode))
        why = "not a regular file";
    else if (st.st_uid != ::geteuid())
        // Someone else's file in a shared folder: holding it would let that
        // user keep us from starting, or see when we run.
        why = "it belongs to another user (id " + std::to_string(st.st_uid) + ")";
    if (!why.empty()) {
        ::close(fd);
        return Fail(lockPath, why);
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK)
            return TState::Busy;
        return Fail(lockPath, std::strerror(err));
    }
    fd_ = fd;
    return TState::Acquired;
}

void TSingleInstance::Release() noexcept
{
    if (fd_ >= 0) {
        // Closing the only descriptor of the open file drops the lock. The
        // file itself stays: unlinking it would let a third process lock a
        // new file while a second one still waits on the old one.
        ::close(fd_);
        fd_ = -1;
    }
}

std::string TSingleInstance::DefaultLockPath(const std::string &name, const std::string &display)
{
    std::string disp = display;
    // Drop the screen number: ":0.1" and ":0" are the same display.
    const auto colon = disp.rfind(':');
    if (colon != std::string::npos) {
        const auto dot = disp.find('.', colon);
        if (dot != std::string::npos)
            disp.erase(dot);
    }
    // "unix:N" is the local socket of ":N": the same server, so the same lock.
    // Over TCP ("localhost:N", "host:N") it can be another server (a forwarded
    // one), so those stay apart.
    if (disp.starts_with("unix:"))
        disp.erase(0, 4);
    for (char &c : disp)
        if (c == '/')
            c = '_';
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime == '/')
        return std::string(runtime) + "/" + name + "." + disp + ".lock";
    return "/tmp/" + name + "." + std::to_string(::geteuid()) + "." + disp + ".lock";
}

std::string TSingleInstance::DisplayFromEnvironment()
{
    if (const char *d = std::getenv("DISPLAY"); d && *d)
        return d;
    if (const char *w = std::getenv("WAYLAND_DISPLAY"); w && *w)
        return w;
    return "";
}

} // namespace platform
