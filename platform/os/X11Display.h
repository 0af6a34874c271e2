#pragma once
// Access to Qt's own X connection and small keyboard look-ups on it. Every
// routine degrades to "nothing" (null, 0, empty) when the program does not run
// on X11 (offscreen tests, Wayland).
#include <cstdint>
#include <vector>

struct xcb_connection_t;

namespace platform::x11 {

// Qt's xcb connection, or null when the platform is not X11.
xcb_connection_t *Connection();
// Waits until the X server has carried out every request sent so far (a
// round trip); does nothing without X11.
void Sync();
// The root window of the primary screen (0 when there is none).
std::uint32_t PrimaryRoot();
// The root windows of every X screen of the display.
std::vector<std::uint32_t> AllRoots();
// Every keycode that produces `keysym` in the current keyboard mapping.
std::vector<std::uint8_t> KeycodesOf(std::uint32_t keysym);
// The modifier bit (e.g. Mod2 for Num_Lock) that one of the keycodes of
// `keysym` is mapped to; `fallback` when none is.
std::uint16_t ModifierMaskOf(std::uint32_t keysym, std::uint16_t fallback);

} // namespace platform::x11
