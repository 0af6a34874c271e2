"""Saving as JPEG against the real program: with the format JPG in the
settings, alt+Print and Save write Image_00001.JPG, a baseline JPEG of the
whole screen that an independent decoder reads close to the screen."""
import math
import os

from PIL import Image, ImageChops, ImageStat

from actionslib import paint_pattern, private_program, save_whole_screen
from e2elib import args, fail, work_dir
from spinelib import end_cleanly, start

a = args()
shots = os.path.join(work_dir(), "shots")
program = private_program(a.program, shots, fmt="JPG")
pattern = paint_pattern()

proc = start(program)
try:
    path = os.path.join(shots, "Image_00001.JPG")
    save_whole_screen(path)
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
