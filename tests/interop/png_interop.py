#!/usr/bin/env python3
"""Our PNG files of every pixel format and filter pass pngcheck -v and decode
in Pillow to the pixels written; the screenshots saved as 24-bit captures
decode to the pixels of the original."""
import os
import subprocess
import sys

from PIL import Image

from interoplib import TMP, check, files, finish, make, need, pillow, read, same

screens = sys.argv[2]
SCREENS = ['desktop-1920x1080.png', 'desktop-3840x2160.png', 'wallpaper-1920x1080.png',
           'web-docs-1920x1080.png', 'web-docs-3840x2160.png', 'web-index-1920x1080.png']
make('png', TMP)
for s in SCREENS:
    make('save', need(os.path.join(screens, s)), os.path.join(TMP, 'screen-' + s))
names = files(TMP, '.png')
assert len(names) == 43 + len(SCREENS), names
# Pillow's extras a file must carry.
INFO = {'pal-gama-trns': {'gamma': 0.45455, 'transparency': 5}, 'rgb-plte-trns': {'transparency': (0x30, 0x20, 0x10)},
        'grey-trns': {'transparency': 77}}
for name in names:
    path = os.path.join(TMP, name + '.png')
    chk = subprocess.run(['pngcheck', '-v', path], capture_output=True, text=True)
    if not check(chk.returncode == 0 and 'No errors' in chk.stdout, f'{name}: pngcheck: {chk.stdout[-300:]}{chk.stderr}'):
        continue
    if name.startswith('screen-'):
        got = pillow(path)
        check(got[2] == 'RGB' and same(got, pillow(os.path.join(screens, name[7:] + '.png'))), f'{name}: pixels differ')
        continue
    with Image.open(path) as im:
        mode, got = read(os.path.join(TMP, name + '.mode')).decode(), im.tobytes()
        if mode == 'I;16' and im.mode in ('I', 'I;16'):
            # Pillow widens 16-bit grey to 32-bit integers: compare the values.
            got, mode = b''.join(v.to_bytes(2, 'little') for v in im.getdata()), im.mode
        check(im.mode == mode and got == read(os.path.join(TMP, name + '.raw')), f'{name}: mode {im.mode} (want {mode})'
              f' or pixels differ')
        for key, value in INFO.get(name, {}).items():
            check(abs(im.info.get(key, 0) - value) < 1e-9 if key == 'gamma' else im.info.get(key) == value,
                  f'{name}: {key} {im.info.get(key)}')
finish(f'checked {len(names)} files')
