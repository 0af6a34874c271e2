"""A second X client through ctypes: key taps of an exact length (XTEST) and a
key grab held as another program would hold it."""
import ctypes
import sys
import time

_x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
_xtst = ctypes.cdll.LoadLibrary("libXtst.so.6")
_P, _UL, _I, _U = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_uint
for fn, res, argt in (("XOpenDisplay", _P, [ctypes.c_char_p]), ("XDefaultRootWindow", _UL, [_P]),
                      ("XKeysymToKeycode", ctypes.c_ubyte, [_P, _UL]),
                      ("XGrabKey", _I, [_P, _I, _U, _UL, _I, _I, _I]), ("XSync", _I, [_P, _I]),
                      ("XFlush", _I, [_P])):
    getattr(_x11, fn).restype, getattr(_x11, fn).argtypes = res, argt
_xtst.XTestFakeKeyEvent.argtypes = [_P, _U, _I, _UL]

XK_ESCAPE, XK_PRINT = 0xff1b, 0xff61
MOD1 = 1 << 3  # Alt on the default keymap


class Client:
    def __init__(self):
        self.dpy = _x11.XOpenDisplay(None) or sys.exit("cannot open the X display")
        self.root = _x11.XDefaultRootWindow(self.dpy)

    def tap(self, keysym, seconds):
        """Presses the key and releases it `seconds` later."""
        for down in (True, False):
            _xtst.XTestFakeKeyEvent(self.dpy, _x11.XKeysymToKeycode(self.dpy, keysym), down, 0)
            _x11.XFlush(self.dpy)
            time.sleep(seconds if down else 0)

    def grab_key(self, keysym, modifiers):
        """Holds a passive grab of the key with exactly `modifiers` on the root
        window until the client closes."""
        _x11.XGrabKey(self.dpy, _x11.XKeysymToKeycode(self.dpy, keysym), modifiers, self.root,
                      True, 1, 1)  # GrabModeAsync
        _x11.XSync(self.dpy, False)
