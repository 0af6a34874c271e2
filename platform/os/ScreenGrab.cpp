#include "platform/os/ScreenGrab.h"

#include "platform/os/X11Display.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <QPixmap>
#include <QScreen>
#include <cstdlib>
#include <memory>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

namespace platform {

namespace {
template <class T> using CPtr = std::unique_ptr<T, void (*)(void *)>;
}

TX11ScreenGrabber::~TX11ScreenGrabber()
{
    FreeSegment();
}

QRect TX11ScreenGrabber::PrimaryDeviceRect()
{
    QScreen *s = QGuiApplication::primaryScreen();
    if (!s)
        return {};
    const QRect g = s->geometry();
    const qreal dpr = s->devicePixelRatio();
    return QRect(qRound(g.x() * dpr), qRound(g.y() * dpr), qRound(g.width() * dpr),
                 qRound(g.height() * dpr));
}

bool TX11ScreenGrabber::RootSizeCovers(const QSize &root, const QRect &primary)
{
    return !root.isEmpty() && QRect(QPoint(0, 0), root).contains(primary);
}

QImage TX11ScreenGrabber::GrabPrimary(QImage::Format format)
{
    QImage img = GrabShm(format);
    if (img.isNull())
        img = GrabFallback(format);
    return img;
}

QImage TX11ScreenGrabber::GrabFallback(QImage::Format format)
{
    QScreen *s = QGuiApplication::primaryScreen();
    if (!s)
        return {};
    QImage img = s->grabWindow(0).toImage();
    if (img.isNull())
        return {};
    img.setDevicePixelRatio(1.0);
    return img.convertToFormat(format);
}

bool TX11ScreenGrabber::EnsureSegment(std::size_t bytes)
{
    if (addr_ && size_ >= bytes)
        return true;
    FreeSegment();
    xcb_connection_t *c = x11::Connection();
    if (!c)
        return false;
    const int id = ::shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0)
        return false;
    void *addr = ::shmat(id, nullptr, 0);
    if (addr == reinterpret_cast<void *>(-1)) {
        ::shmctl(id, IPC_RMID, nullptr);
        return false;
    }
    const std::uint32_t seg = xcb_generate_id(c);
    xcb_generic_error_t *err = xcb_request_check(c, xcb_shm_attach_checked(c, seg, id, 0));
    // Marked for removal right away: it disappears when both sides detach,
    // also if this process dies.
    ::shmctl(id, IPC_RMID, nullptr);
    if (err) {
        std::free(err);
        ::shmdt(addr);
        return false;
    }
    seg_ = seg;
    shmId_ = id;
    addr_ = static_cast<unsigned char *>(addr);
    size_ = bytes;
    return true;
}

void TX11ScreenGrabber::FreeSegment() noexcept
{
    if (!addr_)
        return;
    if (xcb_connection_t *c = x11::Connection()) {
        xcb_shm_detach(c, seg_);
        xcb_flush(c);
    }
    ::shmdt(addr_);
    addr_ = nullptr;
    size_ = 0;
    shmId_ = -1;
    seg_ = 0;
}

bool TX11ScreenGrabber::LayoutIsRGB32(std::uint32_t visual, std::uint8_t depth)
{
    xcb_connection_t *c = x11::Connection();
    const xcb_setup_t *setup = xcb_get_setup(c);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
        return false;
    bool bpp32 = false;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
        if (f.data->depth == depth)
            bpp32 = f.data->bits_per_pixel == 32;
    if (!bpp32)
        return false;
    for (auto s = xcb_setup_roots_iterator(setup); s.rem; xcb_screen_next(&s))
        for (auto d = xcb_screen_allowed_depths_iterator(s.data); d.rem; xcb_depth_next(&d))
            for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
                if (v.data->visual_id == visual)
                    return v.data->red_mask == 0xff0000 && v.data->green_mask == 0xff00 &&
                           v.data->blue_mask == 0xff;
    return false;
}

QImage TX11ScreenGrabber::GrabShm(QImage::Format format)
{
    if (shmUnusable_)
        return {};
    xcb_connection_t *c = x11::Connection();
    const std::uint32_t root = x11::PrimaryRoot();
    if (!c || !root)
        return {};
    const xcb_query_extension_reply_t *ext = xcb_get_extension_data(c, &xcb_shm_id);
    if (!ext || !ext->present) {
        shmUnusable_ = true;
        return {};
    }
    // Stay inside the root window: a request beyond it fails as a whole.
    // Its size is asked again when the primary screen no longer fits in it
    // (the screen grew) and after a failed read (it shrank).
    const QRect primary = PrimaryDeviceRect();
    if (rootWindow_ != root || !RootSizeCovers(rootSize_, primary)) {
        CPtr<xcb_get_geometry_reply_t> geo(
            xcb_get_geometry_reply(c, xcb_get_geometry(c, root), nullptr), std::free);
        if (!geo)
            return {};
        rootWindow_ = root;
        rootSize_ = QSize(geo->width, geo->height);
    }
    const QRect r = primary.intersected(QRect(QPoint(0, 0), rootSize_));
    if (r.isEmpty())
        return {};
    const std::size_t bytes = std::size_t(r.width()) * std::size_t(r.height()) * 4;
    if (!EnsureSegment(bytes)) {
        shmUnusable_ = true;
        return {};
    }
    xcb_generic_error_t *err = nullptr;
    CPtr<xcb_shm_get_image_reply_t> reply(
        xcb_shm_get_image_reply(c,
                                xcb_shm_get_image(c, root, std::int16_t(r.x()), std::int16_t(r.y()),
                                                  std::uint16_t(r.width()), std::uint16_t(r.height()),
                                                  ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, seg_, 0),
                                &err),
        std::free);
    if (err) {
        std::free(err);
        rootSize_ = QSize();
        return {};
    }
    if (!reply || reply->size != bytes || !LayoutIsRGB32(reply->visual, reply->depth)) {
        shmUnusable_ = true;
        return {};
    }
    // A view of the segment; the conversion (or copy) detaches from it.
    const QImage view(addr_, r.width(), r.height(), r.width() * 4, QImage::Format_RGB32);
    return format == QImage::Format_RGB32 ? view.copy() : view.convertToFormat(format);
}

void LetScreenSettle(int ms)
{
    if (!x11::Connection())
        return;
    // The round trip makes the server unmap the popup and send the exposures
    // of what lay under it before they are handled here.
    x11::Sync();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    QCoreApplication::sendPostedEvents(); // repaints deferred to the last moment
    x11::Sync();
}

std::unique_ptr<TScreenGrabber> CreateSystemScreenGrabber()
{
    return std::make_unique<TX11ScreenGrabber>();
}

} // namespace platform
