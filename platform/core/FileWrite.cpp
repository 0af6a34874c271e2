#include "platform/core/FileWrite.h"

#include <cerrno>
#include <unistd.h>

namespace platform {

int WriteAll(int fd, const void *data, std::size_t size, std::size_t &written) noexcept
{
    const char *bytes = static_cast<const char *>(data);
    written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, bytes + written, size - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return EIO;
        written += static_cast<std::size_t>(n);
    }
    return 0;
}

} // namespace platform
