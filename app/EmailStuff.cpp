#include "app/EmailStuff.h"

#include <QByteArray>
#include <QString>
#include "support/TextRoutines.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

extern char **environ;

namespace app {

namespace {
TMailLauncher &Launcher()
{
    static TMailLauncher launcher;
    return launcher;
}

std::string &FailureText()
{
    static std::string text;
    return text;
}
} // namespace

TMailCommand BuildMailCommand(const std::string &subject, const std::string &body,
                              const std::string &attachment, const std::string &toName,
                              const std::string &toAddress)
{
    TMailCommand cmd{"xdg-email"};
    if (!subject.empty())
        cmd.insert(cmd.end(), {"--subject", subject});
    if (!body.empty())
        cmd.insert(cmd.end(), {"--body", body});
    if (!attachment.empty())
        cmd.insert(cmd.end(), {"--attach", attachment});
    if (!toAddress.empty()) {
        // As a mailto: URI the address can never be taken for an option, and
        // characters that mean something in a URI stay part of the address.
        (void)toName; // xdg-email takes no display name
        const QByteArray enc =
            QByteArray::fromStdString(toAddress).toPercentEncoding(QByteArrayLiteral("@+"));
        cmd.push_back("mailto:" + enc.toStdString());
    }
    return cmd;
}

std::string StartMailCommand(const TMailCommand &command, int graceMs)
{
    if (command.empty())
        return "no mail command";
    std::vector<char *> argv;
    for (const std::string &a : command)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    int err[2];
    if (::pipe2(err, O_CLOEXEC) != 0)
        return command[0] + ": " + std::strerror(errno);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    // Its own session: a client that stays up must not go with our terminal.
    posix_spawnattr_t attr;
    ::posix_spawnattr_init(&attr);
    ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
    ::posix_spawnattr_destroy(&attr);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(err[1]);
    if (rc != 0) {
        ::close(err[0]);
        return command[0] + ": " + std::strerror(rc);
    }
    std::string errors;
    auto drain = [fd = err[0]](std::string &into, int timeoutMs) {
        pollfd p{fd, POLLIN, 0};
        char buf[4096];
        while (::poll(&p, 1, timeoutMs) > 0) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0)
                return false; // end of file
            if (into.size() < 4096)
                into.append(buf, static_cast<std::size_t>(n));
            timeoutMs = 0;
        }
        return true;
    };
    int status = 0;
    pid_t done = 0;
    bool open = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs);
    while ((done = ::waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
        if (open)
            open = drain(errors, 20);
        else
            ::usleep(20000);
    }
    if (done == 0) {
        // Still running: the client is up. A thread reaps it when it ends and
        // keeps the pipe drained as long as anyone writes to it (a full pipe
        // would block the client; a closed one would kill it).
        std::thread([pid, fd = err[0], open, drain] {
            std::string ignored;
            bool reaped = false, more = open;
            while (more) {
                more = drain(ignored, 500);
                ignored.clear();
                if (!reaped)
                    reaped = ::waitpid(pid, nullptr, WNOHANG) != 0;
            }
            ::close(fd);
            if (!reaped)
                ::waitpid(pid, nullptr, 0);
        }).detach();
        return {};
    }
    drain(errors, 0);
    ::close(err[0]);
    if (done == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return {};
    std::string why = command[0] + (done == pid && WIFEXITED(status)
                                        ? " ended with exit code " + std::to_string(WEXITSTATUS(status))
                                        : std::string(" ended abnormally"));
    const std::string first = errors.substr(0, errors.find('\n'));
    if (!support::IsBlank(first))
        why += ": " + first;
    return why;
}

TMailLauncher SetMailLauncher(TMailLauncher launcher)
{
    return std::exchange(Launcher(), std::move(launcher));
}

int SendMail(const std::string &subject, const std::string &body, const std::string &attachment,
             const std::string &fromName, const std::string &fromAddress,
             const std::string &toName, const std::string &toAddress)
{
    // The mail client asks for the sending account itself.
    (void)fromName;
    (void)fromAddress;
    const TMailCommand cmd = BuildMailCommand(subject, body, attachment, toName, toAddress);
    const TMailLauncher &launcher = Launcher();
    FailureText() = launcher ? launcher(cmd) : StartMailCommand(cmd);
    return FailureText().empty() ? 0 : -1;
}

const std::string &MailFailureText()
{
    return FailureText();
}

} // namespace app
