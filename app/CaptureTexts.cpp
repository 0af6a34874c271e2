#include "app/CaptureTexts.h"

namespace app {

QString ToWidgetText(const std::string &s)
{
    QString t = QString::fromStdString(s);
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

} // namespace app
