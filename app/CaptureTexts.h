#pragma once
// Texts of the capture forms: literals pass through the text data module
// before display, and the widget boundary turns CR LF into LF.
#include <QString>
#include <string>

namespace app {

// The application title shown in the captions of the action forms.
std::string ApplicationTitle();
// `s` (UTF-8, CR LF line breaks) as a widget text with LF line breaks.
QString ToWidgetText(const std::string &s);

} // namespace app
