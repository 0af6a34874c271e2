"""Settings and about box opened from the action dialog of the tray-less
program: a destination folder typed into the settings is used by the next
save of the same capture and is in the settings file after the program has
ended; the about box's web link goes to the desktop's opener."""
import configparser
import glob
import os
import pwd
import time

from actionslib import (action_dialog, click_button, fake_tools, focus, geometry,
                        private_program, recorded_calls, wait_dialog, wait_file, wait_gone)
from e2elib import args, fail, visible_windows, wait_for, work_dir, xdotool
from spinelib import key, start, stop

a = args()
if not a.program:
    fail("no program given")
calls = fake_tools()
first = os.path.join(work_dir(), "first")
chosen = os.path.join(work_dir(), "chosen folder", "shots")  # a blank, and created by the save
program = private_program(a.program, first)
ini = program + "." + pwd.getpwuid(os.geteuid()).pw_name + ".ini"


def settings_value(key_name):
    cfg = configparser.ConfigParser(interpolation=None)
    cfg.optionxform = str
    cfg.read(ini)
    return cfg.get("Generics", key_name, fallback=None)


def window(title):
    win = wait_for(lambda: visible_windows("^" + title + "$"), timeout=10,
                   what=f"the {title} window")[0]
    return win, geometry(win)


def click_at(win_geometry, x, y):
    wx, wy, _, _ = win_geometry
    xdotool("mousemove", str(wx + x), str(wy + y))
    time.sleep(0.1)
    xdotool("click", "1")


proc = start(program)
try:
    for _ in range(10):
        key("alt+Print")
        try:
            dialog = wait_for(action_dialog, timeout=1.5, what="the action dialog")
            break
        except AssertionError:
            pass
    else:
        fail("alt+Print never showed the action dialog")

    # Settings: type a new folder over the old one and confirm with Enter.
    click_button(dialog, "settings")
    settings, sg = window("Settings")
    click_at(sg, 5 + 11 + 100, 101 + 117 + 10)  # into edFileSaveFolder
    xdotool("key", "ctrl+a")
    xdotool("type", "--delay", "10", chosen)
    xdotool("key", "Return")  # OK is the default button
    wait_for(lambda: not visible_windows("^Settings$"), what="the settings to close")
    if settings_value("DestinationFolder") != chosen:
        fail(f"settings file after OK: {open(ini).read()!r}")
    if settings_value("ImageFileFormat") != "PNG":
        fail(f"format after OK: {open(ini).read()!r}")

    # About: the web address goes to xdg-open; Escape closes the box.
    dialog = wait_dialog("the action dialog after the settings")
    click_button(dialog, "about")
    about, ag = window("About")
    click_at(ag, 5 + 12 + 40, 101 + 88 + 11)  # on lbWebSite's text
    wait_for(lambda: recorded_calls(calls, "xdg-open"), what="xdg-open to be called")
    got = recorded_calls(calls, "xdg-open")
    if got != [["https://korvane-screenshot.example/"]]:
        fail(f"xdg-open calls: {got}")
    focus(about)
    xdotool("key", "Escape")
    wait_for(lambda: not visible_windows("^About$"), what="the about box to close")

    # The same capture is saved into the new folder.
    dialog = wait_dialog("the action dialog after the about box")
    click_button(dialog, "save")
    wait_file(os.path.join(chosen, "Image_00001.PNG"))
    wait_gone(action_dialog, "the dialog to close after Save")
    if glob.glob(os.path.join(first, "*")):
        fail("something was saved into the old folder")
    with open(os.path.join(chosen, "Image_00001.PNG"), "rb") as f:
        if f.read(8) != b"\x89PNG\r\n\x1a\n":
            fail("the saved capture is not a PNG file")
finally:
    rc = stop(proc)

if rc != 0:
    fail(f"program ended with {rc}")
if settings_value("DestinationFolder") != chosen:
    fail(f"settings file after the program ended: {open(ini).read()!r}")
print("ok")
