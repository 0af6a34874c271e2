#pragma once
// Whether a key is held down right now, read from the display server, not
// from the events this program happened to receive.
#include <memory>

namespace platform {

class TKeyState {
public:
    virtual ~TKeyState() = default;
    // True when any key that produces the X keysym `keysym` is down.
    virtual bool IsKeyDown(unsigned keysym) = 0;
};

// The X keyboard state (one round trip per call); always "up" without X11.
std::unique_ptr<TKeyState> CreateSystemKeyState();

} // namespace platform

namespace platform {
// X keysyms of the keys the program asks about.
inline constexpr unsigned ksPrint = 0xff61;
inline constexpr unsigned ksEscape = 0xff1b;
} // namespace platform
