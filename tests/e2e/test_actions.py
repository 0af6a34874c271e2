"""The capture actions: Save of an area or the whole screen holds exactly its pixels, the clipboard serves the
selection as PNG, e-mail saves first and does not wait for the client, "Open dest. folder" keeps the dialog. A
folder typed into the settings takes the next save of the same capture and stays in the settings file; the about
box's web link goes to the desktop's opener."""
import os
import subprocess
import time

from e2elib import *  # noqa: F403 (the helpers)

calls = fake_tools()
shots = os.path.join(work_dir(), "shots", "new")  # created by the first save
chosen = os.path.join(work_dir(), "chosen folder", "shots")  # a blank, and created by the save
program = private_program(args().program, shots)
pattern = paint_pattern()


def check_png(path, box): check_pixels(path, pattern, box, "PNG")  # pngcheck: interop_png


def shot(n): return os.path.join(shots, "Image_%05d.PNG" % n)
def gone(title): wait_for(lambda: not visible_windows(f"^{title}$"), what=f"the {title} window to close")


def window(title):
    win = wait_for(lambda: visible_windows(f"^{title}$"), what=f"the {title} window")[0]
    return win, geometry(win)


def check_settings(when):
    got = open(settings_file(program)).read()
    if got.strip() != f"[Generics]\nDestinationFolder={chosen}\nImageFileFormat=PNG":
        fail(f"settings file {when}: {got!r}")


with running(program):
    select_area(100, 120, 340, 300)
    close_dialog("Return", "the dialog to close after Save")
    check_png(shot(1), (100, 120, 340, 300))  # whole-screen saves: below and test_save_formats

    # Dragged up and to the left; the clipboard is served while the program runs.
    click_button(select_area(500, 400, 420, 330), "clipboard")
    wait_gone(action_dialog, "the dialog to close after the clipboard copy")
    clip = os.path.join(work_dir(), "clip.png")
    with open(clip, "wb") as f:
        if subprocess.run(["xclip", "-selection", "clipboard", "-t", "image/png", "-o"], stdout=f, timeout=20).returncode:
            fail("xclip could not read an image/png from the clipboard")
    check_pixels(clip, pattern, (420, 330, 500, 400), "PNG")

    # E-mail: saved first (next number); the client lingers, the program does not wait.
    click_button(select_area(700, 600, 764, 648), "email")
    wait_file(shot(2))
    mails = wait_for(lambda: recorded_calls(calls, "xdg-email"), what="the mail client")
    want = ["--subject", "Image captured with Korvane ScreenShot - Ver. 2.0", "--attach", shot(2)]
    if mails != [want]:
        fail(f"mail client called with {mails}, expected {want}")
    check_png(shot(2), (700, 600, 764, 648))
    wait_gone(action_dialog, "the dialog to close after e-mail")
    t0 = time.monotonic()
    open_overlay(attempts=3)
    if time.monotonic() - t0 > 5:
        fail("the program waited for the mail client")
    escape_overlay()

    # Open dest. folder keeps the dialog; Escape then cancels without saving.
    click_button(select_area(200, 200, 260, 260), "open")
    opened = wait_for(lambda: recorded_calls(calls, "xdg-open"), what="the file manager")
    if opened != [[shots]]:
        fail(f"xdg-open called with {opened}, expected {[[shots]]}")
    if time.sleep(0.5) or not action_dialog():
        fail("the dialog closed after Open dest. folder")
    close_dialog()
    if time.sleep(0.5) or sorted(os.listdir(shots)) != [os.path.basename(shot(n)) for n in (1, 2)]:
        fail(f"files after cancel: {sorted(os.listdir(shots))}")

    # Settings: a new folder typed over the old one, confirmed with Enter (OK is the default).
    click_button(whole_screen_dialog(), "settings")
    click_at(window("Settings")[1], 5 + 11 + 100, 101 + 117 + 10)  # into edFileSaveFolder
    [xdotool(*a) for a in (("key", "ctrl+a"), ("type", "--delay", "10", chosen), ("key", "Return"))]
    gone("Settings")
    check_settings("after OK")

    click_button(wait_dialog("the action dialog after the settings"), "about")
    about, geo = window("About")
    click_at(geo, 5 + 12 + 40, 101 + 88 + 11)  # on lbWebSite's text
    url = ["https://korvane-screenshot.example/"]
    got = wait_for(lambda: url in recorded_calls(calls, "xdg-open") and recorded_calls(calls, "xdg-open"),
                   what="xdg-open to be called")
    if sorted(got) != sorted([[shots], url]):
        fail(f"xdg-open calls: {got}")
    focus(about)
    xdotool("key", "Escape")
    gone("About")

    # The same capture goes into the new folder; the old one stays as it was.
    click_button(wait_dialog("the action dialog after the about box"), "save")
    wait_file(os.path.join(chosen, "Image_00003.PNG"))
    wait_gone(action_dialog, "the dialog to close after Save")
    check_png(os.path.join(chosen, "Image_00003.PNG"), (0, 0) + pattern.size)
    if len(os.listdir(shots)) != 2:
        fail(f"files in the old folder: {sorted(os.listdir(shots))}")
    open_overlay(attempts=3)  # idle again
    escape_overlay()
check_settings("after the program ended")
