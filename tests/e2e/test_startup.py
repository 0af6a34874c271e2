"""Start-up writes the user's settings file straight back: after a start and
a SIGTERM the file beside the program holds section "Generics" with the
defaults; a hand-edited file comes back normalised with its foreign section
kept and the obsolete one gone. The trace writes no data file (all its
outputs are off)."""
import os
import pwd
import shutil
import signal
import time

from e2elib import args, fail, wait_for, work_dir
from spinelib import start, stop


def user_name():
    try:
        return pwd.getpwuid(os.geteuid()).pw_name
    except KeyError:
        return str(os.geteuid())


def read_ini(path):
    """{section: [(key, value), ...]} in file order."""
    sections, current = {}, None
    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.rstrip("\r\n")
            if line.startswith("[") and line.endswith("]"):
                current = sections.setdefault(line[1:-1], [])
            elif "=" in line and current is not None:
                key, value = line.split("=", 1)
                current.append((key, value))
    return sections


def run_once(program, written, name):
    proc = start(program, name)
    try:
        wait_for(written, timeout=10, what="the settings file to be written")
        # The quit signals are taken over right after the main form exists.
        time.sleep(0.5)
    finally:
        rc = stop(proc, signal.SIGTERM)
    if rc != 0:
        fail(f"{name}: SIGTERM gave exit code {rc}")


a = args()
# A private copy of the program, so that its settings file (named after the
# program and kept beside it) lands in this test's folder.
folder = os.path.join(work_dir(), "program")
os.makedirs(folder)
program = os.path.join(folder, "korvane-screenshot")
shutil.copy2(a.program, program)
settings = os.path.join(folder, "korvane-screenshot." + user_name() + ".ini")
pictures = os.path.join(os.environ["HOME"], "Pictures")

run_once(program, lambda: os.path.exists(settings), "fresh")
got = read_ini(settings)
want = {"Generics": [("DestinationFolder", pictures + "/Korvane ScreenShot"),
                     ("ImageFileFormat", "PNG")]}
if got != want:
    fail(f"fresh settings file: {got!r}, expected {want!r}")
for left in ("korvane-screenshot.Trace.txt",):
    if os.path.exists(os.path.join(folder, left)):
        fail(f"{left} was written although every trace output is off")

with open(settings, "w", encoding="utf-8") as f:
    f.write("[Daemon.AutomaticExecution]\r\nRun=1\r\n"
            "[Generics]\r\nImageFileFormat=jpg\r\nDestinationFolder=/data/my shots\r\n"
            "[Other]\r\nKey=Value\r\n")
os.utime(settings, (0, 0))
run_once(program, lambda: os.stat(settings).st_mtime > 0, "edited")
got = read_ini(settings)
want = {"Generics": [("ImageFileFormat", "JPG"), ("DestinationFolder", "/data/my shots")],
        "Other": [("Key", "Value")]}
if got != want:
    fail(f"edited settings file: {got!r}, expected {want!r}")
print("ok")
