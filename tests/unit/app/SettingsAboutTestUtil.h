#pragma once
// Helpers for driving modal dialogs of the settings and about tests.
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <stdexcept>
#include <string>

namespace settingsabout_test {

// Runs `act` on the first modal dialog that opens on top of `below` (null:
// any), then returns. Polls from the event loop of whichever exec() runs.
inline void OnNextModal(QWidget *below, std::function<void(QWidget *)> act)
{
    auto timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, qApp, [timer, below, act] {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || w == below)
            return;
        timer->stop();
        timer->deleteLater();
        act(w);
    });
    timer->start();
}

// The child control `name` of a form; fails the test when it is missing.
template <class T>
T *Ctl(const QWidget &form, const char *name)
{
    T *c = form.findChild<T *>(QString::fromLatin1(name));
    if (!c)
        throw std::runtime_error(std::string("no control ") + name);
    return c;
}

// All label texts of a dialog, one per line.
inline std::string LabelTexts(QWidget *w)
{
    std::string all;
    for (const QLabel *l : w->findChildren<QLabel *>())
        all += l->text().toStdString() + "\n";
    return all;
}

// Processes events until `pred` holds or `ms` pass.
inline bool WaitFor(const std::function<bool()> &pred, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

} // namespace settingsabout_test
