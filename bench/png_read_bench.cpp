// Reading PNG: our loader against libpng 1.6 and libspng on the six
// screenshots and the whole PngSuite, every decoder reading from memory into
// one contiguous bitmap of the same layout (24-bit blue-green-red for true
// colour; indices, grey samples and 16-bit grey as our loader keeps them).
// Also the peak heap of one load over the size of the decoded bitmap.
// The run ends with a table of time ratios ours/libpng and ours/libspng.
#include "BenchCommon.h"
#include "BenchHeap.h"
#include "imaging/MemStream.h"
#include "imaging/PNGLoader.h"

#include <benchmark/benchmark.h>
#include <png.h>
#include <spng.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

using namespace imaging;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes FileBytes(const std::string &rel)
{
    const QByteArray f = bench::ReadTestData(rel);
    return Bytes(f.begin(), f.end());
}

// name -> file bytes; "PngSuite" stands for every valid file of the suite.
std::map<std::string, std::vector<Bytes>> &Files()
{
    static std::map<std::string, std::vector<Bytes>> m;
    return m;
}

std::size_t Ours(TMemStream &mem, TLinearBitmap &bmp)
{
    mem.Seek(0);
    TPNGLoader loader;
    loader.LoadFromStream(mem, "PNG", bmp);
    return static_cast<std::size_t>(bmp.Size);
}

struct MemReader {
    const Bytes *data;
    std::size_t pos;
};
void PngRead(png_structp png, png_bytep out, png_size_t n)
{
    auto *r = static_cast<MemReader *>(png_get_io_ptr(png));
    if (n > r->data->size() - r->pos)
        png_error(png, "short");
    std::memcpy(out, r->data->data() + r->pos, n);
    r->pos += n;
}

std::size_t Libpng(const Bytes &file, Bytes &out)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return 0;
    }
    MemReader r{&file, 0};
    png_set_read_fn(png, &r, PngRead);
    png_read_info(png, info);
    const int type = png_get_color_type(png, info), depth = png_get_bit_depth(png, info);
    png_set_packing(png);
    if (type & PNG_COLOR_MASK_COLOR) {
        png_set_strip_16(png);
        png_set_bgr(png);
    } else if (depth == 16) {
        png_set_swap(png);
    }
    if (type & PNG_COLOR_MASK_ALPHA)
        png_set_strip_alpha(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const std::size_t stride = png_get_rowbytes(png, info);
    const std::size_t h = png_get_image_height(png, info);
    out.resize(stride * h);
    rows.resize(h);
    for (std::size_t y = 0; y < h; ++y)
        rows[y] = out.data() + y * stride;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return out.size();
}

// libspng has no blue-green-red output: red-green-blue is the same work.
std::size_t Spng(const Bytes &file, Bytes &out)
{
    spng_ctx *ctx = spng_ctx_new(0);
    spng_set_png_buffer(ctx, file.data(), file.size());
    std::size_t size = 0;
    if (spng_decoded_image_size(ctx, SPNG_FMT_RGB8, &size) == 0) {
        out.resize(size);
        if (spng_decode_image(ctx, out.data(), size, SPNG_FMT_RGB8, 0) != 0)
            size = 0;
    }
    spng_ctx_free(ctx);
    return size;
}

// One round decodes every file of the case; the throughput is of the pixels.
template <class Inputs, class Decode>
void DecodeAll(benchmark::State &s, const Inputs &inputs, Decode decode)
{
    Bytes out;
    bench::TimeBytes(s, [&] {
        std::size_t bytes = 0;
        for (const auto &in : inputs)
            bytes += decode(in, out);
        return bytes;
    });
}

void Read_Ours(benchmark::State &s, std::string name)
{
    std::vector<std::unique_ptr<TMemStream>> streams;
    for (const Bytes &f : Files()[name]) {
        streams.push_back(std::make_unique<TMemStream>());
        streams.back()->Write(f.data(), static_cast<int>(f.size()));
    }
    TLinearBitmap bmp;
    DecodeAll(s, streams, [&](const std::unique_ptr<TMemStream> &mem, Bytes &) { return Ours(*mem, bmp); });
}
void Read_Libpng(benchmark::State &s, std::string name) { DecodeAll(s, Files()[name], Libpng); }
void Read_Spng(benchmark::State &s, std::string name) { DecodeAll(s, Files()[name], Spng); }

// Peak of live heap bytes during one load (the bitmap included) over the
// bitmap's size, loading from a file as the application does.
void PeakMemory(benchmark::State &s, std::string name)
{
    const std::string file = bench::TestData("screens/" + name);
    double ratio = 0;
    for (auto _ : s) {
        TLinearBitmap bmp;
        TPNGLoader loader;
        const bench::TPeakHeap peak;
        loader.LoadFromFile(file, "PNG", bmp);
        ratio = static_cast<double>(peak.Bytes()) / bmp.Size;
    }
    s.counters["peak_over_bitmap"] = ratio;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> screens = bench::Screens1080;
    screens.insert(screens.end(), bench::Screens2160.begin(), bench::Screens2160.end());
    for (const std::string &name : screens)
        Files()[name].push_back(FileBytes("screens/" + name));
    for (const auto &e : std::filesystem::directory_iterator(bench::TestData("suites/pngsuite")))
        if (e.path().extension() == ".png" && e.path().filename().string()[0] != 'x')
            Files()["PngSuite"].push_back(FileBytes("suites/pngsuite/" + e.path().filename().string()));
    for (const auto &[name, files] : Files()) {
        bench::RegisterMs("pngread/" + name + "/ours", Read_Ours, name);
        bench::RegisterMs("pngread/" + name + "/libpng", Read_Libpng, name);
        bench::RegisterMs("pngread/" + name + "/libspng", Read_Spng, name);
    }
    for (const std::string &name : bench::Screens2160)
        bench::RegisterMs("peakmem/" + name, PeakMemory, name)->Iterations(1);
    bench::TRatioReporter reporter;
    reporter.RunBenchmarks(argc, argv);
    reporter.PrintTable("", {{"ours/libpng", "libpng", ""}, {"ours/libspng", "libspng", ""}});
    return 0;
}
