#pragma once
// The file side of tracing: splitting a data-file name, appending to the
// daily data file. The name-giving members of TVisualTraceCore
// (DailyFileName, ErrorsFileName) and the INI settings live in
// QX_TraceFiles.cpp too.
#include <cstddef>
#include <string>

namespace support {

struct TTraceFileNameParts {
    std::string Folder;    // up to and including the last "/", or empty
    std::string Base;      // the name without its extension
    std::string Extension; // from the last "." of the name, dot included, or empty
};
TTraceFileNameParts SplitTraceFileName(const std::string &name);

// Appends `data` to `fileName`, creating the file when it is missing.
// `written` receives the bytes that reached the file, also when it throws
// (EFOpenError when the file cannot be opened or created, EInOutError when
// writing fails). The file is always closed.
void AppendToFile(const std::string &fileName, const std::string &data, std::size_t &written);

} // namespace support
