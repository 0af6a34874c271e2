"""Helpers for the end-to-end tests of the capture actions: a private copy of
the program with its own settings file, fake mail and file-manager programs
that record their arguments, a known pattern on the screen, and the action
dialog and message form."""
import os
import pwd
import shutil
import stat
import subprocess
import time

from e2elib import fail, visible_windows, wait_for, work_dir, xdotool

TITLE = "Korvane ScreenShot"
DIALOG_SIZE = (629, 229)


def private_program(program, folder, fmt="PNG"):
    """Copies the program into the work folder (its settings file lives
    beside it) and writes settings with `folder` and `fmt`."""
    bindir = os.path.join(work_dir(), "bin")
    os.makedirs(bindir, exist_ok=True)
    copy = os.path.join(bindir, "korvane-screenshot")
    shutil.copy2(program, copy)
    write_settings(copy, folder, fmt)
    return copy


def write_settings(program, folder, fmt):
    user = pwd.getpwuid(os.geteuid()).pw_name
    with open(program + "." + user + ".ini", "w") as f:
        f.write(f"[Generics]\nDestinationFolder={folder}\nImageFileFormat={fmt}\n")


def fake_tools():
    """Puts recording xdg-email and xdg-open first on PATH; returns the
    folder where each call leaves its arguments (one file per call, one
    argument per line)."""
    fakebin = os.path.join(work_dir(), "fakebin")
    calls = os.path.join(work_dir(), "calls")
    os.makedirs(fakebin, exist_ok=True)
    os.makedirs(calls, exist_ok=True)
    for tool in ("xdg-email", "xdg-open"):
        path = os.path.join(fakebin, tool)
        with open(path, "w") as f:
            f.write("#!/bin/sh\n"
                    f"out=\"{calls}/{tool}.$$\"\n"
                    "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$out.tmp\"\n"
                    "mv \"$out.tmp\" \"$out\"\n"
                    # A real mail client stays open; the program must not wait.
                    "sleep 30\n")
        os.chmod(path, stat.S_IRWXU)
    os.environ["PATH"] = fakebin + ":" + os.environ.get("PATH", "")
    return calls


def recorded_calls(calls, tool):
    out = []
    for name in sorted(os.listdir(calls)):
        if name.startswith(tool + ".") and not name.endswith(".tmp"):
            with open(os.path.join(calls, name)) as f:
                out.append(f.read().splitlines())
    return out


def pattern_pixel(x, y):
    return (x & 255, y & 255, ((x >> 8) << 4) | (y >> 8))


def paint_pattern():
    """Fills the root window with a pattern in which every pixel is unique;
    returns the pattern as a PIL image."""
    from PIL import Image
    w, h = (int(v) for v in xdotool("getdisplaygeometry").split())
    img = Image.new("RGB", (w, h))
    img.putdata([pattern_pixel(x, y) for y in range(h) for x in range(w)])
    path = os.path.join(work_dir(), "pattern.png")
    img.save(path)
    # display sets the root window's background and leaves at once.
    subprocess.run(["display", "-window", "root", path], capture_output=True, timeout=60)
    return img


def geometry(win):
    vals = dict(line.split("=") for line in
                xdotool("getwindowgeometry", "--shell", win).splitlines())
    return int(vals["X"]), int(vals["Y"]), int(vals["WIDTH"]), int(vals["HEIGHT"])


def titled_windows():
    out = []
    for w in visible_windows(TITLE):
        try:
            out.append((w, geometry(w)))
        except RuntimeError:
            pass  # gone meanwhile
    return out


def action_dialog():
    for w, g in titled_windows():
        if (g[2], g[3]) == DIALOG_SIZE:
            return w, g
    return None


def message_form():
    for w, g in titled_windows():
        if (g[2], g[3]) != DIALOG_SIZE:
            return w, g
    return None


def wait_dialog(what="the action dialog"):
    return wait_for(action_dialog, timeout=10, what=what)


def wait_gone(pred, what):
    wait_for(lambda: not pred(), timeout=10, what=what)


def focus(win):
    xdotool("windowactivate", "--sync", win, check=False)
    xdotool("windowfocus", "--sync", win, check=False)


def press_in(win, *keys):
    focus(win)
    time.sleep(0.1)
    xdotool("key", *keys)


# Button centres in the dialog's client area (Panel1 at 58, 6; buttons
# 164 x 45).
BUTTONS = {
    "save": (7, 11), "open": (7, 62), "clipboard": (7, 113), "email": (7, 164),
    "redo": (175, 11), "settings": (175, 62), "about": (175, 113), "cancel": (175, 164),
}


def click_button(dialog, name):
    win, (x, y, _, _) = dialog
    bx, by = BUTTONS[name]
    xdotool("mousemove", str(x + 58 + bx + 82), str(y + 6 + by + 22))
    time.sleep(0.1)
    xdotool("click", "1")


def drag(x1, y1, x2, y2):
    """Drags from (x1, y1) to (x2, y2) in a few steps, like a hand. Keep
    the start clear of the instruction panel's corner (top left, 570 x 70):
    a pointer that jumps onto the panel does not make it move away."""
    # The instruction panel moves away from the pointer: give it the time
    # it needs to clear the starting point.
    time.sleep(0.2)
    xdotool("mousemove", str(x1 + 1), str(y1 + 1))
    xdotool("mousemove", str(x1), str(y1))
    time.sleep(0.6)
    xdotool("mousedown", "1")
    steps = 4
    for i in range(1, steps + 1):
        xdotool("mousemove", str(x1 + (x2 - x1) * i // steps), str(y1 + (y2 - y1) * i // steps))
        time.sleep(0.05)
    time.sleep(0.1)
    xdotool("mouseup", "1")


def wait_file(path, timeout=10):
    """Waits until `path` exists and its size has stopped changing."""
    def stable():
        try:
            s1 = os.path.getsize(path)
        except OSError:
            return False
        time.sleep(0.2)
        return s1 > 0 and os.path.getsize(path) == s1
    wait_for(stable, timeout=timeout, what=f"{path} to be written")


def same_pixels(got, pattern, box):
    """None when `got` equals the `box` (left, top, right, bottom) of the
    pattern; else a description of the first difference."""
    want = pattern.crop(box)
    got = got.convert("RGB")
    if got.size != want.size:
        return f"size {got.size}, expected {want.size}"
    a, b = list(got.getdata()), list(want.getdata())
    for i, (p, q) in enumerate(zip(a, b)):
        if p != q:
            return f"pixel {i % got.size[0]},{i // got.size[0]} is {p}, expected {q}"
    return None


def pngcheck(path):
    r = subprocess.run(["pngcheck", path], capture_output=True, text=True)
    return r.returncode == 0, r.stdout + r.stderr


def save_whole_screen(shot):
    """alt+Print, then Enter (Save) in the action dialog; returns once `shot`
    is written and the dialog has closed."""
    from spinelib import key
    for _ in range(10):
        key("alt+Print")
        try:
            dialog = wait_for(action_dialog, timeout=1.5, what="the dialog")
            break
        except AssertionError:
            pass
    else:
        fail("alt+Print never showed the action dialog")
    press_in(dialog[0], "Return")
    wait_file(shot)
    wait_gone(action_dialog, "the dialog to close after Save")
