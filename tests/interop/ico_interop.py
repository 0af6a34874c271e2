#!/usr/bin/env python3
"""ICO/CUR with Pillow: what we write (4-, 8- and 24-bit, icon and cursor)
decodes in Pillow to the pixels we meant, with the cursor's hot spot; what
Pillow writes (several entries, 32-bit and PNG ones among them) gives us every
BMP image with Pillow's pixels and passes over the rest."""
import io
import os
import struct

from PIL import Image

from interoplib import TMP, check, finish, make, read, tool


def entries(data):
    _, kind, count = struct.unpack_from('<HHH', data, 0)
    return kind, [struct.unpack_from('<BBBBHHII', data, 6 + 16 * i) for i in range(count)]


def rgb(rgba):
    return bytes(b for i, b in enumerate(rgba) if i % 4 != 3)


def picture(mode, size):
    im = Image.new('RGB', size)
    im.putdata([(x * 37 % 256, y * 53 % 256, (x + y) * 11 % 256) for y in range(size[1]) for x in range(size[0])])
    return im.convert(mode)


for depth in (4, 8, 24):  # ours, read by Pillow
    for ext, hot in (('ico', (0, 0)), ('cur', (17, 5))):
        path, name = os.path.join(TMP, f'd{depth}.{ext}'), f'{depth}-bit {ext}'
        make('icon', depth, path, *hot)
        want, data = read(path + '.rgba'), read(path)
        kind, dirs = entries(data)
        w, h, _, _, f1, f2, size, off = dirs[0]
        check((kind, len(dirs), w, h) == ((1 if ext == 'ico' else 2), 1, 37, 23), f'{name}: directory {kind} {dirs}')
        check((f1, f2) == ((1, depth) if ext == 'ico' else hot), f'{name}: entry fields {f1}, {f2}')
        check(size == len(data) - off and struct.unpack_from('<H', data, off + 14)[0] == depth,
              f'{name}: size or bit count wrong')
        with Image.open(path) as im:  # Pillow's cursor reader ignores the mask
            got = im.convert('RGBA' if ext == 'ico' else 'RGB').tobytes()
            check(im.size == (37, 23) and got == (want if ext == 'ico' else rgb(want)), f'{name}: Pillow differs')

# Pillow's, read by us: BMP entries of 1, 8, 24 and 32 bits and PNG ones,
# merged into one directory.
src = {(16, 24): picture('RGB', (16, 16)), (16, 8): picture('P', (16, 16)), (32, 1): picture('1', (32, 32))}
bmp, png = io.BytesIO(), io.BytesIO()
src[(32, 1)].save(bmp, format='ICO', sizes=[(16, 16), (32, 32)], bitmap_format='bmp',
                  append_images=[src[(16, 24)], src[(16, 8)], picture('RGBA', (16, 16))])
picture('RGBA', (48, 48)).save(png, format='ICO', sizes=[(24, 24), (48, 48)])
items = [(e[:6], f[e[7]:e[7] + e[6]]) for f in (png.getvalue(), bmp.getvalue()) for e in entries(f)[1]]
merged, offset = struct.pack('<HHH', 0, 1, len(items)), 6 + 16 * len(items)
for head, blob in items:
    merged += struct.pack('<BBBBHHII', *head, len(blob), offset)
    offset += len(blob)
path = os.path.join(TMP, 'mixed.ico')
with open(path, 'wb') as f:
    f.write(merged + b''.join(blob for _, blob in items))
lines = tool('icons', path).stdout.split('\n')
check(lines[0] == 'SKIPPED 3', f'mixed: {lines[0]} (want 2 PNG and one 32-bit entry skipped)')
seen = []
for head, pixels in zip(lines[1::2], lines[2::2]):
    _, w, h, bits = head.split()
    seen.append((int(w), int(bits)))
    check(rgb(bytes.fromhex(pixels)) == src[seen[-1]].convert('RGB').tobytes(), f'mixed: {w}x{h} {bits}-bit differs')
check(sorted(seen) == sorted(src), f'mixed: read {seen}, want {sorted(src)}')
finish()
