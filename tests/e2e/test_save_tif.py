"""TIF chosen in the settings: alt+Print and Save write Image_00001.TIF, the
whole screen's pixels, through the TIFF plug-in that lies beside the program."""
import glob
import os
import shutil

from PIL import Image

from actionslib import action_dialog, paint_pattern, press_in, private_program, same_pixels, wait_file, wait_gone
from e2elib import args, fail, wait_for, work_dir
from spinelib import end_cleanly, key, start

a = args()
shots = os.path.join(work_dir(), "shots")
program = private_program(a.program, shots, "TIF")
plugins = glob.glob(os.path.join(os.path.dirname(a.program), "*.so"))
if not plugins:
    fail(f"no plug-in beside {a.program}")
for p in plugins:
    shutil.copy(p, os.path.dirname(program))
pattern = paint_pattern()

proc = start(program)
try:
    for _ in range(10):
        key("alt+Print")
        try:
            dialog = wait_for(action_dialog, timeout=1.5, what="the dialog")
            break
        except AssertionError:
            pass
    else:
        fail("alt+Print never showed the action dialog")
    press_in(dialog[0], "Return")
    shot = os.path.join(shots, "Image_00001.TIF")
    wait_file(shot)
    wait_gone(action_dialog, "the dialog to close after Save")
    with Image.open(shot) as img:
        if img.format != "TIFF" or img.info.get("compression") != "tiff_adobe_deflate":
            fail(f"{shot}: {img.format} {img.info.get('compression')}")
        diff = same_pixels(img, pattern, (0, 0) + pattern.size)
    if diff:
        fail(f"Image_00001.TIF: {diff}")
    end_cleanly(proc)
finally:
    if proc.poll() is None:
        proc.kill()
print("ok")
