"""Settings and about box opened from the action dialog of the tray-less
program: a destination folder typed into the settings is used by the next
save of the same capture and is in the settings file after the program has
ended; the about box's web link goes to the desktop's opener."""
import os

from actionslib import (action_dialog, click_at, click_button, fake_tools, focus, geometry,
                        private_program, recorded_calls, settings_file, wait_dialog, wait_file,
                        wait_gone, whole_screen_dialog)
from e2elib import args, fail, visible_windows, wait_for, work_dir, xdotool
from spinelib import running, stop

calls = fake_tools()
first = os.path.join(work_dir(), "first")
chosen = os.path.join(work_dir(), "chosen folder", "shots")  # a blank, and created by the save
program = private_program(args().program, first)
ini = settings_file(program)


def check_settings(when):
    with open(ini) as f:
        if f.read().strip() != f"[Generics]\nDestinationFolder={chosen}\nImageFileFormat=PNG":
            fail(f"settings file {when}: {open(ini).read()!r}")


def window(title):
    win = wait_for(lambda: visible_windows("^" + title + "$"), what=f"the {title} window")[0]
    return win, geometry(win)


def gone(title):
    wait_for(lambda: not visible_windows("^" + title + "$"), what=f"the {title} window to close")


with running(program, clean_end=False) as proc:
    click_button(whole_screen_dialog(), "settings")
    click_at(window("Settings")[1], 5 + 11 + 100, 101 + 117 + 10)  # into edFileSaveFolder
    xdotool("key", "ctrl+a")
    xdotool("type", "--delay", "10", chosen)
    xdotool("key", "Return")  # OK is the default button
    gone("Settings")
    check_settings("after OK")

    click_button(wait_dialog("the action dialog after the settings"), "about")
    about, geo = window("About")
    click_at(geo, 5 + 12 + 40, 101 + 88 + 11)  # on lbWebSite's text
    got = wait_for(lambda: recorded_calls(calls, "xdg-open"), what="xdg-open to be called")
    if got != [["https://korvane-screenshot.example/"]]:
        fail(f"xdg-open calls: {got}")
    focus(about)
    xdotool("key", "Escape")
    gone("About")

    # The same capture goes into the new folder.
    click_button(wait_dialog("the action dialog after the about box"), "save")
    wait_file(os.path.join(chosen, "Image_00001.PNG"))
    wait_gone(action_dialog, "the dialog to close after Save")
    if os.path.exists(first) and os.listdir(first):
        fail("something was saved into the old folder")
    with open(os.path.join(chosen, "Image_00001.PNG"), "rb") as f:
        if f.read(8) != b"\x89PNG\r\n\x1a\n":
            fail("the saved capture is not a PNG file")
    if stop(proc) != 0:
        fail(f"program ended with {proc.returncode}")
    check_settings("after the program ended")
