#include "imaging/FileUtils.h"

#include "platform/core/ProgramPath.h"

namespace imaging {

const std::string &ProgramPath()
{
    static const std::string path = platform::ProgramFolder();
    return path;
}

std::string AddBackslash(const std::string &Path)
{
    if (Path.empty() || Path.back() == '\\' || Path.back() == '/')
        return Path;
    return Path + "/";
}

} // namespace imaging
