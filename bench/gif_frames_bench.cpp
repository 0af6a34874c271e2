// Loading a GIF animation and rendering every frame, ours against Qt's own
// GIF reader (QImageReader, which hands out each composed frame), on the
// animations of the GIF suites. Prints the time ratio ours/Qt and the peak
// heap of one load-and-render per frame pixel.
#include "gif/GIFImage.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>

#include <atomic>
#include <cstdio>
#include <malloc.h>
#include <map>
#include <string>
#include <vector>

extern "C" void *__libc_malloc(std::size_t);
extern "C" void *__libc_calloc(std::size_t, std::size_t);
extern "C" void *__libc_realloc(void *, std::size_t);
extern "C" void __libc_free(void *);

namespace {

// Every heap block of the process (Qt's image memory included) is counted.
std::atomic<long long> LiveBytes{0}, PeakBytes{0};

void Track(long long delta)
{
    const long long now = LiveBytes += delta;
    long long peak = PeakBytes.load();
    while (now > peak && !PeakBytes.compare_exchange_weak(peak, now)) {
    }
}

std::vector<QByteArray> &Files()
{
    static std::vector<QByteArray> files = [] {
        std::vector<QByteArray> f;
        const std::string base = std::string(KSS_TESTDATA_DIR) + "/suites/gif/";
        std::vector<std::string> names = {"giflib/fire.gif", "giflib/welcome2.gif"};
        for (const char *n : {"animated_loop", "animated_loop_interlaced", "animated_loop_variable_delay", "animated_noloop",
                              "animated_transparent_firstframerestoreprev_loop", "animated_transparent_frame_norestore_loop",
                              "animated_transparent_frame_restorebackground_loop",
                              "animated_transparent_frame_restoreprev_loop", "animated_transparent_loop",
                              "animated_transparent_loop_frames_out_of_bounds", "animated_transparent_restoreprev_loop"})
            names.push_back(std::string("peterdn/gifs/") + n + ".gif");
        for (const auto &n : names) {
            QFile file(QString::fromStdString(base + n));
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "missing test data: %s\n", n.c_str());
                std::exit(1);
            }
            f.push_back(file.readAll());
        }
        return f;
    }();
    return files;
}

// Loads and renders every frame; returns the number of frame pixels.
std::int64_t OursOnce(QByteArray &data)
{
    QBuffer buf(&data);
    buf.open(QIODevice::ReadOnly);
    gif::TGIFImage image;
    image.LoadFromStream(buf);
    std::int64_t pixels = 0;
    for (int i = 0; i < image.Count(); ++i) {
        auto *f = image.SubImage(i);
        benchmark::DoNotOptimize(f->GetBitmap().constBits());
        f->HasMask();
        pixels += f->DataSize();
    }
    return pixels;
}

std::int64_t PeerOnce(QByteArray &data)
{
    QBuffer buf(&data);
    buf.open(QIODevice::ReadOnly);
    QImageReader reader(&buf, "gif");
    std::int64_t pixels = 0;
    std::vector<QImage> frames; // kept, as ours keeps its renderings
    while (reader.canRead()) {
        QImage img = reader.read();
        if (img.isNull())
            break;
        pixels += std::int64_t(img.width()) * img.height();
        frames.push_back(std::move(img));
    }
    return pixels;
}

void Ours(benchmark::State &state)
{
    for (auto _ : state)
        for (auto &d : Files())
            benchmark::DoNotOptimize(OursOnce(d));
}

void Peer(benchmark::State &state)
{
    for (auto _ : state)
        for (auto &d : Files())
            benchmark::DoNotOptimize(PeerOnce(d));
}

double PeakPerPixel(std::int64_t (*run)(QByteArray &), QByteArray &data, std::int64_t &pixels)
{
    const long long before = LiveBytes.load();
    PeakBytes.store(before);
    pixels = run(data);
    return double(PeakBytes.load() - before) / double(pixels);
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const auto &r : runs)
            times_[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        if (times_.count("animations/ours") && times_.count("animations/peer"))
            std::printf("\nLoad and render every frame, time ours/Qt: %.2f\n",
                        times_["animations/ours"] / times_["animations/peer"]);
    }

private:
    std::map<std::string, double> times_;
};

} // namespace

extern "C" {
void *malloc(std::size_t n)
{
    void *p = __libc_malloc(n);
    if (p)
        Track(static_cast<long long>(malloc_usable_size(p)));
    return p;
}
void *calloc(std::size_t n, std::size_t m)
{
    void *p = __libc_calloc(n, m);
    if (p)
        Track(static_cast<long long>(malloc_usable_size(p)));
    return p;
}
void *realloc(void *old, std::size_t n)
{
    const long long was = old ? static_cast<long long>(malloc_usable_size(old)) : 0;
    void *p = __libc_realloc(old, n);
    if (p)
        Track(static_cast<long long>(malloc_usable_size(p)) - was);
    else if (n == 0)
        Track(-was);
    return p;
}
void free(void *p)
{
    if (p)
        Track(-static_cast<long long>(malloc_usable_size(p)));
    __libc_free(p);
}
}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv); // Qt's image plug-ins need it
    benchmark::RegisterBenchmark("animations/ours", Ours)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("animations/peer", Peer)->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    // Peak heap of one load-and-render per frame pixel, the largest file.
    std::int64_t ours = 0, peer = 0;
    const double po = PeakPerPixel(OursOnce, Files()[1], ours), pp = PeakPerPixel(PeerOnce, Files()[1], peer);
    std::printf("Peak heap per frame pixel (welcome2.gif): ours %.2f bytes (%lld frame pixels), Qt %.2f bytes\n", po,
                static_cast<long long>(ours), pp);
    return 0;
}
