"""A second X client for the end-to-end tests, through ctypes: key taps of
an exact length (XTEST), a key grab held as another program would hold it,
and single pixels read back from the screen."""
import ctypes
import time

_x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
_xtst = ctypes.cdll.LoadLibrary("libXtst.so.6")
_P, _UL, _I, _U = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_uint
for fn, res, argt in (("XOpenDisplay", _P, [ctypes.c_char_p]), ("XDefaultRootWindow", _UL, [_P]),
                      ("XKeysymToKeycode", ctypes.c_ubyte, [_P, _UL]),
                      ("XGrabKey", _I, [_P, _I, _U, _UL, _I, _I, _I]), ("XSync", _I, [_P, _I]),
                      ("XFlush", _I, [_P]), ("XCloseDisplay", _I, [_P]),
                      ("XGetImage", _P, [_P, _UL, _I, _I, _U, _U, _UL, _I]),
                      ("XGetPixel", _UL, [_P, _I, _I]), ("XDestroyImage", _I, [_P])):
    getattr(_x11, fn).restype, getattr(_x11, fn).argtypes = res, argt
_xtst.XTestFakeKeyEvent.argtypes = [_P, _U, _I, _UL]

XK_ESCAPE, XK_PRINT, XK_CONTROL_L = 0xff1b, 0xff61, 0xffe3
MOD1 = 1 << 3  # Alt on the default keymap


class Client:
    def __init__(self):
        self.dpy = _x11.XOpenDisplay(None)
        if not self.dpy:
            raise RuntimeError("cannot open the X display")
        self.root = _x11.XDefaultRootWindow(self.dpy)

    def close(self):
        if self.dpy:
            _x11.XCloseDisplay(self.dpy)
            self.dpy = None

    def keys(self, *events):
        """Sends (keysym, down) key events at once."""
        for keysym, down in events:
            _xtst.XTestFakeKeyEvent(self.dpy, _x11.XKeysymToKeycode(self.dpy, keysym), down, 0)
        _x11.XFlush(self.dpy)

    def tap(self, keysym, seconds):
        """Presses the key and releases it `seconds` later."""
        self.keys((keysym, True))
        time.sleep(seconds)
        self.keys((keysym, False))

    def grab_key(self, keysym, modifiers):
        """Holds a passive grab of the key with exactly `modifiers` on the root
        window until the client closes."""
        _x11.XGrabKey(self.dpy, _x11.XKeysymToKeycode(self.dpy, keysym), modifiers, self.root,
                      True, 1, 1)  # GrabModeAsync
        _x11.XSync(self.dpy, False)

    def pixel(self, x, y):
        img = _x11.XGetImage(self.dpy, self.root, x, y, 1, 1, 0xFFFFFFFF, 2)  # ZPixmap
        v = _x11.XGetPixel(img, 0, 0)
        _x11.XDestroyImage(img)
        return (v >> 16) & 0xff, (v >> 8) & 0xff, v & 0xff
