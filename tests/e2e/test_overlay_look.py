"""The overlay as a person sees it: the instruction panel (545 x 57, purple
with the grey message panel) stands in the corner diagonally opposite the
mouse, 10 pixels from the edges, and goes to the other corner with the mouse."""
import time

from e2elib import GREY, PURPLE, args, colours_off, fail, screen, xdotool
from spinelib import escape_overlay, open_overlay, running

W, H = 545, 57


def panel_at(img, left, top):
    """None when the panel stands at (left, top); else what is off."""
    off = colours_off(img, {
        "left part": ((left + 5, top + 40), PURPLE),
        "right edge": ((left + W - 3, top + 30), PURPLE),
        "bottom row": ((left + 70, top + H - 2), PURPLE),
        "message panel": ((left + 142, top + 50), GREY),
        "message panel right": ((left + 538, top + 20), GREY),
    })
    if not off and img.getpixel((left + 5, top + H + 1)) == PURPLE:
        off = f"the panel reaches below row {top + H}"
    return off


with running(args().program):
    sw, sh = (int(v) for v in xdotool("getdisplaygeometry").split())
    far = (sw - W - 10, sh - H - 10)
    open_overlay()
    # Mouse lower right, upper left, and the middle (counts as upper left).
    for mouse, corner in (((sw - 100, sh - 100), (10, 10)), ((100, 100), far), ((sw // 2, sh // 2), far)):
        xdotool("mousemove", str(mouse[0]), str(mouse[1]))
        end = time.monotonic() + 5
        problem = "not checked"
        while problem and time.monotonic() < end:
            time.sleep(0.3)
            problem = panel_at(screen(), *corner)
        if problem:
            fail(f"mouse at {mouse}: panel not at {corner}: {problem}")
    escape_overlay()
