"""The action dialog shows an animated banner: two screenshots a moment apart differ inside the banner panel and
nowhere else. One of the five random banners is still, so such a dialog is cancelled and the capture retried."""
import time

from PIL import ImageChops

from e2elib import *  # noqa: F403 (the helpers)

a = args()
fake_tools()
PANEL = (407, 6, 407 + 218, 6 + 217)  # pnSponsor in the dialog's client area
with running(private_program(a.program, work_dir() + "/shots")):
    for attempt in range(8):
        win, (x, y, w, h) = press_until("alt+Print", action_dialog, "the action dialog")
        time.sleep(0.5)  # the dialog has settled
        first = screen()
        time.sleep(0.8)
        diff = ImageChops.difference(first, screen())
        panel = (x + PANEL[0], y + PANEL[1], x + PANEL[2], y + PANEL[3])
        if diff.crop(panel).getbbox():
            if diff.crop((x, y, x + PANEL[0], y + h)).getbbox():  # buttons and picture left of it
                fail("the dialog changed outside the banner panel")
            if len(first.crop(panel).getcolors(1 << 16) or []) < 3:
                fail("the banner panel shows no picture")
            break
        press_in(win, "Escape")
        wait_gone(action_dialog, "the dialog to close after Escape")
    else:
        fail("no dialog showed a changing banner in 8 captures")
    press_in(win, "Escape")
    wait_gone(action_dialog, "the dialog to close after Escape")
