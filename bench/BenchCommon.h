#pragma once
// What the benchmarks share: the test data they read, a scratch folder, the
// timing loops, and a reporter that keeps every run's time so that a
// benchmark can end with the ratios of our time to a peer's.
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

namespace imaging {
class TLinearBitmap;
}

namespace bench {

// The screenshots of tests/data/screens, by size.
inline const std::vector<std::string> Screens1080 = {"desktop-1920x1080.png", "wallpaper-1920x1080.png",
                                                     "web-docs-1920x1080.png", "web-index-1920x1080.png"};
inline const std::vector<std::string> Screens2160 = {"desktop-3840x2160.png", "web-docs-3840x2160.png"};

// Path of tests/data/<rel>. A missing file ends the run, naming it: a
// benchmark never reports on data it did not have.
std::string TestData(const std::string &rel);
// The whole of tests/data/<rel>.
QByteArray ReadTestData(const std::string &rel);
// tests/data/screens/<name> converted to `format`.
QImage LoadScreen(const std::string &name, QImage::Format format = QImage::Format_BGR888,
                  Qt::ImageConversionFlags flags = Qt::AutoColor);
// The same as the 24-bit bitmap the program keeps of a capture.
std::unique_ptr<imaging::TLinearBitmap> ScreenBitmap(const std::string &name);

// A file in a folder of this run under the temp folder, removed at exit.
std::string TempFile(const std::string &name);
const std::string &TempFolder();

// Picks Qt's platform before an application object is made: the X server
// when there is a display, offscreen otherwise (a setting already made wins).
void ChooseQtPlatform();

// `once` is one round of the measured work and returns the bytes it
// handled; the throughput follows from the last round's.
template <class F>
void TimeBytes(benchmark::State &state, F &&once)
{
    std::int64_t n = 0;
    for (auto _ : state)
        n = static_cast<std::int64_t>(once());
    state.SetBytesProcessed(state.iterations() * n);
}

// Registers a benchmark reported in milliseconds.
template <class... Args>
benchmark::internal::Benchmark *RegisterMs(const std::string &name, Args &&...args)
{
    return benchmark::RegisterBenchmark(name.c_str(), std::forward<Args>(args)...)->Unit(benchmark::kMillisecond);
}

// One column of a ratio table: for the run named ".../ours/...", the run
// named with `Peer` in place of "ours"; the ratio is of the times or, with
// `Counter`, of that counter.
struct TRatioColumn {
    std::string Header, Peer, Counter;
};

// The console output as usual, and every successful run's real time per
// iteration kept in seconds under its name (the median where repetitions
// give one).
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    explicit TRatioReporter(OutputOptions options = OO_Defaults) : ConsoleReporter(options) {}
    void ReportRuns(const std::vector<Run> &runs) override;

    // Reads the command line and runs the chosen benchmarks through this.
    void RunBenchmarks(int &argc, char **argv);

    // 0 for a run that did not take place or failed.
    double Time(const std::string &name) const;
    double Counter(const std::string &name, const std::string &counter) const;
    double Ratio(const std::string &ours, const std::string &peer) const;

    // One row per run with an "ours" part in its name, one column each.
    void PrintTable(const std::string &title, const std::vector<TRatioColumn> &columns) const;

private:
    std::map<std::string, double> times_;
    std::map<std::string, std::map<std::string, double>> counters_;
    std::set<std::string> medians_;
};

} // namespace bench
