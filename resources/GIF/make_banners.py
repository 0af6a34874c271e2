#!/usr/bin/python3
"""Makes the program's banner GIFs (200x200-1..5, 468x60-1..5).

Everything is drawn here from shapes and Pillow's built-in bitmap font; the
GIF files are written by the small encoder below, so that every frame's
place, disposal method, delay and transparency is exactly what is asked for.
Run from anywhere: /usr/bin/python3 resources/GIF/make_banners.py
"""
import math
import os
import struct

from PIL import Image, ImageDraw, ImageFont

OUT = os.path.dirname(os.path.abspath(__file__))

# One 16-colour palette for every banner; index 15 is the transparent one.
PALETTE = [
    (0x47, 0x00, 0xB8), (0x5F, 0x5F, 0x5F), (0xFF, 0xFF, 0x00), (0xFF, 0xFF, 0xFF),
    (0x00, 0x00, 0x00), (0xE0, 0x30, 0x30), (0x30, 0xC0, 0x50), (0x30, 0x80, 0xF0),
    (0xF0, 0x90, 0x20), (0x90, 0x40, 0xD0), (0x20, 0xD0, 0xD0), (0x80, 0x80, 0x80),
    (0x30, 0x10, 0x60), (0xFF, 0xC0, 0xC0), (0xC0, 0xFF, 0xC0), (0xFF, 0x00, 0xFF),
]
PURPLE, GREY, YELLOW, WHITE, BLACK, RED, GREEN, BLUE, ORANGE, VIOLET, CYAN, MID, DARK, PINK, MINT, CLEAR = range(16)
FONT = ImageFont.load_default()


def lzw(pixels, min_size):
    """GIF LZW: a real dictionary coder, codes packed LSB first."""
    clear, end = 1 << min_size, (1 << min_size) + 1
    out, acc, nbits = bytearray(), 0, 0

    def put(code, width):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(acc & 255)
            acc >>= 8
            nbits -= 8

    def reset():
        return {bytes([i]): i for i in range(clear)}, end + 1, min_size + 1

    table, next_code, width = reset()
    put(clear, width)
    w = b""
    for p in pixels:
        wc = w + bytes([p])
        if wc in table:
            w = wc
            continue
        put(table[w], width)
        if next_code < 4096:
            table[wc] = next_code
            next_code += 1
            if next_code > (1 << width) and width < 12:
                width += 1
        else:
            put(clear, width)
            table, next_code, width = reset()
        w = bytes([p])
    if w:
        put(table[w], width)
    put(end, width)
    if nbits:
        out.append(acc & 255)
    blocks = bytearray([min_size])
    for i in range(0, len(out), 255):
        chunk = out[i:i + 255]
        blocks += bytes([len(chunk)]) + chunk
    return bytes(blocks + b"\0")


def write_gif(name, size, frames, loops=0):
    """frames: (image 'P', left, top, delay, disposal, transparent?) each."""
    w, h = size
    data = bytearray(b"GIF89a")
    # A global table of 16; the background is the panels' grey, which is also
    # what shows through where a frame is restored to the background.
    data += struct.pack("<HHBBB", w, h, 0xF3, GREY, 0)
    for r, g, b in PALETTE:
        data += bytes([r, g, b])
    if len(frames) > 1:
        data += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01" + struct.pack("<H", loops) + b"\0"
    for im, left, top, delay, disposal, transparent in frames:
        packed = (disposal << 2) | (1 if transparent else 0)
        data += b"\x21\xF9\x04" + struct.pack("<BHB", packed, delay, CLEAR) + b"\0"
        data += b"\x2C" + struct.pack("<HHHHB", left, top, im.width, im.height, 0)
        data += lzw(im.tobytes(), 4)
    data += b"\x3B"
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def canvas(w, h, colour):
    im = Image.new("P", (w, h), colour)
    im.putpalette([c for rgb in PALETTE for c in rgb])
    return im


def text(im, xy, s, colour, scale=1):
    """The built-in font, enlarged pixel for pixel."""
    tw, th = FONT.getbbox(s)[2:]
    small = canvas(tw + 1, th + 2, CLEAR)
    ImageDraw.Draw(small).text((0, 0), s, font=FONT, fill=colour)
    big = small.resize((small.width * scale, small.height * scale), Image.NEAREST)
    mask = big.point(lambda v: 0 if v == CLEAR else 255, "L")
    im.paste(big, xy, mask)
    return big.width, big.height


