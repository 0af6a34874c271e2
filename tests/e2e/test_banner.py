"""The action dialog after a capture shows an animated banner in its right
panel: two screenshots a moment apart differ inside the banner panel and
nowhere else in the dialog. The banner is chosen at random and one of the
five is a still picture, so a dialog showing that one is cancelled and the
next capture tried."""
import time

from PIL import ImageChops

from actionslib import action_dialog, fake_tools, press_in, private_program, wait_gone
from e2elib import args, fail, screen, wait_for, work_dir
from spinelib import end_cleanly, key, start

a = args()
if not a.program:
    fail("no program given")
fake_tools()
program = private_program(a.program, work_dir() + "/shots")

# pnSponsor in the dialog's client area.
PANEL = (407, 6, 407 + 218, 6 + 217)


def changed(img1, img2, box):
    return ImageChops.difference(img1.crop(box), img2.crop(box)).getbbox() is not None


proc = start(program)
try:
    for attempt in range(8):
        for _ in range(10):
            key("alt+Print")
            try:
                dialog = wait_for(action_dialog, timeout=1.5, what="the action dialog")
                break
            except AssertionError:
                pass
        else:
            fail("alt+Print never showed the action dialog")
        win, (x, y, w, h) = dialog
        time.sleep(0.5)  # the dialog has settled
        first = screen()
        time.sleep(0.8)
        second = screen()
        panel = (x + PANEL[0], y + PANEL[1], x + PANEL[2], y + PANEL[3])
        if changed(first, second, panel):
            rest = (x, y, x + PANEL[0], y + h)  # buttons and picture left of the panel
            if changed(first, second, rest):
                fail("the dialog changed outside the banner panel")
            if first.crop(panel).getcolors(1 << 16) is None or len(first.crop(panel).getcolors(1 << 16)) < 3:
                fail("the banner panel shows no picture")
            break
        press_in(win, "Escape")
        wait_gone(action_dialog, "the dialog to close after Escape")
    else:
        fail("no dialog showed a changing banner in 8 captures")
    press_in(win, "Escape")
    wait_gone(action_dialog, "the dialog to close after Escape")
finally:
    end_cleanly(proc)
