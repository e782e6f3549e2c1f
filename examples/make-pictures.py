#!/usr/bin/python3
"""Draws the sample product's branding pictures and the program icon.

Run with Debian's Python (python3-pil). The pictures are committed; run this again only to
change them. Sizes are the main window's: background 600x400, logo 96x96, buttons 150x45.
"""
from pathlib import Path

from PIL import Image, ImageDraw

HERE = Path(__file__).resolve().parent
BRANDING = HERE / "sample-product" / "branding"
ICON = HERE.parent / "app" / "setup.ico"


def lerp(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def background():
    img = Image.new("RGB", (600, 400), "white")
    draw = ImageDraw.Draw(img)
    top, bottom = (24, 92, 190), (58, 150, 235)
    for y in range(253):
        draw.line([(0, y), (599, y)], fill=lerp(top, bottom, y / 252))
    # A few soft circles so that the header is not flat.
    overlay = Image.new("RGBA", (600, 400), (0, 0, 0, 0))
    od = ImageDraw.Draw(overlay)
    for cx, cy, r, a in [(520, 40, 120, 28), (80, 230, 90, 20), (380, 210, 60, 16)]:
        od.ellipse([cx - r, cy - r, cx + r, cy + r], fill=(255, 255, 255, a))
    overlay = overlay.crop((0, 0, 600, 253))
    img.paste(Image.alpha_composite(img.crop((0, 0, 600, 253)).convert("RGBA"), overlay).convert("RGB"))
    return img


def logo(size=96):
    img = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.rounded_rectangle([4, 4, size - 5, size - 5], radius=20, fill=(255, 255, 255, 255))
    d.rounded_rectangle([16, 16, size - 17, size - 17], radius=12, fill=(30, 110, 210, 255))
    d.polygon([(36, 30), (36, 66), (66, 48)], fill=(255, 255, 255, 255))
    return img


def button(face):
    img = Image.new("RGB", (150, 45), face)
    d = ImageDraw.Draw(img)
    light = lerp(face, (255, 255, 255), 0.25)
    for y in range(22):
        d.line([(0, y), (149, y)], fill=lerp(light, face, y / 21))
    return img


def main():
    BRANDING.mkdir(parents=True, exist_ok=True)
    background().save(BRANDING / "bgpic.png", optimize=True)
    logo().save(BRANDING / "logo.png", optimize=True)
    button((32, 120, 220)).save(BRANDING / "btninst01.png", optimize=True)
    button((70, 150, 240)).save(BRANDING / "btninst02.png", optimize=True)
    button((20, 90, 180)).save(BRANDING / "btninst03.png", optimize=True)
    big = logo(256)
    big.save(ICON, sizes=[(16, 16), (32, 32), (48, 48), (256, 256)])


if __name__ == "__main__":
    main()
