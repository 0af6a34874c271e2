"""BMP, TIF and JPG chosen in the settings: alt+Print and Save write Image_00001.<FMT> of the whole screen: a
bottom-up BMP with a 40-byte header and a TIFF (through the plug-in beside the program) holding exactly its
pixels, and a JPEG that an independent decoder reads close to it."""
import glob
import math
import os
import shutil
import struct

from PIL import Image, ImageChops, ImageStat

from e2elib import *  # noqa: F403 (the helpers)

a = args()
pattern = paint_pattern()
plugins = glob.glob(os.path.join(os.path.dirname(a.program), "*.so"))
if not plugins:
    fail(f"no plug-in beside {a.program}")
for fmt in ("BMP", "TIF", "JPG"):
    shots = os.path.join(work_dir(), "shots-" + fmt)
    shot = os.path.join(shots, "Image_00001." + fmt)
    program = private_program(a.program, shots, fmt)
    for p in plugins:
        shutil.copy(p, os.path.dirname(program))
    with running(program, fmt):
        save_whole_screen(shot)
        if os.listdir(shots) != [os.path.basename(shot)]:
            fail(f"files saved: {os.listdir(shots)}")
    if fmt == "BMP":
        with open(shot, "rb") as f:
            head = struct.unpack("<2s12xIiiHH", f.read(30))
        if head[:5] != (b"BM", 40) + pattern.size + (1,) or head[5] not in (24, 32):
            fail(f"BMP header {head}, screen {pattern.size}")
    if fmt != "JPG":  # the TIFF plug-in's deflate is pinned by interop_tiff
        check_pixels(shot, pattern, (0, 0) + pattern.size, {"BMP": "BMP", "TIF": "TIFF"}[fmt])
        continue
    with Image.open(shot) as img:
        if (img.format, img.mode, img.size) != ("JPEG", "RGB", pattern.size):
            fail(f"saved {img.format} {img.mode} {img.size}, screen is {pattern.size}")
        mse = sum(v * v for v in ImageStat.Stat(ImageChops.difference(img, pattern)).rms) / 3
    psnr = 10 * math.log10(255 * 255 / max(mse, 1e-9))
    print(f"PSNR {psnr:.2f} dB")
    if psnr < 30:
        fail(f"PSNR {psnr:.2f} dB against the screen, below 30 dB")
