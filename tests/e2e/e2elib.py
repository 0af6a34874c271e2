"""End-to-end helpers: arguments, xdotool, waiting, screen colours."""
import argparse
import os
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
    try:
        wait_for(pred, timeout=seconds)
        return False
    except AssertionError:
        return True


def visible_windows(name): return xdotool("search", "--onlyvisible", "--name", name, check=False).split()


def fail(msg):
    print("FAIL:", msg, file=sys.stderr)
    sys.exit(1)


def work_dir(): return os.environ.get("E2E_WORK", "/tmp")


def screen():
    """The whole display as an RGB PIL image."""
    from PIL import Image
    path = os.path.join(work_dir(), "screen.png")
    subprocess.run(["import", "-window", "root", path], check=True, timeout=30)
    with Image.open(path) as img:
        return img.convert("RGB")


def colours_off(img, checks):
    """None when every {what: ((x, y), rgb)} holds in `img`; else the first miss."""
    for what, (xy, want) in checks.items():
        if img.getpixel(xy) != want:
            return f"{what} at {xy} is {img.getpixel(xy)}, expected {want}"
    return None
