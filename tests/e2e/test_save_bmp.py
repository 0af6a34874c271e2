"""Saving in the BMP format against the real program: with BMP chosen in the
settings, alt+Print and Save write Image_00001.BMP, a bottom-up BMP with a
40-byte header that holds exactly the screen's pixels."""
import os
import struct

from PIL import Image

from actionslib import (action_dialog, paint_pattern, press_in, private_program, same_pixels, wait_file,
                        wait_gone)
from e2elib import args, fail, wait_for, work_dir
from spinelib import end_cleanly, key, start

a = args()
shots = os.path.join(work_dir(), "shots")
program = private_program(a.program, shots, fmt="BMP")
pattern = paint_pattern()
shot = os.path.join(shots, "Image_00001.BMP")

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
    wait_file(shot)
    wait_gone(action_dialog, "the dialog to close after Save")

    with open(shot, "rb") as f:
        head = f.read(54)
    magic, size, offset, info, width, height, planes, bits, comp = struct.unpack("<2sI4xIIiiHHI", head[:34])
    if (magic, size, info, planes, comp) != (b"BM", os.path.getsize(shot), 40, 1, 0):
        fail(f"header: {magic} size {size} (file {os.path.getsize(shot)}) info {info} planes {planes} comp {comp}")
    if (width, height) != pattern.size or bits not in (24, 32):
        fail(f"{width} x {height} at {bits} bits, screen is {pattern.size}")
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
