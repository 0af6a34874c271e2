#!/usr/bin/env python3
"""The TIFF plug-in against independent tools: files written by Pillow and
ImageMagick load with Pillow's pixels; our 8- and 24-bit files are deflate-
compressed and Pillow reads them back with the source's pixels."""
import os
import shutil
import subprocess
import sys
import tempfile

from PIL import Image

tool, plugin, screen = sys.argv[1:4]
if not os.path.isfile(screen):
    sys.exit(f'missing test data: {screen}')
failures = []


def load(folder, path):
    raw = path + '.raw'
    r = subprocess.run([tool, 'load', folder, path, raw], capture_output=True, text=True)
    if r.returncode != 0:
        return None, r.stderr.strip()
    data = open(raw, 'rb').read()
    mode, _, pixels = data.partition(b'\n')
    return mode.decode(), pixels


def expected(path):
    with Image.open(path) as im:
        if im.mode in ('I;16', 'I;16B', 'I'):
            return 'I;16', b''.join(int(v).to_bytes(2, 'little') for v in im.getdata())
        return 'RGB', im.convert('RGB').tobytes()


with tempfile.TemporaryDirectory() as tmp:
    folder = os.path.join(tmp, 'plugins')
    os.mkdir(folder)
    shutil.copy(plugin, folder)
    with Image.open(screen) as im:
        rgb = im.convert('RGB').crop((200, 150, 531, 390))  # odd width on purpose
    pal = rgb.quantize(200)
    sources = {'rgb': rgb, 'pal': pal, 'grey': rgb.convert('L'), 'bw': rgb.convert('1'),
               'grey16': rgb.convert('L').point(lambda v: v * 257, 'I').convert('I;16'),
               'rgba': rgb.convert('RGBA')}
    # Half transparent: the colours load as stored, not multiplied by alpha.
    sources['rgba-half'] = rgb.convert('RGBA')
    sources['rgba-half'].putalpha(128)

    foreign = []
    for name, img in sources.items():
        for comp in ('raw', 'tiff_lzw', 'tiff_adobe_deflate', 'packbits'):
            path = os.path.join(tmp, f'pil-{name}-{comp}.tif')
            img.save(path, compression=comp)
            foreign.append(path)
    src = os.path.join(tmp, 'src.png')
    rgb.save(src)
    for name, args in {'im-rgb': ['-compress', 'zip'], 'im-pal': ['-type', 'Palette'],
                       'im-grey16': ['-type', 'Grayscale', '-depth', '16'],
                       'im-tiled': ['-define', 'tiff:tile-geometry=64x64'],
                       'im-miniswhite': ['-type', 'Bilevel', '-define', 'quantum:polarity=min-is-white']}.items():
        path = os.path.join(tmp, name + '.tif')
        subprocess.run(['convert', src] + args + [path], check=True)
        foreign.append(path)
    for path in foreign:
        mode, got = load(folder, path)
        want_mode, want = expected(path)
        if (mode, got) != (want_mode, want):
            failures.append(f'{os.path.basename(path)}: {mode} {got if mode is None else len(got)} '
                            f'(want {want_mode} {len(want)})')

    # Our files: deflate, read by Pillow with the source's pixels, and by us.
    for name in ('rgb', 'pal'):
        png = os.path.join(tmp, f'our-{name}.png')
        sources[name].save(png)
        out = os.path.join(tmp, f'our-{name}.tif')
        subprocess.run([tool, 'save', folder, png, out], check=True)
        with Image.open(out) as im:
            if im.info.get('compression') != 'tiff_adobe_deflate':
                failures.append(f'{name}: compression {im.info.get("compression")}')
            if im.mode != ('P' if name == 'pal' else 'RGB'):
                failures.append(f'{name}: Pillow reads mode {im.mode}')
            if im.convert('RGB').tobytes() != sources[name].convert('RGB').tobytes():
                failures.append(f'{name}: Pillow reads other pixels')
        if load(folder, out) != ('RGB', sources[name].convert('RGB').tobytes()):
            failures.append(f'{name}: our own file reads back differently')

    # An old writer's 8-bit colour map (no entry above 255) is taken as is:
    # a 2 x 1 picture with entries 0 = (10, 20, 30) and 1 = (200, 100, 50).
    import struct
    cmap = [0] * 768
    cmap[0], cmap[256], cmap[512] = 10, 20, 30
    cmap[1], cmap[257], cmap[513] = 200, 100, 50
    tags = [(256, 3, 1, 2), (257, 3, 1, 1), (258, 3, 1, 8), (259, 3, 1, 1), (262, 3, 1, 3),
            (273, 4, 1, 8), (278, 3, 1, 1), (279, 4, 1, 2), (320, 3, 768, 8 + 2 + 2 + 12 * 9 + 4)]
    ifd = struct.pack('<H', len(tags)) + b''.join(
        struct.pack('<HHI', t, k, n) + (struct.pack('<I', v) if k == 4 or n > 1 else struct.pack('<HH', v, 0))
        for t, k, n, v in tags) + struct.pack('<I', 0)
    old = os.path.join(tmp, 'old-cmap8.tif')
    open(old, 'wb').write(b'II*\x00' + struct.pack('<I', 10) + b'\x00\x01' + ifd + struct.pack('<768H', *cmap))
    if load(folder, old) != ('RGB', bytes([10, 20, 30, 200, 100, 50])):
        failures.append(f'8-bit colour map: {load(folder, old)}')

    # Hostile files: a clear error, never a crash.
    for name, data in {'empty': b'', 'header-only': b'II*\x00\x08\x00\x00\x00',
                       'huge': open(foreign[0], 'rb').read()[:200]}.items():
        path = os.path.join(tmp, name + '.tif')
        open(path, 'wb').write(data)
        mode, why = load(folder, path)
        if mode is not None or not why:
            failures.append(f'{name}: loaded or no message')
    print(f'checked {len(foreign)} foreign files')
for f in failures:
    print('FAIL', f)
sys.exit(1 if failures else 0)
