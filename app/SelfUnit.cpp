#include "app/SelfUnit.h"

#include "platform/core/AsciiText.h"
#include "platform/core/ProgramPath.h"
#include "support/ExceptionReport.h"
#include "support/TextRoutines.h"

#include <QBuffer>
#include <QFile>
#include <QStandardPaths>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#ifndef KSS_PROGRAM_VERSION
#error "KSS_PROGRAM_VERSION must come from the build (the project version)"
#endif

namespace app {

namespace {

using platform::UpperCase;

bool SameFile(const std::string &a, const std::string &b)
{
    struct stat sa {}, sb {};
    return !a.empty() && !b.empty() && ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace

void InitSelfUnit()
{
    support::SetFileVersionSource(&FileVersion);
}

std::string FileVersion(const std::string &fileName)
{
    return SameFile(fileName, platform::ProgramFileName()) ? std::string(KSS_PROGRAM_VERSION)
                                                           : std::string();
}

std::string VersionText(const std::string &fileName, std::uint8_t flags)
{
    return FormatVersionText(fileName, (flags & vtVersion) ? FileVersion(fileName) : std::string(), flags);
}

std::string FormatVersionText(const std::string &fileName, const std::string &version,
                              std::uint8_t flags)
{
    std::string result;
    if (flags & vtVersion) {
        if (flags & vtVerPrefix)
            result = "Ver. ";
        std::string v = version;
        if (flags & vtDropZeros)
            for (int i = 0; i < 2; ++i)
                if (v.size() >= 2 && v.compare(v.size() - 2, 2, ".0") == 0)
                    v.resize(v.size() - 2);
        result += v;
    }
    if (flags & vtFileName)
        result = support::JoinNonBlank(platform::ExtractFileName(fileName), result, " - ");
    return result;
}

std::string ProgramCaption()
{
    return "Korvane ScreenShot - " +
           VersionText(platform::ProgramFileName(), vtVerPrefix | vtVersion | vtDropZeros);
}

namespace {

// The password-database entry of the user we run as: its name or home folder.
std::string PasswdField(bool home)
{
    const uid_t uid = ::geteuid();
    long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(hint > 0 ? static_cast<std::size_t>(hint) : 4096);
    for (;;) {
        passwd pw{};
        passwd *found = nullptr;
        int rc = ::getpwuid_r(uid, &pw, buf.data(), buf.size(), &found);
        if (rc == ERANGE && buf.size() < (1u << 20)) {
            buf.resize(buf.size() * 2);
            continue;
        }
        const char *field = rc == 0 && found ? (home ? found->pw_dir : found->pw_name) : nullptr;
        return field ? field : "";
    }
}

bool UsableFolder(const std::string &folder)
{
    return !folder.empty() && folder[0] == '/' && folder.find_first_not_of('/') != std::string::npos;
}

} // namespace

std::string UserName()
{
    const std::string name = PasswdField(false);
    if (!name.empty())
        return name;
    // A user without a passwd entry (common in containers) still needs a
    // settings file of its own.
    return std::to_string(::geteuid());
}

bool HomeFromEnvironment()
{
    const char *home = std::getenv("HOME");
    return home && UsableFolder(home);
}

std::string HomeFolder()
{
    if (HomeFromEnvironment())
        return std::getenv("HOME");
    std::string home = PasswdField(true);
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return UsableFolder(home) ? home : std::string();
}

std::string MyPicturesFolder()
{
    QString folder;
    if (HomeFromEnvironment()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    } else if (const std::string home = HomeFolder(); !home.empty()) {
        // Without HOME the desktop's folder lookup would build on "/": take
        // the home folder from the password database instead.
        folder = QString::fromStdString(home + "/Pictures");
    }
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    if (!UsableFolder(folder.toStdString()))
        throw platform::Exception("Could not find MyDocuments folder location.");
    return folder.toStdString();
}

void LoadResourceToStream(const std::string &fileName, QBuffer &stream)
{
    std::string ext = platform::ExtractFileExt(fileName);
    std::string type = UpperCase(ext.empty() ? ext : ext.substr(1));
    if (type == "HTM")
        type = "HTML";
    std::string name = platform::ExtractFileName(fileName);
    name.resize(name.size() - ext.size());

    QFile resource(QString::fromStdString(":/" + type + "/" + UpperCase(name)));
    if (name.empty() || type.empty() || !resource.open(QIODevice::ReadOnly))
        throw EResNotFound("Can't load resource: " + name);
    QByteArray bytes = resource.readAll();
    if (stream.isOpen())
        stream.close();
    stream.setData(bytes);
    stream.open(QIODevice::ReadWrite);
    stream.seek(0);
}

} // namespace app
