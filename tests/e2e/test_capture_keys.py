"""The hot keys against the real program: ctrl+Print shows the overlay over
the whole screen, Escape hides it and ctrl+Print works again; a drag ends the
selection; alt+Print never shows the overlay; the keys still fire with Num
Lock and Caps Lock on."""
import subprocess
import time

from actionslib import action_dialog, drag, press_in, wait_dialog, wait_gone
from e2elib import args, fail, visible_windows, wait_for, xdotool
from spinelib import (OVERLAY, end_cleanly, escape_overlay, hold_escape, key, never,
                      open_overlay, overlay_shown, start)



def cancel_action_dialog():
    press_in(wait_dialog()[0], "Escape")
    wait_gone(action_dialog, "Escape to cancel the action dialog")


a = args()
proc = start(a.program)
try:
    open_overlay()
    # It covers the primary screen exactly.
    win = visible_windows(OVERLAY)[0]
    geo = xdotool("getwindowgeometry", "--shell", win)
    screen = xdotool("getdisplaygeometry").split()
    vals = dict(line.split("=") for line in geo.splitlines())
    if (vals["X"], vals["Y"], vals["WIDTH"], vals["HEIGHT"]) != ("0", "0", screen[0], screen[1]):
        fail(f"overlay geometry {vals} on a screen of {screen}")

    # A second ctrl+Print during the selection changes nothing.
    key("ctrl+Print")
    time.sleep(0.3)
    if not overlay_shown():
        fail("ctrl+Print during the selection hid the overlay")

    escape_overlay("Escape to hide the overlay")

    # Escape with no overlay does nothing; ctrl+Print works again.
    hold_escape()
    open_overlay(attempts=1)

    # A drag ends the selection and hides the overlay.
    drag(100, 100, 300, 240)
    wait_for(lambda: not overlay_shown(), what="the drag to end the selection")
    cancel_action_dialog()

    # alt+Print captures without the overlay; cancelling the action dialog
    # leaves the program idle.
    key("alt+Print")
    if not never(overlay_shown, 1.0):
        fail("alt+Print showed the overlay")
    cancel_action_dialog()
    open_overlay(attempts=1)
    escape_overlay("Escape")

    # With the lock keys on.
    for lock in ("Num_Lock", "Caps_Lock"):
        key(lock)
        open_overlay(attempts=1)
        escape_overlay(f"Escape with {lock}")
        key("alt+Print")
        if not never(overlay_shown, 0.5):
            fail(f"alt+Print with {lock} showed the overlay")
        cancel_action_dialog()
    key("Num_Lock")
    key("Caps_Lock")

    # Plain Print and shift+Print are not ours.
    for combo in ("Print", "shift+Print"):
        key(combo)
        if not never(overlay_shown, 0.5):
            fail(f"{combo} showed the overlay")

    end_cleanly(proc)
finally:
    if proc.poll() is None:
        proc.kill()
print("ok")
