"""One copy per display: a second start ends at once with exit code 0 and
leaves the first untouched; SIGTERM, SIGINT and SIGHUP end the program
cleanly and free the lock; after a copy is killed a new one starts."""
import signal
import subprocess
import time

from e2elib import args, fail, never, visible_windows, wait_for
from spinelib import escape_overlay, lock_is_held, open_overlay, running, start, stop

a = args()
with running(a.program) as first:
    if not never(lambda: visible_windows("."), 1.0):
        fail(f"windows shown at start: {visible_windows('.')}")
    t0 = time.monotonic()
    second = subprocess.run([a.program], capture_output=True, timeout=20)
    if (second.returncode, second.stdout, second.stderr) != (0, b"", b""):
        fail(f"second instance: exit {second.returncode}, {second.stdout!r} {second.stderr!r}")
    if time.monotonic() - t0 > 5:
        fail("second instance did not end at once")
    open_overlay()  # the first one still works
    escape_overlay()

for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
    p = start(a.program, f"sig{int(sig)}")
    time.sleep(0.3)
    if stop(p, sig) != 0 or lock_is_held():
        fail(f"signal {sig}: exit code {p.returncode}, lock held {lock_is_held()}")

killed = start(a.program, "killed")
killed.kill()
killed.wait(timeout=10)
wait_for(lambda: not lock_is_held(), what="the lock of the killed copy to go")
with running(a.program, "again"):
    time.sleep(0.5)
    open_overlay()
    escape_overlay()
