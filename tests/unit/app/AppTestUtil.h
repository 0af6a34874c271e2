#pragma once
// Helpers for driving the dialogs and the desktop programs of the app tests.
#include "TestUtil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <sys/stat.h>

namespace apptest {

// Runs `act` on the first modal dialog above `below` (null: any), polled from any exec() loop.
inline void OnNextModal(QWidget *below, std::function<void(QWidget *)> act)
{
    auto timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, qApp, [timer, below, act] {
        QWidget *w = QApplication::activeModalWidget();
        if (w && w != below) {
            timer->stop();
            timer->deleteLater();
            act(w);
        }
    });
    timer->start();
}

// The child control `name` of a form; throws (failing the test) when missing.
template <class T>
T *Ctl(const QWidget &form, const char *name)
{
    if (T *c = form.findChild<T *>(QString::fromLatin1(name)))
        return c;
    throw std::runtime_error(std::string("no control ") + name);
}

// Processes events until `pred` holds or `ms` pass.
inline bool WaitFor(const std::function<bool()> &pred, int ms = 5000)
{
    QElapsedTimer t;
    for (t.start(); !pred(); QCoreApplication::processEvents(QEventLoop::AllEvents, 20))
        if (t.elapsed() > ms)
            return false;
    return true;
}

// Desktop program `name` first on PATH while alive: records its arguments a line each, runs `then`.
class TFakeProgram {
public:
    explicit TFakeProgram(const std::string &name, const std::string &then = "")
    {
        const std::string script = dir_.File(name);
        testutil::WriteFile(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> '" + Record() +
                                        "'\n" + then + "\n");
        ::chmod(script.c_str(), 0755);
    }
    std::string Folder() const { return dir_.Path(); }
    // The record once it holds `lines` lines, or what it holds after `ms`.
    std::string Calls(long lines, int ms = 5000) const
    {
        WaitFor([&] { return std::ranges::count(testutil::ReadFile(Record()), '\n') >= lines; }, ms);
        return testutil::ReadFile(Record());
    }

private:
    std::string Record() const { return dir_.File("calls.txt"); }
    testutil::TempDir dir_;
    testutil::ScopedEnv path_{"PATH", dir_.Path() + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "")};
};

} // namespace apptest
