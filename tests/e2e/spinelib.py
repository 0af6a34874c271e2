"""Helpers for the end-to-end tests of the capture spine: starting the
program, its lock file, the overlay window and key presses."""
import fcntl
import os
import signal
import subprocess
import time

from e2elib import visible_windows, wait_for, work_dir, xdotool

OVERLAY = "fmMain"


def lock_path():
    return os.path.join(os.environ["XDG_RUNTIME_DIR"],
                        "KorvaneScreenShotIsActive." + os.environ["DISPLAY"] + ".lock")


def lock_is_held():
    """True while some process holds the single-instance lock."""
    try:
        fd = os.open(lock_path(), os.O_RDWR)
    except FileNotFoundError:
        return False
    try:
        fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        return True
    finally:
        os.close(fd)
    return False


def start(program, name="main"):
    out = open(os.path.join(work_dir(), name + ".log"), "wb")
    proc = subprocess.Popen([program], stdout=out, stderr=subprocess.STDOUT)
    wait_for(lock_is_held, timeout=10, what="the program to take its lock")
    return proc


def stop(proc, sig=signal.SIGTERM, timeout=10):
    if proc.poll() is None:
        proc.send_signal(sig)
    return proc.wait(timeout=timeout)


def end_cleanly(proc):
    """Fails unless the program is still running and ends with exit code 0
    on SIGTERM."""
    if proc.poll() is not None:
        raise AssertionError(f"the program ended by itself: {proc.returncode}")
    rc = stop(proc)
    if rc != 0:
        raise AssertionError(f"exit code {rc}")


def overlay_shown():
    return bool(visible_windows(OVERLAY))


def key(*combo):
    xdotool("key", *combo)


def hold_escape(seconds=0.25):
    # The program samples the key state every 50 ms: hold it like a person.
    xdotool("keydown", "Escape")
    time.sleep(seconds)
    xdotool("keyup", "Escape")


def escape_overlay(what="Escape to hide the overlay"):
    """Holds Escape and waits until the overlay has gone."""
    hold_escape()
    wait_for(lambda: not overlay_shown(), what=what)


def open_overlay(attempts=10):
    """Presses ctrl+Print until the overlay shows (the first press may come
    before the program has grabbed its keys)."""
    for _ in range(attempts):
        key("ctrl+Print")
        try:
            wait_for(overlay_shown, timeout=1.5, what="the overlay")
            return
        except AssertionError:
            pass
    raise AssertionError("ctrl+Print never showed the overlay")


def never(pred, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if pred():
            return False
        time.sleep(0.05)
    return True
