"""The capture actions against the real program: an area saved with Enter
holds exactly the dragged pixels, a whole-screen capture the whole screen, the
clipboard serves the selection as PNG while the program runs, e-mail saves
first and hands the file to the mail client without waiting for it, and
"Open dest. folder" opens the folder and keeps the dialog."""
import os
import subprocess
import time

from actionslib import (action_dialog, check_pixels, click_button, close_dialog, fake_tools,
                        paint_pattern, private_program, recorded_calls, save_whole_screen,
                        select_area, wait_file, wait_gone)
from e2elib import args, fail, wait_for, work_dir
from spinelib import escape_overlay, open_overlay, running

a = args()
calls = fake_tools()
shots = os.path.join(work_dir(), "shots", "new")  # created by the first save
program = private_program(a.program, shots)
pattern = paint_pattern()


def check_png(n, box):
    path = os.path.join(shots, "Image_%05d.PNG" % n)
    r = subprocess.run(["pngcheck", path], capture_output=True, text=True)
    if r.returncode != 0:
        fail(f"pngcheck {path}: {r.stdout}{r.stderr}")
    check_pixels(path, pattern, box, "PNG")


with running(program):
    select_area(100, 120, 340, 300)
    close_dialog("Return", "the dialog to close after Save")
    check_png(1, (100, 120, 340, 300))

    save_whole_screen(os.path.join(shots, "Image_00002.PNG"))
    check_png(2, (0, 0) + pattern.size)

    # Dragged up and to the left; the clipboard is served while the program runs.
    click_button(select_area(500, 400, 420, 330), "clipboard")
    wait_gone(action_dialog, "the dialog to close after the clipboard copy")
    clip = os.path.join(work_dir(), "clip.png")
    with open(clip, "wb") as f:
        if subprocess.run(["xclip", "-selection", "clipboard", "-t", "image/png", "-o"],
                          stdout=f, timeout=20).returncode != 0:
            fail("xclip could not read an image/png from the clipboard")
    check_pixels(clip, pattern, (420, 330, 500, 400), "PNG")

    # E-mail: saved first (next number); the client lingers, the program does not wait.
    click_button(select_area(700, 600, 764, 648), "email")
    wait_file(os.path.join(shots, "Image_00003.PNG"))
    mails = wait_for(lambda: recorded_calls(calls, "xdg-email"), what="the mail client")
    want = ["--subject", "Image captured with Korvane ScreenShot - Ver. 2.0", "--attach",
            os.path.join(shots, "Image_00003.PNG")]
    if mails != [want]:
        fail(f"mail client called with {mails}, expected {want}")
    check_png(3, (700, 600, 764, 648))
    wait_gone(action_dialog, "the dialog to close after e-mail")
    t0 = time.monotonic()
    open_overlay(attempts=3)
    if time.monotonic() - t0 > 5:
        fail("the program waited for the mail client")
    escape_overlay()

    # Open dest. folder keeps the dialog; Escape then cancels without saving.
    click_button(select_area(200, 200, 260, 260), "open")
    opened = wait_for(lambda: recorded_calls(calls, "xdg-open"), what="the file manager")
    if opened != [[shots]]:
        fail(f"xdg-open called with {opened}, expected {[[shots]]}")
    time.sleep(0.5)
    if not action_dialog():
        fail("the dialog closed after Open dest. folder")
    close_dialog()
    time.sleep(0.5)
    if sorted(os.listdir(shots)) != ["Image_%05d.PNG" % n for n in (1, 2, 3)]:
        fail(f"files after cancel: {sorted(os.listdir(shots))}")
    open_overlay(attempts=3)  # idle again
    escape_overlay()
