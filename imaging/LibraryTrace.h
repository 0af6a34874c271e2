#pragma once
// The image library's diagnostic lines (a plug-in passed over, a metafile
// record that is not played). The program routes them to its trace; while
// unset they go nowhere.
#include <functional>
#include <string>

namespace imaging {

extern std::function<void(const std::string &Text)> LibraryTrace;

// Hands Text to LibraryTrace, if set; never throws.
void TraceLine(const std::string &Text) noexcept;

} // namespace imaging
