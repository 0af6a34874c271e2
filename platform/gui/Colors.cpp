#include "platform/gui/Colors.h"

#include <QPalette>
#include <QWidget>

namespace platform {

void SetControlColor(QWidget *w, std::uint32_t bgr)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, ColorFromBGR(bgr));
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

void SetFontColor(QWidget *w, std::uint32_t bgr)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, ColorFromBGR(bgr));
    pal.setColor(QPalette::Text, ColorFromBGR(bgr));
    w->setPalette(pal);
}

} // namespace platform
