"""The overlay's window destroyed by another client ends the selection as Escape does: the tray menu is enabled
again, and ctrl+Print shows the overlay on a new window, where a drag saves as usual. Destroyed once more after a
start from the tray menu, it leaves every item working, Exit included."""
import os

from e2elib import *  # noqa: F403 (the helpers)

shots = os.path.join(work_dir(), "shots")
program = private_program(args().program, shots)
pattern = paint_pattern()
ROW = 23  # the tray menu's rows; the first item's middle lies 10 pixels down


def destroy_overlay():
    xdotool("windowclose", wait_for(lambda: visible_windows(OVERLAY), what="the overlay")[0])
    time.sleep(0.5)


def click_item(dock, index):
    click_at(open_tray_menu(dock), 60, 10 + ROW * index)


with tray_host() as dock:
    proc = start(program)
    try:
        open_overlay()
        destroy_overlay()
        select_area(100, 200, 300, 400, attempts=3)
        close_dialog("Return", "the dialog to close after Save")
        wait_file(os.path.join(shots, "Image_00001.PNG"))
        check_pixels(os.path.join(shots, "Image_00001.PNG"), pattern, (100, 200, 300, 400), "PNG")

        click_item(dock, 0)  # Capture Area
        destroy_overlay()
        click_item(dock, 5)  # Exit
        if proc.wait(timeout=10) != 0:
            fail(f"Exit from the tray menu ended the program with {proc.returncode}")
    finally:
        if proc.poll() is None:
            proc.kill()
