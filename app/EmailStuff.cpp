#include "app/EmailStuff.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <utility>

namespace app {

namespace {
TMailLauncher &Launcher()
{
    static TMailLauncher launcher;
    return launcher;
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

bool StartDetachedCommand(const TMailCommand &command)
{
    if (command.empty())
        return false;
    QStringList args;
    for (std::size_t i = 1; i < command.size(); ++i)
        args << QString::fromStdString(command[i]);
    QProcess p;
    p.setProgram(QString::fromStdString(command[0]));
    p.setArguments(args);
    p.setStandardInputFile(QProcess::nullDevice());
    return p.startDetached();
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
    const bool started = launcher ? launcher(cmd) : StartDetachedCommand(cmd);
    return started ? 0 : -1;
}

} // namespace app
