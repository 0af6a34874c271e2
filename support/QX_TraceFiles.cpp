#include "support/QX_TraceFiles.h"

#include "platform/core/Exceptions.h"
#include "platform/core/FileWrite.h"
#include "platform/core/IniFile.h"
#include "platform/core/ProgramPath.h"
#include "support/QX_VisualTraceCore.h"
#include "support/TextRoutines.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace support {

TTraceFileNameParts SplitTraceFileName(const std::string &name)
{
    TTraceFileNameParts p;
    p.Folder = platform::ExtractFilePath(name);
    const std::string file = name.substr(p.Folder.size());
    const auto dot = file.find_last_of('.');
    if (dot == std::string::npos) {
        p.Base = file;
    } else {
        p.Base = file.substr(0, dot);
        p.Extension = file.substr(dot);
    }
    return p;
}

void AppendToFile(const std::string &fileName, const std::string &data, std::size_t &written)
{
    written = 0;
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int err = errno;
        throw platform::EFOpenError("Cannot open file \"" + fileName + "\". " +
                                    std::strerror(err));
    }
    if (const int err = platform::WriteAll(fd, data.data(), data.size(), written)) {
        ::close(fd);
        throw platform::MakeOSError(err, fileName);
    }
    if (::close(fd) != 0) {
        const int err = errno;
        // Data a failed close may have lost counts as not written.
        if (err != EINTR) {
            written = 0;
            throw platform::MakeOSError(err, fileName);
        }
    }
}

// --- names ------------------------------------------------------------------

std::string TVisualTraceCore::DailyFileNameAt(const platform::DateTime &now, bool withTime) const
{
    const TTraceFileNameParts p = SplitTraceFileName(dataFileName_);
    std::string name = p.Folder + DateStamp("_", now) + "_" + p.Base;
    if (withTime)
        name += "_at_" + DateTimeMsStampSep("-", now);
    return name + p.Extension;
}

std::string TVisualTraceCore::DailyFileName(bool withTime) const
{
    const platform::DateTime now = platform::Now();
    std::lock_guard<std::mutex> guard(lock_);
    return DailyFileNameAt(now, withTime);
}

std::string TVisualTraceCore::ErrorsFileName() const
{
    const TTraceFileNameParts p = SplitTraceFileName(DailyFileName(false));
    return p.Folder + p.Base + ".ERRORS" + p.Extension;
}

// --- settings ---------------------------------------------------------------

void TVisualTraceCore::ReadIni() noexcept
{
    if (!active_)
        return;
    try {
        SetCurrentLevel(0);
        SetToScreen(false);
        SetToFile(false);
        platform::TMemIniFile ini(INIFileName());
        const std::string section = INISection();
        SetCurrentLevel(EnsureInRange(0, ini.ReadInteger(section, "Level", 0), MaxTraceLevel));
        SetToScreen(ini.ReadBool(section, "Screen", false));
        SetToFile(ini.ReadBool(section, "File", false));
    } catch (...) {
    }
}

void TVisualTraceCore::WriteIni() noexcept
{
    if (!active_)
        return;
    try {
        platform::TIniFile ini(INIFileName());
        const std::string section = INISection();
        ini.WriteInteger(section, "Level", currentLevel_);
        ini.WriteBool(section, "Screen", toScreen_);
        ini.WriteBool(section, "File", toFile_);
    } catch (...) {
    }
}

void TVisualTraceCore::WriteClassesIni() noexcept
{
    if (!useIniFile_)
        return;
    try {
        const TVisualTraceClsArray list = ClassList();
        const std::string section = INIClsSection();
        platform::TIniFile ini(INIFileName());
        for (const auto &entry : list) {
            try {
                ini.WriteBool(section, ClassKey(entry.Cls), entry.Enabled);
            } catch (...) {
            }
        }
    } catch (...) {
    }
}

// --- where the program's trace files go --------------------------------------

std::string TraceStateFolder()
{
    const char *state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/')
        return std::string(state) + "/korvane-screenshot/";
    std::string home;
    if (const char *h = std::getenv("HOME"); h && h[0] == '/') {
        home = h;
    } else {
        passwd pw{};
        passwd *found = nullptr;
        std::vector<char> buf(16384);
        if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found &&
            found->pw_dir)
            home = found->pw_dir;
    }
    if (home.empty())
        home = "/tmp";
    if (home.back() == '/')
        home.pop_back();
    return home + "/.local/state/korvane-screenshot/";
}

std::string TraceDataFileNameFor(const std::string &programFileName)
{
    const std::string name = platform::ChangeFileExt(programFileName, ".Trace.txt");
    const std::string folder = platform::ExtractFilePath(name);
    if (!folder.empty() && platform::FolderIsWritable(folder))
        return name;
    return TraceStateFolder() + platform::ExtractFileName(name);
}

std::string ProgramTraceDataFileName()
{
    return TraceDataFileNameFor(platform::ProgramFileName());
}

} // namespace support
