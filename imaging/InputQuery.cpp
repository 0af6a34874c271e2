#include "imaging/InputQuery.h"

namespace imaging {

std::function<bool(const std::string &, const std::string &, std::string &)> InputQuery;

} // namespace imaging
