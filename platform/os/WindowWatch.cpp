#include "platform/os/WindowWatch.h"

#include <QCoreApplication>
#include <xcb/xcb.h>

namespace platform {

TOutsideDestroyWatch::TOutsideDestroyWatch(std::function<quintptr()> windowId,
                                           std::function<void()> onDestroyed)
    : windowId_(std::move(windowId)), onDestroyed_(std::move(onDestroyed))
{
    if (auto *app = QCoreApplication::instance())
        app->installNativeEventFilter(this);
}

TOutsideDestroyWatch::~TOutsideDestroyWatch()
{
    if (auto *app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
}

bool TOutsideDestroyWatch::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *ev = static_cast<const xcb_generic_event_t *>(message);
    if ((ev->response_type & 0x7f) != XCB_DESTROY_NOTIFY)
        return false;
    const auto *destroyed = reinterpret_cast<const xcb_destroy_notify_event_t *>(ev);
    const quintptr id = windowId_();
    if (id != 0 && destroyed->window == id)
        // Posted: the handler may close windows, which is no work for the
        // middle of Qt's event dispatch.
        QMetaObject::invokeMethod(this, [this] { onDestroyed_(); }, Qt::QueuedConnection);
    return false;
}

} // namespace platform
