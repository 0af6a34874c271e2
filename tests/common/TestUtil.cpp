#include "TestUtil.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

namespace fs = std::filesystem;

namespace testutil {

TempDir::TempDir() : path_((fs::temp_directory_path() / "kss-test-XXXXXX").string())
{
    if (!::mkdtemp(path_.data()))
        throw std::runtime_error("mkdtemp failed");
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests may make folders read-only; give write access back before removing.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string ReadFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string &path, const std::string &data)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

std::string TestData(const std::string &rel)
{
    const std::string path = std::string(KSS_TESTDATA_DIR) + "/" + rel;
    if (!fs::exists(path))
        throw std::runtime_error("missing test data: " + path);
    return path;
}

ScopedEnv::ScopedEnv(const char *name, const char *value) : name_(name)
{
    if (const char *old = std::getenv(name))
        old_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
}

ScopedEnv::~ScopedEnv()
{
    old_ ? ::setenv(name_.c_str(), old_->c_str(), 1) : ::unsetenv(name_.c_str());
}

} // namespace testutil
