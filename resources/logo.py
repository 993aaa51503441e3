#!/usr/bin/python3
"""Draws the maker's logo for the about box: "Brovana" beside a small mark,
130 x 62 pixels, transparent background (32-bit BMP with straight alpha).

The output is committed next to this script, so the build needs no Python.
Run it again after changing the picture:  /usr/bin/python3 resources/logo.py
Needs Pillow (Debian: python3-pil).
"""
import os

from PIL import Image, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
SS = 4
W, H = 130, 62

NAVY = (24, 44, 96, 255)
TEAL = (0, 140, 150, 255)
ORANGE = (242, 140, 40, 255)
GREY = (90, 100, 120, 255)


def font(size, bold=True):
    path = "/usr/share/fonts/truetype/dejavu/" + ("DejaVuSans-Bold.ttf" if bold else "DejaVuSans.ttf")
    return ImageFont.truetype(path, size) if os.path.exists(path) else ImageFont.load_default()


def draw_logo():
    img = Image.new("RGBA", (W * SS, H * SS), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    # The mark: a rounded square with a "B" over an orange bar.
    d.rounded_rectangle([2 * SS, 8 * SS, 42 * SS, 48 * SS], radius=9 * SS, fill=NAVY)
    d.rounded_rectangle([5 * SS, 11 * SS, 39 * SS, 45 * SS], radius=7 * SS, fill=TEAL)
    d.text((11 * SS, 11 * SS), "B", font=font(30 * SS), fill=(255, 255, 255, 255))
    d.rectangle([12 * SS, 40 * SS, 32 * SS, 42 * SS], fill=ORANGE)
    # The name and a line under it.
    d.text((47 * SS, 12 * SS), "Brovana", font=font(17 * SS), fill=NAVY)
    d.line([48 * SS, 36 * SS, 127 * SS, 36 * SS], fill=ORANGE, width=2 * SS)
    d.text((48 * SS, 39 * SS), "devices & software", font=font(7 * SS, bold=False), fill=GREY)
    return img.resize((W, H), Image.LANCZOS)


if __name__ == "__main__":
    logo = draw_logo()
    logo.save(os.path.join(HERE, "logo.bmp"))
    logo.save(os.path.join(HERE, "logo_preview.png"))
