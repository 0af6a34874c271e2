#pragma once
// The local date and time with milliseconds, behind an injectable source so
// that time stamps, daily file names and date-dependent choices are testable.
#include <functional>

namespace platform {

struct DateTime {
    int Year = 0, Month = 0, Day = 0;
    int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
    bool operator==(const DateTime &) const = default;
};

// The current local time from the installed source (the system clock unless a
// test installed another).
DateTime Now();

using ClockSource = std::function<DateTime()>;
// Installs `source` as the clock; an empty function restores the system clock.
void SetClockSource(ClockSource source);

// The system's local time, ignoring any installed source.
DateTime SystemNow();

// Installs a fixed or stepping clock for the lifetime of the object.
class ScopedClock {
public:
    explicit ScopedClock(ClockSource source) { SetClockSource(std::move(source)); }
    ~ScopedClock() { SetClockSource({}); }
    ScopedClock(const ScopedClock &) = delete;
    ScopedClock &operator=(const ScopedClock &) = delete;
};

} // namespace platform
