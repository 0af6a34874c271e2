"""Measures the time from the Ctrl+PrintScreen key press to the selection
overlay being on screen (its panel's colour read back from the display), on a
private Xvfb of the size given. A measurement, not a test:

    tests/e2e/run_e2e.sh --size 3840x2160 /usr/bin/python3 \
        bench/measure_overlay_latency.py --program build/app/korvane-screenshot
"""
import os
import statistics
import sys
import time

# The end-to-end helpers drive the program and read the display.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))

import ctypes  # noqa: E402

import e2elib  # noqa: E402
from e2elib import PURPLE, XK_ESCAPE, XK_PRINT, args, start, stop  # noqa: E402

XK_CONTROL_L = 0xffe3
_P, _UL, _I, _U = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_uint
for fn, res, argt in (("XGetImage", _P, [_P, _UL, _I, _I, _U, _U, _UL, _I]),
                      ("XGetPixel", _UL, [_P, _I, _I]), ("XDestroyImage", _I, [_P])):
    getattr(e2elib._x11, fn).restype, getattr(e2elib._x11, fn).argtypes = res, argt


class Client(e2elib.Client):
    """The tests' X client, plus key chords sent at once and single pixels read back."""

    def keys(self, *events):
        for keysym, down in events:
            e2elib._xtst.XTestFakeKeyEvent(self.dpy, e2elib._x11.XKeysymToKeycode(self.dpy, keysym), down, 0)
        e2elib._x11.XFlush(self.dpy)

    def pixel(self, x, y):
        img = e2elib._x11.XGetImage(self.dpy, self.root, x, y, 1, 1, 0xFFFFFFFF, 2)  # ZPixmap
        v = e2elib._x11.XGetPixel(img, 0, 0)
        e2elib._x11.XDestroyImage(img)
        return (v >> 16) & 0xff, (v >> 8) & 0xff, v & 0xff

# The panel starts at (24, 0) and heads for (10, 10) on the first timer tick;
# each point lies on the panel's colour at one of the two places.
PROBES = ((24 + 300, 2), (10 + 300, 10 + 2))
x = Client()


def wait_overlay(shown):
    end = time.monotonic() + 5
    while time.monotonic() < end:
        if any(x.pixel(*p) == PURPLE for p in PROBES) == shown:
            return
    sys.exit(f"the overlay did not {'appear' if shown else 'go away'}")


proc = start(args().program)
time.sleep(1.0)  # let it grab its keys
samples = []
try:
    for i in range(16):
        t0 = time.monotonic()
        x.keys((XK_CONTROL_L, True), (XK_PRINT, True), (XK_PRINT, False), (XK_CONTROL_L, False))
        wait_overlay(True)
        if i > 0:  # the first capture also sets up shared memory and fonts
            samples.append((time.monotonic() - t0) * 1000)
        x.tap(XK_ESCAPE, 0.2)
        wait_overlay(False)
        time.sleep(0.2)
finally:
    stop(proc)
print(f"hot key -> overlay on screen, {len(samples)} runs: median {statistics.median(samples):.1f} ms, "
      f"min {min(samples):.1f} ms, max {max(samples):.1f} ms")
