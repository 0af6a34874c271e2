#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a call on the main thread, so that
// the message loop can end normally (hot keys ungrabbed, lock released)
// instead of the process dying inside a signal handler.
#include <QObject>
#include <functional>

class QSocketNotifier;

namespace platform {

class TQuitSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; `onSignal` runs on the main thread with the
    // signal number. Only one object may exist at a time.
    explicit TQuitSignals(std::function<void(int)> onSignal, QObject *parent = nullptr);
    ~TQuitSignals() override;

private:
    void Drain();

    std::function<void(int)> onSignal_;
    int fds_[2] = {-1, -1};
    QSocketNotifier *notifier_ = nullptr;
};

} // namespace platform
