// Cost of a trace line for the caller, against what a developer would write
// instead: a time-stamped line through stdio. Both end in /dev/null; the
// trace component formats and queues, then flushes every 1000 lines.
#include "BenchCommon.h"
#include "support/QX_VisualTraceCore.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <ctime>
#include <string>
#include <sys/time.h>

namespace {

const std::string ShortText = "Capture of 1920 x 1080 done in 12 ms";
const std::string LongText(600, 'x');

void TraceAdd(benchmark::State &state, const std::string &text)
{
    support::TVisualTraceCore trace;
    trace.SetDataFileName("/dev/null");
    trace.SetToFile(true);
    trace.SetCurrentLevel(7);
    trace.Activate();
    long n = 0;
    for (auto _ : state) {
        trace.Add(3, {}, text);
        if (++n % 1000 == 0)
            trace.Flush();
    }
    trace.Flush();
    state.SetItemsProcessed(state.iterations());
}

void StdioLine(benchmark::State &state, const std::string &text)
{
    FILE *f = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        timeval tv{};
        ::gettimeofday(&tv, nullptr);
        tm t{};
        ::localtime_r(&tv.tv_sec, &t);
        std::fprintf(f, " %04d/%02d/%02d %02d:%02d:%02d.%03d %s\r\n", t.tm_year + 1900,
                     t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                     static_cast<int>(tv.tv_usec / 1000), text.c_str());
    }
    std::fclose(f);
    state.SetItemsProcessed(state.iterations());
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::RegisterBenchmark("short/ours", TraceAdd, ShortText);
    benchmark::RegisterBenchmark("short/stdio", StdioLine, ShortText);
    benchmark::RegisterBenchmark("wrapped600/ours", TraceAdd, LongText);
    benchmark::RegisterBenchmark("wrapped600/stdio", StdioLine, LongText);
    bench::TRatioReporter reporter;
    reporter.RunBenchmarks(argc, argv);
    reporter.PrintTable("Trace line against a stdio line, time", {{"ours/stdio", "stdio", ""}});
    return 0;
}
