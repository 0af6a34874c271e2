#!/usr/bin/env python3
"""The BMP suite through our loader: every g/ file gives the suite's reference
pixels, q/ files load or fail as the table says, no b/ file loads. Then our
8-, 24- and 32-bit files of two screenshots decode in Pillow as written."""
import os
import sys

from interoplib import TMP, check, finish, files, load, make, need, pillow, same

data = sys.argv[2]
suite = os.path.join(data, 'suites', 'bmpsuite')


def table(text):
    """'name' (its own reference) or 'name=reference|loads|fails' items."""
    return dict((item.split('=') + [item])[:2] for item in text.split())


GOOD = table('pal1 pal1wb=pal1 pal1bg pal4 pal4gs pal4rle=pal4 pal8 pal8-0=pal8 pal8gs pal8rle=pal8 pal8w126 '
             'pal8w125 pal8w124 pal8topdown=pal8 pal8nonsquare=pal8nonsquare-e pal8os2=pal8 pal8v4=pal8 '
             'pal8v5=pal8 rgb16 rgb16bfdef=rgb16 rgb16-565 rgb16-565pal=rgb16-565 rgb24 rgb24pal=rgb24 '
             'rgb32=rgb24 rgb32bfdef=rgb24 rgb32bf=rgb24')
QUESTIONABLE = table(
    'pal1p1 pal8offs=pal8 pal8os2-hs=pal8 pal8os2-sz=pal8 pal8os2v2=pal8 pal8os2v2-sz=pal8 pal8os2v2-40sz=pal8 '
    'pal8os2v2-16=pal8 pal8os2sp=pal8 pal8oversizepal=pal8 rgb24largepal=rgb24 rgb24prof=rgb24 '
    'rgb24lprof=rgb24 rgb32fakealpha=rgb24 rgb16-231 rgb16faketrns=rgb16 rgb32h52=rgb24 rgb32-xbgr=rgb24 '
    'rgb16-3103 '
    # Colour profiles are not applied; channels above 8 bits round to the
    # nearest 8-bit value, which the renderings do not always do.
    'rgb24prof2=loads rgb32-111110=loads rgb32-7187=loads '
    # Runs cut short or skipping pixels: what is there, the rest index 0.
    'pal4rlecut=loads pal4rletrns=loads pal8rlecut=loads pal8rletrns=loads '
    # Alpha is dropped.
    'rgba16-1924=loads rgba16-4444=loads rgba16-5551=loads rgba32-1=loads rgba32-2=loads '
    'rgba32-1010102=loads rgba32-61754=loads rgba32-81284=loads rgba32h56=loads '
    # Neither reader takes these: other depths, codings inside the file.
    'pal1huffmsb=fails pal2=fails pal2color=fails rgb24jpeg=fails rgb24png=fails rgb24rle24=fails '
    'rgba32abf=fails rgba64=fails')
bad = files(os.path.join(suite, 'b'), '.bmp')
check(len(bad) == 20, f'b/: {len(bad)} files')
for folder, want_of in (('g', GOOD), ('q', QUESTIONABLE), ('b', dict.fromkeys(bad, 'fails'))):
    names = files(os.path.join(suite, folder), '.bmp')
    check(names == sorted(want_of), f'{folder}/: files {names} do not match the table')
    for name in names:
        got, want = load(os.path.join(suite, folder, name + '.bmp')), want_of.get(name, 'fails')
        if want == 'fails':
            check(got == 'Unsupported file format', f'{folder}/{name}: want "Unsupported file format", got {got}')
        elif check(isinstance(got, tuple), f'{folder}/{name}: failed: {got}') and want != 'loads':
            ref = pillow(os.path.join(suite, 'html', want + '.png'))
            check(same(got, ref), f'{folder}/{name}: pixels differ from html/{want}.png')

# Our files in Pillow: 24- and 32-bit exactly the screen, 8-bit the colours
# of our 3-3-2 palette, which we read back the same.
for screen in ('desktop-1920x1080.png', 'web-docs-1920x1080.png'):
    src = need(os.path.join(data, 'screens', screen))
    orig = pillow(src)
    for bits in (8, 24, 32):
        bmp = os.path.join(TMP, f'{bits}.bmp')
        make('save', src, bmp, bits)
        got = pillow(bmp)
        ok = same(load(bmp), got) and got[2] == ('P' if bits == 8 else 'RGB') and (bits == 8 or same(got, orig))
        check(ok, f'{screen} as {bits}-bit: Pillow mode {got[2]}, pixels differ')
finish()
