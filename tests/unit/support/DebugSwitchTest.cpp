// The developer debug switch: the developer host and the debug day.
#include "support/DebugSwitch.h"
#include "platform/core/Clock.h"
#include <gtest/gtest.h>

using namespace support;

TEST(DebugSwitchTest, OnlyTheDeveloperHostOnTheDebugDayIsADebugDay)
{
    const struct { const char *host; platform::DateTime at; bool developer, debugDay; } cases[] = {
        {"_korvane-dev", {2009, 9, 9, 23, 59, 59, 999}, true, true},
        {"_Korvane-DEV-box.example.org", {2009, 9, 9, 0, 0, 0, 0}, true, true},
        {"_korvane-dev", {2009, 9, 10, 0, 0, 0, 0}, true, false},
        {"example._korvane-dev", {2009, 9, 9, 12, 0, 0, 0}, false, false}, // only the short name counts
        {"_korvane-de", {2009, 9, 9, 12, 0, 0, 0}, false, false},
    };
    for (const auto &c : cases) {
        SetHostNameSource([h = std::string(c.host)] { return h; });
        const platform::ScopedClock clock([t = c.at] { return t; });
        EXPECT_EQ(DeveloperMachine(), c.developer) << c.host;
        EXPECT_EQ(IsDebugDay(), c.debugDay) << c.host << " " << c.at.Day << " " << c.at.Hour;
    }
    SetHostNameSource({});
    EXPECT_FALSE(DeveloperMachine()); // no build machine is the developers'
    // The prefix test folds ASCII case only and refuses empty texts.
    EXPECT_FALSE(StartsWith("\xc3\xa4", "\xc3\x84") || StartsWith("a", "") || StartsWith("", ""));
}
