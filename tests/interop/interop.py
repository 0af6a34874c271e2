#!/usr/bin/env python3
"""`interop.py FORMAT TOOL [DATA]`: what our interop_tool writes in FORMAT is read by an independent tool
(Pillow, ImageMagick, pngcheck, wmf2svg) as we meant, and what those write is read by ours."""
import io
import itertools
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

from PIL import Image

FORMAT, TOOL, ARG = (sys.argv[1:] + [''])[:3]
TMP = (_tmp := tempfile.TemporaryDirectory()).name
failures = []


def check(ok, message):
    return ok or failures.append(message)


def tool(*args, must=True):
    r = subprocess.run([TOOL, *map(str, args)], capture_output=True, text=True)
    return sys.exit(f'interop_tool {" ".join(map(str, args))}: {r.stdout}') if must and r.returncode else r


def read(path): return open(path, 'rb').read()
def write(path, data): open(path, 'wb').write(data)


def files(folder, ext, count=None):
    names = sorted(n[:-len(ext)] for n in os.listdir(folder) if n.endswith(ext))
    check(count is None or len(names) == count, f'{folder}: {names}, want {count} {ext} files')
    return names


def pattern(w, h, mode='RGB', colours=None):
    im = Image.new('RGB', (w, h))
    im.putdata([((x * 37 + y) % 256, y * 53 % 256, 0xC0 + (x + y) * 11 % 64) for y in range(h) for x in range(w)])
    return im.quantize(colors=colours) if colours else im.convert(mode)


def load(path):
    """Our loader's (width, height, bits, RGB bytes), or its message."""
    r = tool('load', path, os.path.join(TMP, 'load.out'), must=False)
    if r.returncode == 2 or not check(r.returncode == 0, f'{path}: tool exit {r.returncode} {r.stderr[-300:]}'):
        return r.stdout.strip()
    raw = read(os.path.join(TMP, 'load.out'))
    return (*map(int, raw[:raw.index(b'\n')].split()), raw[raw.index(b'\n') + 1:])


def pillow(path, mode='RGB'):
    """Pillow's (width, height, mode, pixels in the given mode)."""
    with Image.open(path) as im:
        return (*im.size, im.mode, im.convert(mode).tobytes())


def same(a, b):
    """Same size and pixels, of load() or pillow() results."""
    return isinstance(a, tuple) and isinstance(b, tuple) and a[:2] == b[:2] and a[3] == b[3]


def table(text):
    """'name' (its own reference) or 'name=reference|loads|fails' items."""
    return dict((item.split('=') + [item])[:2] for item in text.split())


