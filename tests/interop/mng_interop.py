#!/usr/bin/env python3
"""Our MNG files (MHDR, one PNG datastream, MEND; true colour with the
colour transform) decode in ImageMagick to the pixels we wrote."""
import os
import shutil
import subprocess
import sys
import tempfile

tool = sys.argv[1]
convert = shutil.which('convert')
if not convert:
    sys.exit('ImageMagick convert is not installed')
failures = []
with tempfile.TemporaryDirectory() as d:
    subprocess.run([tool, 'mng', d], check=True)
    names = sorted(f[:-4] for f in os.listdir(d) if f.endswith('.mng'))
    assert len(names) == 5, names
    for n in names:
        out = os.path.join(d, n + '.out')
        r = subprocess.run([convert, os.path.join(d, n + '.mng'), '-depth', '8', 'rgb:' + out],
                           capture_output=True, text=True)
        if r.returncode != 0 or not os.path.exists(out):
            failures.append(f'{n}.mng: ImageMagick: {r.stderr.strip()}')
        elif open(out, 'rb').read() != open(os.path.join(d, n + '.rgb'), 'rb').read():
            failures.append(f'{n}.mng: ImageMagick reads other pixels')
    print(f'checked {len(names)} MNG files')
for f in failures:
    print('FAIL', f)
sys.exit(1 if failures else 0)
