#pragma once
// A modal question for one line of text, in place of the class library's
// input query.
#include <string>

namespace platform {

// Shows Caption, Prompt and an edit holding Value; true with Value set to
// the text on OK, false on Cancel (Value unchanged).
bool InputQuery(const std::string &Caption, const std::string &Prompt, std::string &Value);

} // namespace platform
