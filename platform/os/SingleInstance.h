#pragma once
// The single-instance guard: an exclusive flock on a per-user, per-display
// lock file. The lock lives as long as the open file description, so it is
// released when the object is destroyed or the process ends (also when it is
// killed), and it is never inherited by child processes (O_CLOEXEC).
#include <string>

namespace platform {

class TSingleInstance {
public:
    enum class TState {
        Acquired, // this object holds the lock
        Busy,     // a running copy holds it
        Failed,   // the lock file cannot be used; FailureText says why
    };

    TSingleInstance() = default;
    ~TSingleInstance();
    TSingleInstance(const TSingleInstance &) = delete;
    TSingleInstance &operator=(const TSingleInstance &) = delete;

    // Takes the lock on `lockPath` without waiting. Only a lock held by
    // another holder gives Busy; a file that cannot be opened, is not a
    // regular file or belongs to another user gives Failed.
    TState Acquire(const std::string &lockPath);
    // Why the last Acquire failed (empty after Acquired or Busy).
    const std::string &FailureText() const { return failure_; }
    void Release() noexcept;
    bool Held() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }

    // "<dir>/<name>.<display>.lock", dir being $XDG_RUNTIME_DIR, or /tmp
    // with the user id in the name when that is unset. `display` is the X
    // display name ("" when none); its screen number and a "unix" host are
    // dropped, so ":0", ":0.0", "unix:0" and "unix:0.1" share a lock, and "/"
    // becomes "_".
    static std::string DefaultLockPath(const std::string &name, const std::string &display);
    // The display part of the lock name for $DISPLAY (or $WAYLAND_DISPLAY).
    static std::string DisplayFromEnvironment();

private:
    TState Fail(const std::string &lockPath, const std::string &why);

    int fd_ = -1;
    std::string failure_;
};

} // namespace platform
