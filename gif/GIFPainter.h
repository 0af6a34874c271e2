#pragma once
// The animated painter: shows a GIF image on a canvas frame by frame with the
// frames' delays and disposal methods, repeats it by its loop count and
// reports its progress through five events. An asynchronous painter
// (doThreaded) runs its frame loop on a thread of its own and does every
// drawing step and every event on the GUI thread through the main-thread
// queue; a synchronous painter runs inside Paint on the caller's thread and
// keeps the caller's event loop served while it waits.
#include "gif/GIFImage.h"

#include <QImage>
#include <QRect>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace gif {

// Where a painter draws: the backing image of the widget that shows it
// (widgets are painted only in their paint events). Drawing happens on the
// GUI thread; Changed asks the widget to repaint the area afterwards.
struct TGIFCanvas {
    QImage *Image = nullptr;
    std::function<void(const QRect &)> Changed;
    // With doCheckCanvas the painter ends quietly once this says the target
    // has gone.
    std::function<bool()> Alive;
};

// The painters' millisecond clock and sleep. Tests install a fake clock
// whose Sleep advances it; an empty member keeps the steady clock / real
// sleep.
struct TGIFPaintTiming {
    std::function<std::int64_t()> Now;
    std::function<void(int Milliseconds)> Sleep;
};
void SetGIFPaintTiming(TGIFPaintTiming Timing);

// Receives, on the GUI thread, an exception that ended an asynchronous
// painter (a synchronous painter raises it to the caller of Paint instead).
// Without a handler it goes to the Qt warning output.
void SetGIFPaintErrorHandler(std::function<void(std::exception_ptr)> Handler);

// The delay (hundredths) after a frame whose graphic control extension says
// `Delay` (-1: no extension): 0 or none gives the default, small values the
// minimum, and a synchronous painter keeps at most the maximum.
int NextFrameDelay(int Delay, bool Threaded);

class TGIFPainter : public TGIFPainterBase {
public:
    // CreateRef: suspended, buffers prepared; stores itself into OwnerSlot
    // when given (cleared again when it ends).
    TGIFPainter(TGIFPainterBase **OwnerSlot, TGIFImage *Image, const TGIFCanvas &Canvas, const QRect &Rect,
                std::uint16_t Options);
    ~TGIFPainter() override;
    TGIFPainter(const TGIFPainter &) = delete;
    TGIFPainter &operator=(const TGIFPainter &) = delete;

    // Starts the thread of an asynchronous painter; nothing otherwise.
    void Launch();
    // Asks the painter to end and cuts its delay short; no waiting.
    void Stop() override;
    // GUI thread: returns when an asynchronous painter has left its image,
    // running queued steps meanwhile. At once for a synchronous painter and
    // for one whose own step or event is running further up this call stack.
    void WaitFor() override;
    void DetachImage() override;
    // The frame loop.
    void Execute();

    bool Threaded() const { return DrawOptions & doThreaded; }
    bool Terminated() const { return FTerminated.load(); }
    TGIFImage *Image() const { return FImage.load(); }

    const TGIFCanvas Canvas;
    const QRect Rect;
    const std::uint16_t DrawOptions;
    const int AnimationSpeed;
    // Frame being shown (-1 before the first and after the last); an
    // OnFrameDone handler may set the frame to go on with.
    int FrameIndex = -1;
    int Disposal = 0;
    int PreviousDisposal = 1;
    bool Painted = false;
    std::function<void(void *Sender)> OnPassStart, OnFrameStart, OnFrameDone, OnLoopRestart, OnPaintDone;
    std::exception_ptr KeptException;

private:
    friend TGIFPainterBase *InternalPaint(TGIFPainterBase **, TGIFImage &, const TGIFCanvas &, const QRect &,
                                          std::uint16_t);
    void ThreadMain();
    void LeaveImage();
    void FireEvent(const std::function<void(void *)> &Method);
    void RunSynchronized(const std::function<void()> &Step);
    void Delay(int &PendingDelay, std::int64_t &LastTime, std::int64_t &Drift);
    bool WaitWake(std::int64_t Microseconds);
    void PumpEvents();
    const QImage &Rendered(int Index);
    void DrawFrame(QImage &Target, const QRect &Area, int Index);
    void DrawSimple();
    void DrawBuffered();
    void RestoreBackground();

    std::atomic<TGIFImage *> FImage;
    TGIFPainterBase **FOwnerSlot;
    QImage FWorkBuffer, FSaveBuffer, FUnderlayBuffer;
    QColor FBackground;
    int FScreenWidth = 0, FScreenHeight = 0;
    // This painter's own rendering of the frames: the image's render cache
    // belongs to the GUI thread.
    std::vector<QImage> FRendered;
    bool FCacheRendered = true;
    // What the frames render with, as their own rendering would, taken on the
    // GUI thread at creation (finding a palette fills the frames' caches):
    // the image's dither test and each frame's palette, shared by frames
    // that follow with the same one.
    bool FDither = false;
    std::vector<std::shared_ptr<const std::vector<QRgb>>> FPalettes;

    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FLeft{false};
    bool FLaunched = false;
    int FStepDepth = 0; // GUI thread: steps of this painter running on its stack
    std::mutex FWakeLock;
    std::condition_variable FWake;
    bool FWakeSignalled = false;
    bool FHasWakeEvent = false;
    std::thread FThread;
};

// Creates a painter for Image on Canvas over Rect; an image of one frame is
// always painted synchronously. Returns the (not yet started) asynchronous
// painter, or none when the painter already ran inside the call or nothing
// was to be painted. PainterVar, when given, receives the same.
TGIFPainterBase *InternalPaint(TGIFPainterBase **PainterVar, TGIFImage &Image, const TGIFCanvas &Canvas,
                               const QRect &Rect, std::uint16_t Options);
// InternalPaint, then starts an asynchronous painter; returns it or none.
TGIFPainter *Paint(TGIFImage &Image, const TGIFCanvas &Canvas, const QRect &Rect, std::uint16_t Options);

// Painter objects alive (asynchronous ones until they are reaped).
int LiveGIFPainters();

// Frees the asynchronous painters that have ended (their threads are
// joined). Runs by itself from the event loop; tests call it directly.
void ReapGIFPainters();

} // namespace gif
