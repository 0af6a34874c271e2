// The animated painter: delays, loop counts, disposal, events and stopping,
// on a fake clock whose sleeps advance it, so the waits asked for are exact.
#include "gif/GIFPainter.h"
#include "GIFTestUtil.h"
#include "platform/core/SyncQueue.h"
#include <QCoreApplication>
#include <QPainter>
#include <gtest/gtest.h>
#include <cstdio>
#include <thread>

using namespace gif;
using gif_test::Bytes;

namespace {
// Global colours: 0 black, 1 white, 2 red, 3 green.
constexpr QRgb kColors[] = {0xFF000000, 0xFFFFFFFF, 0xFFFF0000, 0xFF00FF00};

// Delay2 >= 0: a second graphic control extension with that delay follows the first.
struct F { int Left, Width, Color, Delay = 0, Disposal = 1, Delay2 = -1; };

QByteArray Control(int disposal, int delay) { return Bytes({0x21, 0xF9, 4, disposal << 2, delay & 255, delay >> 8, 0, 0}); }

// A 4 x 1 screen; frames are one pixel high. Loops < 0: no loop extension.
QByteArray Gif(const std::vector<F> &frames, int loops = -1)
{
    QByteArray a = QByteArray("GIF89a") + Bytes({4, 0, 1, 0, 0x81, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 255, 0});
    if (loops >= 0)
        a += Bytes({0x21, 0xFF, 11}) + "NETSCAPE2.0" + Bytes({3, 1, loops & 255, loops >> 8, 0});
    for (const F &f : frames)
        a += Control(f.Disposal, f.Delay) + (f.Delay2 >= 0 ? Control(f.Disposal, f.Delay2) : QByteArray()) +
             Bytes({0x2C, f.Left, 0, 0, 0, f.Width, 0, 1, 0, 0}) +
             gif_test::PlainLZW(gif_test::Pixels(std::size_t(f.Width), std::uint8_t(f.Color)));
    return a + Bytes({0x3B});
}

// The fake clock: Sleep advances it and records what was asked.
struct FakeTime {
    std::atomic<std::int64_t> Now{1000};
    std::mutex Lock;
    std::vector<int> Sleeps;
    FakeTime() { SetGIFPaintTiming({[this] { return Now.load(); }, [this](int ms) { std::lock_guard l(Lock); Sleeps.push_back(ms), Now += ms; }}); }
    ~FakeTime() { SetGIFPaintTiming({}); }
};

// One letter a pixel: K, W, R, G for the colours, B for anything else.
std::string Pixels(const QImage &img)
{
    std::string s;
    for (int x = 0; x < img.width(); ++x)
        s += "KWRGB"[std::find(kColors, kColors + 4, img.pixel(x, 0)) - kColors];
    return s;
}

// Serves the painters' steps until `done` or the time is up.
template <typename P> bool Serve(P done, int ms = 5000)
{
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms); !done() && std::chrono::steady_clock::now() < end;)
        platform::CheckSynchronize(5);
    return done();
}

struct Painting {
    gif_test::Load G;
    QImage Canvas;
    std::vector<std::string> Shown; // the canvas after each frame
    std::string Events;
    std::atomic<bool> Done{false};
    explicit Painting(const QByteArray &bytes) : G(bytes), Canvas(4, 1, QImage::Format_ARGB32_Premultiplied)
    {
        Canvas.fill(0xFF0000FF); // blue: the underlay
        auto &img = *G.Image;
        img.OnPassStart = [this](void *) { Events += 'P'; };
        img.OnFrameStart = [this](void *) { Events += 'S'; };
        img.OnFrameDone = [this](void *) { Events += 'D', Shown.push_back(Pixels(Canvas)); };
        img.OnLoopRestart = [this](void *) { Events += 'L'; };
        img.OnPaintDone = [this](void *) { Events += 'E', Done = true; };
    }
    TGIFPainter *Run(std::uint16_t options) { return Paint(*G.Image, {&Canvas, nullptr, nullptr}, Canvas.rect(), options); }
};