def centred_text(im, y, s, colour, scale):
    tw = (FONT.getbbox(s)[2] + 1) * scale
    text(im, ((im.width - tw) // 2, y), s, colour, scale)


def banner_200_1():
    """A ball bouncing over the name; transparent frames restored to the background."""
    base = canvas(200, 200, GREY)
    centred_text(base, 150, "Korvane", YELLOW, 3)
    frames = [(base, 0, 0, 10, 1, False)]
    for i in range(10):
        y = int(100 - 90 * abs(math.sin(i * math.pi / 10)))
        ball = canvas(40, 40, CLEAR)
        ImageDraw.Draw(ball).ellipse((2, 2, 37, 37), fill=RED, outline=WHITE)
        frames.append((ball, 20 + i * 14, y, 8, 2, True))
    write_gif("200x200-1.gif", (200, 200), frames)


def banner_200_2():
    """The name in changing colours, each frame over the last."""
    frames = []
    for i, colour in enumerate([YELLOW, WHITE, CYAN, ORANGE, GREEN, PINK]):
        im = canvas(200, 200, PURPLE)
        d = ImageDraw.Draw(im)
        d.rectangle((10, 10, 189, 189), outline=colour, width=4)
        centred_text(im, 60, "Korvane", colour, 3)
        centred_text(im, 110, "ScreenShot", WHITE, 2)
        frames.append((im, 0, 0, 25 if i == 0 else 15, 1, False))
    write_gif("200x200-2.gif", (200, 200), frames)


def banner_200_3():
    """A still picture: the tool's viewfinder mark and its name."""
    im = canvas(200, 200, DARK)
    d = ImageDraw.Draw(im)
    d.rectangle((40, 30, 160, 120), outline=WHITE, width=3)
    for x, y in ((40, 30), (160, 30), (40, 120), (160, 120)):
        d.ellipse((x - 6, y - 6, x + 6, y + 6), fill=YELLOW)
    d.ellipse((85, 60, 115, 90), outline=RED, width=3)
    centred_text(im, 145, "ScreenShot 2.0", YELLOW, 2)
    write_gif("200x200-3.gif", (200, 200), [(im, 0, 0, 0, 0, False)])


def banner_200_4():
    """Stars that blink out again: each restored to the frame before it."""
    base = canvas(200, 200, PURPLE)
    centred_text(base, 85, "Capture", WHITE, 3)
    frames = [(base, 0, 0, 20, 1, False)]
    spots = [(20, 20), (140, 30), (30, 140), (150, 150), (90, 20), (90, 150)]
    delays = [5, 30, 12, 50, 8, 20]
    for (x, y), delay, colour in zip(spots, delays, [YELLOW, CYAN, PINK, GREEN, ORANGE, WHITE]):
        star = canvas(32, 32, CLEAR)
        d = ImageDraw.Draw(star)
        pts = [(16 + (15 if k % 2 == 0 else 6) * math.cos(k * math.pi / 5 - math.pi / 2),
                16 + (15 if k % 2 == 0 else 6) * math.sin(k * math.pi / 5 - math.pi / 2)) for k in range(10)]
        d.polygon(pts, fill=colour)
        frames.append((star, x, y, delay, 3, True))
    write_gif("200x200-4.gif", (200, 200), frames)


def banner_200_5():
    """Bars that grow, drawn without a disposal method."""
    frames = [(canvas(200, 200, GREY), 0, 0, 10, 0, False)]
    for i, colour in enumerate([RED, ORANGE, YELLOW, GREEN, CYAN, BLUE, VIOLET]):
        bar = canvas(20, 30 + i * 20, colour)
        frames.append((bar, 15 + i * 25, 190 - bar.height, 10, 0, False))
    write_gif("200x200-5.gif", (200, 200), frames)


def banner_468_1():
    """The name scrolling across, whole frames."""
    frames = []
    for i in range(12):
        im = canvas(468, 60, PURPLE)
        text(im, (468 - i * 40, 12), "Korvane ScreenShot 2.0", YELLOW, 3)
        frames.append((im, 0, 0, 10, 1, False))
    write_gif("468x60-1.gif", (468, 60), frames)


def banner_468_2():
    """A square running along a transparent strip, restored behind it."""
    base = canvas(468, 60, GREY)
    text(base, (10, 20), "grab - save - send", WHITE, 2)
    frames = [(base, 0, 0, 10, 1, False)]
    for i in range(9):
        sq = canvas(30, 30, CLEAR)
        ImageDraw.Draw(sq).rectangle((3, 3, 26, 26), fill=GREEN, outline=BLACK)
        frames.append((sq, 240 + i * 24, 15, 6, 2, True))
    write_gif("468x60-2.gif", (468, 60), frames)


def banner_468_3():
    """Words that flash and vanish again."""
    base = canvas(468, 60, DARK)
    text(base, (10, 22), "Korvane", YELLOW, 2)
    frames = [(base, 0, 0, 30, 1, False)]
    for i, word in enumerate(["Area", "Screen", "Clipboard", "eMail"]):
        im = canvas(112, 40, CLEAR)
        text(im, (2, 8), word, [CYAN, PINK, MINT, ORANGE][i], 2)
        frames.append((im, 120 + i * 75, 10, 40, 3, True))
    write_gif("468x60-3.gif", (468, 60), frames)


def banner_468_4():
    """A progress bar filling up, then starting again."""
    base = canvas(468, 60, PURPLE)
    d = ImageDraw.Draw(base)
    d.rectangle((20, 20, 447, 39), outline=WHITE, width=2)
    frames = [(base, 0, 0, 20, 0, False)]
    for i in range(8):
        frames.append((canvas(52, 16, [RED, ORANGE, YELLOW, GREEN][i % 4]), 22 + i * 53, 22, 20, 0, False))
    write_gif("468x60-4.gif", (468, 60), frames)


def banner_468_5():
    """Two lines taking turns."""
    frames = []
    for i, (line, colour) in enumerate([("Free of charge", YELLOW), ("for your screen", WHITE),
                                        ("Korvane ScreenShot", CYAN)]):
        im = canvas(468, 60, GREY)
        ImageDraw.Draw(im).ellipse((12, 12, 47, 47), fill=[RED, GREEN, BLUE][i])
        text(im, (70, 15), line, colour, 3)
        frames.append((im, 0, 0, 100, 1, False))
    write_gif("468x60-5.gif", (468, 60), frames, loops=0)


if __name__ == "__main__":
    for make in (banner_200_1, banner_200_2, banner_200_3, banner_200_4, banner_200_5,
                 banner_468_1, banner_468_2, banner_468_3, banner_468_4, banner_468_5):
        make()
