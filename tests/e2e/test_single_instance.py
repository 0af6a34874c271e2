"""One copy per display: a second start ends at once with exit code 0 and
leaves the first untouched; SIGTERM ends the program cleanly and frees the
lock; after the first copy is killed a new one starts."""
import signal
import subprocess
import time

from e2elib import args, fail, visible_windows, wait_for
from spinelib import escape_overlay, hold_escape, lock_is_held, never, open_overlay, start, stop

a = args()
first = start(a.program)
try:
    # Nothing is shown at start: the main form stays hidden.
    if not never(lambda: visible_windows("."), 1.0):
        fail(f"windows shown at start: {visible_windows('.')}")
    t0 = time.monotonic()
    second = subprocess.run([a.program], capture_output=True, timeout=20)
    if second.returncode != 0:
        fail(f"second instance exited {second.returncode}")
    if time.monotonic() - t0 > 5:
        fail("second instance did not end at once")
    if second.stdout or second.stderr:
        fail(f"second instance printed something: {second.stdout!r} {second.stderr!r}")
    if first.poll() is not None:
        fail("the first instance ended")
    # The first one still works.
    open_overlay()
    escape_overlay("Escape to close the overlay")

    rc = stop(first, signal.SIGTERM)
    if rc != 0:
        fail(f"SIGTERM: exit code {rc}")
    if lock_is_held():
        fail("the lock is still held after SIGTERM")

    # SIGINT and SIGHUP end it cleanly too.
    for sig in (signal.SIGINT, signal.SIGHUP):
        p = start(a.program, f"sig{int(sig)}")
        time.sleep(0.3)
        rc = stop(p, sig)
        if rc != 0:
            fail(f"signal {sig}: exit code {rc}")

    # A killed copy leaves nothing behind that blocks the next start.
    killed = start(a.program, "killed")
    killed.kill()
    killed.wait(timeout=10)
    wait_for(lambda: not lock_is_held(), what="the lock of the killed copy to go")
    again = start(a.program, "again")
    time.sleep(0.5)
    if again.poll() is not None:
        fail(f"a new start after a kill ended with {again.returncode}")
    open_overlay()
    hold_escape()
    if stop(again) != 0:
        fail("the new copy did not end cleanly")
finally:
    for p in (first,):
        if p.poll() is None:
            p.kill()
print("ok")
