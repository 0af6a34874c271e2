#!/usr/bin/env python3
"""PCX both ways with Pillow: every file our writer makes (odd and even bytes
per line, 8- and 24-bit) decodes in Pillow to the pixels we wrote, and
Pillow's own PCX files (which pad odd lines) load in ours to Pillow's pixels."""
import os

from PIL import Image

from interoplib import TMP, check, files, finish, load, make, pillow, read, same

make('cases', 'pcx', TMP)
names = files(TMP, '.pcx')
assert len(names) == 6, names
for n in names:
    check(pillow(os.path.join(TMP, n + '.pcx'))[3] == read(os.path.join(TMP, n + '.rgb')), f'Pillow reads our {n}.pcx')
for mode, w, h in (('P', 7, 5), ('L', 13, 3), ('RGB', 5, 4), ('RGB', 3, 2), ('RGB', 64, 9)):
    im = Image.new('RGB', (w, h))
    im.putdata([((x * 37 + y) % 256, y * 91 % 256, 0xC0 + (x + y) % 64) for y in range(h) for x in range(w)])
    path = os.path.join(TMP, f'pillow-{mode}-{w}x{h}.pcx')
    im = im.quantize(colors=20) if mode == 'P' else im.convert(mode)
    im.save(path)  # Pillow's own reader gets its odd-width files wrong: compare with the source
    check(same(load(path), (w, h, '', im.convert('RGB').tobytes())), f'ours reads {os.path.basename(path)} differently')
finish(f'checked {len(names)} of ours and 5 of Pillow')
