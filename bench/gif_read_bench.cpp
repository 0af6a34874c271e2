// LZW decoding of whole GIF files, ours against giflib, on the largest
// pictures of the GIF suites and on GIFs made from the shared screenshots
// (256 colours, written by giflib). Pairs are named <case>/ours and
// <case>/peer; the end of the run prints the time ratios ours/peer.
#include "BenchCommon.h"
#include "gif/GIFImage.h"

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <QBuffer>
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using Bytes = QByteArray;

struct Reader {
    const Bytes *data;
    qsizetype pos = 0;
};

int ReadMem(GifFileType *gif, GifByteType *buf, int n)
{
    auto *r = static_cast<Reader *>(gif->UserData);
    const int m = int(std::min<qsizetype>(n, r->data->size() - r->pos));
    std::memcpy(buf, r->data->constData() + r->pos, std::size_t(m));
    r->pos += m;
    return m;
}

int WriteMem(GifFileType *gif, const GifByteType *buf, int n)
{
    static_cast<Bytes *>(gif->UserData)->append(reinterpret_cast<const char *>(buf), n);
    return n;
}

// A screenshot reduced to 256 colours and written by giflib.
Bytes ScreenGIF(const std::string &name)
{
    QImage img = bench::LoadScreen(name, QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
    Bytes out;
    int err = 0;
    GifFileType *gif = EGifOpen(&out, WriteMem, &err);
    auto table = img.colorTable();
    table.resize(256);
    std::vector<GifColorType> colors(256);
    for (int i = 0; i < 256; ++i)
        colors[std::size_t(i)] = {GifByteType(qRed(table[i])), GifByteType(qGreen(table[i])), GifByteType(qBlue(table[i]))};
    ColorMapObject *map = GifMakeMapObject(256, colors.data());
    EGifPutScreenDesc(gif, img.width(), img.height(), 8, 0, map);
    EGifPutImageDesc(gif, 0, 0, img.width(), img.height(), false, nullptr);
    for (int y = 0; y < img.height(); ++y)
        EGifPutLine(gif, img.scanLine(y), img.width());
    EGifCloseFile(gif, &err);
    GifFreeMapObject(map);
    return out;
}

std::map<std::string, Bytes> &Files()
{
    static std::map<std::string, Bytes> files = [] {
        std::map<std::string, Bytes> f;
        for (const char *n : {"welcome2", "fire", "solid2", "treescap-interlaced"})
            f[n] = bench::ReadTestData(std::string("suites/gif/giflib/") + n + ".gif");
        for (const char *n : {"desktop-1920x1080", "web-docs-1920x1080", "desktop-3840x2160"})
            f[std::string("screen-") + n] = ScreenGIF(std::string(n) + ".png");
        return f;
    }();
    return files;
}

void Ours(benchmark::State &state, const std::string &name)
{
    Bytes data = Files().at(name);
    std::int64_t pixels = 0;
    for (auto _ : state) {
        QBuffer buf(&data);
        buf.open(QIODevice::ReadOnly);
        gif::TGIFImage image;
        image.LoadFromStream(buf);
        pixels = 0;
        for (int i = 0; i < image.Count(); ++i)
            pixels += image.SubImage(i)->DataSize();
        benchmark::DoNotOptimize(pixels);
    }
    state.SetItemsProcessed(state.iterations() * pixels);
}

void Peer(benchmark::State &state, const std::string &name)
{
    const Bytes &data = Files().at(name);
    std::int64_t pixels = 0;
    for (auto _ : state) {
        Reader r{&data};
        int err = 0;
        GifFileType *gif = DGifOpen(&r, ReadMem, &err);
        if (!gif || DGifSlurp(gif) != GIF_OK) {
            state.SkipWithError("giflib failed");
            if (gif)
                DGifCloseFile(gif, &err);
            break;
        }
        pixels = 0;
        for (int i = 0; i < gif->ImageCount; ++i)
            pixels += std::int64_t(gif->SavedImages[i].ImageDesc.Width) * gif->SavedImages[i].ImageDesc.Height;
        benchmark::DoNotOptimize(gif->SavedImages);
        DGifCloseFile(gif, &err);
    }
    state.SetItemsProcessed(state.iterations() * pixels);
}

// Both decoders must give the same pixels before their times mean anything.
void CheckSame(const std::string &name, Bytes data)
{
    QBuffer buf(&data);
    buf.open(QIODevice::ReadOnly);
    gif::TGIFImage image;
    image.LoadFromStream(buf);
    Reader r{&data};
    int err = 0;
    GifFileType *gif = DGifOpen(&r, ReadMem, &err);
    bool same = gif && DGifSlurp(gif) == GIF_OK;
    // Frames that hold only extensions have no image of giflib's.
    std::vector<gif::TGIFSubImage *> frames;
    for (int i = 0; i < image.Count(); ++i)
        if (!image.SubImage(i)->Empty())
            frames.push_back(image.SubImage(i));
    same = same && gif->ImageCount == int(frames.size());
    for (int i = 0; same && i < gif->ImageCount; ++i) {
        const auto &s = gif->SavedImages[i];
        const std::int64_t n = std::int64_t(s.ImageDesc.Width) * s.ImageDesc.Height;
        auto *f = frames[std::size_t(i)];
        // giflib leaves interlaced rows in place as well.
        same = n == f->DataSize() && std::memcmp(s.RasterBits, f->Data(), std::size_t(n)) == 0;
    }
    if (gif)
        DGifCloseFile(gif, &err);
    if (!same) {
        std::fprintf(stderr, "%s: decoders disagree\n", name.c_str());
        std::exit(1);
    }
}

} // namespace

int main(int argc, char **argv)
{
    for (const auto &[name, data] : Files())
        CheckSame(name, data);
    for (const auto &[name, data] : Files()) {
        benchmark::RegisterBenchmark((name + "/ours").c_str(), Ours, name);
        benchmark::RegisterBenchmark((name + "/peer").c_str(), Peer, name);
    }
    bench::TRatioReporter reporter;
    reporter.RunBenchmarks(argc, argv);
    reporter.PrintTable("LZW decoding, time ours/giflib (below 1.0 = ours faster):", {{"ours/giflib", "peer", ""}});
    return 0;
}
