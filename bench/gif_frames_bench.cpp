// Loading a GIF animation and rendering every frame, ours against Qt's own
// GIF reader (QImageReader, which hands out each composed frame), on the
// animations of the GIF suites. Prints the time ratio ours/Qt and the peak
// heap of one load-and-render per frame pixel.
#include "BenchCommon.h"
#include "BenchHeap.h"
#include "gif/GIFImage.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QImageReader>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<QByteArray> &Files()
{
    static std::vector<QByteArray> files = [] {
        std::vector<QByteArray> f;
        std::vector<std::string> names = {"giflib/fire.gif", "giflib/welcome2.gif"};
        for (const char *n : {"animated_loop", "animated_loop_interlaced", "animated_loop_variable_delay", "animated_noloop",
                              "animated_transparent_firstframerestoreprev_loop", "animated_transparent_frame_norestore_loop",
                              "animated_transparent_frame_restorebackground_loop",
                              "animated_transparent_frame_restoreprev_loop", "animated_transparent_loop",
                              "animated_transparent_loop_frames_out_of_bounds", "animated_transparent_restoreprev_loop"})
            names.push_back(std::string("peterdn/gifs/") + n + ".gif");
        for (const auto &n : names)
            f.push_back(bench::ReadTestData("suites/gif/" + n));
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
    const bench::TPeakHeap peak;
    pixels = run(data);
    return double(peak.Bytes()) / double(pixels);
}

} // namespace

int main(int argc, char **argv)
{
    bench::ChooseQtPlatform();
    QGuiApplication app(argc, argv); // Qt's image plug-ins need it
    Files();                         // a missing file stops the run here
    benchmark::RegisterBenchmark("animations/ours", Ours)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("animations/peer", Peer)->Unit(benchmark::kMicrosecond);
    bench::TRatioReporter reporter;
    reporter.RunBenchmarks(argc, argv);
    if (const double r = reporter.Ratio("animations/ours", "animations/peer"))
        std::printf("\nLoad and render every frame, time ours/Qt: %.2f\n", r);
    // Peak heap of one load-and-render per frame pixel, the largest file.
    std::int64_t ours = 0, peer = 0;
    const double po = PeakPerPixel(OursOnce, Files()[1], ours), pp = PeakPerPixel(PeerOnce, Files()[1], peer);
    std::printf("Peak heap per frame pixel (welcome2.gif): ours %.2f bytes (%lld frame pixels), Qt %.2f bytes\n", po,
                static_cast<long long>(ours), pp);
    return 0;
}
