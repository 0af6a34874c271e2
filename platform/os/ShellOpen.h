#pragma once
// Opening a file, folder or link with the program the desktop associates with
// it: xdg-open, started detached with an argument vector (never through a
// shell), so no character of the target has a meaning to a shell and the
// caller never waits for the opened program.
#include <string>
#include <vector>

namespace platform {

// The arguments handed to xdg-open: the target alone, as one argument. A
// relative target starting with "-" gets "./" in front so that it cannot be
// taken for an option.
std::vector<std::string> ShellOpenArguments(const std::string &target);

// Starts xdg-open for `target` and returns at once. Whether a program then
// opens the target is not known here. Raises EInOutError when xdg-open
// cannot be started at all.
void ShellExecuteOpen(const std::string &target);

} // namespace platform
