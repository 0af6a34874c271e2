// Colour reduction of the shared 1920x1080 screenshots to 256 colours: our
// octree palette with Floyd-Steinberg dithering against Pillow's quantize
// with Floyd-Steinberg (median cut, its default, and its fast octree), run
// through /usr/bin/python3 in the same run. Prints time ratios ours/Pillow,
// the PSNR of both, and the PSNR of every reduction method and dither mode.
#include "gif/ColorReduction.h"

#include <benchmark/benchmark.h>

#include <QImage>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace gif;

namespace {

const char *const Screens[] = {"desktop-1920x1080.png", "wallpaper-1920x1080.png", "web-docs-1920x1080.png",
                               "web-index-1920x1080.png"};

std::string ScreenPath(const std::string &name)
{
    return std::string(KSS_TESTDATA_DIR) + "/screens/" + name;
}

std::map<std::string, QImage> &Images()
{
    static std::map<std::string, QImage> m;
    return m;
}

double Psnr(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_BGR888), y = b.convertToFormat(QImage::Format_BGR888);
    double sum = 0;
    for (int r = 0; r < x.height(); ++r)
        for (int i = 0; i < x.width() * 3; ++i) {
            const double d = double(x.constScanLine(r)[i]) - y.constScanLine(r)[i];
            sum += d * d;
        }
    return 10 * std::log10(255.0 * 255.0 / (sum / (double(x.width()) * x.height() * 3)));
}

void Reduce_Ours(benchmark::State &s, std::string name)
{
    const QImage &img = Images()[name];
    for (auto _ : s)
        benchmark::DoNotOptimize(ReduceColors(img, crOctree, dmFloydSteinberg, 8));
}

class TimeReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> Seconds;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const auto &r : runs)
            if (!r.error_occurred && r.run_type == Run::RT_Iteration)
                Seconds[r.benchmark_name()] = r.GetAdjustedRealTime() / 1e3; // reported in ms
    }
};

struct PillowResult {
    double Seconds = 0, Psnr = 0;
};

// Pillow's best time and PSNR per quantizer, from the helper script.
std::map<std::string, PillowResult> RunPillow(const std::string &path)
{
    std::map<std::string, PillowResult> out;
    const std::string cmd = "/usr/bin/python3 '" + std::string(KSS_BENCH_DIR) + "/gif_reduce_pillow.py' '" + path + "' 5";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return out;
    char method[64];
    double t, q;
    while (std::fscanf(p, "%63s %lf %lf", method, &t, &q) == 3)
        out[method] = {t, q};
    pclose(p);
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    for (const char *name : Screens) {
        QImage img(QString::fromStdString(ScreenPath(name)));
        if (img.isNull()) {
            std::fprintf(stderr, "missing test data: %s\n", name);
            return 1;
        }
        Images()[name] = img.convertToFormat(QImage::Format_BGR888);
        benchmark::RegisterBenchmark((std::string("octree-fs/ours/") + name).c_str(), Reduce_Ours, std::string(name))
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    TimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\n256 colours with Floyd-Steinberg, ours (octree) vs Pillow quantize + dither\n");
    std::printf("%-26s %9s %9s %9s %9s %9s %9s %9s\n", "screen", "ours ms", "mc ms", "t o/mc", "oct ms", "t o/oct",
                "PSNR us", "PSNR mc/oct");
    for (const char *name : Screens) {
        const auto it = reporter.Seconds.find(std::string("octree-fs/ours/") + name);
        if (it == reporter.Seconds.end())
            continue;
        const double ours = it->second;
        const double q = Psnr(Images()[name], ReduceColors(Images()[name], crOctree, dmFloydSteinberg, 8));
        auto pil = RunPillow(ScreenPath(name));
        const PillowResult mc = pil["mediancut"], oct = pil["fastoctree"];
        std::printf("%-26s %9.1f %9.1f %9.3f %9.1f %9.3f %9.2f %6.2f/%.2f\n", name, ours * 1e3, mc.Seconds * 1e3,
                    mc.Seconds > 0 ? ours / mc.Seconds : 0.0, oct.Seconds * 1e3,
                    oct.Seconds > 0 ? ours / oct.Seconds : 0.0, q, mc.Psnr, oct.Psnr);
    }

    std::printf("\nPSNR (dB) per reduction method (rows) and dither mode (columns 0-6)\n");
    const char *methods[] = {"", "system20", "halftone", "fourgreys", "blackwhite", "greys256", "web", "octree8",
                             "octree+sys", "custom(web)"};
    for (const char *name : Screens) {
        std::printf("%s\n", name);
        const QImage &img = Images()[name];
        for (int m = crSystem20; m <= crCustomPalette; ++m) {
            std::printf("  %-12s", methods[m]);
            for (int d = dmNearest; d <= dmBurkes; ++d) {
                TPalette web;
                for (int i = 0; i < 216; ++i)
                    web.push_back(qRgb(i / 36 * 51, i / 6 % 6 * 51, i % 6 * 51));
                std::printf(" %6.2f", Psnr(img, ReduceColors(img, m, d, 8, web)));
            }
            std::printf("\n");
        }
    }
    benchmark::Shutdown();
    return 0;
}
