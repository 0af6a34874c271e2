"""The tray menu under a tray host: "Capture Screen" saves the screen as it stands once the menu has gone, with no
remains of the menu on the tray icon or anywhere else."""
import os

from PIL import Image, ImageChops

from e2elib import *  # noqa: F403 (the helpers)

shots = os.path.join(work_dir(), "shots")
program = private_program(args().program, shots)
paint_pattern()

with tray_host() as dock, running(program):
    mx, my = open_tray_menu(dock)[:2]
    click_at((mx, my), 60, 32)  # the second item, Capture Screen
    press_in(wait_dialog()[0], "Return")
    wait_file(shot := os.path.join(shots, "Image_00001.PNG"))
    wait_gone(action_dialog, "the dialog to close after Save")
    time.sleep(0.5)
    diff = ImageChops.difference(Image.open(shot).convert("RGB"), screen()).getbbox()
    if diff:
        fail(f"the capture differs from the settled screen in {diff}")
