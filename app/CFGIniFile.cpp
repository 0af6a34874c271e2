#include "app/CFGIniFile.h"

#include "app/SelfUnit.h"
#include "platform/core/IniFile.h"
#include "platform/core/AsciiText.h"
#include "platform/core/ProgramPath.h"
#include "support/QX_VisualTraceCore.h"
#include "support/TextRoutines.h"

#include <QDir>
#include <QStandardPaths>
#include <algorithm>
#include <cctype>

namespace app {

TCFGIniFile_AllData CFGAllData;

namespace {

const char *const kSection = "Generics";
const char *const kObsoleteSection = "Daemon.AutomaticExecution";

using platform::UpperCase;

std::string FormatName(const std::string &extension)
{
    return UpperCase(extension.substr(1));
}

// Whether `format` is one whole line of `list`.
bool IsListedFormat(const std::string &list, const std::string &format)
{
    std::size_t pos = 0;
    while (pos <= list.size()) {
        std::size_t end = list.find("\r\n", pos);
        std::string entry = list.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (!entry.empty() && entry == format)
            return true;
        if (end == std::string::npos)
            break;
        pos = end + 2;
    }
    return false;
}

std::string FormatListText()
{
    return FormatName(".png") + "\r\n" + FormatName(".jpg") + "\r\n" + FormatName(".bmp") + "\r\n" +
           FormatName(".tif");
}

// Settings problems never stop the program; the trace tells why.
void Note(const std::string &text) noexcept
{
    support::TraceGlobal(1, text);
}

} // namespace

std::string IniFileNameFor(const std::string &programFile, const std::string &user,
                           bool programFolderWritable, const std::string &configFolder)
{
    std::string name = platform::ChangeFileExt(programFile, "." + user + ".ini");
    // An installed program's folder is not the user's to write.
    if (programFolderWritable || configFolder.empty())
        return name;
    std::string folder = configFolder;
    if (folder.back() != '/')
        folder += '/';
    return folder + "korvane-screenshot/" + platform::ExtractFileName(name);
}

std::string GetIniFileName()
{
    // Without a usable HOME the desktop's lookup would build on "/".
    std::string config;
    if (HomeFromEnvironment())
        config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString();
    else if (const std::string home = HomeFolder(); !home.empty())
        config = home + "/.config";
    return IniFileNameFor(platform::ProgramFileName(), UserName(),
                          platform::FolderIsWritable(platform::ProgramFolder()), config);
}

TCFGIniFile_AllData TCFGIniFile::GetDefaults()
{
    std::string folder = MyPicturesFolder();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    TCFGIniFile_AllData d;
    d.DestinationFolder = folder + "Korvane ScreenShot";
    d.ImageFileFormat = FormatName(".png");
    d.FormatList = FormatListText();
    return d;
}

void TCFGIniFile::SetDefaults()
{
    AllData = GetDefaults();
}

void TCFGIniFile::Load()
{
    try {
        SetDefaults();
    } catch (const std::exception &e) {
        // No home folder to put captures in: no default destination is made
        // up (and so none is stored); the formats still have theirs.
        AllData = TCFGIniFile_AllData{};
        AllData.ImageFileFormat = FormatName(".png");
        AllData.FormatList = FormatListText();
        Note(std::string(e.what()) + " No default destination folder.");
    }
    try {
        platform::TMemIniFile ini(FileName);
        std::string folder = ini.ReadString(kSection, "DestinationFolder", AllData.DestinationFolder);
        if (!support::IsBlank(folder))
            AllData.DestinationFolder = folder;
        AllData.ImageFileFormat = UpperCase(ini.ReadString(kSection, "ImageFileFormat", AllData.ImageFileFormat));
    } catch (const std::exception &e) {
        Note("Settings file not readable, defaults used: " + std::string(e.what()));
    }
    // Only a whole entry of the list counts: "JP" or "PNG\r\nJPG" is no format.
    if (!IsListedFormat(FormatListText(), AllData.ImageFileFormat))
        AllData.ImageFileFormat = FormatName(".png");
}

void TCFGIniFile::Save() const
{
    platform::TMemIniFile ini(FileName);
    if (ini.SectionExists(kObsoleteSection))
        ini.EraseSection(kObsoleteSection);
    if (!AllData.DestinationFolder.empty())
        ini.WriteString(kSection, "DestinationFolder", AllData.DestinationFolder);
    ini.WriteString(kSection, "ImageFileFormat", AllData.ImageFileFormat);
    std::string folder = platform::ExtractFilePath(FileName);
    if (!folder.empty())
        QDir().mkpath(QString::fromStdString(folder));
    ini.UpdateFile();
}

void LoadConfiguration(const std::string &fileName)
{
    TCFGIniFile cfg(fileName);
    cfg.Load();
    try {
        cfg.Save();
    } catch (const std::exception &e) {
        Note("Settings kept in memory only: " + std::string(e.what()));
    }
    CFGAllData = cfg.AllData;
}

bool SaveConfiguration(const std::string &fileName)
{
    TCFGIniFile cfg(fileName);
    cfg.AllData = CFGAllData;
    try {
        cfg.Save();
        return true;
    } catch (const std::exception &e) {
        Note("Settings kept in memory only: " + std::string(e.what()));
        return false;
    }
}

} // namespace app
