// Loading and saving the shared screenshots as 24-bit BMP: our loader and
// writer against Qt's BMP reader and writer on the same data, and against a
// plain memcpy of the pixels into a new block. The end of the run prints the
// time ratios ours/Qt and ours/memcpy.
#include "imaging/BMPLoader.h"
#include "imaging/MemStream.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>

using namespace imaging;

namespace {

struct Case {
    std::unique_ptr<TLinearBitmap> Bitmap; // 24-bit
    QImage Image;                          // the same pixels as a grabbed screen holds them (RGB32)
    QByteArray File;                       // our 24-bit BMP of it
};
std::map<std::string, Case> &Cases()
{
    static std::map<std::string, Case> cases;
    return cases;
}

void Load_Ours(benchmark::State &s, const std::string &name)
{
    const Case &c = Cases()[name];
    TMemStream mem;
    mem.Write(c.File.constData(), static_cast<int>(c.File.size()));
    for (auto _ : s) {
        mem.Seek(0);
        TLinearBitmap b;
        BMPLoader()->LoadFromStream(mem, "BMP", b);
        benchmark::DoNotOptimize(b.Map.get());
    }
}

void Load_Qt(benchmark::State &s, const std::string &name)
{
    const Case &c = Cases()[name];
    for (auto _ : s) {
        QBuffer buffer;
        buffer.setData(c.File);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "BMP");
        QImage image;
        if (!reader.read(&image))
            s.SkipWithError("Qt could not read the file");
        benchmark::DoNotOptimize(image.constBits());
    }
}

void Save_Ours(benchmark::State &s, const std::string &name)
{
    const Case &c = Cases()[name];
    for (auto _ : s) {
        TMemStream mem;
        BMPLoader()->SaveToStream(mem, "BMP", *c.Bitmap);
        benchmark::DoNotOptimize(mem.Size());
    }
}

void Save_Qt(benchmark::State &s, const std::string &name)
{
    const Case &c = Cases()[name];
    for (auto _ : s) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        c.Image.save(&buffer, "BMP");
        benchmark::DoNotOptimize(buffer.data().size());
    }
}

// What any load or save must at least do: copy the pixels into new memory.
void Memcpy(benchmark::State &s, const std::string &name)
{
    const Case &c = Cases()[name];
    for (auto _ : s) {
        auto block = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(c.Bitmap->Size));
        std::memcpy(block.get(), c.Bitmap->Map.get(), static_cast<std::size_t>(c.Bitmap->Size));
        benchmark::DoNotOptimize(block.get());
    }
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
        std::printf("\n%-36s %10s %10s\n", "case", "ours/Qt", "ours/memcpy");
        for (const auto &[name, c] : Cases()) {
            for (const char *op : {"load", "save"}) {
                const auto ours = Time.find(std::string(op) + "/ours/" + name);
                const auto qt = Time.find(std::string(op) + "/qt/" + name);
                const auto copy = Time.find("memcpy/" + name);
                if (ours == Time.end() || qt == Time.end() || copy == Time.end())
                    continue;
                std::printf("%-36s %10.3f %10.3f\n", (std::string(op) + " " + name).c_str(),
                            ours->second / qt->second, ours->second / copy->second);
            }
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    RegisterBMPLoader();
    for (const char *name : {"desktop-1920x1080.png", "desktop-3840x2160.png"}) {
        const QImage image(QString(KSS_TESTDATA_DIR) + "/screens/" + name);
        if (image.isNull()) {
            std::fprintf(stderr, "missing test data: %s\n", name);
            return 1;
        }
        Case c;
        c.Image = image.convertToFormat(QImage::Format_RGB32);
        c.Bitmap = std::make_unique<TLinearBitmap>();
        c.Bitmap->Assign(image.convertToFormat(QImage::Format_BGR888));
        TMemStream mem;
        WriteBMP(mem, *c.Bitmap);
        c.File.resize(mem.Size());
        mem.Seek(0);
        mem.Read(c.File.data(), mem.Size());
        Cases()[name] = std::move(c);
        const std::string n = name;
        using Fn = void (*)(benchmark::State &, const std::string &);
        const std::pair<const char *, Fn> runs[] = {{"load/ours/", Load_Ours}, {"load/qt/", Load_Qt},
                                                    {"save/ours/", Save_Ours}, {"save/qt/", Save_Qt},
                                                    {"memcpy/", Memcpy}};
        for (const auto &[op, fn] : runs)
            benchmark::RegisterBenchmark((op + n).c_str(), fn, n)->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
