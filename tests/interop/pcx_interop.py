#!/usr/bin/env python3
"""PCX both ways with Pillow: every file our writer makes (odd and even
bytes per line, 8- and 24-bit) decodes in Pillow to the pixels we wrote, and
Pillow's own PCX files (which pad odd lines) load in ours to Pillow's pixels."""
import os
import subprocess
import sys
import tempfile

from PIL import Image

tool = sys.argv[1]
failures = []
with tempfile.TemporaryDirectory() as d:
    subprocess.run([tool, 'write', d], check=True)
    names = sorted(f[:-4] for f in os.listdir(d) if f.endswith('.pcx'))
    assert len(names) == 6, names
    for n in names:
        with Image.open(os.path.join(d, n + '.pcx')) as im:
            got = im.convert('RGB').tobytes()
        want = open(os.path.join(d, n + '.rgb'), 'rb').read()
        if got != want:
            failures.append(f'Pillow reads our {n}.pcx differently')

    for mode, size in (('P', (7, 5)), ('L', (13, 3)), ('RGB', (5, 4)), ('RGB', (3, 2)), ('RGB', (64, 9))):
        w, h = size
        im = Image.new('RGB', size)
        im.putdata([((x * 37 + y) % 256, (y * 91) % 256, 0xC0 + (x + y) % 64) for y in range(h) for x in range(w)])
        if mode == 'P':
            im = im.quantize(colors=20)
        elif mode == 'L':
            im = im.convert('L')
        path = os.path.join(d, f'pillow-{mode}-{w}x{h}.pcx')
        im.save(path)
        out = path + '.rgb'
        r = subprocess.run([tool, 'read', path, out], capture_output=True, text=True)
        if r.returncode != 0:
            failures.append(f'{path}: {r.stderr.strip()}')
            continue
        if r.stdout.split() != [str(w), str(h)] or open(out, 'rb').read() != im.convert('RGB').tobytes():
            failures.append(f'ours reads {os.path.basename(path)} differently ({r.stdout.strip()})')
    print(f'checked {len(names)} of ours and 5 of Pillow')
for f in failures:
    print('FAIL', f)
sys.exit(1 if failures else 0)
