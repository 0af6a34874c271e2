#include "gif/GIFPainter.h"

#include "platform/core/SyncQueue.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QSocketNotifier>

#include <algorithm>
#include <chrono>
#include <sys/eventfd.h>
#include <unistd.h>

namespace gif {

namespace {

TGIFPaintTiming g_timing;
std::function<void(std::exception_ptr)> g_errorHandler;

// Frames of one painter rendered ahead are kept up to this many pixels in
// all; above it each frame is rendered when it is due.
constexpr std::int64_t kRenderCachePixels = std::int64_t(4) << 20;

// The clock in microseconds: the delays are whole milliseconds, but the time
// lost between them is mostly below one, and only a fine clock sees it.
std::int64_t NowUs()
{
    if (g_timing.Now)
        return g_timing.Now() * 1000;
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SleepUs(std::int64_t us)
{
    if (g_timing.Sleep)
        g_timing.Sleep(int(us / 1000));
    else
        std::this_thread::sleep_for(std::chrono::microseconds(us));
}

QColor FromTColor(TColor c)
{
    return QColor(ColorRed(c), ColorGreen(c), ColorBlue(c));
}

// Ended asynchronous painters wait here until the GUI thread joins and frees
// them. Never while the GUI thread waits for painters (PaintStop walks a copy
// of the painter list then), only from the event loop or a new paint.
std::mutex g_endedLock;
std::vector<TGIFPainter *> g_ended;
int g_waitDepth = 0; // GUI thread only
std::atomic<int> g_live{0};

struct TReapAtExit {
    ~TReapAtExit()
    {
        g_waitDepth = 0;
        ReapGIFPainters();
    }
} g_reapAtExit;

// The GUI thread's event loop learns of queued steps and ended painters
// through an event counter it watches; a painter thread only writes to it
// (no Qt object is touched off the GUI thread).
int g_wakeFd = -1;

void WakeGUI()
{
    if (g_wakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(g_wakeFd, &one, sizeof one);
    }
}

void InstallWaker()
{
    static std::once_flag once;
    std::call_once(once, [] {
        QCoreApplication *app = QCoreApplication::instance();
        if (!app)
            return; // steps are then only run by hand (PaintStop)
        g_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (g_wakeFd < 0)
            return;
        auto *notifier = new QSocketNotifier(g_wakeFd, QSocketNotifier::Read, app);
        QObject::connect(notifier, &QSocketNotifier::activated, [] {
            std::uint64_t count;
            [[maybe_unused]] const auto n = ::read(g_wakeFd, &count, sizeof count);
            platform::CheckSynchronize();
            ReapGIFPainters();
        });
        platform::SetSyncWaker(WakeGUI);
    });
}

// Notices the application's quit request while a synchronous painter serves
// the event loop; Qt itself keeps the request for the outer loop.
class TQuitWatch : public QObject {
public:
    bool Seen = false;
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::Quit)
            Seen = true;
        return QObject::eventFilter(o, e);
    }
};

TQuitWatch *QuitWatch()
{
    static TQuitWatch *watch = [] {
        auto *w = new TQuitWatch;
        if (QCoreApplication *app = QCoreApplication::instance()) {
            w->setParent(app);
            app->installEventFilter(w);
        }
        return w;
    }();
    return watch;
}

} // namespace

void SetGIFPaintTiming(TGIFPaintTiming Timing)
{
    g_timing = std::move(Timing);
}

void SetGIFPaintErrorHandler(std::function<void(std::exception_ptr)> Handler)
{
    g_errorHandler = std::move(Handler);
}

int NextFrameDelay(int Delay, bool Threaded)
{
    int d = Delay > 0 ? Delay : GIFDefaultDelay;
    d = std::max(d, GIFMinimumDelay);
    if (!Threaded)
        d = std::min(d, GIFMaximumDelay);
    return d;
}

int LiveGIFPainters()
{
    return g_live.load();
}

void ReapGIFPainters()
{
    if (g_waitDepth > 0)
        return;
    std::vector<TGIFPainter *> ended;
    {
        std::lock_guard lock(g_endedLock);
        ended.swap(g_ended);
    }
    for (TGIFPainter *p : ended)
        delete p;
}

