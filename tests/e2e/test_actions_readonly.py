"""A save into a folder that cannot be written: the message form shows the
failure with the folder and the file name, Enter closes it, the action
dialog comes back with the same capture, and nothing is left on disk."""
import os
import stat
import time

from actionslib import (action_dialog, drag, message_form, press_in, private_program,
                        wait_dialog, wait_gone)
from e2elib import GREY, PURPLE, args, colours_off, fail, screen, wait_for, work_dir, xdotool
from spinelib import end_cleanly, escape_overlay, open_overlay, overlay_shown, start

a = args()
if os.geteuid() == 0:
    # Permissions do not stop root; the process table's folder does.
    folder = "/proc/1/shots"
else:
    parent = os.path.join(work_dir(), "readonly")
    os.makedirs(parent)
    os.chmod(parent, stat.S_IRUSR | stat.S_IXUSR)
    folder = os.path.join(parent, "shots")
program = private_program(a.program, folder)

proc = start(program)
try:
    open_overlay()
    drag(300, 300, 400, 370)
    wait_for(lambda: not overlay_shown(), what="the selection to end")
    dialog = wait_dialog()
    x, y = dialog[1][:2]
    time.sleep(0.3)
    off = colours_off(screen(), {
        "form left of the buttons": ((x + 2, y + 200), PURPLE),
        "button panel": ((x + 61, y + 9), GREY),
        "form between the panels": ((x + 404, y + 100), PURPLE),
        "banner panel below the banner": ((x + 507, y + 218), GREY),
    })
    if off:
        fail(f"action dialog: {off}")
    press_in(dialog[0], "Return")
    msg = wait_for(message_form, what="the message form")
    x, y, w, h = msg[1]
    time.sleep(0.3)
    off = colours_off(screen(), {
        "form": ((x + 2, y + 2), PURPLE),
        "message panel": ((x + 165, y + 35), GREY),
        "silver line under the logo": ((x + 25, y + 77), (0xC0, 0xC0, 0xC0)),
        "button panel": ((x + 9, y + h - 72), GREY),
        "form below the buttons": ((x + 10, y + h - 10), PURPLE),
    })
    if off:
        fail(f"message form of {w} x {h}: {off}")
    if action_dialog():
        fail("the action dialog is still shown beside the message form")
    _, (_, _, w, h) = msg
    if w < 300 or h < 150:
        fail(f"message form of {w} x {h}")
    press_in(msg[0], "Return")
    wait_gone(message_form, "Enter to close the message form")
    dialog = wait_dialog("the action dialog to come back")
    # The same capture can be tried again; it fails again the same way.
    press_in(dialog[0], "Return")
    msg = wait_for(message_form, what="the message form again")
    press_in(msg[0], "Escape")
    wait_gone(message_form, "Escape to close the message form")
    dialog = wait_dialog("the action dialog to come back again")
    press_in(dialog[0], "Escape")
    wait_gone(action_dialog, "Escape to cancel")
    time.sleep(0.3)
    if os.path.exists(folder) and os.listdir(folder):
        fail(f"files left in {folder}: {os.listdir(folder)}")
    # Idle again.
    open_overlay(attempts=3)
    escape_overlay("Escape")
    end_cleanly(proc)
finally:
    if proc.poll() is None:
        proc.kill()
print("ok")
