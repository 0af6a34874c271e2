#include "platform/os/ShellOpen.h"

#include "platform/core/Exceptions.h"

#include <QProcess>
#include <QStringList>

namespace platform {

std::vector<std::string> ShellOpenArguments(const std::string &target)
{
    if (!target.empty() && target[0] == '-')
        return {"./" + target};
    return {target};
}

void ShellExecuteOpen(const std::string &target)
{
    QStringList args;
    for (const std::string &a : ShellOpenArguments(target))
        args << QString::fromStdString(a);
    QProcess process;
    process.setProgram(QStringLiteral("xdg-open"));
    process.setArguments(args);
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached())
        throw EInOutError("Cannot start xdg-open: " + process.errorString().toStdString());
}

} // namespace platform
