"""A second X client for the end-to-end tests, through ctypes: key taps of
an exact length (XTEST) and a key grab held as another program would hold
it."""
import ctypes
import time

_x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
_xtst = ctypes.cdll.LoadLibrary("libXtst.so.6")
_x11.XOpenDisplay.restype = ctypes.c_void_p
_x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
_x11.XDefaultRootWindow.restype = ctypes.c_ulong
_x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
_x11.XKeysymToKeycode.restype = ctypes.c_ubyte
_x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
_x11.XGrabKey.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_uint, ctypes.c_ulong,
                          ctypes.c_int, ctypes.c_int, ctypes.c_int]
_x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
_x11.XFlush.argtypes = [ctypes.c_void_p]
_x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
_xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]

XK_ESCAPE = 0xff1b
XK_PRINT = 0xff61
MOD1 = 1 << 3  # Alt on the default keymap
GRAB_MODE_ASYNC = 1


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

    def tap(self, keysym, seconds):
        """Presses the key and releases it `seconds` later."""
        code = _x11.XKeysymToKeycode(self.dpy, keysym)
        _xtst.XTestFakeKeyEvent(self.dpy, code, True, 0)
        _x11.XFlush(self.dpy)
        time.sleep(seconds)
        _xtst.XTestFakeKeyEvent(self.dpy, code, False, 0)
        _x11.XFlush(self.dpy)

    def grab_key(self, keysym, modifiers):
        """Holds a passive grab of the key with exactly `modifiers` on the
        root window until the client closes."""
        code = _x11.XKeysymToKeycode(self.dpy, keysym)
        _x11.XGrabKey(self.dpy, code, modifiers, self.root, True, GRAB_MODE_ASYNC, GRAB_MODE_ASYNC)
        _x11.XSync(self.dpy, False)
