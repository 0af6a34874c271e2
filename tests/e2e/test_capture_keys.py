"""The hot keys against the real program: ctrl+Print shows the overlay over
the whole screen, Escape hides it and ctrl+Print works again; a drag ends the
selection; alt+Print never shows the overlay; the keys still fire with Num
Lock and Caps Lock on; plain and shift+Print are not ours."""
import time

from actionslib import close_dialog, drag, geometry
from e2elib import args, fail, never, visible_windows, wait_for, xdotool
from spinelib import OVERLAY, escape_overlay, hold_escape, key, open_overlay, overlay_shown, running

a = args()
with running(a.program):
    open_overlay()
    geo = geometry(visible_windows(OVERLAY)[0])
    sw, sh = (int(v) for v in xdotool("getdisplaygeometry").split())
    if geo != (0, 0, sw, sh):
        fail(f"overlay geometry {geo} on a screen of {sw} x {sh}")
    key("ctrl+Print")  # during the selection: changes nothing
    time.sleep(0.3)
    if not overlay_shown():
        fail("ctrl+Print during the selection hid the overlay")
    escape_overlay()
    hold_escape()  # with no overlay: nothing
    open_overlay(attempts=1)
    drag(100, 100, 300, 240)
    wait_for(lambda: not overlay_shown(), what="the drag to end the selection")
    close_dialog()

    for lock in (None, "Num_Lock", "Caps_Lock"):
        if lock:
            key(lock)
            open_overlay(attempts=1)
            escape_overlay(f"Escape with {lock}")
        key("alt+Print")
        if not never(overlay_shown, 1.0):
            fail(f"alt+Print with {lock} showed the overlay")
        close_dialog()
    open_overlay(attempts=1)  # idle after a cancelled whole-screen capture
    escape_overlay()
    key("Num_Lock")
    key("Caps_Lock")
    for combo in ("Print", "shift+Print"):
        key(combo)
        if not never(overlay_shown, 0.5):
            fail(f"{combo} showed the overlay")
