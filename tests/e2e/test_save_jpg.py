"""Saving as JPEG against the real program: with the format JPG in the
settings, alt+Print and Save write Image_00001.JPG, a baseline JPEG of the
whole screen that an independent decoder reads close to the screen."""
import math
import os

from PIL import Image, ImageChops, ImageStat

from actionslib import action_dialog, paint_pattern, press_in, private_program, wait_file, wait_gone
from e2elib import args, fail, wait_for, work_dir
from spinelib import end_cleanly, key, start

a = args()
shots = os.path.join(work_dir(), "shots")
program = private_program(a.program, shots, fmt="JPG")
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
    path = os.path.join(shots, "Image_00001.JPG")
    wait_file(path)
    wait_gone(action_dialog, "the dialog to close after Save")
    if os.listdir(shots) != ["Image_00001.JPG"]:
        fail(f"files saved: {os.listdir(shots)}")
    with Image.open(path) as img:
        if img.format != "JPEG" or img.mode != "RGB" or img.size != pattern.size:
            fail(f"saved {img.format} {img.mode} {img.size}, screen is {pattern.size}")
        mse = sum(v * v for v in ImageStat.Stat(ImageChops.difference(img, pattern)).rms) / 3
    psnr = 10 * math.log10(255 * 255 / max(mse, 1e-9))
    print(f"PSNR {psnr:.2f} dB")
    if psnr < 30:
        fail(f"PSNR {psnr:.2f} dB against the screen, below 30 dB")
    end_cleanly(proc)
finally:
    if proc.poll() is None:
        proc.kill()
print("ok")