constexpr std::uint16_t kSync = doAnimate | doTransparent;
TEST(GIFPainter, FrameDoneRedirectsAndEndsThePass)
{
    FakeTime time;
    const QByteArray bytes = Gif({{0, 4, 2}, {0, 4, 1}, {0, 4, 3}}, 2);
    for (int next : {2, -1, 7}) {
        Painting p(bytes);
        std::string frames;
        p.G.Image->OnFrameDone = [&, next = next](void *s) {
            auto *painter = static_cast<TGIFPainter *>(s);
            frames += char('0' + painter->FrameIndex);
            painter->FrameIndex = painter->FrameIndex == 0 ? next : painter->FrameIndex;
        };
        p.Run(kSync | doLoop);
        EXPECT_EQ(frames, next == 2 ? "0202" : "00") << next;
    }
}

TEST(GIFPainter, NegativeSpeedHoldsTheFirstFrameAndEmptyPassesKeepAPace)
{
    {
        Painting p(Gif({{0, 4, 2}, {0, 4, 1}}));
        p.G.Image->AnimationSpeed = -5;
        p.Run(31);
        Serve([&] { return p.Shown.size() > 1; }, 300); // does not come
        EXPECT_EQ(p.Shown.size(), 1u);
        p.G.Image->PaintStop(); // the wake event ends the endless wait
        EXPECT_TRUE(p.G.Image->Painters.empty());
    }
    FakeTime time;
    TGIFImage img;
    img.Add(std::make_unique<TGIFSubImage>(&img)), img.Add(std::make_unique<TGIFSubImage>(&img));
    img.Header().Width = 4, img.Header().Height = 1;
    QImage canvas(4, 1, QImage::Format_RGB32);
    Paint(img, {&canvas, nullptr, nullptr}, canvas.rect(), 31);
    Serve([&] { return std::lock_guard(time.Lock), time.Sleeps.size() >= 3; });
    img.PaintStop();
    std::lock_guard l(time.Lock);
    ASSERT_GE(time.Sleeps.size(), 3u); // all the default delay between passes that drew nothing
    EXPECT_EQ(time.Sleeps, std::vector<int>(time.Sleeps.size(), 120));
}

TEST(GIFPainter, PaintersOfOneImageRenderOnTheirOwn)
{
    // Two painters render the same frames on their threads while this
    // thread draws the image: each has its own rendering (run under TSan).
    // A loop count of 2 does not end them: doLoopForever does, at PaintStop.
    FakeTime time;
    Painting p(Gif({{0, 4, 2}, {1, 2, 1, 0, 2}, {0, 4, 3}}, 2));
    QImage second(4, 1, QImage::Format_ARGB32_Premultiplied), drawn = second;
    second.fill(0);
    p.Run(31);
    Paint(*p.G.Image, {&second, nullptr, nullptr}, second.rect(), 31);
    p.G.Image->DrawOptions &= ~doAnimate; // Draw shows frame 0 itself
    ASSERT_TRUE(Serve([&] {
        QPainter painter(&drawn);
        p.G.Image->Draw(painter, drawn.rect());
        return p.Shown.size() >= 20;
    }));
    EXPECT_EQ(p.G.Image->Painters.size(), 2u);
    p.G.Image->PaintStop();
    EXPECT_TRUE(p.G.Image->Painters.empty());
    const auto shown = p.Shown.size();
    platform::CheckSynchronize(30);
    EXPECT_TRUE(p.Shown.size() == shown && !p.Done); // stopped, not ended
    EXPECT_EQ(Pixels(drawn), "RRRR");
}

} // namespace

