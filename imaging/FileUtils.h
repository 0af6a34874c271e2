#pragma once
// File-name helpers of the image library.
#include <string>

namespace imaging {

// The folder of the running program with its final "/" (from
// /proc/self/exe), found once.
const std::string &ProgramPath();

// Path unchanged when it is empty or ends in '\' or '/'; otherwise Path + "/".
std::string AddBackslash(const std::string &Path);

} // namespace imaging
