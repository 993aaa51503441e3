#!/usr/bin/python3
"""Draws Quillet's pictures: the application icon, the main window's
illustration and the menu icon strip.

The outputs are committed next to this script, so the build needs no Python.
Run it again after changing a picture:  /usr/bin/python3 resources/draw_images.py
Needs Pillow (Debian: python3-pil).
"""
import math
import os

from PIL import Image, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
SS = 4  # supersampling factor: draw large, scale down for smooth edges

BUTTON_FACE = (240, 240, 240)
KEY = (255, 0, 255)  # transparent colour of the illustration

INK = (38, 50, 72)
STEEL = (70, 86, 112)
BLUE = (33, 102, 196)
BLUE_DARK = (20, 64, 140)
BLUE_LIGHT = (120, 174, 236)
ORANGE = (242, 140, 40)
RED = (214, 48, 49)
GREEN = (40, 160, 72)
WHITE = (255, 255, 255)


def font(size, bold=True):
    names = ["DejaVuSans-Bold.ttf" if bold else "DejaVuSans.ttf"]
    for base in ["/usr/share/fonts/truetype/dejavu"]:
        for n in names:
            path = os.path.join(base, n)
            if os.path.exists(path):
                return ImageFont.truetype(path, size)
    return ImageFont.load_default()


def canvas(w, h):
    return Image.new("RGBA", (w * SS, h * SS), (0, 0, 0, 0))


def shrink(img, w, h):
    return img.resize((w, h), Image.LANCZOS)


def s(*values):
    """Scales coordinates given in output pixels to the supersampled canvas."""
    return [v * SS for v in values]


# ---------------------------------------------------------------- the icon


def draw_icon(size):
    """The Quillet mark: a white quill writing over barcode bars on a blue tile.
    Small sizes get fewer, thicker bars so the mark stays legible at 16 px."""
    n = 256
    img = canvas(n, n)
    d = ImageDraw.Draw(img)
    r = 52 if size >= 32 else 40
    d.rounded_rectangle(s(8, 8, 248, 248), radius=r * SS, fill=BLUE_DARK)
    d.rounded_rectangle(s(14, 14, 242, 242), radius=(r - 6) * SS, fill=BLUE)
    # Barcode bars along the lower part.
    if size <= 24:
        bars = [(44, 24), (88, 16), (124, 28), (172, 16)]
        top, bottom = 120, 212
    else:
        bars = [(40, 14), (62, 8), (78, 18), (104, 8), (120, 12), (140, 20),
                (168, 8), (184, 14), (206, 10)]
        top, bottom = 128, 214
    for x, w in bars:
        d.rectangle(s(x, top, x + w, bottom), fill=WHITE)
    # The quill: a feather from the upper right down to a nib at the bars.
    feather = [(228, 26), (196, 40), (150, 78), (112, 122), (92, 150),
               (108, 146), (150, 118), (196, 82), (222, 48)]
    d.polygon([tuple(v * SS for v in p) for p in feather], fill=WHITE,
              outline=BLUE_DARK)
    # Vane line and the orange nib that "writes" the code.
    d.line(s(222, 34, 100, 146), fill=BLUE_LIGHT, width=(14 if size <= 24 else 6) * SS)
    d.polygon([tuple(v * SS for v in p) for p in [(92, 150), (108, 146), (80, 176)]],
              fill=ORANGE)
    return shrink(img, size, size)


def save_icon():
    sizes = [16, 24, 32, 48, 256]
    images = [draw_icon(n) for n in sizes]
    write_ico(os.path.join(HERE, "quillet.ico"), images)
    images[-1].save(os.path.join(HERE, "quillet_256.png"))