TEST(GIFPainter, WaitsFollowTheDelays)
{
    // Frame 3 has two graphic control extensions: its own (the first, 50)
    // gives the delay, not the last one read (7).
    const QByteArray bytes = Gif({{0, 4, 2, 0}, {0, 4, 1, 1}, {0, 4, 3, 5000}, {0, 4, 2, 50, 1, 7}, {0, 4, 1}});
    // Threaded, the waits before frames 1..4 (and frame 0 for sync: the
    // first wait of a synchronous painter is one unit).
    const std::pair<bool, std::vector<int>> cases[] = {{false, {12, 120, 36, 12000, 600}}, {true, {120, 36, 60000, 600}}};
    for (const auto &[threaded, want] : cases) {
        FakeTime time;
        Painting p(bytes);
        std::vector<int> waits;
        p.G.Image->OnFrameStart = [&, threaded = threaded](void *) {
            std::lock_guard l(time.Lock);
            int sum = 0;
            for (int s : time.Sleeps) {
                sum += s;
                EXPECT_TRUE(threaded || s <= 100) << s; // synchronous painters sleep in slices
            }
            if (sum)
                waits.push_back(sum);
            time.Sleeps.clear();
        };
        p.Run(threaded ? kSync | doThreaded : kSync);
        ASSERT_TRUE(Serve([&] { return p.Done.load(); }));
        EXPECT_EQ(waits, want) << threaded;
        p.G.Image->PaintStop();
    }
}

TEST(GIFPainter, LoopCountsAndDisposalAgainstExpectedEventsAndCanvases)
{
    const std::vector<F> two = {{0, 4, 2}, {0, 4, 1}}, clear = {{0, 4, 2}, {1, 2, 1, 0, 2}, {3, 1, 3}};
    // Frames, loops (< 0: no extension), options, events, canvases after each frame (if given).
    const std::tuple<std::vector<F>, int, int, std::string, std::vector<std::string>> cases[] = {
        {two, -1, kSync | doLoop | doThreaded, "PSDSDE", {"RRRR", "WWWW"}}, // no extension: one pass
        {two, 0, kSync | doLoop, "PSDSDE", {}},                             // endless, but synchronous: once
        {two, 3, kSync | doLoop, "PSDSDLSDSDLSDSDE", {}},                   // three passes in all
        {two, 2, doTransparent | doLoop, "PSDE", {"RRRR"}},                 // without doAnimate: the first frame
        // Restore to background: the underlay, or the background colour without transparency.
        {clear, -1, kSync, "PSDSDSDE", {"RRRR", "RWWR", "RBBG"}},
        {clear, -1, doAnimate, "PSDSDSDE", {"RRRR", "RWWR", "RKKG"}},
        // Restore to previous after a kept frame, and after another restore to previous.
        {{{0, 4, 2}, {1, 2, 1, 0, 3}, {2, 2, 3}}, -1, kSync, "PSDSDSDE", {"RRRR", "RWWR", "RRGG"}},
        {{{0, 4, 2}, {1, 2, 1, 0, 3}, {0, 1, 3, 0, 3}, {3, 1, 1}}, -1, kSync, "PSDSDSDSDE", {"RRRR", "RWWR", "GRRR", "RRRW"}},
    };
    for (const auto &[frames, loops, options, events, shown] : cases) {
        FakeTime time;
        Painting p(Gif(frames, loops));
        p.Run(std::uint16_t(options));
        ASSERT_TRUE(Serve([&] { return p.Done.load(); }));
        EXPECT_EQ(p.Events, events) << loops << " " << options;
        EXPECT_TRUE(shown.empty() || p.Shown == shown) << testing::PrintToString(p.Shown);
        p.G.Image->PaintStop();
    }
}

