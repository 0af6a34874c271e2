#include "app/CaptureTexts.h"

namespace app {

std::string ApplicationTitle()
{
    return "Korvane ScreenShot";
}

std::string LngText(const std::string &literal)
{
    std::string out;
    out.reserve(literal.size());
    for (std::size_t i = 0; i < literal.size(); ++i) {
        if (literal[i] == '\\' && i + 1 < literal.size() && literal[i + 1] == 'n') {
            out += "\r\n";
            ++i;
        } else {
            out += literal[i];
        }
    }
    return out;
}

QString ToWidgetText(const std::string &s)
{
    QString t = QString::fromStdString(s);
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

} // namespace app
