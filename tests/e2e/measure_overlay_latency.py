"""Measures the time from the Ctrl+PrintScreen key press to the selection
overlay being on screen (its message panel's colour read back from the
display), on a private Xvfb of the size given. A measurement, not a test:

    tests/e2e/run_e2e.sh --size 3840x2160 /usr/bin/python3 \
        tests/e2e/measure_overlay_latency.py --program build/app/korvane-screenshot
"""
import ctypes
import statistics
import sys
import time

from e2elib import args
from spinelib import start, stop

PANEL = (0x47, 0x00, 0xB8)  # the message panel's colour
# The panel starts at (24, 0) and heads for (10, 10) on the first timer tick;
# each point lies on the panel's own colour at one of the two places.
PROBES = ((24 + 300, 2), (10 + 300, 10 + 2))

x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
xtst = ctypes.cdll.LoadLibrary("libXtst.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XGetImage.restype = ctypes.c_void_p
x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                          ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
x11.XGetPixel.restype = ctypes.c_ulong
x11.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
x11.XDestroyImage.argtypes = [ctypes.c_void_p]
x11.XKeysymToKeycode.restype = ctypes.c_ubyte
x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XFlush.argtypes = [ctypes.c_void_p]
xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]

dpy = x11.XOpenDisplay(None)
root = x11.XDefaultRootWindow(dpy)
CTRL = x11.XKeysymToKeycode(dpy, 0xffe3)
PRINT = x11.XKeysymToKeycode(dpy, 0xff61)
ESC = x11.XKeysymToKeycode(dpy, 0xff1b)
ZPIXMAP, ALLPLANES = 2, 0xFFFFFFFF


def pixel(x, y):
    img = x11.XGetImage(dpy, root, x, y, 1, 1, ALLPLANES, ZPIXMAP)
    v = x11.XGetPixel(img, 0, 0)
    x11.XDestroyImage(img)
    return ((v >> 16) & 0xff, (v >> 8) & 0xff, v & 0xff)


def overlay_on_screen():
    return any(pixel(x, y) == PANEL for x, y in PROBES)


def keys(*events):
    for code, down in events:
        xtst.XTestFakeKeyEvent(dpy, code, 1 if down else 0, 0)
    x11.XFlush(dpy)


def wait(pred, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if pred():
            return True
    return False


a = args()
proc = start(a.program)
time.sleep(1.0)  # let it grab its keys
samples = []
try:
    for i in range(16):
        t0 = time.monotonic()
        keys((CTRL, True), (PRINT, True), (PRINT, False), (CTRL, False))
        if not wait(overlay_on_screen, 5):
            sys.exit("the overlay did not appear")
        ms = (time.monotonic() - t0) * 1000
        if i > 0:  # the first capture also sets up shared memory and fonts
            samples.append(ms)
        keys((ESC, True))
        time.sleep(0.2)
        keys((ESC, False))
        if not wait(lambda: not overlay_on_screen(), 5):
            sys.exit("the overlay did not go away")
        time.sleep(0.2)
finally:
    stop(proc)
print(f"hot key -> overlay on screen, {len(samples)} runs: median {statistics.median(samples):.1f} ms, "
      f"min {min(samples):.1f} ms, max {max(samples):.1f} ms")
