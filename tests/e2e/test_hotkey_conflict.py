"""Another program holds Alt+PrintScreen before the program starts (as a
desktop's own screenshot command does): the program says so in one line on
standard error, keeps running, and Ctrl+PrintScreen still works."""
import os

from e2elib import args, fail, wait_for, work_dir
from spinelib import escape_overlay, open_overlay, running
from xclient import MOD1, XK_PRINT, Client

WARNING = ("korvane-screenshot: the hot key Alt+PrintScreen is held by another program; "
           "it will not start a capture")


def lines(word):
    with open(os.path.join(work_dir(), "main.log"), errors="replace") as f:
        return [line.rstrip("\n") for line in f if word in line]


holder = Client()
holder.grab_key(XK_PRINT, MOD1)
try:
    with running(args().program):
        wait_for(lambda: lines("Alt+PrintScreen"), what="the warning on standard error")
        for attempts in (10, 1):  # the keys are registered again after each capture
            open_overlay(attempts)
            escape_overlay()
        if lines("Alt+PrintScreen") != [WARNING]:
            fail(f"standard error has {lines('Alt+PrintScreen')!r}, expected once {WARNING!r}")
        if lines("Ctrl+PrintScreen"):
            fail("Ctrl+PrintScreen was reported although nobody else holds it")
finally:
    holder.close()
