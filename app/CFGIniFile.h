#pragma once
// The user's settings: destination folder and image file format, kept in one
// INI file per user beside the program (or, when the program's folder is not
// writable, under $XDG_CONFIG_HOME/korvane-screenshot/ with the same name).
#include <string>

namespace app {

struct TCFGIniFile_AllData {
    std::string DestinationFolder;
    std::string ImageFileFormat; // upper-case extension without the dot
    std::string FormatList;      // offered formats, one per line (CR LF)
};

// The settings while the program runs: filled by LoadConfiguration at start,
// replaced by the settings form.
extern TCFGIniFile_AllData CFGAllData;

// The settings file: program path without extension + "." + user + ".ini".
std::string GetIniFileName();
// The same for a given program file and user; when the program's folder is
// not writable, the file name under `configFolder`/korvane-screenshot/.
std::string IniFileNameFor(const std::string &programFile, const std::string &user,
                           bool programFolderWritable, const std::string &configFolder);

// Loads or saves one settings record.
class TCFGIniFile {
public:
    TCFGIniFile() = default;
    explicit TCFGIniFile(std::string fileName) : FileName(std::move(fileName)) {}

    // The pictures folder + "/Korvane ScreenShot", PNG, and PNG JPG BMP TIF.
    static TCFGIniFile_AllData GetDefaults();
    void SetDefaults();
    // Fills AllData from the file over the defaults and validates it. An
    // unreadable file leaves the defaults (and says so in the trace).
    void Load();
    // Writes AllData to the file atomically, dropping the obsolete section
    // "Daemon.AutomaticExecution" and keeping every other section. Raises
    // the file exception when the file cannot be written.
    void Save() const;

    std::string FileName = GetIniFileName();
    TCFGIniFile_AllData AllData;
};

// Loads the settings into CFGAllData and writes them straight back, so the
// file holds the validated values. A file that cannot be written does not
// stop the program: the values stay in memory and the trace says why.
void LoadConfiguration(const std::string &fileName = GetIniFileName());
// Writes CFGAllData; false (and a trace line) when the file cannot be written.
bool SaveConfiguration(const std::string &fileName = GetIniFileName());

} // namespace app
