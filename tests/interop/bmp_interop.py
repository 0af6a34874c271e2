#!/usr/bin/env python3
"""The BMP suite through our loader: every g/ file gives the suite's reference
pixels, q/ files load or fail as the table says, no b/ file loads. Then our
8-, 24- and 32-bit files of the screenshots decode in Pillow to the pixels
written."""
import os
import subprocess
import sys
import tempfile

from PIL import Image

tool, data = sys.argv[1], sys.argv[2]
suite = os.path.join(data, 'suites', 'bmpsuite')
screens = os.path.join(data, 'screens')

# g/ file -> its reference rendering in html/
GOOD = {'pal1': 'pal1', 'pal1wb': 'pal1', 'pal1bg': 'pal1bg', 'pal4': 'pal4', 'pal4gs': 'pal4gs',
        'pal4rle': 'pal4', 'pal8': 'pal8', 'pal8-0': 'pal8', 'pal8gs': 'pal8gs', 'pal8rle': 'pal8',
        'pal8w126': 'pal8w126', 'pal8w125': 'pal8w125', 'pal8w124': 'pal8w124', 'pal8topdown': 'pal8',
        'pal8nonsquare': 'pal8nonsquare-e', 'pal8os2': 'pal8', 'pal8v4': 'pal8', 'pal8v5': 'pal8',
        'rgb16': 'rgb16', 'rgb16bfdef': 'rgb16', 'rgb16-565': 'rgb16-565', 'rgb16-565pal': 'rgb16-565',
        'rgb24': 'rgb24', 'rgb24pal': 'rgb24', 'rgb32': 'rgb24', 'rgb32bfdef': 'rgb24', 'rgb32bf': 'rgb24'}
# q/ file -> the reference it loads to, 'loads' (no exact reference), or 'fails'
QUESTIONABLE = {
    'pal1p1': 'pal1p1', 'pal8offs': 'pal8', 'pal8os2-hs': 'pal8', 'pal8os2-sz': 'pal8', 'pal8os2v2': 'pal8',
    'pal8os2v2-sz': 'pal8', 'pal8os2v2-40sz': 'pal8', 'pal8oversizepal': 'pal8', 'rgb24largepal': 'rgb24',
    'rgb24prof': 'rgb24', 'rgb24lprof': 'rgb24', 'rgb32fakealpha': 'rgb24', 'rgb16-231': 'rgb16-231',
    # Colour profiles are not applied; channels above 8 bits keep their top 8.
    'rgb24prof2': 'loads', 'rgb32-111110': 'loads', 'rgb16-3103': 'loads',
    'rgb32-7187': 'rgb32-7187', 'rgb16faketrns': 'rgb16',
    # Runs cut short or skipping pixels: what is there, the rest index 0.
    'pal4rlecut': 'loads', 'pal4rletrns': 'loads', 'pal8rlecut': 'loads', 'pal8rletrns': 'loads',
    # The palette is shorter than 256 entries and overlaps the pixels: loads.
    'pal8os2sp': 'loads',
    # Qt's reader: alpha dropped, 16-bit channels widened by shifting.
    'rgba16-1924': 'loads', 'rgba16-4444': 'loads', 'rgba16-5551': 'loads',
    'rgba32-1010102': 'loads', 'rgba32-2': 'loads', 'rgba32-61754': 'loads', 'rgba32-81284': 'loads',
    'rgba32-1': 'loads', 'rgb32-xbgr': 'loads',
    # Neither reader takes these: other depths, codings and header sizes.
    'pal1huffmsb': 'fails', 'pal2': 'fails', 'pal2color': 'fails', 'pal8os2v2-16': 'fails',
    'rgb24jpeg': 'fails', 'rgb24png': 'fails', 'rgb24rle24': 'fails',
    'rgb32h52': 'fails', 'rgba32abf': 'fails', 'rgba32h56': 'fails', 'rgba64': 'fails',
}
failures = []


def load(path, out):
    r = subprocess.run([tool, 'load', path, out], capture_output=True, text=True)
    if r.returncode == 2:
        return None, r.stdout.strip()
    if r.returncode != 0:
        failures.append(f'{path}: tool exit {r.returncode} {r.stderr[-300:]}')
        return None, None
    with open(out, 'rb') as f:
        raw = f.read()
    nl = raw.index(b'\n')
    w, h, bits = map(int, raw[:nl].split())
    return Image.frombytes('RGB', (w, h), raw[nl + 1:]), bits


def same_as(img, ref, name):
    with Image.open(os.path.join(suite, 'html', ref + '.png')) as r:
        want = r.convert('RGB')
    if img.size != want.size or img.tobytes() != want.tobytes():
        failures.append(f'{name}: pixels differ from html/{ref}.png')


with tempfile.TemporaryDirectory() as tmp:
    out = os.path.join(tmp, 'out.raw')
    for folder, table in (('g', GOOD), ('q', QUESTIONABLE)):
        names = sorted(n[:-4] for n in os.listdir(os.path.join(suite, folder)) if n.endswith('.bmp'))
        if names != sorted(table):
            failures.append(f'{folder}/: files {names} do not match the table')
        for name in names:
            img, info = load(os.path.join(suite, folder, name + '.bmp'), out)
            want = table.get(name, 'fails')
            if want == 'fails':
                if img is not None or info != 'Unsupported file format':
                    failures.append(f'{folder}/{name}: expected "Unsupported file format", got {info}')
            elif img is None:
                failures.append(f'{folder}/{name}: failed: {info}')
            elif want != 'loads':
                same_as(img, want, f'{folder}/{name}')
    bad = sorted(n for n in os.listdir(os.path.join(suite, 'b')) if n.endswith('.bmp'))
    if len(bad) != 20:
        failures.append(f'b/: {len(bad)} files')
    for name in bad:
        img, info = load(os.path.join(suite, 'b', name), out)
        if img is not None or info != 'Unsupported file format':
            failures.append(f'b/{name}: expected "Unsupported file format", got {info}')

    # Our files in Pillow: 24- and 32-bit exactly the screen, 8-bit the
    # colours of our 3-3-2 palette.
    for screen in ('desktop-1920x1080.png', 'web-docs-1920x1080.png'):
        src = os.path.join(screens, screen)
        if not os.path.isfile(src):
            sys.exit(f'missing test data: {src}')
        with Image.open(src) as s:
            orig = s.convert('RGB')
        for bits in (8, 24, 32):
            bmp = os.path.join(tmp, f'{bits}.bmp')
            subprocess.run([tool, 'save', src, bmp, str(bits)], check=True)
            with Image.open(bmp) as im:
                im.load()
                got = im.convert('RGB')
                mode = im.mode
            back, _ = load(bmp, out)
            if bits == 8:
                ok = mode == 'P' and back is not None and back.tobytes() == got.tobytes()
            else:
                ok = mode == 'RGB' and got.tobytes() == orig.tobytes() and back.tobytes() == orig.tobytes()
            if not ok:
                failures.append(f'{screen} as {bits}-bit: Pillow mode {mode}, pixels differ')
for f in failures:
    print('FAIL', f)
sys.exit(1 if failures else 0)
