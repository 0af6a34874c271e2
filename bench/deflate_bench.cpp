// The checksums, the inflater and the PNG writer side by side with zlib and
// libpng on the shared screenshots (decoded to 24-bit), the inflater also with
// libdeflate and through the library's streams, plus the peak memory
// of saving a 3840x2160 capture. Pairs are named <case>/ours and <case>/peer;
// the end of the run prints the time ratios ours/peer and the size ratios.
#include "BenchCommon.h"
#include "BenchHeap.h"
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

#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

using namespace imaging;
using Bytes = std::vector<std::uint8_t>;

namespace {

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

// One round sums the megabyte.
template <class F>
void Checksum(benchmark::State &s, F sum)
{
    const Bytes &b = RandomMB();
    bench::TimeBytes(s, [&] {
        benchmark::DoNotOptimize(sum(b));
        return b.size();
    });
}

void CRC32_Ours(benchmark::State &s)
{
    Checksum(s, [](const Bytes &b) { return CRC32Update(0xFFFFFFFFu, b.data(), b.size()); });
}
void CRC32_Peer(benchmark::State &s)
{
    Checksum(s, [](const Bytes &b) { return crc32(0, b.data(), static_cast<uInt>(b.size())); });
}
void Adler32_Ours(benchmark::State &s)
{
    Checksum(s, [](const Bytes &b) {
        TAdler32 a;
        a.Update(b.data(), static_cast<std::int64_t>(b.size()));
        return a.Value();
    });
}
void Adler32_Peer(benchmark::State &s)
{
    Checksum(s, [](const Bytes &b) { return adler32(1, b.data(), static_cast<uInt>(b.size())); });
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

// Times `once(c, out)`, which inflates the case into `out`; output that
// differs from the raw bytes fails the run.
template <class F>
void InflateRun(benchmark::State &s, const std::string &name, F once)
{
    const InflateCase &c = InflateCases()[name];
    Bytes out(c.Raw.size());
    bench::TimeBytes(s, [&] {
        once(c, out);
        return c.Raw.size();
    });
    if (out != c.Raw)
        s.SkipWithError("mismatch");
}

void Inflate_Ours(benchmark::State &s, std::string name)
{
    InflateRun(s, name, [&](const InflateCase &c, Bytes &out) {
        Inflater inf;
        inf.SetInput(c.Packed.data(), c.Packed.size());
        if (inf.Read(out.data(), out.size()) != out.size())
            s.SkipWithError("short");
    });
}
void Inflate_Peer(benchmark::State &s, std::string name)
{
    InflateRun(s, name, [&](const InflateCase &c, Bytes &out) {
        z_stream z{};
        inflateInit2(&z, -15);
        z.next_in = const_cast<Bytef *>(c.Packed.data());
        z.avail_in = static_cast<uInt>(c.Packed.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        if (inflate(&z, Z_FINISH) != Z_STREAM_END)
            s.SkipWithError("zlib");
        inflateEnd(&z);
    });
}
void Inflate_Libdeflate(benchmark::State &s, std::string name)
{
    libdeflate_decompressor *d = libdeflate_alloc_decompressor();
    InflateRun(s, name, [&](const InflateCase &c, Bytes &out) {
        if (libdeflate_deflate_decompress(d, c.Packed.data(), c.Packed.size(), out.data(), out.size(), nullptr) !=
            LIBDEFLATE_SUCCESS)
            s.SkipWithError("libdeflate");
    });
    libdeflate_free_decompressor(d);
}
// The filter stream over the library's memory stream, which shows its
// blocks to the inflater; or, buffered, over the library's buffered stream
// over it, the way the PNG reader reads a file.
void InflateStream_Ours(benchmark::State &s, std::string name, bool buffered)
{
    TMemStream mem;
    const Bytes &packed = InflateCases()[name].Packed;
    mem.Write(packed.data(), static_cast<int>(packed.size()));
    InflateRun(s, name, [&](const InflateCase &, Bytes &out) {
        mem.Seek(0);
        std::optional<TBufferedStream> buffer;
        if (buffered)
            buffer.emplace(-1, 0, &mem);
        TDeflateStream d(buffer ? &*buffer : static_cast<TBaseStream *>(&mem), 0);
        d.Read(out.data(), static_cast<int>(out.size()));
    });
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
    PeekMemStream mem;
    mem.data = &InflateCases()[name].Packed;
    InflateRun(s, name, [&](const InflateCase &, Bytes &out) {
        mem.pos = 0;
        TDeflateStream d(&mem, 0);
        d.Read(out.data(), static_cast<int>(out.size()));
    });
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

void PngSave(benchmark::State &s, std::string name, Bytes (*save)(const TLinearBitmap &))
{
    const TLinearBitmap &b = *Bitmaps()[name];
    std::size_t size = 0;
    for (auto _ : s)
        size = save(b).size();
    s.counters["bytes"] = static_cast<double>(size);
    s.SetBytesProcessed(static_cast<std::int64_t>(s.iterations()) * b.Size);
}

// Peak of live heap bytes while saving, above what was live before, as a
// multiple of the bitmap's size. Saved to a file as the application does.
void PeakMemory(benchmark::State &s, std::string name)
{
    const TLinearBitmap &b = *Bitmaps()[name];
    const std::string file = bench::TempFile("peak.png");
    double ratio = 0;
    for (auto _ : s) {
        const bench::TPeakHeap peak;
        TPNGLoader loader;
        loader.SaveToFile(file, "PNG", b);
        ratio = static_cast<double>(peak.Bytes()) / b.Size;
    }
    std::remove(file.c_str());
    s.counters["peak_over_bitmap"] = ratio;
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::RegisterBenchmark("crc32/ours", CRC32_Ours);
    benchmark::RegisterBenchmark("crc32/peer", CRC32_Peer);
    benchmark::RegisterBenchmark("adler32/ours", Adler32_Ours);
    benchmark::RegisterBenchmark("adler32/peer", Adler32_Peer);
    for (const std::string &n : bench::Screens1080) {
        auto bmp = bench::ScreenBitmap(n);
        InflateCase c;
        c.Raw.assign(bmp->Map.get(), bmp->Map.get() + bmp->Size);
        c.Packed = ZlibRaw(c.Raw.data(), c.Raw.size(), 6);
        InflateCases()[n] = std::move(c);
        Bitmaps()[n] = std::move(bmp);
        bench::RegisterMs("inflate/ours/" + n, Inflate_Ours, n);
        bench::RegisterMs("inflate/peer/" + n, Inflate_Peer, n);
        bench::RegisterMs("inflate-stream/ours/" + n, InflateStream_Ours, n, false);
        bench::RegisterMs("inflate-stream/peer/" + n, Inflate_Peer, n);
        bench::RegisterMs("inflate-vs-libdeflate/ours/" + n, Inflate_Ours, n);
        bench::RegisterMs("inflate-vs-libdeflate/peer/" + n, Inflate_Libdeflate, n);
        bench::RegisterMs("inflate-buffered/ours/" + n, InflateStream_Ours, n, true);
        bench::RegisterMs("inflate-buffered/peer/" + n, Inflate_Peer, n);
        bench::RegisterMs("inflate-peek/ours/" + n, InflatePeek_Ours, n);
        bench::RegisterMs("inflate-peek/peer/" + n, Inflate_Peer, n);
        bench::RegisterMs("pngsave/ours/" + n, PngSave, n, &SaveOurs);
        bench::RegisterMs("pngsave/peer/" + n, PngSave, n, &SaveLibpng);
    }
    for (const std::string &n : bench::Screens2160) {
        Bitmaps()[n] = bench::ScreenBitmap(n);
        bench::RegisterMs("peakmem/" + n, PeakMemory, n)->Iterations(1);
    }
    bench::TRatioReporter reporter;
    reporter.RunBenchmarks(argc, argv);
    reporter.PrintTable("", {{"time o/p", "peer", ""}, {"size o/p", "peer", "bytes"}});
    return 0;
}
