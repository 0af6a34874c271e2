"""A save into a folder that cannot be written: the message form shows the failure, Enter or Escape closes it, the
action dialog comes back with the same capture, and nothing is left on disk."""
import os
import stat
import time

from e2elib import *  # noqa: F403 (the helpers)

a = args()
folder = "/proc/1/shots"  # permissions do not stop root; the process table's folder does
if os.geteuid() != 0:
    parent = os.path.join(work_dir(), "readonly")
    os.makedirs(parent)
    os.chmod(parent, stat.S_IRUSR | stat.S_IXUSR)
    folder = os.path.join(parent, "shots")

with running(private_program(a.program, folder)):
    dialog = select_area(300, 300, 400, 370)
    # The same capture can be tried again; it fails again the same way.
    for close in ("Return", "Escape"):
        press_in(dialog[0], "Return")
        msg = wait_for(message_form, what="the message form")
        w, h = msg[1][2:]
        if w < 300 or h < 150 or action_dialog():
            fail(f"message form of {w} x {h}, action dialog shown beside it: {bool(action_dialog())}")
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
