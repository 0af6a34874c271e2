"""Saving in the BMP format against the real program: with BMP chosen in the
settings, alt+Print and Save write Image_00001.BMP, a bottom-up BMP with a
40-byte header that holds exactly the screen's pixels."""
import os
import struct

from PIL import Image

from actionslib import paint_pattern, private_program, same_pixels, save_whole_screen
from e2elib import args, fail, work_dir
from spinelib import end_cleanly, start

a = args()
shots = os.path.join(work_dir(), "shots")
program = private_program(a.program, shots, fmt="BMP")
pattern = paint_pattern()
shot = os.path.join(shots, "Image_00001.BMP")

proc = start(program)
try:
    save_whole_screen(shot)

    with open(shot, "rb") as f:
        magic, info, width, height, planes, bits = struct.unpack("<2s12xIiiHH", f.read(30))
    if (magic, info, width, height, planes) != (b"BM", 40) + pattern.size + (1,) or bits not in (24, 32):
        fail(f"header: {magic} {info} {width} x {height} at {bits} bits, screen {pattern.size}")
    with Image.open(shot) as img:
        if img.format != "BMP":
            fail(f"Pillow reads {img.format}")
        diff = same_pixels(img, pattern, (0, 0) + pattern.size)
    if diff:
        fail(f"Image_00001.BMP: {diff}")
    if sorted(os.listdir(shots)) != ["Image_00001.BMP"]:
        fail(f"files: {sorted(os.listdir(shots))}")
    end_cleanly(proc)
finally:
    if proc.poll() is None:
        proc.kill()
print("ok")
