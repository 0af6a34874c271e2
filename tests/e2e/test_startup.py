"""Start-up writes the user's settings file straight back: after a start and
a SIGTERM the file beside the program holds section "Generics" with the
defaults; a hand-edited file comes back normalised with its foreign section
kept and the obsolete one gone. The trace writes no data file."""
import os
import time

from actionslib import private_program, settings_file
from e2elib import fail, args, wait_for
from spinelib import running


def run_once(written, name, want):
    with running(program, name):
        wait_for(written, what="the settings file to be written")
        time.sleep(0.5)  # the quit signals are taken over right after the main form exists
    with open(ini, encoding="utf-8") as f:
        got = f.read()
    if got != want:
        fail(f"{name} settings file: {got!r}, expected {want!r}")


program = private_program(args().program, "")
ini = settings_file(program)
os.remove(ini)
pictures = os.path.join(os.environ["HOME"], "Pictures")
run_once(lambda: os.path.exists(ini), "fresh",
         f"[Generics]\nDestinationFolder={pictures}/Korvane ScreenShot\nImageFileFormat=PNG\n\n")
if os.path.exists(os.path.join(os.path.dirname(program), "korvane-screenshot.Trace.txt")):
    fail("a trace data file was written although every trace output is off")

with open(ini, "w", encoding="utf-8") as f:
    f.write("[Daemon.AutomaticExecution]\r\nRun=1\r\n"
            "[Generics]\r\nImageFileFormat=jpg\r\nDestinationFolder=/data/my shots\r\n"
            "[Other]\r\nKey=Value\r\n")
os.utime(ini, (0, 0))
run_once(lambda: os.stat(ini).st_mtime > 0, "edited",
         "[Generics]\nImageFileFormat=JPG\nDestinationFolder=/data/my shots\n[Other]\nKey=Value\n")
