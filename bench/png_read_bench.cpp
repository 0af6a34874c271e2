// Reading PNG: our loader against libpng 1.6 and libspng on the six
// screenshots and the whole PngSuite, every decoder reading from memory into
// one contiguous bitmap of the same layout (24-bit blue-green-red for true
// colour; indices, grey samples and 16-bit grey as our loader keeps them).
// Also the peak heap of one load over the size of the decoded bitmap.
// The run ends with a table of time ratios ours/libpng and ours/libspng.
#include "imaging/MemStream.h"
#include "imaging/PNGLoader.h"

#include <benchmark/benchmark.h>
#include <png.h>
#include <spng.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <map>
#include <new>
#include <string>
#include <vector>

using namespace imaging;
using Bytes = std::vector<std::uint8_t>;

namespace {

const char *const Screens[] = {"desktop-1920x1080.png", "desktop-3840x2160.png",   "wallpaper-1920x1080.png",
                               "web-docs-1920x1080.png", "web-docs-3840x2160.png", "web-index-1920x1080.png"};

Bytes ReadAll(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
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

void Read_Ours(benchmark::State &s, std::string name)
{
    std::vector<std::unique_ptr<TMemStream>> streams;
    for (const Bytes &f : Files()[name]) {
        streams.push_back(std::make_unique<TMemStream>());
        streams.back()->Write(f.data(), static_cast<int>(f.size()));
    }
    TLinearBitmap bmp;
    std::size_t bytes = 0;
    for (auto _ : s) {
        bytes = 0;
        for (auto &mem : streams)
            bytes += Ours(*mem, bmp);
    }
    s.SetBytesProcessed(static_cast<std::int64_t>(s.iterations() * bytes));
}
void Read_Libpng(benchmark::State &s, std::string name)
{
    Bytes out;
    std::size_t bytes = 0;
    for (auto _ : s) {
        bytes = 0;
        for (const Bytes &f : Files()[name])
            bytes += Libpng(f, out);
    }
    s.SetBytesProcessed(static_cast<std::int64_t>(s.iterations() * bytes));
}
void Read_Spng(benchmark::State &s, std::string name)
{
    Bytes out;
    std::size_t bytes = 0;
    for (auto _ : s) {
        bytes = 0;
        for (const Bytes &f : Files()[name])
            bytes += Spng(f, out);
    }
    s.SetBytesProcessed(static_cast<std::int64_t>(s.iterations() * bytes));
}

// Every C++ allocation is counted, so the peak of one load is exact.
std::atomic<long long> LiveBytes{0}, PeakBytes{0};
void Track(long long delta)
{
    const long long now = LiveBytes.fetch_add(delta) + delta;
    long long peak = PeakBytes.load();
    while (now > peak && !PeakBytes.compare_exchange_weak(peak, now)) {
    }
}

// Peak of live heap bytes during one load (the bitmap included) over the
// bitmap's size, loading from a file as the application does.
void PeakMemory(benchmark::State &s, std::string name)
{
    const std::string file = std::string(KSS_TESTDATA_DIR) + "/screens/" + name;
    double ratio = 0;
    for (auto _ : s) {
        TLinearBitmap bmp;
        TPNGLoader loader;
        const long long before = LiveBytes.load();
        PeakBytes.store(before);
        loader.LoadFromFile(file, "PNG", bmp);
        ratio = static_cast<double>(PeakBytes.load() - before) / bmp.Size;
    }
    s.counters["peak_over_bitmap"] = ratio;
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> Time;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const auto &r : runs)
            if (!r.error_occurred && r.run_type == Run::RT_Iteration)
                Time[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
    void PrintRatios() const
    {
        std::printf("\n%-28s %14s %14s\n", "case", "ours/libpng", "ours/libspng");
        for (const auto &[name, t] : Time) {
            if (name.rfind("/ours") != name.size() - 5)
                continue;
            const std::string base = name.substr(0, name.size() - 5);
            auto p = Time.find(base + "/libpng"), q = Time.find(base + "/libspng");
            if (p == Time.end() || q == Time.end())
                continue;
            std::printf("%-28s %14.3f %14.3f\n", base.substr(base.find('/') + 1).c_str(), t / p->second,
                        t / q->second);
        }
    }
};

} // namespace

void *operator new(std::size_t n)
{
    void *p = std::malloc(n ? n : 1);
    if (!p)
        throw std::bad_alloc();
    Track(static_cast<long long>(malloc_usable_size(p)));
    return p;
}
void *operator new[](std::size_t n) { return operator new(n); }
void operator delete(void *p) noexcept
{
    if (p) {
        Track(-static_cast<long long>(malloc_usable_size(p)));
        std::free(p);
    }
}
void operator delete[](void *p) noexcept { operator delete(p); }
void operator delete(void *p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void *p, std::size_t) noexcept { operator delete(p); }

int main(int argc, char **argv)
{
    const std::string data = KSS_TESTDATA_DIR;
    for (const char *name : Screens) {
        Bytes f = ReadAll(data + "/screens/" + name);
        if (f.empty()) {
            std::fprintf(stderr, "missing test data: %s/screens/%s\n", data.c_str(), name);
            return 1;
        }
        Files()[name].push_back(std::move(f));
    }
    const std::string suite = data + "/suites/pngsuite";
    if (!std::filesystem::is_directory(suite)) {
        std::fprintf(stderr, "missing test data: %s\n", suite.c_str());
        return 1;
    }
    for (const auto &e : std::filesystem::directory_iterator(suite))
        if (e.path().extension() == ".png" && e.path().filename().string()[0] != 'x')
            Files()["PngSuite"].push_back(ReadAll(e.path().string()));
    for (const auto &[name, files] : Files()) {
        const std::string n = name;
        benchmark::RegisterBenchmark(("pngread/" + n + "/ours").c_str(), Read_Ours, n)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("pngread/" + n + "/libpng").c_str(), Read_Libpng, n)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("pngread/" + n + "/libspng").c_str(), Read_Spng, n)
            ->Unit(benchmark::kMillisecond);
    }
    for (const char *name : {"desktop-3840x2160.png", "web-docs-3840x2160.png"})
        benchmark::RegisterBenchmark((std::string("peakmem/") + name).c_str(), PeakMemory, std::string(name))
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
