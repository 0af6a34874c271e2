// The animated banner against Qt's own GIF player (QMovie in a QLabel), in
// one run: idle CPU of the action dialog while its banner animates, timing
// drift over 100 frames, and GUI-thread CPU per frame. Offscreen by default;
// run under run_e2e.sh to measure on a real X server:
//   build/bench/bench_banner
//   tests/e2e/run_e2e.sh build/bench/bench_banner
#include "BenchCommon.h"
#include "app/SelfUnit.h"
#include "app/fm_Banner.h"
#include "app/fm_WhatToDo.h"
#include "gif/GIFPainter.h"

#include <QApplication>
#include <QBuffer>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QMovie>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

double CpuSeconds(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

void RunFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Percent of one core the process used while `ms` of event loop ran.
double IdleCpu(int ms)
{
    const double c0 = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    QElapsedTimer t;
    t.start();
    RunFor(ms);
    return 100.0 * (CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - c0) / (double(t.elapsed()) / 1000.0);
}

QByteArray Resource(const char *name)
{
    QBuffer b;
    app::LoadResourceToStream(name, b);
    return b.data();
}

// 100 frames of 200 x 200, a square moving over stripes, each `delay`
// hundredths; plain (uncompressed) LZW codes keep the writer short.
QByteArray HundredFrames(int delay)
{
    QByteArray a("GIF89a");
    auto put16 = [&](int v) { a.append(char(v & 255)).append(char(v >> 8)); };
    put16(200);
    put16(200);
    a.append(char(0xF7)).append('\0').append('\0');
    for (int i = 0; i < 256; ++i)
        a.append(char(i)).append(char(255 - i)).append(char((i * 7) & 255));
    a.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    for (int f = 0; f < 100; ++f) {
        a.append("\x21\xF9\x04\x04", 4);
        put16(delay);
        a.append('\0').append('\0');
        a.append('\x2C');
        put16(0), put16(0), put16(200), put16(200);
        a.append('\0');
        std::vector<std::pair<int, int>> codes{{256, 9}};
        int run = 0;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 200; ++x) {
                if (run == 254) {
                    codes.push_back({256, 9});
                    run = 0;
                }
                const bool square = x >= f * 2 && x < f * 2 + 40 && y >= 80 && y < 120;
                codes.push_back({square ? 255 : (y / 10 + f) & 127, 9});
                ++run;
            }
        codes.push_back({257, 9});
        QByteArray raw;
        std::uint32_t acc = 0;
        int bits = 0;
        for (auto [c, w] : codes) {
            acc |= std::uint32_t(c) << bits;
            for (bits += w; bits >= 8; bits -= 8, acc >>= 8)
                raw.append(char(acc & 255));
        }
        if (bits)
            raw.append(char(acc & 255));
        a.append('\x08');
        for (qsizetype at = 0; at < raw.size(); at += 255) {
            const auto n = std::min<qsizetype>(255, raw.size() - at);
            a.append(char(n)).append(raw.mid(at, n));
        }
        a.append('\0');
    }
    return a.append('\x3B');
}

struct Timing {
    double driftMs = 0, frameMs = 0, guiCpuUsPerFrame = 0;
};

// Our painter on a widget-sized canvas, served by the event loop.
Timing OursTiming(const QByteArray &gifBytes, int delay)
{
    gif::TGIFImage img;
    QByteArray copy = gifBytes;
    QBuffer b(&copy);
    b.open(QIODevice::ReadOnly);
    img.LoadFromStream(b);
    QImage canvas(200, 200, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QLabel view;
    std::vector<qint64> starts;
    QElapsedTimer t;
    QEventLoop loop;
    // A frame counts when it reaches the canvas, as in the banner (which
    // has no event handlers).
    const auto shown = [&](const QRect &r) {
        view.update(r);
        starts.push_back(t.nsecsElapsed());
        if (starts.size() == 101)
            loop.quit();
    };
    t.start();
    const double c0 = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    gif::Paint(img, {&canvas, shown, nullptr}, canvas.rect(), 31);
    loop.exec();
    const double cpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - c0;
    img.PaintStop();
    Timing r;
    r.frameMs = delay * gif::GIFDelayExp;
    r.driftMs = double(starts[100] - starts[0]) / 1e6 - 100 * r.frameMs;
    r.guiCpuUsPerFrame = cpu * 1e6 / 100;
    return r;
}

Timing MovieTiming(const QByteArray &gifBytes, int delay)
{
    QByteArray copy = gifBytes;
    QBuffer b(&copy);
    b.open(QIODevice::ReadOnly);
    QMovie movie(&b);
    QLabel view;
    view.setMovie(&movie);
    std::vector<qint64> starts;
    QElapsedTimer t;
    QEventLoop loop;
    QObject::connect(&movie, &QMovie::frameChanged, [&] {
        starts.push_back(t.nsecsElapsed());
        if (starts.size() == 101)
            loop.quit();
    });
    t.start();
    const double c0 = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    movie.start();
    loop.exec();
    const double cpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - c0;
    movie.stop();
    Timing r;
    r.frameMs = delay * 10.0; // QMovie counts 10 ms per hundredth
    r.driftMs = double(starts[100] - starts[0]) / 1e6 - 100 * r.frameMs;
    r.guiCpuUsPerFrame = cpu * 1e6 / 100;
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    bench::ChooseQtPlatform();
    QApplication qapp(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;

    // Idle CPU: the action dialog with the busiest banner (a transparent
    // ball restored to the background 10 times a second)...
    app::TfmBanner::SetBannerSource([](const std::string &, QBuffer &s) { app::LoadResourceToStream("200x200-1.gif", s); });
    double ours, movie;
    {
        app::TfmWhatToDo dlg;
        dlg.show();
        RunFor(500);
        ours = IdleCpu(seconds * 1000);
    }
    // ... against the same dialog with QMovie playing the same file in the panel.
    {
        app::TfmBanner::SetBannerSource([](const std::string &, QBuffer &s) { s.setData("x"); s.open(QIODevice::ReadOnly); });
        app::TfmWhatToDo dlg;
        QByteArray bytes = Resource("200x200-1.gif");
        QBuffer buf(&bytes);
        buf.open(QIODevice::ReadOnly);
        QMovie m(&buf);
        auto *label = new QLabel(dlg.pnSponsor());
        label->setGeometry(9, 8, 200, 200);
        label->setMovie(&m);
        m.start();
        dlg.show();
        RunFor(500);
        movie = IdleCpu(seconds * 1000);
    }
    std::printf("idle CPU, action dialog with animated banner: ours %.2f%% of one core, QMovie %.2f%%, "
                "ours/QMovie = %.2f\n", ours, movie, movie > 0 ? ours / movie : 0.0);

    for (int delay : {3, 10}) {
        const QByteArray frames = HundredFrames(delay);
        const Timing o = OursTiming(frames, delay), q = MovieTiming(frames, delay);
        std::printf("drift over 100 frames of %d hundredths: ours %+.1f ms (%.2f of a %.0f ms frame), "
                    "QMovie %+.1f ms (%.2f of a %.0f ms frame)\n",
                    delay, o.driftMs, o.driftMs / o.frameMs, o.frameMs, q.driftMs, q.driftMs / q.frameMs, q.frameMs);
        std::printf("GUI-thread CPU per frame (200x200): ours %.0f us, QMovie %.0f us, ours/QMovie = %.2f\n",
                    o.guiCpuUsPerFrame, q.guiCpuUsPerFrame,
                    q.guiCpuUsPerFrame > 0 ? o.guiCpuUsPerFrame / q.guiCpuUsPerFrame : 0.0);
    }
    return 0;
}
