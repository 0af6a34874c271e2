"""The hot keys and the overlay: ctrl+Print shows it over the whole screen, again changes nothing; Escape (even a 5
ms tap) hides it; alt+Print never shows it; Num and Caps Lock change nothing; plain and shift+Print are not
ours. The instruction panel stands 10 pixels from the corner opposite the mouse; a press on it with no motion
before starts a selection of exactly the dragged area. A click without a move keeps the overlay; a one-pixel drag
captures. The action dialog destroyed from outside ends as Cancel and the hot keys answer again."""
import os
import time

from e2elib import *  # noqa: F403 (the helpers)

W, H = 545, 57
shots = os.path.join(work_dir(), "shots")
program = private_program(args().program, shots)
pattern = paint_pattern()
sw, sh = pattern.size
x = Client()  # closed at exit


def panel_at(img, left, top):
    """None when the panel stands at (left, top); else what is off."""
    off = colours_off(img, {
        "left part": ((left + 5, top + 40), PURPLE), "bottom row": ((left + 70, top + H - 2), PURPLE),
        "message panel": ((left + 142, top + 50), GREY), "message panel right": ((left + 538, top + 20), GREY),
    })
    if not off and img.getpixel((left + 5, top + H + 1)) == PURPLE:
        off = f"the panel reaches below row {top + H}"
    return off


with running(program):
    open_overlay()
    if geometry(visible_windows(OVERLAY)[0]) != (0, 0, sw, sh):
        fail(f"overlay geometry {geometry(visible_windows(OVERLAY)[0])} on a screen of {sw} x {sh}")
    key("ctrl+Print")
    time.sleep(0.3)
    if not overlay_shown():
        fail("ctrl+Print during the selection hid the overlay")
    # Mouse lower right, upper left, and the middle (counts as upper left).
    far = (sw - W - 10, sh - H - 10)
    for mouse, corner in (((sw - 100, sh - 100), (10, 10)), ((100, 100), far), ((sw // 2, sh // 2), far)):
        xdotool("mousemove", str(mouse[0]), str(mouse[1]))
        if never(lambda: not panel_at(screen(), *corner), 5):
            fail(f"mouse at {mouse}: panel not at {corner}: {panel_at(screen(), *corner)}")
    escape_overlay()
    hold_escape()  # with no overlay: nothing
    for i in range(10):
        open_overlay(attempts=1 if i == 0 else 10)  # at once after the Escape above
        time.sleep(0.2)
        x.tap(XK_ESCAPE, 0.005)
        if never(lambda: not overlay_shown(), 2):
            fail(f"a 5 ms Escape tap did not cancel the overlay (tap {i + 1} of 10)")

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

    # A click without a move selects nothing: the overlay waits for a drag; one of one pixel captures.
    open_overlay()
    xdotool("mousemove", "600", "500")
    time.sleep(0.3)
    xdotool("click", "1")
    if not never(lambda: not overlay_shown() or action_dialog(), 1.0):
        fail("a click without a move ended the selection")
    drag(600, 500, 601, 501)
    close_dialog("Return", "the dialog to close after Save")
    wait_file(os.path.join(shots, "Image_00002.PNG"))
    check_pixels(os.path.join(shots, "Image_00002.PNG"), pattern, (600, 500, 601, 501), "PNG")

    # The action dialog's window destroyed by another client ends as Cancel: the hot keys answer again.
    xdotool("windowclose", whole_screen_dialog()[0])
    wait_gone(action_dialog, "the destroyed dialog to go")
    open_overlay(attempts=3)
    escape_overlay()