TGIFPainter::TGIFPainter(TGIFPainterBase **OwnerSlot, TGIFImage *Image, const TGIFCanvas &ACanvas,
                         const QRect &ARect, std::uint16_t Options)
    : Canvas(ACanvas), Rect(ARect), DrawOptions(Options), AnimationSpeed(std::max(0, Image->AnimationSpeed)),
      FImage(Image), FOwnerSlot(OwnerSlot)
{
    const int count = Image->Count();
    FScreenWidth = Image->Width();
    FScreenHeight = Image->Height();
    FHasWakeEvent = (Options & doThreaded) && (Options & doAnimate) && count > 1;

    if (Image->BackgroundColor != clNone)
        FBackground = FromTColor(Image->BackgroundColor);
    else if (Image->Header().ColorMap().Count() == 0)
        FBackground = QGuiApplication::palette().color(QPalette::Base);
    else
        FBackground = FromTColor(Image->Header().BackgroundColor());

    bool restoreBackground = Options & doClearOnLoop, restorePrevious = false;
    std::int64_t pixels = 0;
    FDither = Image->DitherTest();
    FPalettes.resize(std::size_t(count));
    std::shared_ptr<const std::vector<QRgb>> palette;
    for (int i = 0; i < count; ++i) {
        TGIFSubImage *f = Image->SubImage(i);
        pixels += std::int64_t(f->Width()) * f->Height();
        if (!FDither && !f->Empty()) {
            std::vector<QRgb> own;
            try {
                own = f->GetPalette();
            } catch (const GIFException &) {
                // No colour table anywhere, so the frame cannot render
                // itself: the painter shows its pixels black.
            }
            if (!palette || *palette != own)
                palette = std::make_shared<const std::vector<QRgb>>(std::move(own));
            FPalettes[std::size_t(i)] = palette;
        }
        if (const auto *gce = f->GraphicControlExtension()) {
            restoreBackground |= gce->Disposal() == dmBackground;
            restorePrevious |= gce->Disposal() == dmPrevious;
        }
    }
    FRendered.resize(std::size_t(count));
    FCacheRendered = pixels <= kRenderCachePixels;

    const QImage &canvas = *Canvas.Image;
    // The buffers take the painted area's size, whatever the canvas's.
    if (restoreBackground || restorePrevious)
        CheckPixelCount(Rect.width(), Rect.height());
    if (restoreBackground && (Options & doTransparent))
        FUnderlayBuffer = canvas.copy(Rect);
    if (restoreBackground || restorePrevious) {
        FWorkBuffer = canvas.copy(Rect);
        FSaveBuffer = QImage(Rect.size(), FWorkBuffer.format());
        FSaveBuffer.fill(FBackground);
    }
    if (FOwnerSlot)
        *FOwnerSlot = this;
    ++g_live;
}

TGIFPainter::~TGIFPainter()
{
    if (FThread.joinable())
        FThread.join();
    --g_live;
}

void TGIFPainter::Launch()
{
    if (!Threaded() || FLaunched)
        return;
    FLaunched = true;
    // Thread priorities are left to the system: a painter only sleeps and
    // renders small frames.
    FThread = std::thread([this] { ThreadMain(); });
}

void TGIFPainter::ThreadMain()
{
    Execute();
    // Leaving the image and reporting a kept exception are the GUI thread's.
    try {
        platform::Synchronize([this] {
            LeaveImage();
            if (KeptException) {
                if (g_errorHandler) {
                    g_errorHandler(KeptException);
                } else {
                    try {
                        std::rethrow_exception(KeptException);
                    } catch (const std::exception &e) {
                        qWarning("GIF painter: %s", e.what());
                    } catch (...) {
                        qWarning("GIF painter: unknown exception");
                    }
                }
            }
        });
    } catch (...) {
        // The error handler failed; the painter has left all the same.
    }
    {
        std::lock_guard lock(g_endedLock);
        g_ended.push_back(this);
    }
    WakeGUI();
}

void TGIFPainter::Stop()
{
    FTerminated = true;
    if (!Threaded())
        return;
    if (FHasWakeEvent) {
        {
            std::lock_guard lock(FWakeLock);
            FWakeSignalled = true;
        }
        FWake.notify_all();
    }
    // A painter that was never started must still run to its end to leave.
    if (!FLaunched)
        Launch();
}

