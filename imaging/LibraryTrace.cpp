#include "imaging/LibraryTrace.h"

namespace imaging {

std::function<void(const std::string &)> LibraryTrace;

void TraceLine(const std::string &Text) noexcept
{
    try {
        if (LibraryTrace)
            LibraryTrace(Text);
    } catch (...) {
        // A diagnostic line must never break a load.
    }
}

} // namespace imaging
