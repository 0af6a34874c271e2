#pragma once
// Letter case of ASCII texts: file extensions, format names, resource names
// and dialog filters are ASCII, so no locale is involved.
#include <string>

namespace platform {

inline std::string UpperCase(std::string s)
{
    for (auto &c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

} // namespace platform
