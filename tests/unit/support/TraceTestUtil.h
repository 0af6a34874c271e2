#pragma once
// Shared by the trace tests: a settable clock and a headless component that
// is active and has an output on.
#include "platform/core/Clock.h"
#include "support/QX_VisualTraceCore.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tracetest {

inline platform::DateTime At(int y, int mo, int d, int h = 10, int mi = 0, int s = 0, int ms = 0)
{
    return platform::DateTime{y, mo, d, h, mi, s, ms};
}

// A clock the test moves by hand.
class ManualClock {
public:
    explicit ManualClock(platform::DateTime t)
        : now_(std::make_shared<platform::DateTime>(t)), scoped_([n = now_] { return *n; })
    {
    }
    void Set(platform::DateTime t) { *now_ = t; }

private:
    std::shared_ptr<platform::DateTime> now_;
    platform::ScopedClock scoped_;
};

// Collects what a flush sends to standard output.
struct StdoutCapture {
    std::vector<std::string> lines;
    support::TTraceLineSink Sink()
    {
        return [this](const std::vector<std::string> &l) {
            lines.insert(lines.end(), l.begin(), l.end());
        };
    }
};

// The prefix of a line stamped at `t` (without the level).
inline std::string Prefix(const platform::DateTime &t)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, " %04d/%02d/%02d %02d:%02d:%02d.%03d ", t.Year, t.Month, t.Day,
                  t.Hour, t.Minute, t.Second, t.Millisecond);
    return buf;
}

} // namespace tracetest