def bmp(data):
    """The BMP suite: g/ files give the reference pixels, q/ as the table says, b/ fail."""
    suite = os.path.join(data, 'suites', 'bmpsuite')
    good = table('pal1 pal1wb=pal1 pal1bg pal4 pal4gs pal4rle=pal4 pal8 pal8-0=pal8 pal8gs pal8rle=pal8 pal8w126 '
                 'pal8w125 pal8w124 pal8topdown=pal8 pal8nonsquare=pal8nonsquare-e pal8os2=pal8 pal8v4=pal8 '
                 'pal8v5=pal8 rgb16 rgb16bfdef=rgb16 rgb16-565 rgb16-565pal=rgb16-565 rgb24 rgb24pal=rgb24 '
                 'rgb32=rgb24 rgb32bfdef=rgb24 rgb32bf=rgb24')
    questionable = table(
        'pal1p1 pal8offs=pal8 pal8os2-hs=pal8 pal8os2-sz=pal8 pal8os2v2=pal8 pal8os2v2-sz=pal8 pal8os2v2-40sz=pal8 '
        'pal8os2v2-16=pal8 pal8os2sp=pal8 pal8oversizepal=pal8 rgb24largepal=rgb24 rgb24prof=rgb24 '
        'rgb24lprof=rgb24 rgb32fakealpha=rgb24 rgb16-231 rgb16faketrns=rgb16 rgb32h52=rgb24 rgb32-xbgr=rgb24 '
        'rgb16-3103 '
        # Loads, other pixels than the rendering: colour profiles are not applied, channels above 8 bits
        # round to nearest, cut or skipping runs leave index 0, alpha is dropped.
        'rgb24prof2=loads rgb32-111110=loads rgb32-7187=loads '
        'pal4rlecut=loads pal4rletrns=loads pal8rlecut=loads pal8rletrns=loads '
        'rgba16-1924=loads rgba16-4444=loads rgba16-5551=loads rgba32-1=loads rgba32-2=loads '
        'rgba32-1010102=loads rgba32-61754=loads rgba32-81284=loads rgba32h56=loads '
        # Neither reader takes these: other depths, codings inside the file.
        'pal1huffmsb=fails pal2=fails pal2color=fails rgb24jpeg=fails rgb24png=fails rgb24rle24=fails '
        'rgba32abf=fails rgba64=fails')
    # Fields the pixels do not need (densities, file and image size) are not read; an index beyond the table is black.
    bad = dict.fromkeys(files(os.path.join(suite, 'b'), '.bmp', 20), 'fails') | table(
        'baddens1=pal1 baddens2=pal1 badfilesize=pal1 badbitssize=pal1 pal8badindex=loads')
    for folder, want_of in (('g', good), ('q', questionable), ('b', bad)):
        names = files(os.path.join(suite, folder), '.bmp')
        check(names == sorted(want_of), f'{folder}/: files {names} do not match the table')
        for name in names:
            got, want = load(os.path.join(suite, folder, name + '.bmp')), want_of.get(name, 'fails')
            if want == 'fails':
                check(got == 'Unsupported file format', f'{folder}/{name}: want "Unsupported file format", got {got}')
            elif check(isinstance(got, tuple), f'{folder}/{name}: failed: {got}') and want != 'loads':
                ref = pillow(os.path.join(suite, 'html', want + '.png'))
                check(same(got, ref), f'{folder}/{name}: pixels differ from html/{want}.png')
    # Pillow's 24-bit file as other writers leave it: densities 1 and 2835, file and image size beyond the data.
    pattern(7, 5).save(path := os.path.join(TMP, 'loose.bmp'))
    loose = bytearray(read(path))
    struct.pack_into('<I', loose, 2, 0x7FFFFFFF)
    struct.pack_into('<III', loose, 34, 0xFFFFFFFF, 1, 2835)
    write(path, loose)
    check(same(load(path), pillow(path)), f'loose.bmp: {load(path)!r:.80}')
    # Ours in Pillow: 24- and 32-bit exactly the screen, 8-bit the colours
    # of our 3-3-2 palette, which we read back the same.
    for screen in ('desktop-1920x1080.png', 'web-docs-1920x1080.png'):
        orig = pillow(src := os.path.join(data, 'screens', screen))
        for bits in (8, 24, 32):
            tool('save', src, path := os.path.join(TMP, f'{bits}.bmp'), bits)
            got = pillow(path)
            ok = same(load(path), got) and got[2] == ('P' if bits == 8 else 'RGB') and (bits == 8 or same(got, orig))
            check(ok, f'{screen} as {bits}-bit: Pillow mode {got[2]}, pixels differ')


