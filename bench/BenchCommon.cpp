#include "BenchCommon.h"

#include "imaging/LinarBitmap.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace bench {

namespace {

[[noreturn]] void Fail(const char *what, const std::string &path)
{
    std::fprintf(stderr, "%s: %s\n", what, path.c_str());
    std::exit(1);
}

// The run's scratch folder; its destructor runs at exit, also after Fail.
struct TScratch {
    std::string Path;
    TScratch()
    {
        std::string name = (std::filesystem::temp_directory_path() / "kss-bench-XXXXXX").string();
        if (!::mkdtemp(name.data()))
            Fail("cannot make a temporary folder", name);
        Path = name;
    }
    ~TScratch()
    {
        std::error_code ec;
        std::filesystem::remove_all(Path, ec);
    }
};

// The ratio of two values of which either may be missing (0).
double Quotient(double ours, double peer)
{
    return ours > 0 && peer > 0 ? ours / peer : 0;
}

// "a/b/c" as {"a", "b", "c"}.
std::vector<std::string> Split(const std::string &name)
{
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t slash; (slash = name.find('/', from)) != std::string::npos; from = slash + 1)
        parts.push_back(name.substr(from, slash - from));
    parts.push_back(name.substr(from));
    return parts;
}

// The parts joined by '/' with part `at` replaced (left out when empty).
std::string Join(const std::vector<std::string> &parts, std::size_t at, const std::string &replacement)
{
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string &p = i == at ? replacement : parts[i];
        if (!p.empty())
            out += (out.empty() ? "" : "/") + p;
    }
    return out;
}

} // namespace

std::string TestData(const std::string &rel)
{
    const std::string path = std::string(KSS_TESTDATA_DIR) + "/" + rel;
    if (!std::filesystem::exists(path))
        Fail("missing test data", path);
    return path;
}

QByteArray ReadTestData(const std::string &rel)
{
    const std::string path = TestData(rel);
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        Fail("cannot read test data", path);
    return file.readAll();
}

QImage LoadScreen(const std::string &name, QImage::Format format, Qt::ImageConversionFlags flags)
{
    const std::string path = TestData("screens/" + name);
    const QImage image(QString::fromStdString(path));
    if (image.isNull())
        Fail("cannot read test data", path);
    return image.convertToFormat(format, flags);
}

std::unique_ptr<imaging::TLinearBitmap> ScreenBitmap(const std::string &name)
{
    auto bitmap = std::make_unique<imaging::TLinearBitmap>();
    bitmap->Assign(LoadScreen(name, QImage::Format_BGR888));
    return bitmap;
}

const std::string &TempFolder()
{
    static const TScratch scratch;
    return scratch.Path;
}

std::string TempFile(const std::string &name)
{
    return TempFolder() + "/" + name;
}

void ChooseQtPlatform()
{
    ::setenv("QT_QPA_PLATFORM", std::getenv("DISPLAY") ? "xcb" : "offscreen", 0);
}

void TRatioReporter::ReportRuns(const std::vector<Run> &runs)
{
    ConsoleReporter::ReportRuns(runs);
    for (const Run &r : runs) {
        if (r.error_occurred)
            continue;
        const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
        if (!median && r.run_type != Run::RT_Iteration)
            continue;
        // The name as registered, without what the library appends.
        std::string name = r.run_name.function_name;
        if (!r.run_name.args.empty())
            name += "/" + r.run_name.args;
        if (!median && medians_.count(name))
            continue;
        if (median)
            medians_.insert(name);
        times_[name] = r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
        for (const auto &[counter, value] : r.counters)
            counters_[name][counter] = value.value;
    }
}

void TRatioReporter::RunBenchmarks(int &argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks(this);
    benchmark::Shutdown();
}

double TRatioReporter::Time(const std::string &name) const
{
    const auto it = times_.find(name);
    return it == times_.end() ? 0 : it->second;
}

double TRatioReporter::Counter(const std::string &name, const std::string &counter) const
{
    const auto run = counters_.find(name);
    if (run == counters_.end())
        return 0;
    const auto it = run->second.find(counter);
    return it == run->second.end() ? 0 : it->second;
}

double TRatioReporter::Ratio(const std::string &ours, const std::string &peer) const
{
    return Quotient(Time(ours), Time(peer));
}

void TRatioReporter::PrintTable(const std::string &title, const std::vector<TRatioColumn> &columns) const
{
    struct Row {
        std::string Case;
        std::vector<double> Ratios;
    };
    std::vector<Row> rows;
    std::size_t caseWidth = 4;
    for (const auto &[name, time] : times_) {
        const std::vector<std::string> parts = Split(name);
        const auto ours = std::find(parts.begin(), parts.end(), "ours");
        if (ours == parts.end())
            continue;
        const std::size_t at = std::size_t(ours - parts.begin());
        Row row{Join(parts, at, ""), {}};
        bool any = false;
        for (const TRatioColumn &c : columns) {
            const std::string peer = Join(parts, at, c.Peer);
            const double ratio = c.Counter.empty() ? Quotient(time, Time(peer))
                                                   : Quotient(Counter(name, c.Counter), Counter(peer, c.Counter));
            row.Ratios.push_back(ratio);
            any = any || ratio > 0;
        }
        if (any) {
            caseWidth = std::max(caseWidth, row.Case.size());
            rows.push_back(std::move(row));
        }
    }
    std::printf("\n");
    if (!title.empty())
        std::printf("%s\n", title.c_str());
    std::printf("%-*s", int(caseWidth), "case");
    for (const TRatioColumn &c : columns)
        std::printf(" %*s", int(std::max<std::size_t>(10, c.Header.size())), c.Header.c_str());
    std::printf("\n");
    for (const Row &row : rows) {
        std::printf("%-*s", int(caseWidth), row.Case.c_str());
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const int width = int(std::max<std::size_t>(10, columns[i].Header.size()));
            if (row.Ratios[i] > 0)
                std::printf(" %*.3f", width, row.Ratios[i]);
            else
                std::printf(" %*s", width, "-");
        }
        std::printf("\n");
    }
}

} // namespace bench
