#include "app/CaptureFile.h"

#include "platform/core/Exceptions.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace app {

std::string IncludeTrailingPathDelimiter(const std::string &dir)
{
    if (dir.empty() || dir.back() == '/')
        return dir;
    return dir + "/";
}

std::string CaptureFileName(const std::string &folder, int number, const std::string &format)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%.5d", number);
    return IncludeTrailingPathDelimiter(folder) + "Image_" + digits + "." + format;
}

bool ForceDirectories(const std::string &dir)
{
    if (dir.empty())
        throw platform::EInOutError("Unable to create directory");
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec)
        return false;
    return std::filesystem::is_directory(dir, ec);
}

TCaptureFile TCaptureFile::CreateNext(const std::string &folder, const std::string &format,
                                      int &counter, std::string &lastFileName)
{
    for (;;) {
        if (counter == INT_MAX)
            throw platform::EFCreateError("Cannot create file \"" +
                                          CaptureFileName(folder, counter, format) +
                                          "\". No free file number left");
        ++counter;
        lastFileName = CaptureFileName(folder, counter, format);
        const int fd = ::open(lastFileName.c_str(),
                              O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0)
            return TCaptureFile(lastFileName, fd);
        const int err = errno;
        // EEXIST covers files, folders and symbolic links (dangling ones too).
        if (err == EEXIST)
            continue;
        throw platform::EFCreateError("Cannot create file \"" + lastFileName + "\". " +
                                      std::strerror(err));
    }
}

TCaptureFile::TCaptureFile(std::string fileName, int fd) : fileName_(std::move(fileName)), fd_(fd)
{
}

TCaptureFile::TCaptureFile(TCaptureFile &&other) noexcept
    : fileName_(std::move(other.fileName_)), fd_(std::exchange(other.fd_, -1)),
      kept_(std::exchange(other.kept_, true))
{
}

TCaptureFile::~TCaptureFile()
{
    if (!kept_)
        Discard();
}

void TCaptureFile::Keep()
{
    if (kept_)
        return;
    kept_ = true;
    const int fd = std::exchange(fd_, -1);
    if (fd < 0)
        return;
    struct stat mine {};
    const bool known = ::fstat(fd, &mine) == 0;
    if (::close(fd) != 0) {
        const int err = errno;
        // The contents may not have reached the disk: the file is not kept.
        struct stat now {};
        if (known && ::lstat(fileName_.c_str(), &now) == 0 && mine.st_dev == now.st_dev &&
            mine.st_ino == now.st_ino)
            ::unlink(fileName_.c_str());
        throw platform::MakeOSError(err, fileName_);
    }
}

void TCaptureFile::Discard() noexcept
{
    if (kept_)
        return;
    kept_ = true;
    if (fd_ < 0)
        return;
    // Remove the name only while it still leads to the file created here.
    struct stat mine {}, now {};
    if (::fstat(fd_, &mine) == 0 && ::lstat(fileName_.c_str(), &now) == 0 &&
        mine.st_dev == now.st_dev && mine.st_ino == now.st_ino)
        ::unlink(fileName_.c_str());
    ::close(fd_);
    fd_ = -1;
}

} // namespace app
