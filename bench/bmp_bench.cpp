// Loading and saving the shared screenshots as 24-bit BMP: our loader and
// writer against Qt's BMP reader and writer on the same data (in memory, and
// saved into a new file as captures are), and against a plain memcpy of the
// pixels into a new block. The end of the run prints the
// time ratios ours/Qt and ours/memcpy.
#include "BenchCommon.h"
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

// As the capture is saved: into a new file.
const std::string kFile = bench::TempFile("capture.bmp");

void SaveFile_Ours(benchmark::State &s, const std::string &name)
{
    const Case &c = Cases()[name];
    for (auto _ : s) {
        TFileStream file(kFile, fmRead | fmWrite | fmCreate);
        BMPLoader()->SaveToStream(file, "BMP", *c.Bitmap);
        file.Finish();
    }
    std::remove(kFile.c_str());
}

void SaveFile_Qt(benchmark::State &s, const std::string &name)
{
    const Case &c = Cases()[name];
    for (auto _ : s)
        if (!c.Image.save(QString::fromStdString(kFile), "BMP"))
            s.SkipWithError("Qt could not write the file");
    std::remove(kFile.c_str());
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

// Our time over Qt's and over a plain copy, per operation and picture.
void PrintRatios(const bench::TRatioReporter &reporter)
{
    std::printf("\n%-36s %10s %10s\n", "case", "ours/Qt", "ours/memcpy");
    for (const auto &[name, c] : Cases())
        for (const std::string op : {"load", "save", "savefile"}) {
            const double qt = reporter.Ratio(op + "/ours/" + name, op + "/qt/" + name);
            const double copy = reporter.Ratio(op + "/ours/" + name, "memcpy/" + name);
            if (qt > 0 && copy > 0)
                std::printf("%-36s %10.3f %10.3f\n", (op + " " + name).c_str(), qt, copy);
        }
}

} // namespace

int main(int argc, char **argv)
{
    RegisterBMPLoader();
    for (const std::string n : {"desktop-1920x1080.png", "desktop-3840x2160.png"}) {
        Case c;
        c.Image = bench::LoadScreen(n, QImage::Format_RGB32);
        c.Bitmap = bench::ScreenBitmap(n);
        TMemStream mem;
        WriteBMP(mem, *c.Bitmap);
        c.File.resize(mem.Size());
        mem.Seek(0);
        mem.Read(c.File.data(), mem.Size());
        Cases()[n] = std::move(c);
        using Fn = void (*)(benchmark::State &, const std::string &);
        const std::pair<const char *, Fn> runs[] = {{"load/ours/", Load_Ours}, {"load/qt/", Load_Qt},
                                                    {"save/ours/", Save_Ours}, {"save/qt/", Save_Qt},
                                                    {"savefile/ours/", SaveFile_Ours}, {"savefile/qt/", SaveFile_Qt},
                                                    {"memcpy/", Memcpy}};
        for (const auto &[op, fn] : runs)
            bench::RegisterMs(op + n, fn, n);
    }
    bench::TRatioReporter reporter;
    reporter.RunBenchmarks(argc, argv);
    PrintRatios(reporter);
    return 0;
}