def ico(_):
    """Ours decode in Pillow as meant; in Pillow's we read every BMP image, skip the rest."""
    def entries(data):
        _, kind, count = struct.unpack_from('<HHH', data, 0)
        return kind, [struct.unpack_from('<BBBBHHII', data, 6 + 16 * i) for i in range(count)]

    def rgb(rgba): return bytes(b for i, b in enumerate(rgba) if i % 4 != 3)

    # Exact colours of our 3-3-2 palette; 12 of indices below 16 give a 4-bit
    # file. Magenta is transparent.
    for depth, colour in ((4, lambda x, y: (0, round((x + y) % 4 * 255 / 7), (x + 5 * y) % 3 * 85)),
                          (8, lambda x, y: (round(x % 8 * 255 / 7), round(y % 8 * 255 / 7), (x + y) % 4 * 85)),
                          (24, lambda x, y: (x * 6 % 256, y * 11 % 256, x * y % 256))):
        picture = [(255, 0, 255) if (x * 7 + y * 3) % 11 == 0 else colour(x, y) for y in range(23) for x in range(37)]
        want = b''.join(bytes((0, 0, 0, 0) if c == (255, 0, 255) else (*c, 255)) for c in picture)
        Image.frombytes('RGB', (37, 23), bytes(v for c in picture for v in c)).save(src := os.path.join(TMP, f'{depth}.png'))
        for ext, hot in (('ico', (0, 0)), ('cur', (17, 5))):
            path, name = os.path.join(TMP, f'd{depth}.{ext}'), f'{depth}-bit {ext}'
            tool('save', src, path, 8 if depth < 24 else 24, *hot)
            kind, dirs = entries(data := read(path))
            w, h, _, _, f1, f2, size, off = dirs[0]  # planes and bits, or the hot spot
            check((kind, len(dirs), w, h, (f1, f2), size, struct.unpack_from('<H', data, off + 14)[0]) ==
                  (1 if ext == 'ico' else 2, 1, 37, 23, (1, depth) if ext == 'ico' else hot, len(data) - off, depth),
                  f'{name}: directory {kind} {dirs}')
            # Pillow's cursor reader ignores the mask.
            got = pillow(path, 'RGBA' if ext == 'ico' else 'RGB')
            check(got[:2] == (37, 23) and got[3] == (want if ext == 'ico' else rgb(want)), f'{name}: Pillow differs')

    src = {(16, 24): pattern(16, 16), (16, 8): pattern(16, 16, 'P'), (32, 1): pattern(32, 32, '1')}
    bmps, pngs = io.BytesIO(), io.BytesIO()
    src[(32, 1)].save(bmps, format='ICO', sizes=[(16, 16), (32, 32)], bitmap_format='bmp',
                      append_images=[src[(16, 24)], src[(16, 8)], pattern(16, 16, 'RGBA')])
    pattern(48, 48, 'RGBA').save(pngs, format='ICO', sizes=[(24, 24), (48, 48)])
    # All their entries in one directory.
    items = [(e[:6], f[e[7]:e[7] + e[6]]) for f in (pngs.getvalue(), bmps.getvalue()) for e in entries(f)[1]]
    merged, offset = struct.pack('<HHH', 0, 1, len(items)), 6 + 16 * len(items)
    for head, blob in items:
        merged += struct.pack('<BBBBHHII', *head, len(blob), offset)
        offset += len(blob)
    write(path := os.path.join(TMP, 'mixed.ico'), merged + b''.join(blob for _, blob in items))
    lines = tool('icons', path).stdout.split('\n')
    check(lines[0] == 'SKIPPED 3', f'mixed: {lines[0]} (want 2 PNG and one 32-bit entry skipped)')
    seen = []
    for head, pixels in zip(lines[1::2], lines[2::2]):
        _, w, h, bits = head.split()
        seen.append((int(w), int(bits)))
        check(rgb(bytes.fromhex(pixels)) == src[seen[-1]].convert('RGB').tobytes(), f'mixed: {w}x{h} {bits}-bit differs')
    check(sorted(seen) == sorted(src), f'mixed: read {seen}, want {sorted(src)}')


def mng(_):
    """Ours (MHDR, one PNG datastream, MEND) decode in ImageMagick."""
    convert = shutil.which('convert') or sys.exit('ImageMagick convert is not installed')
    tool('cases', 'mng', TMP)
    for n in files(TMP, '.mng', 5):
        base = os.path.join(TMP, n)
        r = subprocess.run([convert, base + '.mng', '-depth', '8', 'rgb:' + base + '.out'], capture_output=True, text=True)
        if check(r.returncode == 0 and os.path.exists(base + '.out'), f'{n}.mng: ImageMagick: {r.stderr.strip()}'):
            check(read(base + '.out') == read(base + '.rgb'), f'{n}.mng: ImageMagick reads other pixels')


