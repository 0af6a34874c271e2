// Reading the primary screen: our MIT-SHM path against QScreen::grabWindow(0),
// side by side in one run, raw (32-bit) and as the program keeps it (24-bit).
// Needs an X display; for the reference figure run it on a 3840x2160 Xvfb:
//   tests/e2e/run_e2e.sh --size 3840x2160 build/bench/bench_grab
#include "platform/os/ScreenGrab.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

using platform::TX11ScreenGrabber;

namespace {

// Collects the wall-clock time per benchmark (the X server works in another
// process, so CPU time of this one would flatter the slow path).
// With repetitions the median counts.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    TRatioReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs) {
            const std::string name = r.run_name.function_name;
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
                medians[name] = r.GetAdjustedRealTime();
            else if (r.run_type == Run::RT_Iteration)
                times[name] = r.GetAdjustedRealTime();
        }
    }
    double Time(const std::string &name) const
    {
        if (auto m = medians.find(name); m != medians.end())
            return m->second;
        auto t = times.find(name);
        return t == times.end() ? 0 : t->second;
    }
    std::map<std::string, double> times, medians;
};

void Ratio(const TRatioReporter &rep, const char *what, const std::string &slow, const std::string &fast)
{
    const double s = rep.Time(slow), f = rep.Time(fast);
    if (s > 0 && f > 0)
        std::printf("%-40s grabWindow / MIT-SHM = %.1fx\n", what, s / f);
}

} // namespace

int main(int argc, char **argv)
{
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "bench_grab needs an X display, e.g.\n"
                             "  tests/e2e/run_e2e.sh --size 3840x2160 %s\n", argv[0]);
        return 0;
    }
    ::setenv("QT_QPA_PLATFORM", "xcb", 0);
    QGuiApplication app(argc, argv);
    TX11ScreenGrabber grabber;
    const QImage shm = grabber.GrabShm(QImage::Format_RGB32);
    const QImage ref = TX11ScreenGrabber::GrabFallback(QImage::Format_RGB32);
    std::printf("primary screen %dx%d, MIT-SHM %s, pixels %s\n", ref.width(), ref.height(),
                shm.isNull() ? "NOT available" : "available",
                shm.isNull() ? "-" : (shm == ref ? "identical" : "DIFFER"));
    if (shm.isNull() || shm != ref)
        return 1;

    benchmark::RegisterBenchmark("grab_rgb32/mit_shm", [&](benchmark::State &st) {
        for (auto _ : st)
            benchmark::DoNotOptimize(grabber.GrabShm(QImage::Format_RGB32));
    })->UseRealTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("grab_rgb32/qscreen_grabwindow", [](benchmark::State &st) {
        for (auto _ : st)
            benchmark::DoNotOptimize(QGuiApplication::primaryScreen()->grabWindow(0).toImage());
    })->UseRealTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("grab_bgr888/mit_shm", [&](benchmark::State &st) {
        for (auto _ : st)
            benchmark::DoNotOptimize(grabber.GrabShm(QImage::Format_BGR888));
    })->UseRealTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("grab_bgr888/qscreen_grabwindow", [](benchmark::State &st) {
        for (auto _ : st)
            benchmark::DoNotOptimize(TX11ScreenGrabber::GrabFallback(QImage::Format_BGR888));
    })->UseRealTime()->Unit(benchmark::kMillisecond);

    benchmark::Initialize(&argc, argv);
    TRatioReporter rep;
    benchmark::RunSpecifiedBenchmarks(&rep);
    Ratio(rep, "raw 32-bit grab:", "grab_rgb32/qscreen_grabwindow", "grab_rgb32/mit_shm");
    Ratio(rep, "24-bit grab (as the program keeps it):", "grab_bgr888/qscreen_grabwindow",
          "grab_bgr888/mit_shm");
    benchmark::Shutdown();
    return 0;
}
