#pragma once
// The image library's one optional progress callback: a percentage, called
// on the caller's thread by long loads and saves, and only when assigned.
#include <functional>

namespace imaging {

extern std::function<void(int Percent)> ProgressUpdate;

inline void ReportProgress(int Percent)
{
    if (ProgressUpdate)
        ProgressUpdate(Percent);
}

} // namespace imaging
