// Reading the primary screen: our MIT-SHM path against QScreen::grabWindow(0),
// side by side in one run, raw (32-bit) and as the program keeps it (24-bit).
// Needs an X display; for the reference figure run it on a 3840x2160 Xvfb:
//   tests/e2e/run_e2e.sh --size 3840x2160 build/bench/bench_grab
#include "BenchCommon.h"
#include "platform/os/ScreenGrab.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

using platform::TX11ScreenGrabber;

int main(int argc, char **argv)
{
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "bench_grab needs an X display, e.g.\n"
                             "  tests/e2e/run_e2e.sh --size 3840x2160 %s\n", argv[0]);
        return 0;
    }
    bench::ChooseQtPlatform();
    QGuiApplication app(argc, argv);
    TX11ScreenGrabber grabber;
    const QImage shm = grabber.GrabShm(QImage::Format_RGB32);
    const QImage ref = TX11ScreenGrabber::GrabFallback(QImage::Format_RGB32);
    std::printf("primary screen %dx%d, MIT-SHM %s, pixels %s\n", ref.width(), ref.height(),
                shm.isNull() ? "NOT available" : "available",
                shm.isNull() ? "-" : (shm == ref ? "identical" : "DIFFER"));
    if (shm.isNull() || shm != ref)
        return 1;

    // Wall-clock time: the X server works in another process, so CPU time
    // of this one would flatter the slow path.
    const auto add = [](const char *name, auto grab) {
        benchmark::RegisterBenchmark(name, [grab](benchmark::State &st) {
            for (auto _ : st)
                benchmark::DoNotOptimize(grab());
        })->UseRealTime()->Unit(benchmark::kMillisecond);
    };
    add("grab_rgb32/mit_shm", [&] { return grabber.GrabShm(QImage::Format_RGB32); });
    add("grab_rgb32/qscreen_grabwindow", [] { return QGuiApplication::primaryScreen()->grabWindow(0).toImage(); });
    add("grab_bgr888/mit_shm", [&] { return grabber.GrabShm(QImage::Format_BGR888); });
    add("grab_bgr888/qscreen_grabwindow", [] { return TX11ScreenGrabber::GrabFallback(QImage::Format_BGR888); });

    // With repetitions the median counts.
    bench::TRatioReporter rep(benchmark::ConsoleReporter::OO_Tabular);
    rep.RunBenchmarks(argc, argv);
    const std::pair<const char *, const char *> rows[] = {{"grab_rgb32", "raw 32-bit grab:"},
                                                          {"grab_bgr888", "24-bit grab (as the program keeps it):"}};
    for (const auto &[what, label] : rows)
        if (const double r = rep.Ratio(what + std::string("/qscreen_grabwindow"), what + std::string("/mit_shm")))
            std::printf("%-40s grabWindow / MIT-SHM = %.1fx\n", label, r);
    return 0;
}
