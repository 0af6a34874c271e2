// Saving a capture: the whole save action (capture copy, linear bitmap, PNG
// writer into an exclusively created file) against QImage::save as PNG, on a
// 1920x1080 desktop picture, side by side in one run.
//   build/bench/bench_capture_save
#include "app/CFGIniFile.h"
#include "app/CaptureActions.h"
#include "imaging/PNGLoader.h"
#include "platform/gui/Bitmap.h"

#include <QGuiApplication>
#include <QImage>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

namespace {

QImage g_capture;
std::string g_folder;

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
    const QString name = QString::fromStdString(g_folder + "/qt.png");
    for (auto _ : state)
        if (!g_capture.save(name, "PNG")) {
            state.SkipWithError("QImage::save failed");
            break;
        }
}
BENCHMARK(BM_QImageSavePng)->Unit(benchmark::kMillisecond)->UseRealTime();

class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs)
            if (r.run_type == Run::RT_Iteration)
                times[r.run_name.function_name] = r.GetAdjustedRealTime();
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char **argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    const char *picture = KSS_TESTDATA_DIR "/screens/desktop-1920x1080.png";
    g_capture = QImage(QString::fromUtf8(picture)).convertToFormat(QImage::Format_BGR888);
    if (g_capture.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", picture);
        return 1;
    }
    char tmpl[] = "/tmp/kss-bench-save-XXXXXX";
    if (!::mkdtemp(tmpl))
        return 1;
    g_folder = tmpl;
    app::CFGAllData.DestinationFolder = g_folder;
    app::CFGAllData.ImageFileFormat = "PNG";
    imaging::RegisterPNGLoader();

    benchmark::Initialize(&argc, argv);
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double ours = reporter.times["BM_SaveCaptureAction"];
    const double qt = reporter.times["BM_QImageSavePng"];
    if (ours > 0 && qt > 0)
        std::printf("save action / QImage::save PNG = %.2f\n", ours / qt);
    std::filesystem::remove_all(g_folder);
    imaging::UnregisterPNGLoader();
    return 0;
}