def write_ico(path, images):
    """Small sizes as 32-bit DIBs (every Windows version reads them), 256 as PNG."""
    import io
    import struct
    blobs = []
    for im in images:
        w, h = im.size
        if w >= 256:
            buf = io.BytesIO()
            im.save(buf, format="PNG")
            blobs.append(buf.getvalue())
            continue
        px = im.load()
        xor = bytearray()
        for y in range(h - 1, -1, -1):
            for x in range(w):
                r, g, b, a = px[x, y]
                xor += bytes((b, g, r, a))
        stride = ((w + 31) // 32) * 4
        mask = bytearray()
        for y in range(h - 1, -1, -1):
            row = bytearray(stride)
            for x in range(w):
                if px[x, y][3] == 0:
                    row[x // 8] |= 0x80 >> (x % 8)
            mask += row
        header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        blobs.append(header + bytes(xor) + bytes(mask))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for im, blob in zip(images, blobs):
        w, h = im.size
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(out + b"".join(blobs))


# ------------------------------------------------------- the illustration


def draw_scanner(d):
    """A handheld barcode scanner aiming its red beam at a barcode label."""
    # Barcode label on the left.
    d.rounded_rectangle(s(8, 28, 74, 86), radius=3 * SS, fill=WHITE, outline=STEEL, width=SS)
    x = 14
    for w in [2, 1, 3, 1, 2, 1, 1, 3, 2, 1, 2, 3, 1, 2, 1, 2, 1]:
        d.rectangle(s(x, 34, x + w - 0.5, 72), fill=INK)
        x += w + 1.6
    d.text(s(18, 73), "4 012345", fill=INK, font=font(8 * SS, bold=False))
    # Beam fanning from the scanner window to the label.
    d.polygon([tuple(v * SS for v in p) for p in [(112, 50), (76, 36), (76, 78)]],
              fill=(235, 60, 60, 90))
    d.line(s(76, 57, 112, 57), fill=(230, 30, 30), width=2 * SS)
    # Head of the scanner.
    head = [(106, 38), (172, 24), (186, 34), (186, 60), (176, 68), (112, 72), (104, 64)]
    d.polygon([tuple(v * SS for v in p) for p in head], fill=STEEL, outline=INK)
    d.polygon([tuple(v * SS for v in p) for p in [(110, 42), (170, 30), (180, 36), (118, 48)]],
              fill=(110, 128, 158))
    d.rounded_rectangle(s(102, 40, 112, 70), radius=3 * SS, fill=(230, 30, 30), outline=INK)
    # Handle and trigger.
    handle = [(150, 64), (176, 62), (186, 118), (168, 124), (156, 120)]
    d.polygon([tuple(v * SS for v in p) for p in handle], fill=STEEL, outline=INK)
    d.polygon([tuple(v * SS for v in p) for p in [(140, 68), (150, 68), (152, 88), (144, 86)]],
              fill=ORANGE, outline=INK)
    d.ellipse(s(160, 40, 168, 48), fill=GREEN)


def draw_cable(d):
    """The cable from the scanner down to a serial plug, then on to the keyboard."""
    pts = []
    for i in range(41):
        t = i / 40
        x = 176 + 18 * math.sin(t * math.pi) - 40 * t
        y = 122 + 70 * t
        pts.append((x * SS, y * SS))
    d.line(pts, fill=INK, width=4 * SS, joint="curve")
    # A 9-pin serial plug on the way.
    d.polygon([tuple(v * SS for v in p) for p in [(118, 180), (154, 180), (150, 196), (122, 196)]],
              fill=(150, 160, 176), outline=INK)
    for i in range(5):
        d.ellipse(s(124 + i * 5.5, 184, 126.5 + i * 5.5, 186.5), fill=INK)
    for i in range(4):
        d.ellipse(s(127 + i * 5.5, 190, 129.5 + i * 5.5, 192.5), fill=INK)


def draw_banner(d):
    """Dark band behind the light "...emulate keyboard..." caption."""
    d.rounded_rectangle(s(6, 202, 208, 230), radius=8 * SS, fill=BLUE_DARK)
    d.rounded_rectangle(s(8, 204, 206, 228), radius=7 * SS, fill=BLUE)
    # Arrows along the banner: the data flows on.
    for x in (192,):
        d.polygon([tuple(v * SS for v in p) for p in [(x, 210), (x + 8, 216), (x, 222)]], fill=WHITE)


def draw_keyboard(d):
    """A keyboard with a few rows of keys and a lit key being typed."""
    d.rounded_rectangle(s(10, 240, 204, 298), radius=7 * SS, fill=(60, 70, 88), outline=INK, width=SS)
    d.rounded_rectangle(s(13, 243, 201, 295), radius=6 * SS, fill=(84, 96, 118))
    key = 11.5
    gap = 1.8
    rows = [(18, 0), (22, 0), (26, 0)]
    for r, (x0, _) in enumerate(rows):
        y = 247 + r * (key + gap)
        x = x0
        count = 14 - r
        for c in range(count):
            lit = (r == 1 and c == 4) or (r == 0 and c == 9)
            fill = ORANGE if lit else (236, 240, 246)
            d.rounded_rectangle(s(x, y, x + key, y + key), radius=2 * SS, fill=fill, outline=INK)
            x += key + gap
    # Space bar row.
    y = 247 + 3 * (key + gap)
    d.rounded_rectangle(s(30, y, 46, y + key), radius=2 * SS, fill=(236, 240, 246), outline=INK)
    d.rounded_rectangle(s(50, y, 150, y + key), radius=2 * SS, fill=(236, 240, 246), outline=INK)
    d.rounded_rectangle(s(154, y, 176, y + key), radius=2 * SS, fill=(236, 240, 246), outline=INK)


def save_illustration():
    w, h = 215, 370
    img = canvas(w, h)
    d = ImageDraw.Draw(img)
    draw_scanner(d)
    draw_cable(d)
    draw_banner(d)
    draw_keyboard(d)
    # A faint text cursor under the closing caption: typed "into any input".
    d.rounded_rectangle(s(168, 312, 210, 330), radius=3 * SS, fill=WHITE, outline=STEEL, width=SS)
    d.text(s(171, 314), "A12", fill=INK, font=font(10 * SS))
    d.line(s(200, 315, 200, 327), fill=INK, width=SS)
    small = shrink(img, w, h)

    # Blend soft edges onto the button face; clear pixels become the key colour.
    rgb = Image.new("RGB", (w, h), BUTTON_FACE)
    rgb.paste(small, mask=small.split()[3])
    alpha = small.split()[3].point(lambda a: 255 if a >= 72 else 0)
    pal = rgb.quantize(colors=255, method=Image.MEDIANCUT)
    palette = pal.getpalette()[: 255 * 3]
    palette += list(KEY)
    pal.putpalette(palette)
    px = pal.load()
    mask = alpha.load()
    for y in range(h):
        for x in range(w):
            if mask[x, y] == 0:
                px[x, y] = 255
    pal.save(os.path.join(HERE, "illustration.bmp"))


# ------------------------------------------------------------ menu icons


def icon_canvas():
    return canvas(24, 24), None


def badge(d, colour, kind):
    d.ellipse(s(12, 12, 23, 23), fill=colour, outline=WHITE, width=SS)
    if kind == "x":
        d.line(s(15, 15, 20, 20), fill=WHITE, width=2 * SS)
        d.line(s(20, 15, 15, 20), fill=WHITE, width=2 * SS)
    else:
        d.line(s(14.5, 17.5, 16.8, 20), fill=WHITE, width=2 * SS)
        d.line(s(16.8, 20, 21, 14.5), fill=WHITE, width=2 * SS)


def plug(d):
    d.polygon([tuple(v * SS for v in p) for p in [(2, 5), (20, 5), (17, 14), (5, 14)]],
              fill=(150, 160, 176), outline=INK)
    for i in range(4):
        d.ellipse(s(5 + i * 3.6, 7, 6.8 + i * 3.6, 8.8), fill=INK)
    for i in range(3):
        d.ellipse(s(7 + i * 3.6, 10.5, 8.8 + i * 3.6, 12.3), fill=INK)
    d.rectangle(s(9, 14, 13, 20), fill=INK)


def circle_glyph(text):
    img = canvas(24, 24)
    d = ImageDraw.Draw(img)
    d.ellipse(s(1, 1, 23, 23), fill=BLUE, outline=BLUE_DARK, width=SS)
    f = font(16 * SS)
    box = d.textbbox((0, 0), text, font=f)
    tw, th = box[2] - box[0], box[3] - box[1]
    d.text(((24 * SS - tw) / 2 - box[0], (24 * SS - th) / 2 - box[1]), text, fill=WHITE, font=f)
    return img


def icon_close_ports():
    img = canvas(24, 24)
    d = ImageDraw.Draw(img)
    plug(d)
    badge(d, RED, "x")
    return img


def icon_open_ports():
    img = canvas(24, 24)
    d = ImageDraw.Draw(img)
    plug(d)
    badge(d, GREEN, "v")
    return img


def icon_blank():
    img = canvas(24, 24)
    d = ImageDraw.Draw(img)
    d.polygon([tuple(v * SS for v in p) for p in [(5, 2), (15, 2), (20, 7), (20, 22), (5, 22)]],
              fill=WHITE, outline=STEEL)
    d.polygon([tuple(v * SS for v in p) for p in [(15, 2), (15, 7), (20, 7)]], fill=(200, 208, 220), outline=STEEL)
    return img


def icon_save():
    img = canvas(24, 24)
    d = ImageDraw.Draw(img)
    d.rounded_rectangle(s(2, 2, 22, 22), radius=2 * SS, fill=BLUE, outline=BLUE_DARK, width=SS)
    d.rectangle(s(6, 3, 18, 10), fill=WHITE)
    d.rectangle(s(14, 4, 16.5, 9), fill=BLUE_DARK)
    d.rectangle(s(5, 13, 19, 21), fill=(230, 236, 244))
    d.line(s(7, 16, 17, 16), fill=STEEL, width=SS)
    d.line(s(7, 18.5, 17, 18.5), fill=STEEL, width=SS)
    return img


def icon_gear():
    img = canvas(24, 24)
    d = ImageDraw.Draw(img)
    cx, cy = 12, 12
    pts = []
    teeth = 8
    for i in range(teeth * 4):
        a = i * math.pi * 2 / (teeth * 4)
        r = 10.5 if (i % 4) in (0, 1) else 7.8
        pts.append(((cx + r * math.cos(a)) * SS, (cy + r * math.sin(a)) * SS))
    d.polygon(pts, fill=STEEL, outline=INK)
    d.ellipse(s(8, 8, 16, 16), fill=(0, 0, 0, 0), outline=INK, width=SS)
    d.ellipse(s(8.5, 8.5, 15.5, 15.5), fill=(0, 0, 0, 0))
    return img


def icon_load():
    img = canvas(24, 24)
    d = ImageDraw.Draw(img)
    d.polygon([tuple(v * SS for v in p) for p in [(1, 6), (8, 6), (10, 8), (21, 8), (21, 21), (1, 21)]],
              fill=(232, 178, 48), outline=(150, 104, 16))
    d.polygon([tuple(v * SS for v in p) for p in [(1, 21), (4, 11), (23, 11), (21, 21)]],
              fill=(250, 206, 92), outline=(150, 104, 16))
    d.polygon([tuple(v * SS for v in p) for p in [(12, 1), (18, 6), (14, 6), (14, 14), (10, 14), (10, 6), (6, 6)]],
              fill=GREEN, outline=(20, 100, 40))
    return img


def save_menu_icons():
    icons = [circle_glyph("?"), circle_glyph("i"), icon_close_ports(), icon_open_ports(),
             icon_blank(), icon_save(), icon_gear(), icon_load()]
    strip = Image.new("RGBA", (24 * len(icons), 24), (0, 0, 0, 0))
    for i, big in enumerate(icons):
        strip.paste(shrink(big, 24, 24), (24 * i, 0))
    strip.save(os.path.join(HERE, "menu_icons.bmp"))
    strip.save(os.path.join(HERE, "menu_icons_preview.png"))


if __name__ == "__main__":
    save_icon()
    save_illustration()
    save_menu_icons()
