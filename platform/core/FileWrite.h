#pragma once
// Writing a whole buffer to a file descriptor.
#include <cstddef>

namespace platform {

// Writes the `size` bytes at `data` to `fd`, going on after interrupted and
// short writes. `written` receives the bytes that reached the file, also when
// writing fails. Returns 0, or the errno of the failure (EIO for a write that
// makes no progress, so a stuck descriptor cannot spin the caller).
int WriteAll(int fd, const void *data, std::size_t size, std::size_t &written) noexcept;

} // namespace platform
