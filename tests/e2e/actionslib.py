"""Capture-action helpers: a private program copy, recording fake tools, a screen pattern, the dialogs."""
import os
import pwd
import shutil
import subprocess
import time

from e2elib import fail, visible_windows, wait_for, work_dir, xdotool
from spinelib import overlay_shown, press_until

TITLE = "Korvane ScreenShot"
DIALOG_SIZE = (629, 229)


def settings_file(program):
    return program + "." + pwd.getpwuid(os.geteuid()).pw_name + ".ini"


def private_program(program, folder, fmt="PNG"):
    """A copy of the program (its settings file lives beside it) saving into `folder` as `fmt`."""
    copy = os.path.join(work_dir(), "bin", "korvane-screenshot")
    os.makedirs(os.path.dirname(copy), exist_ok=True)
    shutil.copy2(program, copy)
    with open(settings_file(copy), "w") as f:
        f.write(f"[Generics]\nDestinationFolder={folder}\nImageFileFormat={fmt}\n")
    return copy


def fake_tools():
    """Fake xdg-email and xdg-open first on PATH: each call's arguments go to a file, one per line,
    then the tool lingers like a real client; returns the folder of the files."""
    fakebin, calls = os.path.join(work_dir(), "fakebin"), os.path.join(work_dir(), "calls")
    os.makedirs(fakebin, exist_ok=True)
    os.makedirs(calls, exist_ok=True)
    for tool in ("xdg-email", "xdg-open"):
        path = os.path.join(fakebin, tool)
        with open(path, "w") as f:
            f.write(f"#!/bin/sh\nout=\"{calls}/{tool}.$$\"\n"
                    "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$out.tmp\"\n"
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
    path = os.path.join(work_dir(), "pattern.png")
    img.save(path)
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
    return None


def action_dialog(): return _titled(True)
def message_form(): return _titled(False)
def wait_dialog(what="the action dialog"): return wait_for(action_dialog, timeout=10, what=what)
def wait_gone(pred, what): wait_for(lambda: not pred(), timeout=10, what=what)


def focus(win):
    for how in ("windowactivate", "windowfocus"):
        xdotool(how, "--sync", win, check=False)


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


def click_button(dialog, name):
    bx, by = BUTTONS[name]
    click_at(dialog[1], 58 + bx + 82, 6 + by + 22)


def drag(x1, y1, x2, y2):
    """Drags in steps, like a hand, starting clear of the instruction panel (top left, 570 x 70)."""
    time.sleep(0.2)  # the panel needs this to clear the starting point
    xdotool("mousemove", str(x1 + 1), str(y1 + 1))
    xdotool("mousemove", str(x1), str(y1))
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
    want = pattern.crop(box)
    with Image.open(path) as img:
        got = img.convert("RGB")
        diff = (f"read as {img.format}" if img.format != fmt else
                f"size {got.size}, expected {want.size}" if got.size != want.size else
                ImageChops.difference(got, want).getbbox())
    if diff:
        fail(f"{os.path.basename(path)}: {diff} differs")


def save_whole_screen(shot):
    """alt+Print and Enter (Save); returns once `shot` is written and the dialog has gone."""
    press_in(whole_screen_dialog()[0], "Return")
    wait_file(shot)
    wait_gone(action_dialog, "the dialog to close after Save")
