// The library's buffered file and memory streams against what a user would
// take instead: stdio's buffered FILE and Qt's QFile / QBuffer. Small pieces
// (as the format readers and writers ask for them) and large ones.
#include "BenchCommon.h"
#include "imaging/BufStream.h"
#include "imaging/MemStream.h"
#include "imaging/Streams.h"

#include <QBuffer>
#include <QFile>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kFileBytes = 8 << 20;

const std::string &TestFile()
{
    static const std::string name = [] {
        std::string n = bench::TempFile("streams.bin");
        std::FILE *f = std::fopen(n.c_str(), "wb");
        std::vector<char> data(kFileBytes);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<char>(i * 131 + (i >> 9));
        std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
        return n;
    }();
    return name;
}

void ReadOurs(benchmark::State &state)
{
    const int piece = static_cast<int>(state.range(0));
    std::vector<char> buf(static_cast<std::size_t>(piece));
    for (auto _ : state) {
        auto s = imaging::OpenBufferedFile(TestFile(), false);
        for (int done = 0; done < kFileBytes; done += piece)
            s->Read(buf.data(), piece);
        benchmark::DoNotOptimize(buf.data());
        imaging::FreeFilterChain(std::move(s));
    }
    state.SetBytesProcessed(state.iterations() * kFileBytes);
}

void ReadStdio(benchmark::State &state)
{
    const std::size_t piece = static_cast<std::size_t>(state.range(0));
    std::vector<char> buf(piece);
    for (auto _ : state) {
        std::FILE *f = std::fopen(TestFile().c_str(), "rb");
        for (std::size_t done = 0; done < kFileBytes; done += piece)
            benchmark::DoNotOptimize(std::fread(buf.data(), 1, piece, f));
        std::fclose(f);
    }
    state.SetBytesProcessed(state.iterations() * kFileBytes);
}

void ReadQFile(benchmark::State &state)
{
    const qint64 piece = state.range(0);
    std::vector<char> buf(static_cast<std::size_t>(piece));
    for (auto _ : state) {
        QFile f(QString::fromStdString(TestFile()));
        f.open(QIODevice::ReadOnly);
        for (qint64 done = 0; done < kFileBytes; done += piece)
            benchmark::DoNotOptimize(f.read(buf.data(), piece));
    }
    state.SetBytesProcessed(state.iterations() * kFileBytes);
}

void WriteOurs(benchmark::State &state)
{
    const int piece = static_cast<int>(state.range(0));
    std::vector<char> buf(static_cast<std::size_t>(piece), 'x');
    const std::string name = TestFile() + ".out";
    for (auto _ : state) {
        auto s = imaging::OpenBufferedFile(name, true);
        for (int done = 0; done < kFileBytes; done += piece)
            s->Write(buf.data(), piece);
        imaging::FreeFilterChain(std::move(s));
    }
    state.SetBytesProcessed(state.iterations() * kFileBytes);
}

void WriteStdio(benchmark::State &state)
{
    const std::size_t piece = static_cast<std::size_t>(state.range(0));
    std::vector<char> buf(piece, 'x');
    const std::string name = TestFile() + ".out";
    for (auto _ : state) {
        std::FILE *f = std::fopen(name.c_str(), "wb");
        for (std::size_t done = 0; done < kFileBytes; done += piece)
            std::fwrite(buf.data(), 1, piece, f);
        std::fclose(f);
    }
    state.SetBytesProcessed(state.iterations() * kFileBytes);
}

void MemOurs(benchmark::State &state)
{
    const int piece = static_cast<int>(state.range(0));
    std::vector<char> buf(static_cast<std::size_t>(piece), 'x');
    for (auto _ : state) {
        imaging::TMemStream s;
        for (int done = 0; done < kFileBytes; done += piece)
            s.Write(buf.data(), piece);
        benchmark::DoNotOptimize(s.Size());
    }
    state.SetBytesProcessed(state.iterations() * kFileBytes);
}

void MemQBuffer(benchmark::State &state)
{
    const qint64 piece = state.range(0);
    std::vector<char> buf(static_cast<std::size_t>(piece), 'x');
    for (auto _ : state) {
        QBuffer b;
        b.open(QIODevice::WriteOnly);
        for (qint64 done = 0; done < kFileBytes; done += piece)
            b.write(buf.data(), piece);
        benchmark::DoNotOptimize(b.size());
    }
    state.SetBytesProcessed(state.iterations() * kFileBytes);
}

} // namespace

int main(int argc, char **argv)
{
    const std::pair<const char *, void (*)(benchmark::State &)> runs[] = {
        {"read/ours", ReadOurs},   {"read/stdio", ReadStdio}, {"read/qfile", ReadQFile}, {"write/ours", WriteOurs},
        {"write/stdio", WriteStdio}, {"memory/ours", MemOurs}, {"memory/qbuffer", MemQBuffer}};
    for (const auto &[name, fn] : runs) {
        auto *b = benchmark::RegisterBenchmark(name, fn)->Arg(4)->Arg(4096);
        if (std::string(name).rfind("memory", 0) != 0)
            b->Arg(1 << 20);
    }
    bench::TRatioReporter reporter;
    reporter.RunBenchmarks(argc, argv);
    reporter.PrintTable("Streams by piece size in bytes, time",
                        {{"ours/stdio", "stdio", ""}, {"ours/QFile", "qfile", ""}, {"ours/QBuffer", "qbuffer", ""}});
    return 0;
}
