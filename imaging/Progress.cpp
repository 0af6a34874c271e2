#include "imaging/Progress.h"

namespace imaging {

std::function<void(int Percent)> ProgressUpdate;

} // namespace imaging
