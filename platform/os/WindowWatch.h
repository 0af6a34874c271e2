#pragma once
// Notice of a window of this program destroyed by another X client (a window
// manager's kill, a tool that closes windows by force). Qt does not notice
// it: a modal loop waiting for that window would wait for ever.
#include <QAbstractNativeEventFilter>
#include <QObject>

#include <functional>

namespace platform {

class TOutsideDestroyWatch final : public QObject, public QAbstractNativeEventFilter {
public:
    // `windowId` gives the window's current X id (0 while it has none);
    // `onDestroyed` runs from the event loop once that window is destroyed.
    // Without X11 nothing is ever reported.
    TOutsideDestroyWatch(std::function<quintptr()> windowId, std::function<void()> onDestroyed);
    ~TOutsideDestroyWatch() override;
    TOutsideDestroyWatch(const TOutsideDestroyWatch &) = delete;
    TOutsideDestroyWatch &operator=(const TOutsideDestroyWatch &) = delete;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    std::function<quintptr()> windowId_;
    std::function<void()> onDestroyed_;
};

} // namespace platform
