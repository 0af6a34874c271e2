#pragma once
// Copies of the primary screen's pixels.
#include <QImage>
#include <QRect>
#include <memory>

namespace platform {

class TScreenGrabber {
public:
    virtual ~TScreenGrabber() = default;
    // The primary screen's current pixels in `format` (device pixels, origin
    // at the screen's top left); a null image when they cannot be read.
    virtual QImage GrabPrimary(QImage::Format format) = 0;
};

// X11: MIT-SHM read of the primary output's rectangle of the root window,
// with QScreen::grabWindow(0) as fallback (no shared memory, remote display,
// unusual pixel layout, other platforms).
class TX11ScreenGrabber final : public TScreenGrabber {
public:
    TX11ScreenGrabber() = default;
    ~TX11ScreenGrabber() override;
    TX11ScreenGrabber(const TX11ScreenGrabber &) = delete;
    TX11ScreenGrabber &operator=(const TX11ScreenGrabber &) = delete;

    QImage GrabPrimary(QImage::Format format) override;

    // The shared-memory path alone; null when it is not usable.
    QImage GrabShm(QImage::Format format);
    // The fallback alone.
    static QImage GrabFallback(QImage::Format format);
    // The primary screen in device pixels of the root window.
    static QRect PrimaryDeviceRect();
    // Whether a root window size asked earlier still covers `primary`; when
    // the screen has grown since, the size must be asked again, or the read
    // would be cut to the old size.
    static bool RootSizeCovers(const QSize &root, const QRect &primary);

private:
    bool EnsureSegment(std::size_t bytes);
    void FreeSegment() noexcept;
    bool LayoutIsRGB32(std::uint32_t visual, std::uint8_t depth);

    bool shmUnusable_ = false;
    std::uint32_t rootWindow_ = 0;
    QSize rootSize_;
    std::uint32_t seg_ = 0;
    int shmId_ = -1;
    unsigned char *addr_ = nullptr;
    std::size_t size_ = 0;
};

std::unique_ptr<TScreenGrabber> CreateSystemScreenGrabber();

// Lets the screen settle after a popup (a menu) closed, so that a grab shows
// no remains of it: the X server carries out the unmapping, this program's
// windows get their repaints for `ms` milliseconds (other programs' windows
// repaint meanwhile), then the server has drawn them. No user input is taken
// meanwhile. Returns at once without X11.
void LetScreenSettle(int ms);

} // namespace platform
