#pragma once
// Where the running program lives (from /proc/self/exe).
#include <string>

namespace platform {

// Full path of the running executable, "/" separated.
std::string ProgramFileName();
// The folder of the running executable, with a trailing "/".
std::string ProgramFolder();
// `path` with its extension (from the last "." of the file name) replaced by
// `ext` (which includes its dot, or is empty to drop the extension).
std::string ChangeFileExt(const std::string &path, const std::string &ext);
// The file-name part after the last "/".
std::string ExtractFileName(const std::string &path);
// The folder part up to and including the last "/".
std::string ExtractFilePath(const std::string &path);
// The extension including its dot ("" when there is none).
std::string ExtractFileExt(const std::string &path);
// Whether the current user may create files in `folder`.
bool FolderIsWritable(const std::string &folder);

} // namespace platform
