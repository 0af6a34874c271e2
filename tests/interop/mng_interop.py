#!/usr/bin/env python3
"""Our MNG files (MHDR, one PNG datastream, MEND; true colour with the colour
transform) decode in ImageMagick to the pixels we wrote."""
import os
import shutil
import subprocess
import sys

from interoplib import TMP, check, files, finish, make, read

convert = shutil.which('convert') or sys.exit('ImageMagick convert is not installed')
make('cases', 'mng', TMP)
names = files(TMP, '.mng')
assert len(names) == 5, names
for n in names:
    base = os.path.join(TMP, n)
    r = subprocess.run([convert, base + '.mng', '-depth', '8', 'rgb:' + base + '.out'], capture_output=True, text=True)
    if check(r.returncode == 0 and os.path.exists(base + '.out'), f'{n}.mng: ImageMagick: {r.stderr.strip()}'):
        check(read(base + '.out') == read(base + '.rgb'), f'{n}.mng: ImageMagick reads other pixels')
finish(f'checked {len(names)} MNG files')
