#!/usr/bin/env python3
"""Runs the GIF re-encoding tool (which checks every frame with giflib), then
decodes every file it wrote with Pillow: each frame must look as Pillow shows
the original (for the screenshots: the reduced picture, saved as PNG)."""
import os
import subprocess
import sys
import tempfile

from PIL import Image


def frames(path, size=None):
    """Every frame as Pillow composes it, cut to size (the loader grows a
    logical screen that a frame overhangs)."""
    with Image.open(path) as im:
        size = size or im.size
        out = []
        for i in range(getattr(im, 'n_frames', 1)):
            im.seek(i)
            out.append(im.convert('RGBA').crop((0, 0) + size).tobytes())
        return size, out


failures, checked = [], 0
with tempfile.TemporaryDirectory() as out:
    run = subprocess.run([sys.argv[1], out] + sys.argv[2:4], capture_output=True, text=True)
    print(run.stdout, run.stderr)
    if run.returncode != 0:
        sys.exit('the tool failed')
    for line in open(os.path.join(out, 'manifest.txt')):
        name, source = line.rstrip('\n').split('\t')
        try:
            size, want = frames(source)
        except Exception:
            continue  # Pillow cannot read the original either
        try:
            if frames(os.path.join(out, name), size)[1] != want:
                failures.append(f'{name} ({source}): frames differ')
        except Exception as e:
            failures.append(f'{name} ({source}): Pillow cannot read it: {e}')
        checked += 1
print(f'{checked} files checked with Pillow')
if checked < 200 or failures:
    sys.exit('\n'.join(failures + [f'{checked} files checked']))
