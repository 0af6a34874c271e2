"""The e2e harness itself: a Qt program maps a window on the private display
and xdotool sees it, then it ends on its own."""
import subprocess

from e2elib import args, fail, visible_windows, wait_for

a = args()
proc = subprocess.Popen([a.smoke, "--gui", "3000"])
try:
    wait_for(lambda: visible_windows("kss-smoke"), what="the smoke window")
finally:
    rc = proc.wait(timeout=20)
if rc != 0:
    fail(f"smoke binary exited {rc}")
print("ok")
