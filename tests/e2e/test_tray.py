"""The tray menu under a tray host: "Capture Screen" saves the screen as it stands once the menu has gone, with no
remains of the menu on the tray icon or anywhere else."""
import os
import subprocess

from PIL import Image, ImageChops

from e2elib import *  # noqa: F403 (the helpers)

shots = os.path.join(work_dir(), "shots")
program = private_program(args().program, shots)
paint_pattern()


def tray_menu():
    found = xdotool("search", "--onlyvisible", "--class", "korvane-screenshot", check=False).split()
    return [w for w in found if geometry(w)[3] > 100]  # the icon itself is 24 pixels high


host = subprocess.Popen(["wmdocker"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
try:
    dock = wait_for(lambda: xdotool("search", "--name", "^Docker$", check=False).split(), what="the tray host")[0]
    xdotool("windowmap", dock)  # it waits for a window manager's dock otherwise
    with running(program):
        x, y = geometry(dock)[:2]
        xdotool("mousemove", str(x + 12), str(y + 12))  # on the icon; the menu opens over it
        # The icon reaches the host a moment after the start.
        for _ in range(20):
            xdotool("click", "3")
            if not never(tray_menu, 0.5):
                break
        mx, my = geometry(wait_for(tray_menu, what="the tray menu")[0])[:2]
        click_at((mx, my), 60, 32)  # the second item, Capture Screen
        press_in(wait_dialog()[0], "Return")
        wait_file(shot := os.path.join(shots, "Image_00001.PNG"))
        wait_gone(action_dialog, "the dialog to close after Save")
        time.sleep(0.5)
        diff = ImageChops.difference(Image.open(shot).convert("RGB"), screen()).getbbox()
        if diff:
            fail(f"the capture differs from the settled screen in {diff}")
finally:
    host.kill()
