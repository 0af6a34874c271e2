// The checksums, the inflater and the PNG writer side by side with zlib and
// libpng on the shared screenshots (decoded to 24-bit), the inflater also with
// libdeflate and through the library's streams, plus the peak memory
// of saving a 3840x2160 capture. Pairs are named <case>/ours and <case>/peer;
// the end of the run prints the time ratios ours/peer and the size ratios.
#include "imaging/Adler32.h"
#include "imaging/BufStream.h"
#include "imaging/CRC32Core.h"
#include "imaging/Deflate.h"
#include "imaging/DeflateCoder.h"
#include "imaging/DeflatePeek.h"
#include "imaging/MemStream.h"
#include "imaging/PNGLoader.h"

#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <png.h>
#include <zlib.h>

#include <QImage>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <new>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace imaging;
using Bytes = std::vector<std::uint8_t>;

namespace {

const char *const Screens1080[] = {"desktop-1920x1080.png", "wallpaper-1920x1080.png", "web-docs-1920x1080.png",
                                   "web-index-1920x1080.png"};

std::unique_ptr<TLinearBitmap> LoadScreen(const std::string &name)
{
    QImage img(QString::fromStdString(std::string(KSS_TESTDATA_DIR) + "/screens/" + name));
    if (img.isNull())
        return nullptr;
    auto bmp = std::make_unique<TLinearBitmap>();
    bmp->Assign(img.convertToFormat(QImage::Format_BGR888));
    return bmp;
}

Bytes ZlibRaw(const std::uint8_t *data, std::size_t n, int level)
{
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, n));
    z.next_in = const_cast<Bytef *>(data);
    z.avail_in = static_cast<uInt>(n);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// --------------------------------------------------------------- checksums

const Bytes &RandomMB()
{
    static const Bytes b = [] {
        Bytes v(1 << 20);
        std::mt19937 rng(1);
        for (auto &x : v)
            x = static_cast<std::uint8_t>(rng());
        return v;
    }();
    return b;
}

void CRC32_Ours(benchmark::State &s)
{
    const Bytes &b = RandomMB();
    for (auto _ : s)
        benchmark::DoNotOptimize(CRC32Update(0xFFFFFFFFu, b.data(), b.size()));
    s.SetBytesProcessed(static_cast<std::int64_t>(s.iterations() * b.size()));
}
void CRC32_Peer(benchmark::State &s)
{
    const Bytes &b = RandomMB();
    for (auto _ : s)
        benchmark::DoNotOptimize(crc32(0, b.data(), static_cast<uInt>(b.size())));
    s.SetBytesProcessed(static_cast<std::int64_t>(s.iterations() * b.size()));
}
void Adler32_Ours(benchmark::State &s)
{
    const Bytes &b = RandomMB();
    for (auto _ : s) {
        TAdler32 a;
        a.Update(b.data(), static_cast<std::int64_t>(b.size()));
        benchmark::DoNotOptimize(a.Value());
    }
    s.SetBytesProcessed(static_cast<std::int64_t>(s.iterations() * b.size()));
}
void Adler32_Peer(benchmark::State &s)
{
    const Bytes &b = RandomMB();
    for (auto _ : s)
        benchmark::DoNotOptimize(adler32(1, b.data(), static_cast<uInt>(b.size())));
    s.SetBytesProcessed(static_cast<std::int64_t>(s.iterations() * b.size()));
}

// ----------------------------------------------------------------- inflate

struct InflateCase {
    Bytes Raw, Packed;
};
std::map<std::string, InflateCase> &InflateCases()
{
    static std::map<std::string, InflateCase> m;
    return m;
}

