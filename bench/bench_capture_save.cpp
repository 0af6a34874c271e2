// Saving a capture: the whole save action (capture copy, linear bitmap, PNG
// writer into an exclusively created file) against QImage::save as PNG, on a
// 1920x1080 desktop picture, side by side in one run.
//   build/bench/bench_capture_save
#include "BenchCommon.h"
#include "app/CFGIniFile.h"
#include "app/CaptureActions.h"
#include "imaging/PNGLoader.h"
#include "platform/gui/Bitmap.h"

#include <QGuiApplication>
#include <QImage>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

QImage g_capture;

void BM_SaveCaptureAction(benchmark::State &state)
{
    int counter = 0;
    std::string last;
    const app::TCaptureSource source{[](platform::TBitmap &b) { b.Assign(g_capture); }, [] {}};
    for (auto _ : state) {
        support::TQXResultEx r;
        if (!app::SaveCaptureAction(source, counter, last, r)) {
            state.SkipWithError(r.Text.c_str());
            break;
        }
        state.PauseTiming();
        std::filesystem::remove(last);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SaveCaptureAction)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_QImageSavePng(benchmark::State &state)
{
    const QString name = QString::fromStdString(bench::TempFile("qt.png"));
    for (auto _ : state)
        if (!g_capture.save(name, "PNG")) {
            state.SkipWithError("QImage::save failed");
            break;
        }
}
BENCHMARK(BM_QImageSavePng)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    bench::ChooseQtPlatform();
    QGuiApplication app(argc, argv);
    g_capture = bench::LoadScreen("desktop-1920x1080.png");
    app::CFGAllData.DestinationFolder = bench::TempFolder();
    app::CFGAllData.ImageFileFormat = "PNG";
    imaging::RegisterPNGLoader();

    bench::TRatioReporter reporter;
    reporter.RunBenchmarks(argc, argv);
    if (const double r = reporter.Ratio("BM_SaveCaptureAction", "BM_QImageSavePng"))
        std::printf("save action / QImage::save PNG = %.2f\n", r);
    imaging::UnregisterPNGLoader();
    return 0;
}
