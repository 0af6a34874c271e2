#pragma once
// What a piece of work costs a test process: the rise of its peak memory and its user CPU time
// (all threads: painting may use Qt's thread pool).
// With AddressSanitizer the heap is counted through its allocation hooks: freed blocks wait in its
// quarantine and its shadow pages count as resident, so the process's size says little. Otherwise
// the resident peak, reset at the start; large blocks are mapped one by one, so freeing gives their
// pages back at once. System time is left out: it is mostly the kernel handing out the pages that
// the peak already bounds, and its cost per page differs widely between machines.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KSS_TEST_ASAN
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(KSS_TEST_ASAN)
#define KSS_TEST_ASAN
#endif
#ifdef KSS_TEST_ASAN
#include <sanitizer/allocator_interface.h>
#else
#include <malloc.h>
#endif

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <cstdint>
#include <fstream>
#include <string>

namespace testutil {

// The highest memory in use since construction, above what was in use then.
class TPeakMemory {
public:
#ifdef KSS_TEST_ASAN
    TPeakMemory()
    {
        [[maybe_unused]] static const int hooked = __sanitizer_install_malloc_and_free_hooks(Allocated, Freed);
        Peak = start_ = Live.load();
    }
    std::int64_t Bytes() const { return Peak - start_; }

private:
    static inline std::atomic<std::int64_t> Live{0}, Peak{0};
    static void Allocated(const volatile void *, std::size_t n)
    {
        const std::int64_t now = Live += std::int64_t(n);
        for (std::int64_t p = Peak; now > p && !Peak.compare_exchange_weak(p, now);) {
        }
    }
    static void Freed(const volatile void *p) { Live -= std::int64_t(__sanitizer_get_allocated_size(const_cast<const void *>(p))); }
#else
    TPeakMemory()
    {
        [[maybe_unused]] static const int mapped = mallopt(M_MMAP_THRESHOLD, 1 << 16);
        std::ofstream reset("/proc/self/clear_refs"); // "5" resets the peak to the present resident size
        reset << "5" << std::flush;
        EXPECT_TRUE(reset.good()) << "cannot reset the peak resident memory";
        start_ = Status("VmRSS:");
    }
    std::int64_t Bytes() const { return Status("VmHWM:") - start_; }

private:
    // A "Vm...:  N kB" line of /proc/self/status, in bytes.
    static std::int64_t Status(const std::string &key)
    {
        std::ifstream in("/proc/self/status");
        for (std::string line; std::getline(in, line);)
            if (line.starts_with(key))
                return std::stoll(line.substr(key.size())) * 1024;
        ADD_FAILURE() << key << " missing from /proc/self/status";
        return 0;
    }
#endif
    std::int64_t start_ = 0;
};

inline double CpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec) + double(ru.ru_utime.tv_usec) / 1e6;
}

struct TUsage {
    double PeakMiB = 0;    // peak memory during the work, above what was in use before it
    double CpuSeconds = 0; // user time
};

template <typename F> TUsage UsageOf(F &&f)
{
    const TPeakMemory memory;
    const double cpu = CpuSeconds();
    f();
    return {double(memory.Bytes()) / (1 << 20), CpuSeconds() - cpu};
}

} // namespace testutil