void Inflate_Ours(benchmark::State &s, std::string name)
{
    const InflateCase &c = InflateCases()[name];
    Bytes out(c.Raw.size());
    for (auto _ : s) {
        Inflater inf;
        inf.SetInput(c.Packed.data(), c.Packed.size());
        if (inf.Read(out.data(), out.size()) != out.size())
            s.SkipWithError("short");
    }
    if (out != c.Raw)
        s.SkipWithError("mismatch");
    s.SetBytesProcessed(static_cast<std::int64_t>(s.iterations() * c.Raw.size()));
}
void Inflate_Peer(benchmark::State &s, std::string name)
{
    const InflateCase &c = InflateCases()[name];
    Bytes out(c.Raw.size());
    for (auto _ : s) {
        z_stream z{};
        inflateInit2(&z, -15);
        z.next_in = const_cast<Bytef *>(c.Packed.data());
        z.avail_in = static_cast<uInt>(c.Packed.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        if (inflate(&z, Z_FINISH) != Z_STREAM_END)
            s.SkipWithError("zlib");
        inflateEnd(&z);
    }
    s.SetBytesProcessed(static_cast<std::int64_t>(s.iterations() * c.Raw.size()));
}
void Inflate_Libdeflate(benchmark::State &s, std::string name)
{
    const InflateCase &c = InflateCases()[name];
    Bytes out(c.Raw.size());
    libdeflate_decompressor *d = libdeflate_alloc_decompressor();
    for (auto _ : s) {
        if (libdeflate_deflate_decompress(d, c.Packed.data(), c.Packed.size(), out.data(), out.size(), nullptr) !=
            LIBDEFLATE_SUCCESS)
            s.SkipWithError("libdeflate");
    }
    libdeflate_free_decompressor(d);
    s.SetBytesProcessed(static_cast<std::int64_t>(s.iterations() * c.Raw.size()));
}
// The filter stream over the library's buffered stream (over a memory
// stream), the way the PNG reader reads a file.
void InflateBuffered_Ours(benchmark::State &s, std::string name)
{
    const InflateCase &c = InflateCases()[name];
    TMemStream mem;
    mem.Write(c.Packed.data(), static_cast<int>(c.Packed.size()));
    Bytes out(c.Raw.size());
    for (auto _ : s) {
        mem.Seek(0);
        TBufferedStream buffered(-1, 0, &mem);
        TDeflateStream d(&buffered, 0);
        d.Read(out.data(), static_cast<int>(out.size()));
    }
    if (out != c.Raw)
        s.SkipWithError("mismatch");
    s.SetBytesProcessed(static_cast<std::int64_t>(s.iterations() * c.Raw.size()));
}
// The filter stream over the library's memory stream, which shows its
// blocks to the inflater.
void InflateStream_Ours(benchmark::State &s, std::string name)
{
    const InflateCase &c = InflateCases()[name];
    TMemStream mem;
    mem.Write(c.Packed.data(), static_cast<int>(c.Packed.size()));
    Bytes out(c.Raw.size());
    for (auto _ : s) {
        mem.Seek(0);
        TDeflateStream d(&mem, 0);
        d.Read(out.data(), static_cast<int>(out.size()));
    }
    s.SetBytesProcessed(static_cast<std::int64_t>(s.iterations() * c.Raw.size()));
}

// A memory stream that shows its bytes: what a buffered stream offering a
// look at its buffer gives the inflater.
struct PeekMemStream : TBaseStream, TPeekableStream {
    const Bytes *data = nullptr;
    std::size_t pos = 0;
    PeekMemStream() { CanRead = true; }
    int Write(const void *, int) override { return 0; }
    int Read(void *p, int n) override
    {
        const std::size_t m = std::min(static_cast<std::size_t>(n), data->size() - pos);
        std::memcpy(p, data->data() + pos, m);
        pos += m;
        return static_cast<int>(m);
    }
    int Available() override { return static_cast<int>(data->size() - pos); }
    const std::uint8_t *Peek(int &count) override
    {
        count = static_cast<int>(std::min<std::size_t>(data->size() - pos, 65536));
        return data->data() + pos;
    }
    void Skip(int count) override { pos += static_cast<std::size_t>(count); }
};

void InflatePeek_Ours(benchmark::State &s, std::string name)
{
    const InflateCase &c = InflateCases()[name];
    PeekMemStream mem;
    mem.data = &c.Packed;
    Bytes out(c.Raw.size());
    for (auto _ : s) {
        mem.pos = 0;
        TDeflateStream d(&mem, 0);
        d.Read(out.data(), static_cast<int>(out.size()));
    }
    if (out != c.Raw)
        s.SkipWithError("mismatch");
    s.SetBytesProcessed(static_cast<std::int64_t>(s.iterations() * c.Raw.size()));
}

// ---------------------------------------------------------------- PNG save

std::map<std::string, std::unique_ptr<TLinearBitmap>> &Bitmaps()
{
    static std::map<std::string, std::unique_ptr<TLinearBitmap>> m;
    return m;
}

Bytes SaveOurs(const TLinearBitmap &b)
{
    TPNGLoader loader;
    TMemStream mem;
    loader.SaveToStream(mem, "PNG", b);
    Bytes out(static_cast<std::size_t>(mem.Size()));
    mem.Seek(0);
    mem.Read(out.data(), static_cast<int>(out.size()));
    return out;
}

void PngWrite(png_structp png, png_bytep data, png_size_t n)
{
    auto *v = static_cast<Bytes *>(png_get_io_ptr(png));
    v->insert(v->end(), data, data + n);
}
void PngFlush(png_structp) {}

// libpng with its defaults: zlib level 6, adaptive filters; BGR rows as they lie.
Bytes SaveLibpng(const TLinearBitmap &b)
{
    Bytes out;
    out.reserve(static_cast<std::size_t>(b.Size) / 4);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, PngWrite, PngFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(b.Width), static_cast<png_uint_32>(b.Height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    for (int y = 0; y < b.Height; ++y)
        png_write_row(png, b.ScanLine(y));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

void PngSave_Ours(benchmark::State &s, std::string name)
{
    const TLinearBitmap &b = *Bitmaps()[name];
    std::size_t size = 0;
    for (auto _ : s)
        size = SaveOurs(b).size();
    s.counters["bytes"] = static_cast<double>(size);
    s.SetBytesProcessed(static_cast<std::int64_t>(s.iterations()) * b.Size);
}
void PngSave_Peer(benchmark::State &s, std::string name)
{
    const TLinearBitmap &b = *Bitmaps()[name];
    std::size_t size = 0;
    for (auto _ : s)
        size = SaveLibpng(b).size();
    s.counters["bytes"] = static_cast<double>(size);
    s.SetBytesProcessed(static_cast<std::int64_t>(s.iterations()) * b.Size);
}

// ------------------------------------------------------------- peak memory

// Every C++ allocation of the process is counted, so the peak of one save is
// exact and independent of what the allocator keeps resident.
std::atomic<long long> LiveBytes{0}, PeakBytes{0};

void Track(long long delta)
{
    const long long now = LiveBytes.fetch_add(delta) + delta;
    long long peak = PeakBytes.load();
    while (now > peak && !PeakBytes.compare_exchange_weak(peak, now)) {
    }
}

// Peak of live C++ heap bytes while saving, above what was live before, as a
// multiple of the bitmap's size. Saved to a file as the application does.
void PeakMemory(benchmark::State &s, std::string name)
{
    const TLinearBitmap &b = *Bitmaps()[name];
    const std::string file = "/tmp/kss-bench-peak.png";
    double ratio = 0;
    for (auto _ : s) {
        const long long before = LiveBytes.load();
        PeakBytes.store(before);
        TPNGLoader loader;
        loader.SaveToFile(file, "PNG", b);
        ratio = static_cast<double>(PeakBytes.load() - before) / b.Size;
    }
    std::remove(file.c_str());
    s.counters["peak_over_bitmap"] = ratio;
}

// Keeps every run's time and counters for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> Time;
    std::map<std::string, double> Size;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const auto &r : runs) {
            if (r.error_occurred || r.run_type != Run::RT_Iteration)
                continue;
            Time[r.benchmark_name()] = r.GetAdjustedRealTime();
            auto it = r.counters.find("bytes");
            if (it != r.counters.end())
                Size[r.benchmark_name()] = it->second.value;
        }
    }
    void PrintRatios() const
    {
        std::printf("\n%-40s %12s %12s\n", "case", "time o/p", "size o/p");
        for (const auto &[name, t] : Time) {
            const auto slash = name.rfind("/ours");
            if (slash == std::string::npos)
                continue;
            const std::string peer = name.substr(0, slash) + "/peer" + name.substr(slash + 5);
            auto p = Time.find(peer);
            if (p == Time.end())
                continue;
            std::printf("%-40s %12.3f", (name.substr(0, slash) + name.substr(slash + 5)).c_str(), t / p->second);
            auto so = Size.find(name), sp = Size.find(peer);
            if (so != Size.end() && sp != Size.end())
                std::printf(" %12.3f", so->second / sp->second);
            std::printf("\n");
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
    benchmark::RegisterBenchmark("crc32/ours", CRC32_Ours);
    benchmark::RegisterBenchmark("crc32/peer", CRC32_Peer);
    benchmark::RegisterBenchmark("adler32/ours", Adler32_Ours);
    benchmark::RegisterBenchmark("adler32/peer", Adler32_Peer);
    for (const char *name : Screens1080) {
        auto bmp = LoadScreen(name);
        if (!bmp) {
            std::fprintf(stderr, "missing test data: %s\n", name);
            return 1;
        }
        InflateCase c;
        c.Raw.assign(bmp->Map.get(), bmp->Map.get() + bmp->Size);
        c.Packed = ZlibRaw(c.Raw.data(), c.Raw.size(), 6);
        InflateCases()[name] = std::move(c);
        Bitmaps()[name] = std::move(bmp);
        const std::string n = name;
        benchmark::RegisterBenchmark(("inflate/ours/" + n).c_str(), Inflate_Ours, n)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("inflate/peer/" + n).c_str(), Inflate_Peer, n)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("inflate-stream/ours/" + n).c_str(), InflateStream_Ours, n)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("inflate-stream/peer/" + n).c_str(), Inflate_Peer, n)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("inflate-vs-libdeflate/ours/" + n).c_str(), Inflate_Ours, n)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("inflate-vs-libdeflate/peer/" + n).c_str(), Inflate_Libdeflate, n)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("inflate-buffered/ours/" + n).c_str(), InflateBuffered_Ours, n)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("inflate-buffered/peer/" + n).c_str(), Inflate_Peer, n)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("inflate-peek/ours/" + n).c_str(), InflatePeek_Ours, n)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("inflate-peek/peer/" + n).c_str(), Inflate_Peer, n)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("pngsave/ours/" + n).c_str(), PngSave_Ours, n)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("pngsave/peer/" + n).c_str(), PngSave_Peer, n)->Unit(benchmark::kMillisecond);
    }
    for (const char *name : {"desktop-3840x2160.png", "web-docs-3840x2160.png"}) {
        auto bmp = LoadScreen(name);
        if (!bmp) {
            std::fprintf(stderr, "missing test data: %s\n", name);
            return 1;
        }
        Bitmaps()[name] = std::move(bmp);
        const std::string n = name;
        benchmark::RegisterBenchmark(("peakmem/" + n).c_str(), PeakMemory, n)->Iterations(1)->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
