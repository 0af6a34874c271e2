"""The capture actions against the real program: an area saved with Enter
holds exactly the dragged pixels, a whole-screen capture saves the whole
screen, the clipboard serves the selection as PNG while the program runs,
e-mail saves first and hands the file to the mail client without waiting for
it, and "Open dest. folder" opens the folder and keeps the dialog."""
import os
import subprocess
import time

from PIL import Image

from actionslib import (action_dialog, click_button, drag, fake_tools, paint_pattern,
                        pngcheck, press_in, private_program, recorded_calls, same_pixels, save_whole_screen,
                        wait_dialog, wait_file, wait_gone)
from e2elib import args, fail, wait_for, work_dir
from spinelib import end_cleanly, escape_overlay, open_overlay, overlay_shown, start

a = args()
calls = fake_tools()
shots = os.path.join(work_dir(), "shots", "new")  # created by the first save
program = private_program(a.program, shots)
pattern = paint_pattern()


def shot(n):
    return os.path.join(shots, "Image_%05d.PNG" % n)


def check_png(path, box):
    ok, out = pngcheck(path)
    if not ok:
        fail(f"pngcheck {path}: {out}")
    with Image.open(path) as img:
        diff = same_pixels(img, pattern, box)
    if diff:
        fail(f"{os.path.basename(path)}: {diff}")


def area(x1, y1, x2, y2):
    open_overlay()
    drag(x1, y1, x2, y2)
    wait_for(lambda: not overlay_shown(), what="the selection to end")
    return wait_dialog()


proc = start(program)
try:
    # ctrl+Print, a drag, Enter: Save.
    dialog = area(100, 120, 340, 300)
    press_in(dialog[0], "Return")
    wait_file(shot(1))
    wait_gone(action_dialog, "the dialog to close after Save")
    check_png(shot(1), (100, 120, 340, 300))

    # alt+Print, Enter: the whole screen.
    save_whole_screen(shot(2))
    with Image.open(shot(2)) as img:
        size = img.size
    check_png(shot(2), (0, 0) + size)
    if size != pattern.size:
        fail(f"whole screen saved as {size}, screen is {pattern.size}")

    # Copy to clipboard, dragged up and to the left: the clipboard serves the
    # selection while the program runs.
    dialog = area(500, 400, 420, 330)
    click_button(dialog, "clipboard")
    wait_gone(action_dialog, "the dialog to close after the clipboard copy")
    clip = os.path.join(work_dir(), "clip.png")
    with open(clip, "wb") as f:
        r = subprocess.run(["xclip", "-selection", "clipboard", "-t", "image/png", "-o"],
                           stdout=f, timeout=20)
    if r.returncode != 0:
        fail("xclip could not read an image/png from the clipboard")
    with Image.open(clip) as img:
        diff = same_pixels(img, pattern, (420, 330, 500, 400))
    if diff:
        fail(f"clipboard image: {diff}")

    # E-mail: saved first (next number), then the mail client gets the
    # subject and the file; the client keeps running and the program does not
    # wait for it.
    dialog = area(700, 600, 764, 648)
    click_button(dialog, "email")
    wait_file(shot(3))
    mails = wait_for(lambda: recorded_calls(calls, "xdg-email"), what="the mail client")
    want = ["--subject", "Image captured with Korvane ScreenShot - Ver. 2.0", "--attach", shot(3)]
    if mails != [want]:
        fail(f"mail client called with {mails}, expected {want}")
    check_png(shot(3), (700, 600, 764, 648))
    wait_gone(action_dialog, "the dialog to close after e-mail")
    t0 = time.monotonic()
    open_overlay(attempts=3)
    if time.monotonic() - t0 > 5:
        fail("the program waited for the mail client")
    escape_overlay("Escape")

    # Open dest. folder opens the folder and the dialog stays; Escape cancels
    # without saving.
    dialog = area(200, 200, 260, 260)
    click_button(dialog, "open")
    opened = wait_for(lambda: recorded_calls(calls, "xdg-open"), what="the file manager")
    if opened != [[shots]]:
        fail(f"xdg-open called with {opened}, expected {[[shots]]}")
    time.sleep(0.5)
    if not action_dialog():
        fail("the dialog closed after Open dest. folder")
    press_in(dialog[0], "Escape")
    wait_gone(action_dialog, "Escape to close the dialog")
    time.sleep(0.5)
    files = sorted(os.listdir(shots))
    if files != ["Image_00001.PNG", "Image_00002.PNG", "Image_00003.PNG"]:
        fail(f"files after cancel: {files}")

    # Idle again: the overlay comes and goes.
    open_overlay(attempts=3)
    escape_overlay("Escape")
    end_cleanly(proc)
finally:
    if proc.poll() is None:
        proc.kill()
print("ok")
