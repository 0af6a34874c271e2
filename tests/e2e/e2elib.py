"""Helpers for the end-to-end tests: argument parsing, xdotool, waiting."""
import argparse
import os
import subprocess
import sys
import time


def args():
    p = argparse.ArgumentParser()
    p.add_argument("--program", default="")
    p.add_argument("--smoke", default="")
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


def visible_windows(name):
    r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name],
                       capture_output=True, text=True)
    return [w for w in r.stdout.split() if w]


def fail(msg):
    print("FAIL:", msg, file=sys.stderr)
    sys.exit(1)


def work_dir():
    return os.environ.get("E2E_WORK", "/tmp")
