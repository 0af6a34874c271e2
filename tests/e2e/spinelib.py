"""Capture-spine helpers: starting and ending the program, its lock file, the overlay, key presses."""
import contextlib
import fcntl
import os
import signal
import subprocess
import time

from e2elib import visible_windows, wait_for, work_dir, xdotool

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
    out = open(os.path.join(work_dir(), name + ".log"), "wb")
    proc = subprocess.Popen([program], stdout=out, stderr=subprocess.STDOUT)
    wait_for(lock_is_held, timeout=10, what="the program to take its lock")
    return proc


def stop(proc, sig=signal.SIGTERM, timeout=10):
    if proc.poll() is None:
        proc.send_signal(sig)
    return proc.wait(timeout=timeout)


def end_cleanly(proc):
    """Fails unless the program still runs and ends with code 0 on SIGTERM."""
    if proc.poll() is not None:
        raise AssertionError(f"the program ended by itself: {proc.returncode}")
    if stop(proc) != 0:
        raise AssertionError(f"exit code {proc.returncode}")


@contextlib.contextmanager
def running(program, name="main"):
    """The started program, to end cleanly after the block; killed if the block fails."""
    proc = start(program, name)
    try:
        yield proc
        end_cleanly(proc)
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
    """Presses `combo` until `pred` holds (the first press may come before the program has
    grabbed its keys); returns what `pred` gave."""
    for _ in range(attempts):
        key(combo)
        try:
            return wait_for(pred, timeout=1.5, what=what)
        except AssertionError:
            pass
    raise AssertionError(f"{combo} never showed {what}")


def open_overlay(attempts=10): press_until("ctrl+Print", overlay_shown, "the overlay", attempts)
