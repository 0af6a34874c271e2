"""End-to-end helpers: arguments, xdotool and a second X client (exact key taps, a held key grab),
waiting, screen colours; starting and ending the program, its lock, the overlay; a private program
copy, recording fake tools, a screen pattern, the action dialog and message form."""
import argparse
import contextlib
import ctypes
import fcntl
import os
import pwd
import shutil
import signal
import subprocess
import sys
import time

PURPLE = (0x47, 0x00, 0xB8)  # the forms' colour 0xB80047 (blue in the high byte)
GREY = (0x5F, 0x5F, 0x5F)    # their panels' colour


def args():
    p = argparse.ArgumentParser()
    p.add_argument("--program", default="")
    return p.parse_args()


def xdotool(*a, check=True):
    r = subprocess.run(["xdotool", *a], capture_output=True, text=True)
    if check and r.returncode != 0:
        raise RuntimeError(f"xdotool {' '.join(a)} failed: {r.stderr}")
    return r.stdout.strip()


def wait_for(pred, timeout=10.0, step=0.05, what="condition"):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        v = pred()
        if v:
            return v
        time.sleep(step)
    raise AssertionError(f"timed out waiting for {what}")


def never(pred, seconds):
    """True when `pred` stays false for `seconds`."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if pred():
            return False
        time.sleep(0.05)
    return True


def visible_windows(name): return xdotool("search", "--onlyvisible", "--name", name, check=False).split()


def fail(msg): sys.exit(f"FAIL: {msg}")


def work_dir(): return os.environ.get("E2E_WORK", "/tmp")


def screen():
    """The whole display as an RGB PIL image."""
    from PIL import Image
    subprocess.run(["import", "-window", "root", path := os.path.join(work_dir(), "screen.png")], check=True, timeout=30)
    with Image.open(path) as img:
        return img.convert("RGB")


def colours_off(img, checks):
    """None when every {what: ((x, y), rgb)} holds in `img`; else the first miss."""
    return next((f"{what} at {xy} is {img.getpixel(xy)}, expected {want}"
                 for what, (xy, want) in checks.items() if img.getpixel(xy) != want), None)


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
        """Holds a passive grab of the key with exactly `modifiers` on the root window until exit."""
        _x11.XGrabKey(self.dpy, _x11.XKeysymToKeycode(self.dpy, keysym), modifiers, self.root, True, 1, 1)  # async
        _x11.XSync(self.dpy, False)


OVERLAY = "fmMain"


def lock_is_held():
    """True while some process holds the single-instance lock."""
    path = os.path.join(os.environ["XDG_RUNTIME_DIR"], "KorvaneScreenShotIsActive." + os.environ["DISPLAY"] + ".lock")
    if not os.path.exists(path):
        return False
    with open(path, "rb") as f:
        try:
            fcntl.flock(f, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return False
        except BlockingIOError:
            return True


def start(program, name="main"):
    proc = subprocess.Popen([program], stdout=open(os.path.join(work_dir(), name + ".log"), "wb"), stderr=subprocess.STDOUT)
    wait_for(lock_is_held, timeout=10, what="the program to take its lock")
    return proc


def stop(proc, sig=signal.SIGTERM, timeout=10):
    return (proc.poll() is None and proc.send_signal(sig)) or proc.wait(timeout=timeout)


@contextlib.contextmanager
def running(program, name="main"):
    """The started program, to end after the block with code 0 on SIGTERM; killed if the block fails."""
    proc = start(program, name)
    try:
        yield proc
        if proc.poll() is not None:
            raise AssertionError(f"the program ended by itself: {proc.returncode}")
        if stop(proc) != 0:
            raise AssertionError(f"exit code {proc.returncode}")
    finally:
        if proc.poll() is None:
            proc.kill()


def overlay_shown(): return bool(visible_windows(OVERLAY))
def key(*combo): xdotool("key", *combo)


def hold_escape(seconds=0.25):
    # The program samples the key state every 50 ms: hold it like a person.
    xdotool("keydown", "Escape")
    time.sleep(seconds)
    xdotool("keyup", "Escape")


def escape_overlay(what="Escape to hide the overlay"):
    hold_escape()
    wait_for(lambda: not overlay_shown(), what=what)


def press_until(combo, pred, what, attempts=10):
    """Presses `combo` until `pred` holds (the keys may not be grabbed yet); returns what `pred` gave."""
    for _ in range(attempts):
        key(combo)
        try:
            return wait_for(pred, timeout=1.5, what=what)
        except AssertionError:
            pass
    raise AssertionError(f"{combo} never showed {what}")


def open_overlay(attempts=10): press_until("ctrl+Print", overlay_shown, "the overlay", attempts)


TITLE = "Korvane ScreenShot"
DIALOG_SIZE = (629, 229)


def settings_file(program):
    return program + "." + pwd.getpwuid(os.geteuid()).pw_name + ".ini"


def private_program(program, folder, fmt="PNG"):
    """A copy of the program (its settings file lives beside it) saving into `folder` as `fmt`."""
    copy = os.path.join(work_dir(), "bin", "korvane-screenshot")
    os.makedirs(os.path.dirname(copy), exist_ok=True)
    shutil.copy2(program, copy)
    open(settings_file(copy), "w").write(f"[Generics]\nDestinationFolder={folder}\nImageFileFormat={fmt}\n")
    return copy


def fake_tools():
    """Fake xdg-email and xdg-open first on PATH: each call's arguments go to a file, one per line,
    then the tool lingers like a real client; returns the folder of the files."""
    fakebin, calls = os.path.join(work_dir(), "fakebin"), os.path.join(work_dir(), "calls")
    [os.makedirs(d, exist_ok=True) for d in (fakebin, calls)]
    for tool in ("xdg-email", "xdg-open"):
        open(path := os.path.join(fakebin, tool), "w").write(
            f"#!/bin/sh\nout=\"{calls}/{tool}.$$\"\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$out.tmp\"\n"
            "mv \"$out.tmp\" \"$out\"\nsleep 30\n")
        os.chmod(path, 0o700)
    os.environ["PATH"] = fakebin + ":" + os.environ.get("PATH", "")
    return calls


def recorded_calls(calls, tool):
    return [open(os.path.join(calls, n)).read().splitlines() for n in sorted(os.listdir(calls))
            if n.startswith(tool + ".") and not n.endswith(".tmp")]


def paint_pattern():
    """Fills the root window with a pattern of unique pixels; returns it as a PIL image."""
    from PIL import Image
    w, h = (int(v) for v in xdotool("getdisplaygeometry").split())
    img = Image.new("RGB", (w, h))
    img.putdata([(x & 255, y & 255, ((x >> 8) << 4) | (y >> 8)) for y in range(h) for x in range(w)])
    img.save(path := os.path.join(work_dir(), "pattern.png"))
    subprocess.run(["display", "-window", "root", path], capture_output=True, timeout=60)
    return img


def geometry(win):
    vals = dict(line.split("=") for line in xdotool("getwindowgeometry", "--shell", win).splitlines())
    return int(vals["X"]), int(vals["Y"]), int(vals["WIDTH"]), int(vals["HEIGHT"])


def _titled(is_dialog):
    for w in visible_windows(TITLE):
        try:
            g = geometry(w)
        except RuntimeError:
            continue  # gone meanwhile
        if ((g[2], g[3]) == DIALOG_SIZE) == is_dialog:
            return w, g


def action_dialog(): return _titled(True)
def message_form(): return _titled(False)
def wait_dialog(what="the action dialog"): return wait_for(action_dialog, timeout=10, what=what)
def wait_gone(pred, what): wait_for(lambda: not pred(), timeout=10, what=what)


def focus(win): [xdotool(how, "--sync", win, check=False) for how in ("windowactivate", "windowfocus")]


def press_in(win, *keys):
    focus(win)
    time.sleep(0.1)
    xdotool("key", *keys)


def close_dialog(keys="Escape", what="the action dialog to close"):
    """Presses `keys` (Escape cancels, Return saves) in the action dialog until it has gone."""
    press_in(wait_dialog()[0], keys)
    wait_gone(action_dialog, what)


# Button centres in the dialog's client area (Panel1 at 58, 6; buttons 164 x 45).
BUTTONS = {"save": (7, 11), "open": (7, 62), "clipboard": (7, 113), "email": (7, 164),
           "settings": (175, 62), "about": (175, 113)}


def click_at(geo, x, y):
    xdotool("mousemove", str(geo[0] + x), str(geo[1] + y))
    time.sleep(0.1)
    xdotool("click", "1")


def click_button(dialog, name): click_at(dialog[1], 58 + BUTTONS[name][0] + 82, 6 + BUTTONS[name][1] + 22)


def drag(x1, y1, x2, y2):
    """Drags in steps, like a hand, starting clear of the instruction panel (top left, 570 x 70)."""
    time.sleep(0.2)  # the panel needs this to clear the starting point
    [xdotool("mousemove", str(x), str(y)) for x, y in ((x1 + 1, y1 + 1), (x1, y1))]
    time.sleep(0.6)
    xdotool("mousedown", "1")
    for i in range(1, 5):
        xdotool("mousemove", str(x1 + (x2 - x1) * i // 4), str(y1 + (y2 - y1) * i // 4))
        time.sleep(0.05)
    time.sleep(0.1)
    xdotool("mouseup", "1")


def select_area(x1, y1, x2, y2, attempts=10):
    """ctrl+Print and a drag; returns the action dialog."""
    press_until("ctrl+Print", overlay_shown, "the overlay", attempts)
    drag(x1, y1, x2, y2)
    wait_for(lambda: not overlay_shown(), what="the selection to end")
    return wait_dialog()


@contextlib.contextmanager
def tray_host():
    """A tray host (wmdocker) for the block; yields its window."""
    host = subprocess.Popen(["wmdocker"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        dock = wait_for(lambda: xdotool("search", "--name", "^Docker$", check=False).split(), what="the tray host")[0]
        xdotool("windowmap", dock)  # it waits for a window manager's dock otherwise
        yield dock
    finally:
        host.kill()


def tray_menu():
    found = xdotool("search", "--onlyvisible", "--class", "korvane-screenshot", check=False).split()
    return [w for w in found if geometry(w)[3] > 100]  # the icon itself is 24 pixels high


def open_tray_menu(dock):
    """Right-clicks the program's icon in the tray host until its menu shows; returns the menu's geometry."""
    x, y = geometry(dock)[:2]
    xdotool("mousemove", str(x + 12), str(y + 12))  # on the icon; the menu opens over it
    for _ in range(20):  # the icon reaches the host a moment after the start
        xdotool("click", "3")
        if not never(tray_menu, 0.5):
            break
    return geometry(wait_for(tray_menu, what="the tray menu")[0])


def whole_screen_dialog(): return press_until("alt+Print", action_dialog, "the action dialog")


def wait_file(path, timeout=10):
    """Waits until `path` exists and its size has stopped changing."""
    def stable():
        before = os.path.exists(path) and os.path.getsize(path)
        return time.sleep(0.2) or before and os.path.getsize(path) == before
    wait_for(stable, timeout=timeout, what=f"{path} to be written")


def check_pixels(path, pattern, box, fmt):
    """Fails unless Pillow reads `path` as `fmt` holding exactly the `box` of the pattern."""
    from PIL import Image, ImageChops
    want, img = pattern.crop(box), Image.open(path)
    got = img.convert("RGB")
    diff = (f"read as {img.format}" if img.format != fmt else f"size {got.size}, expected {want.size}"
            if got.size != want.size else ImageChops.difference(got, want).getbbox())
    if diff:
        fail(f"{os.path.basename(path)}: {diff} differs")


def save_whole_screen(shot):
    """alt+Print and Enter (Save); returns once `shot` is written and the dialog has gone."""
    press_in(whole_screen_dialog()[0], "Return")
    wait_file(shot)
    wait_gone(action_dialog, "the dialog to close after Save")
