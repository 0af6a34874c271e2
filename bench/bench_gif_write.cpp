// GIF image data encoding of frames made from the shared screenshots (256
// colours by our octree, with and without dithering): our LZW encoder against
// giflib's. Pairs are <case>/ours and <case>/peer; the end of the run prints
// the time ratio ours/peer and the ratio of the image data sizes.
#include "gif/ColorReduction.h"
#include "gif/GIFEncoder.h"

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <QBuffer>
#include <QImage>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

using namespace gif;
using Bytes = std::vector<std::uint8_t>;

namespace {

const char *const Screens[] = {"desktop-1920x1080.png", "wallpaper-1920x1080.png", "web-docs-1920x1080.png",
                               "web-index-1920x1080.png", "desktop-3840x2160.png"};

struct Frame {
    int Width = 0, Height = 0;
    Bytes Pixels;
    TPalette Palette;
};

std::map<std::string, Frame> &Frames()
{
    static std::map<std::string, Frame> m;
    return m;
}

std::size_t EncodeOurs(const Frame &f, QByteArray &out, bool rle)
{
    out.clear();
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    if (rle)
        TRLEEncoder().Encode(buf, 8, 256, f.Pixels.data(), false, f.Height, f.Width);
    else
        TLZWEncoder().Encode(buf, 8, 256, f.Pixels.data(), false, f.Height, f.Width);
    return std::size_t(out.size());
}

int WriteVec(GifFileType *gif, const GifByteType *data, int n)
{
    auto *v = static_cast<Bytes *>(gif->UserData);
    v->insert(v->end(), data, data + n);
    return n;
}

// giflib's whole file less what is not image data: header and screen (13),
// colour table (768), image descriptor (10), trailer (1).
std::size_t EncodePeer(const Frame &f, Bytes &out)
{
    out.clear();
    int err = 0;
    GifFileType *gif = EGifOpen(&out, WriteVec, &err);
    GifColorType colors[256];
    for (int i = 0; i < 256; ++i)
        colors[i] = {GifByteType(qRed(f.Palette[std::size_t(i)])), GifByteType(qGreen(f.Palette[std::size_t(i)])),
                     GifByteType(qBlue(f.Palette[std::size_t(i)]))};
    ColorMapObject *map = GifMakeMapObject(256, colors);
    EGifPutScreenDesc(gif, f.Width, f.Height, 8, 0, map);
    EGifPutImageDesc(gif, 0, 0, f.Width, f.Height, false, nullptr);
    EGifPutLine(gif, const_cast<GifPixelType *>(f.Pixels.data()), f.Width * f.Height);
    EGifCloseFile(gif, &err);
    GifFreeMapObject(map);
    return out.size() - 792;
}

void Encode_Ours(benchmark::State &s, std::string name, bool rle)
{
    const Frame &f = Frames()[name];
    QByteArray out;
    out.reserve(qsizetype(f.Pixels.size()));
    std::size_t n = 0;
    for (auto _ : s)
        n = EncodeOurs(f, out, rle);
    s.counters["bytes"] = double(n);
}

void Encode_Peer(benchmark::State &s, std::string name)
{
    const Frame &f = Frames()[name];
    Bytes out;
    out.reserve(f.Pixels.size());
    std::size_t n = 0;
    for (auto _ : s)
        n = EncodePeer(f, out);
    s.counters["bytes"] = double(n);
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> Time, Size;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const auto &r : runs) {
            if (r.error_occurred || r.run_type != Run::RT_Iteration)
                continue;
            Time[r.benchmark_name()] = r.GetAdjustedRealTime();
            Size[r.benchmark_name()] = r.counters.at("bytes").value;
        }
    }
    void PrintRatios() const
    {
        std::printf("\n%-44s %10s %10s\n", "case", "time o/p", "size o/p");
        for (const auto &[name, t] : Time) {
            const auto at = name.find("/ours/");
            if (at == std::string::npos)
                continue;
            const std::string rest = name.substr(at + 6);
            for (const char *peer : {"lzw/peer/", "rle-vs-lzw/peer/"}) {
                if (name.compare(0, at, std::string(peer).substr(0, std::strlen(peer) - 6)) != 0)
                    continue;
                const auto p = Time.find(std::string(peer) + rest);
                if (p != Time.end())
                    std::printf("%-44s %10.3f %10.3f\n", (name.substr(0, at) + "/" + rest).c_str(), t / p->second,
                                Size.at(name) / Size.at(p->first));
            }
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    for (const char *screen : Screens) {
        QImage img(QString::fromStdString(std::string(KSS_TESTDATA_DIR) + "/screens/" + screen));
        if (img.isNull()) {
            std::fprintf(stderr, "missing test data: %s\n", screen);
            return 1;
        }
        for (int dither : {dmNearest, dmFloydSteinberg}) {
            const QImage r = ReduceColors(img, crOctree, dither, 8);
            Frame f;
            f.Width = r.width();
            f.Height = r.height();
            for (int y = 0; y < r.height(); ++y)
                f.Pixels.insert(f.Pixels.end(), r.constScanLine(y), r.constScanLine(y) + r.width());
            const auto table = r.colorTable();
            f.Palette.assign(table.begin(), table.end());
            f.Palette.resize(256, qRgb(0, 0, 0));
            const std::string name = std::string(dither ? "fs-" : "") + screen;
            Frames()[name] = std::move(f);
            benchmark::RegisterBenchmark(("lzw/ours/" + name).c_str(), Encode_Ours, name, false)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("lzw/peer/" + name).c_str(), Encode_Peer, name)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("rle-vs-lzw/ours/" + name).c_str(), Encode_Ours, name, true)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("rle-vs-lzw/peer/" + name).c_str(), Encode_Peer, name)
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