def pcx(_):
    """Ours decode in Pillow as written, Pillow's (odd lines padded) in ours."""
    tool('cases', 'pcx', TMP)
    for n in files(TMP, '.pcx', 6):
        check(pillow(os.path.join(TMP, n + '.pcx'))[3] == read(os.path.join(TMP, n + '.rgb')), f'Pillow reads our {n}.pcx')
    for mode, w, h in (('P', 7, 5), ('L', 13, 3), ('RGB', 5, 4), ('RGB', 3, 2), ('RGB', 64, 9)):
        im = pattern(w, h, mode, 20 if mode == 'P' else None)
        im.save(path := os.path.join(TMP, f'pillow-{mode}-{w}x{h}.pcx'))  # Pillow misreads odd widths: use the source
        check(same(load(path), (w, h, '', im.convert('RGB').tobytes())), f'ours reads {os.path.basename(path)} differently')


def gif(data):
    """What the tool saved and giflib checked decodes in Pillow as Pillow shows
    the original (for the screenshots: the reduced picture)."""
    def frames(path, size=None):
        # Cut to size: our loader grows a logical screen that a frame overhangs.
        with Image.open(path) as im:
            size = size or im.size
            return size, [(im.seek(i), im.convert('RGBA').crop((0, 0) + size).tobytes())[1]
                          for i in range(getattr(im, 'n_frames', 1))]

    tool('gif', os.path.join(data, 'suites', 'gif'), os.path.join(data, 'screens'), TMP)
    checked = 0
    for name, source in (line.rstrip('\n').split('\t') for line in open(os.path.join(TMP, 'manifest.txt'))):
        try:
            size, want = frames(source)
        except Exception:
            continue  # Pillow cannot read the original either
        try:
            check(frames(name, size)[1] == want, f'{name} ({source}): frames differ')
        except Exception as e:
            check(False, f'{name} ({source}): Pillow cannot read it: {e}')
        checked += 1
    check(checked >= 200, f'only {checked} files checked with Pillow')


def png(screens):
    """Ours pass pngcheck -v and decode in Pillow as written, with their extras."""
    shots = ['desktop-1920x1080.png', 'web-docs-3840x2160.png', 'wallpaper-1920x1080.png']
    tool('png', TMP)
    [tool('save', os.path.join(screens, s), os.path.join(TMP, 'screen-' + s)) for s in shots]
    info = {'pal-gama-trns': {'gamma': 0.45455, 'transparency': 5}, 'rgb-plte-trns': {'transparency': (48, 32, 16)},
            'grey-trns': {'transparency': 77}}
    for name in files(TMP, '.png', 43 + len(shots)):
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
            check(im.mode == mode and got == read(os.path.join(TMP, name + '.raw')), f'{name}: {im.mode}, pixels')
            extras = info.get(name, {})
            check({k: im.info.get(k) for k in extras} == extras, f'{name}: {im.info}')


