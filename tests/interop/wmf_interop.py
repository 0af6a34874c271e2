#!/usr/bin/env python3
"""The WMF we write for a 24-bit and an 8-bit picture is read by wmf2svg:
one image of the picture's size, at the origin, with the picture's pixels."""
import os
import re
import subprocess
import sys
import tempfile

from PIL import Image

tool, screen = sys.argv[1:3]
if not os.path.isfile(screen):
    sys.exit(f'missing test data: {screen}')
failures = []
with tempfile.TemporaryDirectory() as tmp:
    with Image.open(screen) as im:
        rgb = im.convert('RGB').crop((100, 80, 433, 291))
    for name, img in {'rgb': rgb, 'pal': rgb.quantize(64)}.items():
        src, wmf, svg = (os.path.join(tmp, name + ext) for ext in ('.png', '.wmf', '.svg'))
        img.save(src)
        subprocess.run([tool, src, wmf], check=True)
        subprocess.run(['wmf2svg', '-o', svg, wmf], check=True, capture_output=True)
        text = open(svg).read()
        size = re.search(r'<svg width="(\d+)" height="(\d+)"', text)
        place = re.search(r'<image x="([\d.]+)" y="([\d.]+)" width="([\d.]+)" height="([\d.]+)"', text)
        href = re.search(r'xlink:href="([^"]+)"', text)
        if not (size and place and href):
            failures.append(f'{name}: no image in {text[:300]}')
            continue
        if (int(size[1]), int(size[2])) != img.size or tuple(float(v) for v in place.groups()) != (0, 0) + img.size:
            failures.append(f'{name}: size {size.groups()} placed {place.groups()}')
        with Image.open(href[1]) as got:
            if got.convert('RGB').tobytes() != img.convert('RGB').tobytes():
                failures.append(f'{name}: the reader sees other pixels')
    print('checked 2 metafiles')
for f in failures:
    print('FAIL', f)
sys.exit(1 if failures else 0)
