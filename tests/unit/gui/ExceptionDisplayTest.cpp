#include "platform/gui/ExceptionDisplay.h"

#include "platform/core/Exceptions.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

TEST(ExceptionDisplay, GuardedCallsShowWhatTheyRaiseAndNothingEscapes)
{
    std::vector<std::string> seen;
    platform::SetExceptionDisplay([&](const std::exception &e) {
        seen.push_back(platform::ExceptionClassName(e) + ": " + e.what());
    });
    int ran = 0;
    platform::RunShowingExceptions([&] { ++ran; });
    EXPECT_NO_THROW(platform::RunShowingExceptions([] { throw platform::EInOutError("Disk full"); }));
    EXPECT_NO_THROW(platform::RunShowingExceptions([] { throw 42; }));
    EXPECT_NO_THROW(platform::RunShowingExceptions([] { throw platform::EAbort(); })); // shows nothing
    platform::ShowException(platform::EInOutError("Disk full"));
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(seen, (std::vector<std::string>{"EInOutError: Disk full", "Exception: Unknown exception",
                                              "EInOutError: Disk full"}));
    // A display that fails itself must not turn one error into a crash.
    platform::SetExceptionDisplay([](const std::exception &) { throw std::runtime_error("again"); });
    EXPECT_NO_THROW(platform::ShowException(std::runtime_error("first")));
    platform::SetExceptionDisplay({});
}