TEST(GIFPainter, PaintsTheFramesOwnRendering)
{
    // Two 4 x 2 frames on a global table of (10,100,200) and (200,30,60),
    // painted on the painter's thread, which renders them ahead: each frame
    // shows as GetBitmap renders it, dithered through the web palette when
    // the image asks for it, with the image's own palette when one is set.
    FakeTime time;
    const QByteArray bytes = QByteArray("GIF89a") + Bytes({4, 0, 2, 0, 0x80, 0, 0, 10, 100, 200, 200, 30, 60}) +
                             gif_test::Descriptor(4, 2) + gif_test::PlainLZW(gif_test::Pixels(8, 0)) +
                             gif_test::Descriptor(4, 2) + gif_test::PlainLZW(gif_test::Pixels(8, 1)) + Bytes({0x3B});
    // The pixels as RRGGBB, row by row.
    const auto colors = [](const QImage &img) {
        std::string c;
        char buf[8];
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                std::snprintf(buf, sizeof buf, "%06x ", img.pixel(x, y) & 0xFFFFFFu), c += buf;
        return c;
    };
    // Image options, palette set on the image (none when empty), first pixel of frame 0.
    const std::tuple<std::uint16_t, std::vector<QRgb>, std::string> cases[] = {
        {doTransparent, {}, "0a64c8 "},
        {doDither | doTransparent, {}, "006699 "},
        {doTransparent, {qRgb(1, 2, 3), qRgb(4, 5, 6)}, "010203 "},
    };
    for (const auto &[options, palette, first] : cases) {
        gif_test::Load g(bytes);
        ASSERT_EQ(g.Error, "");
        auto &img = *g.Image;
        img.DrawOptions = options;
        if (!palette.empty())
            img.SetPalette(palette);
        QImage canvas(4, 2, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(0xFF0000FF);
        std::vector<std::string> shown;
        std::atomic<bool> done{false};
        img.OnFrameDone = [&](void *) { shown.push_back(colors(canvas)); };
        img.OnPaintDone = [&](void *) { done = true; };
        Paint(img, {&canvas, nullptr, nullptr}, canvas.rect(), options | doAnimate | doThreaded);
        ASSERT_TRUE(Serve([&] { return done.load(); }));
        img.PaintStop();
        const std::vector<std::string> rendered = {colors(img.SubImage(0)->GetBitmap()),
                                                   colors(img.SubImage(1)->GetBitmap())};
        EXPECT_EQ(rendered[0].substr(0, 7), first) << options;
        EXPECT_EQ(shown, rendered) << options;
    }
}

TEST(GIFPainter, PaintStopOrDestroyFromTheirOwnEventReturn)
{
    for (bool destroy : {false, true}) {
        Painting p(Gif({{0, 4, 2}, {0, 4, 1}}));
        std::atomic<bool> handled{false};
        p.G.Image->OnFrameDone = [&](void *) { destroy ? p.G.Image.reset() : p.G.Image->PaintStop(), handled = true; };
        ASSERT_NE(p.Run(31), nullptr);
        ASSERT_TRUE(Serve([&] { return handled.load(); }));
        // The painter ends right after its step; nothing is left behind.
        ASSERT_TRUE(Serve([&] { return ReapGIFPainters(), LiveGIFPainters() == 0; }));
        EXPECT_TRUE(destroy || p.G.Image->Painters.empty());
    }
    // A step queued for this thread before the stop neither draws nor reports.
    Painting p(Gif({{0, 4, 2}, {0, 4, 1}}));
    p.Run(31);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    p.G.Image->PaintStop();
    EXPECT_EQ(p.Events + Pixels(p.Canvas), "BBBB");
}

TEST(GIFPainter, KeptExceptionsReachTheGUIThreadOrTheCaller)
{
    FakeTime time;
    std::string reported;
    std::thread::id where;
    SetGIFPaintErrorHandler([&](std::exception_ptr e) {
        try { std::rethrow_exception(e); } catch (const std::exception &x) { reported = x.what(), where = std::this_thread::get_id(); }
    });
    Painting p(Gif({{0, 4, 2}, {0, 4, 1}}));
    p.G.Image->OnFrameStart = [](void *) { throw std::runtime_error("step failed"); };
    p.Run(31);
    ASSERT_TRUE(Serve([&] { return !reported.empty(); }));
    EXPECT_TRUE(reported == "step failed" && where == std::this_thread::get_id());
    SetGIFPaintErrorHandler({});
    // A synchronous painter raises it to the caller of Paint.
    EXPECT_THROW(p.Run(kSync), std::runtime_error);
    EXPECT_TRUE(p.G.Image->Painters.empty());
}
