// Colour reduction of the shared 1920x1080 screenshots to 256 colours: our
// octree palette with Floyd-Steinberg dithering against Pillow's quantize
// with Floyd-Steinberg (median cut, its default, and its fast octree), run
// through /usr/bin/python3 in the same run. Prints time ratios ours/Pillow,
// the PSNR of both, and the PSNR of every reduction method and dither mode.
#include "BenchCommon.h"
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
    for (const std::string &name : bench::Screens1080) {
        Images()[name] = bench::LoadScreen(name);
        bench::RegisterMs("octree-fs/ours/" + name, Reduce_Ours, name);
    }
    bench::TRatioReporter reporter;
    reporter.RunBenchmarks(argc, argv);

    std::printf("\n256 colours with Floyd-Steinberg, ours (octree) vs Pillow quantize + dither\n");
    std::printf("%-26s %9s %9s %9s %9s %9s %9s %9s\n", "screen", "ours ms", "mc ms", "t o/mc", "oct ms", "t o/oct",
                "PSNR us", "PSNR mc/oct");
    for (const std::string &name : bench::Screens1080) {
        const double ours = reporter.Time("octree-fs/ours/" + name);
        if (ours == 0)
            continue;
        const double q = Psnr(Images()[name], ReduceColors(Images()[name], crOctree, dmFloydSteinberg, 8));
        auto pil = RunPillow(bench::TestData("screens/" + name));
        const PillowResult mc = pil["mediancut"], oct = pil["fastoctree"];
        std::printf("%-26s %9.1f %9.1f %9.3f %9.1f %9.3f %9.2f %6.2f/%.2f\n", name.c_str(), ours * 1e3, mc.Seconds * 1e3,
                    mc.Seconds > 0 ? ours / mc.Seconds : 0.0, oct.Seconds * 1e3,
                    oct.Seconds > 0 ? ours / oct.Seconds : 0.0, q, mc.Psnr, oct.Psnr);
    }

    std::printf("\nPSNR (dB) per reduction method (rows) and dither mode (columns 0-6)\n");
    const char *methods[] = {"", "system20", "halftone", "fourgreys", "blackwhite", "greys256", "web", "octree8",
                             "octree+sys", "custom(web)"};
    for (const std::string &name : bench::Screens1080) {
        std::printf("%s\n", name.c_str());
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
    return 0;
}
