"""The overlay's input as on a real desktop: an Escape tap of 5 ms, shorter
than the key-state poll, cancels the overlay every time; a press on the
instruction panel with no motion before it (a pointer that jumps there)
starts the selection, the drag selects exactly that area, and the next
ordinary drag works too."""
import os
import time

from PIL import Image

from actionslib import (action_dialog, drag, paint_pattern, press_in, private_program,
                        same_pixels, wait_dialog, wait_file, wait_gone)
from e2elib import args, fail, wait_for, work_dir, xdotool
from spinelib import end_cleanly, open_overlay, overlay_shown, start
from xclient import XK_ESCAPE, Client

a = args()
shots = os.path.join(work_dir(), "shots")
program = private_program(a.program, shots)
pattern = paint_pattern()
x = Client()
proc = start(program)
try:
    for i in range(10):
        open_overlay()
        time.sleep(0.2)
        x.tap(XK_ESCAPE, 0.005)
        try:
            wait_for(lambda: not overlay_shown(), timeout=2, what="the overlay to go")
        except AssertionError:
            fail(f"a 5 ms Escape tap did not cancel the overlay (tap {i + 1} of 10)")

    # The pointer waits where the panel will be (it heads for 10, 10): when
    # the overlay comes up it sees no motion before the press.
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
    press_in(wait_dialog()[0], "Return")
    saved = os.path.join(shots, "Image_00001.PNG")
    wait_file(saved)
    with Image.open(saved) as img:
        diff = same_pixels(img, pattern, (200, 40, 400, 200))
    if diff:
        fail(f"the area dragged from the panel: {diff}")
    wait_gone(action_dialog, "the dialog to close after Save")

    # An ordinary drag afterwards still ends in the action dialog.
    open_overlay()
    drag(600, 400, 700, 500)
    wait_for(lambda: not overlay_shown(), what="the next drag to end the selection")
    press_in(wait_dialog()[0], "Escape")
    wait_gone(action_dialog, "Escape to cancel the action dialog")
    end_cleanly(proc)
finally:
    x.close()
    if proc.poll() is None:
        proc.kill()
print("ok")
