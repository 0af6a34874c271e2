#!/usr/bin/env python3
"""ICO/CUR interop with Pillow: what we write (4-, 8- and 24-bit, icon and
cursor) decodes in Pillow to the pixels we meant, with the cursor's hot spot;
what Pillow writes (several entries, 32-bit and PNG ones among them) gives us
every BMP image with Pillow's pixels and passes over the rest."""
import io
import os
import struct
import subprocess
import sys
import tempfile

from PIL import Image

tool = sys.argv[1]
failures = []


def entries(data):
    _, kind, count = struct.unpack_from('<HHH', data, 0)
    return kind, [struct.unpack_from('<BBBBHHII', data, 6 + 16 * i) for i in range(count)]


def merge(*files):
    """One ICO file holding the entries of all the given ones."""
    items = []
    for data in files:
        for w, h, c, r, f1, f2, size, off in entries(data)[1]:
            items.append(((w, h, c, r, f1, f2), data[off:off + size]))
    out = struct.pack('<HHH', 0, 1, len(items))
    offset = 6 + 16 * len(items)
    for head, blob in items:
        out += struct.pack('<BBBBHHII', *head, len(blob), offset)
        offset += len(blob)
    return out + b''.join(blob for _, blob in items)


def picture(mode, size):
    im = Image.new('RGB', size)
    im.putdata([((x * 37) % 256, (y * 53) % 256, ((x + y) * 11) % 256)
                for y in range(size[1]) for x in range(size[0])])
    return im.convert(mode)


with tempfile.TemporaryDirectory() as out:
    # Ours, read by Pillow.
    for depth in (4, 8, 24):
        for ext, hot in (('ico', (0, 0)), ('cur', (17, 5))):
            path = os.path.join(out, f'd{depth}.{ext}')
            subprocess.run([tool, 'write', str(depth), path, *map(str, hot)], check=True)
            want = open(path + '.rgba', 'rb').read()
            data = open(path, 'rb').read()
            kind, dirs = entries(data)
            w, h, colours, _, f1, f2, size, off = dirs[0]
            name = f'{depth}-bit {ext}'
            if (kind, len(dirs), w, h) != ((1 if ext == 'ico' else 2), 1, 37, 23):
                failures.append(f'{name}: directory {kind} {dirs}')
            if (f1, f2) != ((1, depth) if ext == 'ico' else hot):
                failures.append(f'{name}: entry fields {f1}, {f2}')
            if size != len(data) - off or struct.unpack_from('<H', data, off + 14)[0] != depth:
                failures.append(f'{name}: size or bit count wrong')
            with Image.open(path) as im:
                im.load()
                if ext == 'ico':
                    got = im.convert('RGBA').tobytes()
                else:  # Pillow's cursor reader ignores the mask
                    got = im.convert('RGB').tobytes()
                    want = bytes(b for i, b in enumerate(want) if i % 4 != 3)
                if im.size != (37, 23) or got != want:
                    failures.append(f'{name}: Pillow decodes other pixels')

    # Pillow's, read by us: BMP entries of 1, 8, 24 and 32 bits and PNG ones.
    src = {(16, 24): picture('RGB', (16, 16)), (16, 8): picture('P', (16, 16)),
           (32, 1): picture('1', (32, 32))}
    bmp = io.BytesIO()
    src[(32, 1)].save(bmp, format='ICO', sizes=[(16, 16), (32, 32)], bitmap_format='bmp',
                      append_images=[src[(16, 24)], src[(16, 8)], picture('RGBA', (16, 16))])
    png = io.BytesIO()
    picture('RGBA', (48, 48)).save(png, format='ICO', sizes=[(24, 24), (48, 48)])
    path = os.path.join(out, 'mixed.ico')
    open(path, 'wb').write(merge(png.getvalue(), bmp.getvalue()))
    lines = subprocess.run([tool, 'read', path], check=True, capture_output=True,
                           text=True).stdout.split('\n')
    if lines[0] != 'SKIPPED 3':
        failures.append(f'mixed: {lines[0]} (want 2 PNG and one 32-bit entry skipped)')
    seen = []
    for head, pixels in zip(lines[1::2], lines[2::2]):
        _, w, h, bits = head.split()
        key = (int(w), int(bits))
        seen.append(key)
        want = src[key].convert('RGB').tobytes()
        got = bytes.fromhex(pixels)
        got = bytes(b for i, b in enumerate(got) if i % 4 != 3)
        if got != want:
            failures.append(f'mixed: the {w} x {h} {bits}-bit image differs from Pillow\'s')
    if sorted(seen) != sorted(src):
        failures.append(f'mixed: read {seen}, want {sorted(src)}')

for f in failures:
    print(f)
sys.exit(1 if failures else 0)
