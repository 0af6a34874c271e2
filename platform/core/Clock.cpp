#include "platform/core/Clock.h"

#include <mutex>
#include <sys/time.h>
#include <time.h>

namespace platform {

namespace {
std::mutex g_clockLock;
ClockSource g_clock;
} // namespace

DateTime SystemNow()
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    ::localtime_r(&ts.tv_sec, &local);
    DateTime d;
    d.Year = local.tm_year + 1900;
    d.Month = local.tm_mon + 1;
    d.Day = local.tm_mday;
    d.Hour = local.tm_hour;
    d.Minute = local.tm_min;
    d.Second = local.tm_sec;
    d.Millisecond = static_cast<int>(ts.tv_nsec / 1000000);
    return d;
}

DateTime Now()
{
    ClockSource source;
    {
        std::lock_guard<std::mutex> lock(g_clockLock);
        source = g_clock;
    }
    return source ? source() : SystemNow();
}

void SetClockSource(ClockSource source)
{
    std::lock_guard<std::mutex> lock(g_clockLock);
    g_clock = std::move(source);
}

} // namespace platform
