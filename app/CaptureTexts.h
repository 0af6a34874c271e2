#pragma once
// Texts of the capture forms: the widget boundary turns CR LF into LF.
#include "app/ProgramMain.h"

#include <QString>
#include <string>

namespace app {

// `s` (UTF-8, CR LF line breaks) as a widget text with LF line breaks.
QString ToWidgetText(const std::string &s);

} // namespace app
