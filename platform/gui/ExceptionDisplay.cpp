#include "platform/gui/ExceptionDisplay.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <cstdio>

namespace platform {

namespace {
TExceptionDisplay g_display;
std::string g_title;
} // namespace

void SetExceptionDisplay(TExceptionDisplay display)
{
    g_display = std::move(display);
}

void SetExceptionTitle(const std::string &title)
{
    g_title = title;
}

void ShowException(const std::exception &e) noexcept
{
    try {
        // The silent abort (a cancelled dialog, for one): nothing to show.
        if (dynamic_cast<const EAbort *>(&e))
            return;
        if (g_display) {
            g_display(e);
            return;
        }
        const QString text = QString::fromUtf8(e.what()).replace("\r\n", "\n");
        if (qobject_cast<QApplication *>(QCoreApplication::instance())) {
            const QString title = g_title.empty() ? QCoreApplication::applicationName()
                                                  : QString::fromStdString(g_title);
            QMessageBox::critical(nullptr, title, text);
        } else {
            std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        }
    } catch (...) {
        // Showing an error must never raise another one.
    }
}

} // namespace platform
