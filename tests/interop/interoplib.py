"""Shared parts of the interop scripts: our tool (argv[1]), a scratch folder,
reading our raw pixel files and collecting failures."""
import os
import subprocess
import sys
import tempfile

TOOL = sys.argv[1]
_tmp = tempfile.TemporaryDirectory()
TMP = _tmp.name
failures = []


def check(ok, message):
    if not ok:
        failures.append(message)
    return ok


def tool(*args):
    return subprocess.run([TOOL, *map(str, args)], capture_output=True, text=True)


def make(*args):
    r = tool(*args)
    if r.returncode != 0:
        sys.exit(f'interop_tool {" ".join(map(str, args))}: {r.stdout}{r.stderr}')


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def need(path):
    if not os.path.isfile(path):
        sys.exit(f'missing test data: {path}')
    return path


def files(folder, ext):
    return sorted(n[:-len(ext)] for n in os.listdir(folder) if n.endswith(ext))


def load(path):
    """Our loader's (width, height, bits, RGB bytes), or its message."""
    out = os.path.join(TMP, 'load.out')
    r = tool('load', path, out)
    if r.returncode == 2:
        return r.stdout.strip()
    if not check(r.returncode == 0, f'{path}: tool exit {r.returncode} {r.stderr[-300:]}'):
        return None
    raw = read(out)
    nl = raw.index(b'\n')
    return (*map(int, raw[:nl].split()), raw[nl + 1:])


def pillow(path, mode='RGB'):
    """Pillow's (width, height, mode, pixels in the given mode)."""
    from PIL import Image
    with Image.open(path) as im:
        return (*im.size, im.mode, im.convert(mode).tobytes())


def same(a, b):
    """Same size and pixels, of load() or pillow() results."""
    return isinstance(a, tuple) and isinstance(b, tuple) and a[:2] == b[:2] and a[3] == b[3]


def finish(summary=''):
    if summary:
        print(summary)
    for f in failures:
        print('FAIL', f)
    sys.exit(1 if failures else 0)
