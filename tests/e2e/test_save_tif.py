"""TIF chosen in the settings: alt+Print and Save write Image_00001.TIF, the
whole screen's pixels, through the TIFF plug-in that lies beside the program."""
import glob
import os
import shutil

from PIL import Image

from actionslib import paint_pattern, private_program, same_pixels, save_whole_screen
from e2elib import args, fail, work_dir
from spinelib import end_cleanly, start

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
    shot = os.path.join(shots, "Image_00001.TIF")
    save_whole_screen(shot)
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
