"""A save into a folder that cannot be written: the message form shows the
failure, Enter or Escape closes it, the action dialog comes back with the
same capture, and nothing is left on disk."""
import os
import stat
import time

from actionslib import action_dialog, drag, message_form, press_in, private_program, wait_dialog, wait_gone
from e2elib import GREY, PURPLE, args, colours_off, fail, screen, wait_for, work_dir
from spinelib import end_cleanly, escape_overlay, open_overlay, overlay_shown, start

a = args()
folder = "/proc/1/shots"  # permissions do not stop root; the process table's folder does
if os.geteuid() != 0:
    parent = os.path.join(work_dir(), "readonly")
    os.makedirs(parent)
    os.chmod(parent, stat.S_IRUSR | stat.S_IXUSR)
    folder = os.path.join(parent, "shots")


def looks(what, points):
    time.sleep(0.3)
    off = colours_off(screen(), points)
    if off:
        fail(f"{what}: {off}")


proc = start(private_program(a.program, folder))
try:
    open_overlay()
    drag(300, 300, 400, 370)
    wait_for(lambda: not overlay_shown(), what="the selection to end")
    dialog = wait_dialog()
    x, y = dialog[1][:2]
    looks("action dialog", {"form left of the buttons": ((x + 2, y + 200), PURPLE),
                            "button panel": ((x + 61, y + 9), GREY),
                            "form between the panels": ((x + 404, y + 100), PURPLE),
                            "banner panel below the banner": ((x + 507, y + 218), GREY)})
    # The same capture can be tried again; it fails again the same way.
    for close in ("Return", "Escape"):
        press_in(dialog[0], "Return")
        msg = wait_for(message_form, what="the message form")
        x, y, w, h = msg[1]
        if close == "Return":
            if w < 300 or h < 150 or action_dialog():
                fail(f"message form of {w} x {h}, action dialog shown beside it: {bool(action_dialog())}")
            looks(f"message form of {w} x {h}", {"form": ((x + 2, y + 2), PURPLE),
                                                 "message panel": ((x + 165, y + 35), GREY),
                                                 "silver line under the logo": ((x + 25, y + 77), (0xC0, 0xC0, 0xC0)),
                                                 "button panel": ((x + 9, y + h - 72), GREY),
                                                 "form below the buttons": ((x + 10, y + h - 10), PURPLE)})
        press_in(msg[0], close)
        wait_gone(message_form, f"{close} to close the message form")
        dialog = wait_dialog("the action dialog to come back")
    press_in(dialog[0], "Escape")
    wait_gone(action_dialog, "Escape to cancel")
    time.sleep(0.3)
    if os.path.exists(folder) and os.listdir(folder):
        fail(f"files left in {folder}: {os.listdir(folder)}")
    open_overlay(attempts=3)  # idle again
    escape_overlay("Escape")
    end_cleanly(proc)
finally:
    if proc.poll() is None:
        proc.kill()
print("ok")
