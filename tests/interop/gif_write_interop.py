#!/usr/bin/env python3
"""Runs the GIF re-encoding tool (which checks every frame with giflib),
then decodes every file it wrote with Pillow: each frame must look as Pillow
shows the original, and the screenshots must show the reduced colours."""
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


def main():
    tool, suites, screens = sys.argv[1:4]
    failures = []
    with tempfile.TemporaryDirectory() as out:
        run = subprocess.run([tool, out, suites, screens], capture_output=True, text=True)
        print(run.stdout, run.stderr)
        if run.returncode != 0:
            sys.exit('the tool failed')
        checked = 0
        for line in open(os.path.join(out, 'manifest.txt')):
            name, source = line.rstrip('\n').split('\t')
            path = os.path.join(out, name)
            if source.endswith('.rgb'):
                want = open(os.path.join(out, source), 'rb').read()
                with Image.open(path) as im:
                    got = im.convert('RGB').tobytes()
                if got != want:
                    failures.append(f'{name}: screenshot colours differ')
                checked += 1
                continue
            try:
                size, want = frames(source)
            except Exception:
                continue  # Pillow cannot read the original either
            try:
                _, got = frames(path, size)
            except Exception as e:
                failures.append(f'{name} ({source}): Pillow cannot read it: {e}')
                continue
            if got != want:
                failures.append(f'{name} ({source}): frames differ')
            checked += 1
    print(f'{checked} files checked with Pillow')
    if checked < 200:
        failures.append(f'only {checked} files checked')
    if failures:
        sys.exit('\n'.join(failures))


main()
