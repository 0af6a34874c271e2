# Pillow's side of the colour reduction benchmark: a 256-colour palette by
# Pillow's quantizer, then the picture mapped onto it with Floyd-Steinberg
# dithering. Prints "<method> <best seconds> <PSNR dB>" per quantizer; the
# time covers the two quantize calls only (not start-up or PNG decoding).
import math
import sys
import time

from PIL import Image


def psnr(a, b):
    x, y = a.tobytes(), b.convert("RGB").tobytes()
    se = sum((p - q) * (p - q) for p, q in zip(x, y))
    return 10 * math.log10(255 * 255 / (se / len(x)))


def main():
    im = Image.open(sys.argv[1]).convert("RGB")
    im.load()
    reps = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    for method, name in ((Image.Quantize.MEDIANCUT, "mediancut"), (Image.Quantize.FASTOCTREE, "fastoctree")):
        best, out = float("inf"), None
        for _ in range(reps):
            t = time.perf_counter()
            pal = im.quantize(256, method=method)
            out = im.quantize(palette=pal, dither=Image.Dither.FLOYDSTEINBERG)
            best = min(best, time.perf_counter() - t)
        print(name, best, psnr(im, out))


main()
