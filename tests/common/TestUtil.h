#pragma once
// Small helpers shared by the tests: private temporary folders and file access.
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace testutil {

// A fresh folder under the system temp dir, removed with its contents on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &Path() const { return path_; }
    std::string File(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string ReadFile(const std::string &path);
inline std::vector<unsigned char> ReadBytes(const std::string &path)
{
    const std::string s = ReadFile(path);
    return {s.begin(), s.end()};
}
void WriteFile(const std::string &path, const std::string &data);
inline bool FileExists(const std::string &path) { return ::access(path.c_str(), F_OK) == 0; }
// tests/data/<rel>; throws naming the file when it is missing (never pass on nothing).
std::string TestData(const std::string &rel);

// Sets (null: removes) an environment variable while the object lives.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value);
    ScopedEnv(const char *name, const std::string &value) : ScopedEnv(name, value.c_str()) {}
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

} // namespace testutil
