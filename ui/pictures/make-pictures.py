#!/usr/bin/python3
"""Draws the main window's own pictures, the ones it shows when a product brings none.

Run with Debian's Python (python3-pil). The PNG files beside this script are committed and
embedded by ui/pictures/layout.rc; run it again only to change them.
"""
from pathlib import Path

from PIL import Image, ImageDraw

HERE = Path(__file__).resolve().parent
SCALE = 4  # shapes are drawn four times larger and scaled down, for smooth edges


def lerp(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def smooth(size, draw):
    """An RGBA picture of `size` drawn by `draw(ImageDraw, scale)` at SCALE times the size."""
    big = Image.new("RGBA", (size[0] * SCALE, size[1] * SCALE), (0, 0, 0, 0))
    draw(ImageDraw.Draw(big), SCALE)
    return big.resize(size, Image.LANCZOS)


def background():
    img = Image.new("RGB", (600, 400), "white")
    d = ImageDraw.Draw(img)
    top, bottom = (22, 94, 196), (64, 156, 238)
    for y in range(253):
        d.line([(0, y), (599, y)], fill=lerp(top, bottom, y / 252))
    return img


def big_button(face):
    img = Image.new("RGB", (150, 45), face)
    d = ImageDraw.Draw(img)
    light = lerp(face, (255, 255, 255), 0.22)
    for y in range(45):
        d.line([(0, y), (149, y)], fill=lerp(light, face, min(1, y / 30)))
    return img


def small_button(face, edge):
    def draw(d, s):
        d.rounded_rectangle([0, 0, 77 * s - 1, 26 * s - 1], radius=4 * s, fill=edge)
        d.rounded_rectangle([s, s, 76 * s - 1, 25 * s - 1], radius=3 * s, fill=face)
    return smooth((77, 26), draw)


def close_picture(square, cross):
    def draw(d, s):
        if square:
            d.rectangle([0, 0, 30 * s - 1, 30 * s - 1], fill=square)
        w = 2 * s
        d.line([(10 * s, 10 * s), (20 * s, 20 * s)], fill=cross, width=w)
        d.line([(20 * s, 10 * s), (10 * s, 20 * s)], fill=cross, width=w)
    return smooth((30, 30), draw)


def arrow(down):
    grey = (150, 156, 160, 255)

    def draw(d, s):
        d.ellipse([0, 0, 18 * s - 1, 18 * s - 1], outline=grey, width=s + s // 2)
        points = [(5.5, 7.5), (9, 11), (12.5, 7.5)] if down else [(5.5, 10.5), (9, 7), (12.5, 10.5)]
        d.line([(x * s, y * s) for x, y in points], fill=grey, width=s + s // 2, joint="curve")
    return smooth((18, 18), draw)


def check_mark():
    def draw(d, s):
        d.ellipse([0, 0, 36 * s - 1, 36 * s - 1], fill=(46, 177, 90, 255))
        d.line([(10 * s, 18.5 * s), (15.5 * s, 24 * s), (26.5 * s, 12.5 * s)],
               fill=(255, 255, 255, 255), width=3 * s, joint="curve")
    return smooth((36, 36), draw)


def shadow():
    img = Image.new("RGBA", (800, 8), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    for y in range(7):
        d.line([(0, y), (799, y)], fill=(0, 0, 0, round(60 * (y + 1) / 7)))
    d.line([(0, 7), (799, 7)], fill=(255, 255, 255, 128))
    return img


def grey_line(vertical):
    img = Image.new("RGBA", (9, 9), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    colour = (158, 166, 170, 77)
    d.line([(4, 0), (4, 8)] if vertical else [(0, 4), (8, 4)], fill=colour)
    return img


PICTURES = {
    "background.png": background(),
    "button-normal.png": big_button((30, 118, 222)),
    "button-hover.png": big_button((62, 146, 240)),
    "button-down.png": big_button((18, 88, 178)),
    "change-normal.png": small_button((236, 238, 240, 255), (196, 200, 204, 255)),
    "change-hover.png": small_button((244, 246, 248, 255), (176, 182, 188, 255)),
    "change-down.png": small_button((218, 222, 226, 255), (170, 176, 182, 255)),
    "close.png": close_picture(None, (255, 255, 255, 255)),
    "close-up.png": close_picture((232, 72, 40, 255), (255, 255, 255, 255)),
    "close-down.png": close_picture((180, 40, 24, 255), (225, 225, 225, 255)),
    "close-disabled.png": close_picture(None, (255, 255, 255, 90)),
    "arrow-down.png": arrow(True),
    "arrow-up.png": arrow(False),
    "check.png": check_mark(),
    "shadow.png": shadow(),
    "line-vertical.png": grey_line(True),
    "line-horizontal.png": grey_line(False),
}


def main():
    for name, picture in PICTURES.items():
        picture.save(HERE / name, optimize=True)


if __name__ == "__main__":
    main()
