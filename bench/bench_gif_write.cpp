// GIF image data encoding of frames made from the shared screenshots (256
// colours by our octree, with and without dithering): our LZW encoder against
// giflib's. Pairs are <case>/ours and <case>/peer; the end of the run prints
// the time ratio ours/peer and the ratio of the image data sizes.
#include "BenchCommon.h"
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

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> screens = bench::Screens1080;
    screens.push_back("desktop-3840x2160.png");
    for (const std::string &screen : screens) {
        const QImage img = bench::LoadScreen(screen, QImage::Format_RGB32);
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
            bench::RegisterMs("lzw/ours/" + name, Encode_Ours, name, false);
            bench::RegisterMs("lzw/peer/" + name, Encode_Peer, name);
            bench::RegisterMs("rle-vs-lzw/ours/" + name, Encode_Ours, name, true);
            bench::RegisterMs("rle-vs-lzw/peer/" + name, Encode_Peer, name);
        }
    }
    bench::TRatioReporter reporter;
    reporter.RunBenchmarks(argc, argv);
    reporter.PrintTable("", {{"time o/p", "peer", ""}, {"size o/p", "peer", "bytes"}});
    return 0;
}
