#include "platform/core/ProgramPath.h"

#include <climits>
#include <unistd.h>
#include <vector>

namespace platform {

std::string ProgramFileName()
{
    std::vector<char> buf(PATH_MAX + 1);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0)
            return {};
        if (static_cast<size_t>(n) < buf.size())
            return std::string(buf.data(), static_cast<size_t>(n));
        buf.resize(buf.size() * 2);
    }
}

std::string ProgramFolder()
{
    return ExtractFilePath(ProgramFileName());
}

std::string ExtractFileName(const std::string &path)
{
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFilePath(const std::string &path)
{
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileExt(const std::string &path)
{
    std::string name = ExtractFileName(path);
    auto dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string ChangeFileExt(const std::string &path, const std::string &ext)
{
    std::string oldExt = ExtractFileExt(path);
    return path.substr(0, path.size() - oldExt.size()) + ext;
}

bool FolderIsWritable(const std::string &folder)
{
    return ::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) == 0;
}

} // namespace platform
