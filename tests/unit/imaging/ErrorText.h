#pragma once
// The text of the exception a call raises, for tests that check exact messages.
#include <exception>
#include <string>

namespace imaging_test {

inline constexpr const char *kNoException = "<no exception>";

// The message of the E that `f` raises, or "<no exception>"; an exception of
// another type passes through and fails the test.
template <typename E = std::exception, typename F>
std::string MessageOf(F &&f)
{
    try {
        f();
    } catch (const E &e) {
        return e.what();
    }
    return kNoException;
}

} // namespace imaging_test
