#include "TestUtil.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace testutil {

TempDir::TempDir()
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "kss-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests may make folders read-only; give write access back before removing.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::vector<unsigned char> ReadBytes(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string &path, const std::string &data)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << data;
}

bool FileExists(const std::string &path)
{
    return std::filesystem::exists(path);
}

std::string TestData(const std::string &rel)
{
    // Missing data must fail the test loudly, never let it pass on nothing.
    std::string path = std::string(KSS_TESTDATA_DIR) + "/" + rel;
    if (!std::filesystem::exists(path))
        throw std::runtime_error("missing test data: " + path);
    return path;
}

ScopedEnv::ScopedEnv(const char *name, const char *value) : name_(name)
{
    if (const char *old = std::getenv(name))
        old_ = old;
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
}

ScopedEnv::~ScopedEnv()
{
    if (old_)
        ::setenv(name_.c_str(), old_->c_str(), 1);
    else
        ::unsetenv(name_.c_str());
}

} // namespace testutil