void TGIFPainter::WaitFor()
{
    // A painter whose own step is running further up this call stack cannot
    // end before that step returns: it ends right after it.
    if (!Threaded() || FStepDepth > 0 || FLeft)
        return;
    if (!FLaunched)
        Launch();
    ++g_waitDepth;
    while (!FLeft) {
        if (!platform::CheckSynchronize(5) && !platform::IsMainThread())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    --g_waitDepth;
}

void TGIFPainter::DetachImage()
{
    FImage = nullptr;
    FOwnerSlot = nullptr; // it lived inside the image
}

void TGIFPainter::LeaveImage()
{
    if (TGIFImage *image = FImage) {
        {
            std::lock_guard lock(image->PaintersLock);
            if (FOwnerSlot && *FOwnerSlot == this)
                *FOwnerSlot = nullptr;
        }
        {
            std::lock_guard lock(image->PaintersLock);
            auto &list = image->Painters;
            list.erase(std::remove(list.begin(), list.end(), this), list.end());
        }
        FImage = nullptr;
    }
    FWorkBuffer = QImage();
    FSaveBuffer = QImage();
    FUnderlayBuffer = QImage();
    FLeft = true;
}

void TGIFPainter::RunSynchronized(const std::function<void()> &Step)
{
    if (Terminated())
        return;
    // Checked again on the GUI thread: Stop may have come while the step
    // waited in the queue, and the canvas may be gone by now.
    const auto guarded = [&] {
        if (Terminated())
            return;
        ++FStepDepth;
        try {
            Step();
        } catch (...) {
            --FStepDepth;
            throw;
        }
        --FStepDepth;
    };
    if (Threaded())
        platform::Synchronize(guarded);
    else
        guarded();
}

void TGIFPainter::FireEvent(const std::function<void(void *)> &Method)
{
    if (Method)
        RunSynchronized([&] { Method(this); });
}

bool TGIFPainter::WaitWake(std::int64_t Microseconds)
{
    std::unique_lock lock(FWakeLock);
    bool woken;
    if (Microseconds < 0) {
        FWake.wait(lock, [&] { return FWakeSignalled; });
        woken = true;
    } else if (g_timing.Sleep) {
        if (!FWakeSignalled) {
            lock.unlock();
            g_timing.Sleep(int(Microseconds / 1000));
            lock.lock();
        }
        woken = FWakeSignalled;
    } else {
        woken = FWake.wait_for(lock, std::chrono::microseconds(Microseconds), [&] { return FWakeSignalled; });
    }
    FWakeSignalled = false; // auto-reset
    return woken;
}

void TGIFPainter::PumpEvents()
{
    TQuitWatch *watch = QuitWatch();
    watch->Seen = false;
    platform::CheckSynchronize();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (watch->Seen)
        Stop();
}

void TGIFPainter::Delay(int &PendingDelay, std::int64_t &LastTime, std::int64_t &Drift)
{
    // In microseconds: half of the time lost since the last wait (drawing,
    // synchronising, sleeping late) is taken off the next wait.
    if (PendingDelay <= 0) {
        std::this_thread::yield();
        return;
    }
    const std::int64_t now = NowUs();
    std::int64_t wait;
    if (AnimationSpeed >= 1) {
        const std::int64_t elapsedHalf = (now - LastTime - Drift) / 2;
        wait = MulDiv(std::int64_t(PendingDelay) * GIFDelayExp * 1000 - elapsedHalf, 100, AnimationSpeed);
        Drift = wait;
    } else {
        wait = Threaded() ? -1 : std::int64_t(GIFMaximumDelay) * GIFDelayExp * 1000;
    }
    LastTime = now;
    if (Threaded()) {
        if (wait >= 1000 || AnimationSpeed == 0) {
            if (FHasWakeEvent && WaitWake(wait)) {
                Drift = 0;
                LastTime = NowUs();
            }
        }
        return;
    }
    wait = std::max<std::int64_t>(wait, 1000);
    std::int64_t t = NowUs();
    while (wait > 0 && !Terminated()) {
        SleepUs(std::min<std::int64_t>(wait, 100000));
        const std::int64_t n = NowUs();
        wait -= n - t;
        t = n;
        PumpEvents();
    }
}

const QImage &TGIFPainter::Rendered(int Index)
{
    QImage &slot = FRendered[std::size_t(Index)];
    if (!slot.isNull())
        return slot;
    if (!FCacheRendered)
        for (QImage &other : FRendered)
            other = QImage();
    const TGIFSubImage *f = FImage.load()->SubImage(Index);
    const int w = f->Width(), h = f->Height();
    if (f->Empty() || f->DataSize() < std::int64_t(w) * h)
        return slot;
    // The frame's own rendering, made here: its cached one belongs to the
    // GUI thread.
    static const std::vector<QRgb> none;
    const auto &palette = FPalettes[std::size_t(Index)];
    const bool transparent = (DrawOptions & doTransparent) && f->Transparent();
    slot = f->RenderCopy(FDither, palette ? *palette : none, transparent)
               .convertToFormat(transparent ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    return slot;
}

void TGIFPainter::DrawFrame(QImage &Target, const QRect &Area, int Index)
{
    const TGIFSubImage *f = FImage.load()->SubImage(Index);
    const QImage &src = Rendered(Index);
    if (src.isNull())
        return;
    QPainter p(&Target);
    if (!(DrawOptions & doTile)) {
        const auto r = f->ScaleRect({Area.left(), Area.top(), Area.left() + Area.width(), Area.top() + Area.height()});
        p.drawImage(QRect(r.Left, r.Top, r.Width(), r.Height()), src);
        return;
    }
    if (FScreenWidth <= 0 || FScreenHeight <= 0)
        return;
    p.setClipRect(Area);
    for (std::int64_t x = std::int64_t(Area.left()) + f->Left(); x <= Area.right(); x += FScreenWidth)
        for (std::int64_t y = std::int64_t(Area.top()) + f->Top(); y <= Area.bottom(); y += FScreenHeight)
            p.drawImage(QPoint(int(x), int(y)), src);
}

void TGIFPainter::DrawSimple()
{
    DrawFrame(*Canvas.Image, Rect, FrameIndex);
    Painted = true;
    if (Canvas.Changed)
        Canvas.Changed(Rect);
}

void TGIFPainter::RestoreBackground()
{
    const TGIFImage *image = FImage.load();
    const TGIFSubImage *f = image->SubImage(FrameIndex);
    const bool transparent = DrawOptions & doTransparent, tile = DrawOptions & doTile;
    if (transparent && FUnderlayBuffer.isNull())
        return;
    QPainter p(&FWorkBuffer);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    const auto restore = [&](const QRect &r, const QColor &fill) {
        if (transparent)
            p.drawImage(r, FUnderlayBuffer, r);
        else
            p.fillRect(r, fill);
    };
    if (tile && (transparent || (f->Width() != FScreenWidth && f->Height() != FScreenHeight))) {
        // Without a colour of its own the image's tiles take the painter's.
        const QColor fill = image->BackgroundColor != clNone ? FromTColor(image->BackgroundColor) : FBackground;
        if (FScreenWidth <= 0 || FScreenHeight <= 0)
            return;
        for (int x = f->Left(); x < FWorkBuffer.width(); x += FScreenWidth)
            for (int y = f->Top(); y < FWorkBuffer.height(); y += FScreenHeight)
                restore(QRect(x, y, f->Width(), f->Height()), fill);
        return;
    }
    const auto a = f->ScaleRect({0, 0, FWorkBuffer.width(), FWorkBuffer.height()});
    restore(QRect(a.Left, a.Top, a.Width(), a.Height()), FBackground);
}

void TGIFPainter::DrawBuffered()
{
    if ((DrawOptions & doCheckCanvas) && Canvas.Alive && !Canvas.Alive()) {
        FTerminated = true;
        return;
    }
    const bool clearFirst = (DrawOptions & doClearOnLoop) && FrameIndex == 0;
    QImage *target = nullptr;
    QRect area;
    bool copy = false;
    switch (Disposal) {
    case dmNone:
    case dmNoDisposal:
    case dmBackground:
        target = &FWorkBuffer;
        area = FWorkBuffer.rect();
        copy = true;
        break;
    case dmPrevious:
        if (PreviousDisposal <= dmNoDisposal) {
            target = Canvas.Image;
            area = Rect;
        } else if (PreviousDisposal <= dmPrevious) {
            FSaveBuffer = FWorkBuffer.copy();
            target = &FSaveBuffer;
            area = FSaveBuffer.rect();
            copy = true;
        }
        break;
    default:
        break; // 4 to 7: nothing is drawn
    }
    if (clearFirst)
        RestoreBackground();
    if (target) {
        DrawFrame(*target, area, FrameIndex);
        if (copy) {
            QPainter p(Canvas.Image);
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.drawImage(Rect, *target);
        }
        if (Canvas.Changed)
            Canvas.Changed(Rect);
    }
    if (Disposal == dmBackground)
        RestoreBackground();
    Painted = true;
}

void TGIFPainter::Execute()
{
    try {
        FrameIndex = 0;
        FireEvent(OnPassStart);
        Painted = false;
        int loopCount = 1, loopStart = 0;
        bool loopSeen = false;
        int pendingDelay = Threaded() ? 0 : 1;
        PreviousDisposal = dmNoDisposal;
        std::int64_t lastTime = NowUs(), drift = 0;
        for (;;) {
            if ((loopCount == 0 && !(DrawOptions & doLoopForever)) || Terminated())
                break;
            FrameIndex = loopStart;
            if (Painted)
                FireEvent(OnLoopRestart);
            bool drew = false;
            while (!Terminated() && FrameIndex >= 0 && FrameIndex < FImage.load()->Count()) {
                const TGIFSubImage *f = FImage.load()->SubImage(FrameIndex);
                if (f->Empty())
                    break;
                // Rendering falls within the delay.
                Rendered(FrameIndex);
                Delay(pendingDelay, lastTime, drift);
                if (Terminated())
                    break;
                FireEvent(OnFrameStart);
                if (Terminated())
                    break;
                Disposal = dmNoDisposal;
                for (int i = 0; i < f->Extensions().Count(); ++i) {
                    TGIFExtension *e = f->Extensions().Extensions(i);
                    if (const auto *loop = dynamic_cast<const TGIFAppExtNSLoop *>(e); loop && !loopSeen) {
                        loopSeen = true;
                        loopCount = loop->Loops;
                        loopStart = FrameIndex;
                        if ((loop->Loops == 0 || (DrawOptions & doLoopForever)) && Threaded())
                            loopCount = -1;
                    } else if (const auto *g = dynamic_cast<const TGIFGraphicControlExtension *>(e)) {
                        Disposal = g->Disposal();
                    }
                }
                RunSynchronized([this] {
                    if (!FWorkBuffer.isNull())
                        DrawBuffered();
                    else
                        DrawSimple();
                });
                PreviousDisposal = Disposal;
                if (Terminated())
                    break;
                drew = true;
                // The delay is the frame's own extension's (its first), not
                // the last one scanned.
                const TGIFGraphicControlExtension *gce = f->GraphicControlExtension();
                pendingDelay = NextFrameDelay(gce ? gce->Delay() : -1, Threaded());
                const int before = FrameIndex;
                FireEvent(OnFrameDone);
                if (Terminated())
                    break;
                if (FrameIndex == before)
                    ++FrameIndex;
                if (!(DrawOptions & doAnimate))
                    break;
            }
            if (loopCount > 0)
                --loopCount;
            if (!(DrawOptions & doAnimate) || !(DrawOptions & doLoop) ||
                (loopCount == 0 && !(DrawOptions & doLoopForever)) || Terminated())
                break;
            if (!drew) {
                // Nothing to show: keep a pace instead of spinning.
                int d = GIFDefaultDelay;
                Delay(d, lastTime, drift);
            }
        }
        FrameIndex = -1;
        FireEvent(OnPaintDone);
    } catch (...) {
        FTerminated = true;
        KeptException = std::current_exception();
    }
}

TGIFPainterBase *InternalPaint(TGIFPainterBase **PainterVar, TGIFImage &Image, const TGIFCanvas &Canvas,
                               const QRect &Rect, std::uint16_t Options)
{
    if (PainterVar)
        *PainterVar = nullptr;
    if (Image.Empty() || Rect.width() <= 0 || Rect.height() <= 0 || !Canvas.Image || Canvas.Image->isNull())
        return nullptr;
    if (Image.Count() == 1)
        Options &= std::uint16_t(~(doThreaded | doAnimate));
    InstallWaker();
    ReapGIFPainters();
    auto painter = std::make_unique<TGIFPainter>(PainterVar, &Image, Canvas, Rect, Options);
    {
        std::lock_guard lock(Image.PaintersLock);
        Image.Painters.push_back(painter.get());
    }
    painter->OnPassStart = Image.OnPassStart;
    painter->OnFrameStart = Image.OnFrameStart;
    painter->OnFrameDone = Image.OnFrameDone;
    painter->OnLoopRestart = Image.OnLoopRestart;
    painter->OnPaintDone = Image.OnPaintDone;
    if (Options & doThreaded)
        return painter.release(); // frees itself after it ended
    painter->Execute();
    painter->LeaveImage();
    const std::exception_ptr kept = painter->KeptException;
    painter.reset();
    if (kept)
        std::rethrow_exception(kept);
    return nullptr;
}

TGIFPainter *Paint(TGIFImage &Image, const TGIFCanvas &Canvas, const QRect &Rect, std::uint16_t Options)
{
    auto *painter = static_cast<TGIFPainter *>(InternalPaint(nullptr, Image, Canvas, Rect, Options));
    if (painter)
        painter->Launch();
    return painter;
}

} // namespace gif
