#!/usr/bin/env python3
"""Runs the PNG writer tool, then checks every file with pngcheck -v and
decodes it with Pillow, comparing the pixels with what was written."""
import os
import subprocess
import sys
import tempfile

from PIL import Image

tool, screens = sys.argv[1], sys.argv[2]
SCREENS = ['desktop-1920x1080.png', 'desktop-3840x2160.png', 'wallpaper-1920x1080.png',
           'web-docs-1920x1080.png', 'web-docs-3840x2160.png', 'web-index-1920x1080.png']
for s in SCREENS:
    if not os.path.isfile(os.path.join(screens, s)):
        sys.exit(f'missing test data: {os.path.join(screens, s)}')
failures = []
with tempfile.TemporaryDirectory() as out:
    subprocess.run([tool, out, screens], check=True)
    pngs = sorted(f for f in os.listdir(out) if f.endswith('.png'))
    assert len(pngs) >= 43, pngs
    assert sum(n.startswith('screen-') for n in pngs) == len(SCREENS), pngs
    for name in pngs:
        path = os.path.join(out, name)
        chk = subprocess.run(['pngcheck', '-v', path], capture_output=True, text=True)
        if chk.returncode != 0 or 'No errors' not in chk.stdout:
            failures.append(f'{name}: pngcheck: {chk.stdout[-300:]} {chk.stderr}')
            continue
        with Image.open(path) as im:
            im.load()
            base = name[:-4]
            if name.startswith('screen-'):
                with Image.open(os.path.join(screens, name[len('screen-'):])) as orig:
                    want = orig.convert('RGB').tobytes()
                if im.mode != 'RGB' or im.tobytes() != want:
                    failures.append(f'{name}: pixels differ from the capture')
                continue
            mode = open(os.path.join(out, base + '.mode')).read()
            want = open(os.path.join(out, base + '.raw'), 'rb').read()
            got = im.tobytes()
            if mode == 'I;16' and im.mode in ('I', 'I;16'):
                # Pillow widens 16-bit grey to 32-bit integers: compare the values.
                got = b''.join(v.to_bytes(2, 'little') for v in im.getdata())
                mode = im.mode
            if im.mode != mode or got != want:
                failures.append(f'{name}: mode {im.mode} (want {mode}), {len(got)} bytes (want {len(want)})'
                                f'{", pixels differ" if len(got) == len(want) else ""}')
            if base == 'pal-gama-trns':
                if abs(im.info.get('gamma', 0) - 0.45455) > 1e-9 or im.info.get('transparency') != 5:
                    failures.append(f'{name}: gamma {im.info.get("gamma")} transparency {im.info.get("transparency")}')
            if base == 'rgb-plte-trns' and im.info.get('transparency') != (0x30, 0x20, 0x10):
                failures.append(f'{name}: transparency {im.info.get("transparency")}')
            if base == 'grey-trns' and im.info.get('transparency') != 77:
                failures.append(f'{name}: transparency {im.info.get("transparency")}')
    print(f'checked {len(pngs)} files')
for f in failures:
    print('FAIL', f)
sys.exit(1 if failures else 0)
