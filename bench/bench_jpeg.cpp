// The JPEG loader against calling libjpeg directly with the same settings
// (quality 90, 4:2:0, slow integer DCT, fancy upsampling, BGR samples), on
// the 1920x1080 and 3840x2160 screenshots: save and load of colour, and the
// load of a grey file straight to 8-bit. Pairs are named <case>/ours and
// <case>/peer; the run ends with the time ratios ours/peer.
#include "BenchCommon.h"
#include "imaging/JPEGLoader.h"
#include "imaging/MemStream.h"

#include <benchmark/benchmark.h>

#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <map>
#include <string>
#include <vector>

using namespace imaging;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct Case {
    std::unique_ptr<TLinearBitmap> Bitmap;
    Bytes Colour, Grey; // our encodings, read back by both sides
};
std::map<std::string, Case> Cases;

Bytes PeerEncode(const TLinearBitmap &b, bool grey)
{
    jpeg_compress_struct c{};
    jpeg_error_mgr e{};
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    unsigned char *buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buf, &size);
    c.image_width = static_cast<JDIMENSION>(b.Width);
    c.image_height = static_cast<JDIMENSION>(b.Height);
    c.input_components = grey ? 1 : 3;
    c.in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = b.ScanLine(static_cast<int>(c.next_scanline));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(buf, buf + size);
    std::free(buf);
    return out;
}

std::size_t PeerDecode(const Bytes &f, std::vector<std::uint8_t> &pixels)
{
    jpeg_decompress_struct d{};
    jpeg_error_mgr e{};
    d.err = jpeg_std_error(&e);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, f.data(), f.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = d.jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    const std::size_t stride = std::size_t(d.output_width) * d.output_components;
    pixels.resize(stride * d.output_height);
    std::vector<JSAMPROW> rows(d.output_height);
    for (std::size_t y = 0; y < rows.size(); ++y)
        rows[y] = pixels.data() + y * stride;
    while (d.output_scanline < d.output_height)
        jpeg_read_scanlines(&d, rows.data() + d.output_scanline, d.output_height - d.output_scanline);
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return pixels.size();
}

void Save_Ours(benchmark::State &s, const std::string &name)
{
    TJPEGLoader loader;
    loader.Quality = 90;
    for (auto _ : s) {
        TMemStream mem;
        loader.SaveToStream(mem, "JPG", *Cases[name].Bitmap);
        benchmark::DoNotOptimize(mem.Size());
    }
}

void Save_Peer(benchmark::State &s, const std::string &name)
{
    for (auto _ : s)
        benchmark::DoNotOptimize(PeerEncode(*Cases[name].Bitmap, false).size());
}

void Load_Ours(benchmark::State &s, const std::string &name, bool grey)
{
    const Bytes &f = grey ? Cases[name].Grey : Cases[name].Colour;
    TMemStream mem;
    mem.Write(f.data(), static_cast<int>(f.size()));
    TJPEGLoader loader;
    for (auto _ : s) {
        mem.Seek(0);
        TLinearBitmap b;
        loader.LoadFromStream(mem, "JPG", b);
        if (b.PixelFormat != (grey ? pf8bit : pf24bit))
            s.SkipWithError("unexpected pixel format");
        benchmark::DoNotOptimize(b.Map.get());
    }
}

void Load_Peer(benchmark::State &s, const std::string &name, bool grey)
{
    const Bytes &f = grey ? Cases[name].Grey : Cases[name].Colour;
    for (auto _ : s) {
        std::vector<std::uint8_t> pixels;
        benchmark::DoNotOptimize(PeerDecode(f, pixels));
    }
}

} // namespace

int main(int argc, char **argv)
{
    for (const std::string n : {"desktop-1920x1080.png", "desktop-3840x2160.png"}) {
        Case &c = Cases[n];
        c.Bitmap = bench::ScreenBitmap(n);
        c.Colour = PeerEncode(*c.Bitmap, false);
        TLinearBitmap grey;
        grey.Assign(bench::LoadScreen(n, QImage::Format_Grayscale8));
        c.Grey = PeerEncode(grey, true);
        bench::RegisterMs("save/ours/" + n, Save_Ours, n);
        bench::RegisterMs("save/peer/" + n, Save_Peer, n);
        bench::RegisterMs("load/ours/" + n, Load_Ours, n, false);
        bench::RegisterMs("load/peer/" + n, Load_Peer, n, false);
        bench::RegisterMs("load-grey/ours/" + n, Load_Ours, n, true);
        bench::RegisterMs("load-grey/peer/" + n, Load_Peer, n, true);
    }
    bench::TRatioReporter reporter;
    reporter.RunBenchmarks(argc, argv);
    reporter.PrintTable("", {{"time o/p", "peer", ""}});
    return 0;
}
