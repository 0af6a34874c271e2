#include "platform/os/QuitSignals.h"

#include "platform/core/Exceptions.h"

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

std::atomic<int> g_writeFd{-1};
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void OnQuitSignal(int sig)
{
    // Only async-signal-safe work here: one byte into the socket.
    const int saved = errno;
    const int fd = g_writeFd.load();
    if (fd >= 0) {
        const unsigned char b = static_cast<unsigned char>(sig);
        [[maybe_unused]] ssize_t n = ::write(fd, &b, 1);
    }
    errno = saved;
}

} // namespace

TQuitSignals::TQuitSignals(std::function<void(int)> onSignal, QObject *parent)
    : QObject(parent), onSignal_(std::move(onSignal))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0)
        throw MakeOSError(errno, "socketpair");
    g_writeFd.store(fds_[1]);
    notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { Drain(); });
    struct sigaction sa {};
    sa.sa_handler = OnQuitSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : kSignals)
        ::sigaction(s, &sa, nullptr);
}

TQuitSignals::~TQuitSignals()
{
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    for (int s : kSignals)
        ::sigaction(s, &sa, nullptr);
    g_writeFd.store(-1);
    ::close(fds_[0]);
    ::close(fds_[1]);
}

void TQuitSignals::Drain()
{
    unsigned char buf[16];
    ssize_t n;
    while ((n = ::read(fds_[0], buf, sizeof buf)) > 0) {
        for (ssize_t i = 0; i < n; ++i)
            if (onSignal_)
                onSignal_(buf[i]);
    }
}

} // namespace platform
