"""The overlay as a person sees it on the real display: the instruction
panel (545 x 57 on an ordinary day, purple with the grey message panel)
stands in the corner diagonally opposite the mouse, 10 pixels from the
edges, and goes over to the other corner when the mouse does."""
import time

from e2elib import GREY, PURPLE, args, colours_off, fail, screen, xdotool
from spinelib import end_cleanly, escape_overlay, open_overlay, start

W, H = 545, 57


def panel_at(img, left, top):
    """None when the panel's colours stand at (left, top); else what is off."""
    off = colours_off(img, {
        "left part": ((left + 5, top + 40), PURPLE),
        "right edge": ((left + W - 3, top + 30), PURPLE),
        "bottom row": ((left + 70, top + H - 2), PURPLE),
        "message panel": ((left + 142, top + 50), GREY),
        "message panel right": ((left + 538, top + 20), GREY),
    })
    if off:
        return off
    # Only 57 rows high: the row below the panel is no longer panel.
    below = img.getpixel((left + 5, top + H + 1))
    if below == PURPLE:
        return f"the panel reaches below row {top + H}"
    return None


a = args()
proc = start(a.program)
try:
    sw, sh = (int(v) for v in xdotool("getdisplaygeometry").split())
    open_overlay()
    corners = [
        ((sw - 100, sh - 100), (10, 10)),                      # mouse lower right
        ((100, 100), (sw - W - 10, sh - H - 10)),              # mouse upper left
        ((sw // 2, sh // 2), (sw - W - 10, sh - H - 10)),      # the middle counts as left, upper
    ]
    for mouse, (left, top) in corners:
        xdotool("mousemove", str(mouse[0]), str(mouse[1]))
        problem = "not checked"
        end = time.monotonic() + 5
        while problem and time.monotonic() < end:
            time.sleep(0.3)
            problem = panel_at(screen(), left, top)
        if problem:
            fail(f"mouse at {mouse}: panel not at ({left}, {top}): {problem}")
    escape_overlay("Escape")
    end_cleanly(proc)
finally:
    if proc.poll() is None:
        proc.kill()
print("ok")
