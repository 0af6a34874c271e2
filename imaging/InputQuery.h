#pragma once
// The image library's one question to the user: a line of text with a
// caption, a prompt and a default. The program installs a dialog at start-up;
// without one nothing is asked and the caller keeps its default.
#include <functional>
#include <string>

namespace imaging {

// True with Value set to the answer; false when the user cancelled.
extern std::function<bool(const std::string &Caption, const std::string &Prompt, std::string &Value)> InputQuery;

} // namespace imaging
