#pragma once
// Shared by the trace tests: a clock moved by hand, a line collector and the stamp prefix.
#include "platform/core/Clock.h"
#include "support/QX_VisualTraceCore.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace tracetest {

inline platform::DateTime At(int y, int mo, int d, int h = 10, int mi = 0, int s = 0, int ms = 0)
{
    return platform::DateTime{y, mo, d, h, mi, s, ms};
}

struct ManualClock {
    explicit ManualClock(platform::DateTime t) : now(std::make_shared<platform::DateTime>(t)) {}
    void Set(platform::DateTime t) { *now = t; }
    std::shared_ptr<platform::DateTime> now;
    platform::ScopedClock scoped{[n = now] { return *n; }};
};

// A standard-output sink that appends to `lines`.
inline support::TTraceLineSink Into(std::vector<std::string> &lines)
{
    return [&lines](const std::vector<std::string> &l) { lines.insert(lines.end(), l.begin(), l.end()); };
}

// The prefix of a line stamped at `t` (without the level).
inline std::string Prefix(const platform::DateTime &t)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, " %04d/%02d/%02d %02d:%02d:%02d.%03d ", t.Year, t.Month, t.Day, t.Hour, t.Minute,
                  t.Second, t.Millisecond);
    return buf;
}
} // namespace tracetest
