# Draws the program's icon, logo and menu images (run from resources/ with Pillow).
from PIL import Image, ImageDraw, ImageFont
import os
out = "images"
PURPLE = (71, 0, 184)
YELLOW = (255, 221, 0)
GREY = (95, 95, 95)

def icon(size):
    im = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    d = ImageDraw.Draw(im)
    s = size / 32.0
    d.rounded_rectangle([1*s, 1*s, 31*s, 31*s], radius=6*s, fill=PURPLE)
    # selection corners
    w = max(1, round(2.5*s))
    for (x0, y0, dx, dy) in [(6, 6, 1, 1), (26, 6, -1, 1), (6, 26, 1, -1), (26, 26, -1, -1)]:
        d.line([x0*s, y0*s, (x0+7*dx)*s, y0*s], fill=YELLOW, width=w)
        d.line([x0*s, y0*s, x0*s, (y0+7*dy)*s], fill=YELLOW, width=w)
    d.ellipse([12*s, 12*s, 20*s, 20*s], outline=(255, 255, 255), width=max(1, round(2*s)))
    return im

icon(32).save(f"{out}/MAINICON.png")
icon(64).save(f"{out}/MAINICON64.png")

logo = Image.new("RGB", (268, 94), PURPLE)
d = ImageDraw.Draw(logo)
try:
    big = ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", 34)
    small = ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", 20)
except OSError:
    big = small = ImageFont.load_default()
ic = icon(64).resize((70, 70))
logo.paste(ic, (10, 12), ic)
d.text((90, 10), "Korvane", font=big, fill=YELLOW)
d.text((92, 56), "ScreenShot 2.0", font=small, fill=(255, 255, 255))
logo.save(f"{out}/LOGO.png")

def menu(name, draw):
    im = Image.new("RGBA", (16, 16), (0, 0, 0, 0))
    draw(ImageDraw.Draw(im))
    im.save(f"{out}/{name}.png")

def area(d):
    for x in range(1, 15, 2):
        d.point((x, 2), fill=PURPLE); d.point((x, 13), fill=PURPLE)
    for y in range(2, 14, 2):
        d.point((1, y), fill=PURPLE); d.point((14, y), fill=PURPLE)
    d.rectangle([5, 6, 10, 9], fill=YELLOW, outline=PURPLE)
def screen(d):
    d.rectangle([1, 2, 14, 11], fill=PURPLE); d.rectangle([3, 4, 12, 9], fill=(120, 180, 255))
    d.rectangle([6, 12, 9, 13], fill=GREY); d.rectangle([4, 14, 11, 14], fill=GREY)
def folder(d):
    d.rectangle([1, 3, 6, 5], fill=(200, 150, 0)); d.rectangle([1, 5, 14, 13], fill=YELLOW, outline=(200, 150, 0))
def settings(d):
    d.ellipse([2, 2, 13, 13], fill=GREY); d.ellipse([5, 5, 10, 10], fill=(255, 255, 255))
    for (x, y) in [(7, 0), (7, 13), (0, 7), (13, 7)]:
        d.rectangle([x, y, x + 2, y + 2], fill=GREY)
def about(d):
    d.ellipse([1, 1, 14, 14], fill=PURPLE); d.rectangle([7, 7, 8, 12], fill=(255, 255, 255)); d.rectangle([7, 4, 8, 5], fill=(255, 255, 255))
def exit_(d):
    d.line([3, 3, 12, 12], fill=(200, 0, 0), width=3); d.line([12, 3, 3, 12], fill=(200, 0, 0), width=3)
menu("CAPTUREAREA", area); menu("CAPTURESCREEN", screen); menu("OPENFOLDER", folder)
menu("SETTINGS", settings); menu("ABOUT", about); menu("EXIT", exit_)