def tiff(screens):
    """The TIFF plug-in both ways with Pillow and ImageMagick; hostile files fail with their message."""
    os.environ['KSS_PLUGINS'] = TMP  # the only library there
    shutil.copy(os.environ['KSS_TIFF_PLUGIN'], TMP)
    rgb = Image.open(os.path.join(screens, 'web-docs-1920x1080.png')).convert('RGB').crop((200, 150, 531, 390))  # odd width
    # Half transparent: the colours load as stored, not multiplied by alpha.
    half = Image.merge('RGBA', (*rgb.split(), Image.new('L', rgb.size, 128)))
    src = {'rgb': rgb, 'pal': rgb.quantize(200), 'grey': rgb.convert('L'), 'bw': rgb.convert('1'), 'rgba-half': half,
           'grey16': rgb.convert('L').point(lambda v: v * 257, 'I').convert('I;16'), 'rgba': rgb.convert('RGBA')}
    paths = []
    for (name, img), comp in itertools.product(src.items(), ('raw', 'tiff_lzw', 'tiff_adobe_deflate', 'packbits')):
        img.save(path := os.path.join(TMP, f'pil-{name}-{comp}.tif'), compression=comp)
        paths.append(path)
    rgb.save(os.path.join(TMP, 'src.png'))
    for name, args in (('rgb', '-compress zip'), ('pal', '-type Palette'), ('grey16', '-type Grayscale -depth 16'),
                       ('tiled', '-define tiff:tile-geometry=64x64'),
                       ('miniswhite', '-type Bilevel -define quantum:polarity=min-is-white')):
        paths.append(os.path.join(TMP, f'im-{name}.tif'))
        subprocess.run(['convert', os.path.join(TMP, 'src.png'), *args.split(), paths[-1]], check=True)
    for path in paths:
        with Image.open(path) as im:  # 16-bit grey as little-endian values
            want = (*im.size, 16, im.tobytes('raw', 'I;16')) if im.mode.startswith('I') else pillow(path)
        check(same(load(path), want), f'{os.path.basename(path)}: other pixels')
    for name in ('rgb', 'pal'):
        src[name].save(png := os.path.join(TMP, f'our-{name}.png'))
        tool('save', png, out := os.path.join(TMP, f'our-{name}.tif'), 0)
        with Image.open(out) as im:
            got = (im.info.get('compression'), im.mode, im.convert('RGB').tobytes())
        check(got == ('tiff_adobe_deflate', 'P' if name == 'pal' else 'RGB', src[name].convert('RGB').tobytes()),
              f'our {name}: Pillow reads {got[:2]} or other pixels')
        got = load(out)
        check(same(got, pillow(png)) and got[2] == (8 if name == 'pal' else 24), f'our {name}: reads back differently')
    # An old writer's 8-bit colour map (no entry above 255, 255 itself included) is taken as is:
    # 2 x 1 pixels, entry 0 = (10, 20, 30), 1 = (255, 100, 50).
    cmap = struct.pack('<768H', *[10, 255] + [0] * 254 + [20, 100] + [0] * 254 + [30, 50] + [0] * 254)
    old = b'II*\0\x0a\0\0\0\0\x01' + struct.pack('<H', 9) + b''.join(struct.pack('<HHIHH', tag, 3, 1, v, 0) for tag, v in (
        (256, 2), (257, 1), (258, 8), (259, 1), (262, 3), (273, 8), (278, 1), (279, 2)))
    old += struct.pack('<HHII', 320, 3, 768, 124) + b'\0' * 4 + cmap
    opening = 'Unable to open file'
    for name, data, want in (('cmap8', old, (2, 1, 8, bytes([10, 20, 30, 255, 100, 50]))), ('missing', None, opening),
                             ('garbage', b'II*\0garbage', opening), ('cut', read(paths[0])[:200], 'Error in bitmap data')):
        if data is not None:
            write(os.path.join(TMP, name + '.tif'), data)
        got = load(os.path.join(TMP, name + '.tif'))
        check(same(got, want) if name == 'cmap8' else got == want, f'{name}.tif: {got}')


def wmf(screens):
    """wmf2svg reads our metafiles as one image of the picture's size at the origin, with its pixels."""
    rgb = Image.open(os.path.join(screens, 'web-index-1920x1080.png')).convert('RGB').crop((100, 80, 433, 291))
    for name, img in (('rgb', rgb), ('pal', rgb.quantize(64))):
        src, out, svg = (os.path.join(TMP, name + ext) for ext in ('.png', '.wmf', '.svg'))
        img.save(src)
        tool('save', src, out, 0)
        subprocess.run(['wmf2svg', '-o', svg, out], check=True, capture_output=True)
        m = re.search(r'<svg width="(\d+)" height="(\d+)".*?<image x="([\d.]+)" y="([\d.]+)" width="([\d.]+)" '
                      r'height="([\d.]+)".*?xlink:href="([^"]+)"', read(svg).decode(), re.S)
        if check(m, f'{name}: no image in {read(svg)[:300]}'):
            check(tuple(map(float, m.groups()[:6])) == (*img.size, 0, 0, *img.size), f'{name}: size, place {m.groups()}')
            check(pillow(m[7])[3] == img.convert('RGB').tobytes(), f'{name}: wmf2svg sees other pixels')


{'bmp': bmp, 'gif': gif, 'ico': ico, 'mng': mng, 'pcx': pcx, 'png': png, 'tiff': tiff, 'wmf': wmf}[FORMAT](ARG)
sys.exit('\n'.join('FAIL ' + f for f in failures) or 0)
