"""Start and end: the first start writes the default settings beside the program, a hand-edited file comes back
normalised (foreign section kept, obsolete one gone), no trace file. A second copy ends at once, silently, with
code 0; SIGTERM, SIGINT and SIGHUP end cleanly and free the lock; a killed copy does not block the next.
Alt+PrintScreen held by another program: one line on standard error and one message form at start, and
Ctrl+PrintScreen still works once it is closed."""
import os
import signal
import subprocess
import time

from e2elib import *  # noqa: F403 (the helpers)

program = private_program(args().program, "")
ini = settings_file(program)
os.remove(ini)


def run_once(written, name, want):
    with running(program, name):
        wait_for(written, what="the settings file to be written")
        time.sleep(0.5)  # the quit signals are taken over right after the main form exists
    if open(ini, encoding="utf-8").read() != want:
        fail(f"{name} settings file: {open(ini).read()!r}, expected {want!r}")


run_once(lambda: os.path.exists(ini), "fresh", "[Generics]\nDestinationFolder=" + os.environ["HOME"] +
         "/Pictures/Korvane ScreenShot\nImageFileFormat=PNG\n\n")
if os.path.exists(os.path.join(os.path.dirname(program), "korvane-screenshot.Trace.txt")):
    fail("a trace data file was written although every trace output is off")
with open(ini, "w", encoding="utf-8") as f:
    f.write("[Daemon.AutomaticExecution]\r\nRun=1\r\n[Generics]\r\nImageFileFormat=jpg\r\n"
            "DestinationFolder=/data/my shots\r\n[Other]\r\nKey=Value\r\n")
os.utime(ini, (0, 0))
run_once(lambda: os.stat(ini).st_mtime > 0, "edited",
         "[Generics]\nImageFileFormat=JPG\nDestinationFolder=/data/my shots\n[Other]\nKey=Value\n")

with running(program):
    if not never(lambda: visible_windows("."), 1.0):
        fail(f"windows shown at start: {visible_windows('.')}")
    t0 = time.monotonic()
    second = subprocess.run([program], capture_output=True, timeout=20)
    if (second.returncode, second.stdout, second.stderr) != (0, b"", b""):
        fail(f"second instance: exit {second.returncode}, {second.stdout!r} {second.stderr!r}")
    if time.monotonic() - t0 > 5:
        fail("second instance did not end at once")
    open_overlay()  # the first one still works
    escape_overlay()
for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
    p = start(program, f"sig{int(sig)}")
    time.sleep(0.3)
    if stop(p, sig) != 0 or lock_is_held():
        fail(f"signal {sig}: exit code {p.returncode}, lock held {lock_is_held()}")
start(program, "killed").kill()
wait_for(lambda: not lock_is_held(), what="the lock of the killed copy to go")

WARNING = ("korvane-screenshot: the hot key Alt+PrintScreen is held by another program; "
           "it will not start a capture")


def lines(word):
    return [ln.rstrip("\n") for ln in open(os.path.join(work_dir(), "held.log"), errors="replace") if word in ln]


holder = Client()
holder.grab_key(XK_PRINT, MOD1)
with running(program, "held"):
    wait_for(lambda: lines("Alt+PrintScreen"), what="the warning on standard error")
    press_in(wait_for(message_form, what="the message form about the held key")[0], "Return")  # its text: unit
    wait_gone(message_form, "the message form to close")
    for _ in range(2):  # the keys are registered again after each capture
        open_overlay()
        escape_overlay()
    if message_form():
        fail("the held key was shown a second time")
    if lines("Alt+PrintScreen") != [WARNING]:
        fail(f"standard error has {lines('Alt+PrintScreen')!r}, expected once {WARNING!r}")
    if lines("Ctrl+PrintScreen"):
        fail("Ctrl+PrintScreen was reported although nobody else holds it")
