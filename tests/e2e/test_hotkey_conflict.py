"""Another program holds Alt+PrintScreen before the program starts (as a
desktop's own screenshot command does): the program says so in one line on
standard error, keeps running, and Ctrl+PrintScreen still works."""
import os

from e2elib import args, fail, wait_for, work_dir
from spinelib import end_cleanly, escape_overlay, open_overlay, start
from xclient import MOD1, XK_PRINT, Client

WARNING = ("korvane-screenshot: the hot key Alt+PrintScreen is held by another program; "
           "it will not start a capture")

a = args()
holder = Client()
holder.grab_key(XK_PRINT, MOD1)
proc = start(a.program)
log = os.path.join(work_dir(), "main.log")


def warnings():
    with open(log, errors="replace") as f:
        return [line.rstrip("\n") for line in f if "Alt+PrintScreen" in line]


try:
    wait_for(warnings, timeout=10, what="the warning on standard error")
    open_overlay()
    escape_overlay("Escape")
    open_overlay(attempts=1)
    escape_overlay("Escape")
    # The keys are registered again after each capture: still one line.
    if warnings() != [WARNING]:
        fail(f"standard error has {warnings()!r}, expected once {WARNING!r}")
    if any("Ctrl+PrintScreen" in line for line in open(log, errors="replace")):
        fail("Ctrl+PrintScreen was reported although nobody else holds it")
    end_cleanly(proc)
finally:
    holder.close()
    if proc.poll() is None:
        proc.kill()
print("ok")
