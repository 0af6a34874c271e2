#pragma once
// What a piece of work costs the test process: the rise of its peak resident memory and the user CPU time of all its threads
// (painting may use Qt's thread pool). System time is left out: it is mostly the kernel handing out the pages that the peak
// already bounds, and its cost per page differs widely between machines.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <fstream>
#include <string>

namespace itest {

struct TUsage {
    double PeakMiB = 0;    // peak resident memory during the work, above the resident memory before it
    double CpuSeconds = 0; // user time
};

// A "Vm...:  N kB" line of /proc/self/status, in MiB.
inline double StatusMiB(const std::string &key)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key + ":", 0) == 0)
            return std::stod(line.substr(key.size() + 1)) / 1024;
    ADD_FAILURE() << key << " missing from /proc/self/status";
    return 0;
}

inline double CpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec) + ru.ru_utime.tv_usec / 1e6;
}

template <typename F> TUsage UsageOf(F &&f)
{
    {
        // "5" resets the peak to the present resident size.
        std::ofstream reset("/proc/self/clear_refs");
        reset << "5" << std::flush;
        EXPECT_TRUE(reset.good()) << "cannot reset the peak resident memory";
    }
    const double rss = StatusMiB("VmRSS"), cpu = CpuSeconds();
    f();
    return {StatusMiB("VmHWM") - rss, CpuSeconds() - cpu};
}

} // namespace itest
