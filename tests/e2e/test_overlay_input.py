"""The overlay's input as on a real desktop: an Escape tap of 5 ms, shorter
than the key-state poll, cancels the overlay every time; a press on the
instruction panel with no motion before it (a pointer that jumps there)
starts the selection, which holds exactly the dragged area; the next ordinary
drag works too."""
import os
import time

from actionslib import (check_pixels, close_dialog, paint_pattern, private_program, select_area,
                        wait_file)
from e2elib import args, fail, wait_for, work_dir, xdotool
from spinelib import open_overlay, overlay_shown, running
from xclient import XK_ESCAPE, Client

shots = os.path.join(work_dir(), "shots")
program = private_program(args().program, shots)
pattern = paint_pattern()
x = Client()
try:
    with running(program):
        for i in range(10):
            open_overlay()
            time.sleep(0.2)
            x.tap(XK_ESCAPE, 0.005)
            try:
                wait_for(lambda: not overlay_shown(), timeout=2)
            except AssertionError:
                fail(f"a 5 ms Escape tap did not cancel the overlay (tap {i + 1} of 10)")

        # The pointer waits where the panel will be (it heads for 10, 10).
        xdotool("mousemove", "200", "40")
        time.sleep(0.2)
        open_overlay()
        time.sleep(0.5)
        xdotool("mousedown", "1")
        for px, py in ((250, 80), (320, 140), (400, 200)):
            xdotool("mousemove", str(px), str(py))
            time.sleep(0.05)
        time.sleep(0.1)
        xdotool("mouseup", "1")
        wait_for(lambda: not overlay_shown(), what="the selection started on the panel to end")
        close_dialog("Return", "the dialog to close after Save")
        wait_file(os.path.join(shots, "Image_00001.PNG"))
        check_pixels(os.path.join(shots, "Image_00001.PNG"), pattern, (200, 40, 400, 200), "PNG")

        select_area(600, 400, 700, 500)
        close_dialog()
finally:
    x.close()
