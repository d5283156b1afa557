#!/usr/bin/env python3
"""Draws the program's pictures into app/res/: the application icon (group 101) and the four
32 x 32 faces of the close and minimise buttons (bitmaps 102 to 105). Standard library only;
run it again after changing a picture and check the files in."""
import math
import os
import struct
import sys

BAR = (126, 3, 6)  # the title bar's colour: the faces' background must match it exactly
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
FACE = 32


def on_cross(x, y):
    """Two strokes about 5 pixels wide, (3,3)-(28,28) and (28,3)-(3,28)."""
    if not (3 <= x <= 28 and 3 <= y <= 28):
        return False
    return abs(x - y) <= 2 or abs(x + y - 31) <= 2


def on_bar(x, y):
    return 2 <= x <= 29 and 18 <= y <= 21


def bmp24(pixel):
    """An uncompressed bottom-up 24-bit BMP file; pixel(x, y) counts y from the top."""
    stride = (FACE * 3 + 3) & ~3
    rows = []
    for y in reversed(range(FACE)):
        row = bytearray()
        for x in range(FACE):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (stride - len(row))
        rows.append(bytes(row))
    data = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, FACE, FACE, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    offset = 14 + len(info)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    return header + info + data


def face(shape, ink):
    return bmp24(lambda x, y: ink if shape(x, y) else BAR)


# --- the application icon: a white V over a gold bar on a red square ---------------------

RED = (200, 16, 24)
DARK = (120, 6, 10)
GOLD = (250, 190, 40)


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def icon_colour(u, v):
    """Colour (r, g, b, a) at the point (u, v) of the unit square, v downwards."""
    corner = 0.12
    cu, cv = min(max(u, corner), 1 - corner), min(max(v, corner), 1 - corner)
    if math.hypot(u - cu, v - cv) > corner:
        return (0, 0, 0, 0)
    if math.hypot(u - cu, v - cv) > corner - 0.05 or min(u, v, 1 - u, 1 - v) < 0.05:
        return DARK + (255,)
    stroke = 0.075
    if (segment_distance(u, v, 0.24, 0.2, 0.5, 0.68) < stroke
            or segment_distance(u, v, 0.76, 0.2, 0.5, 0.68) < stroke):
        return WHITE + (255,)
    if 0.3 <= u <= 0.7 and 0.76 <= v <= 0.84:
        return GOLD + (255,)
    return RED + (255,)


def sample(size, x, y, steps):
    """Average of steps x steps samples inside pixel (x, y), alpha-weighted."""
    r = g = b = a = 0.0
    for i in range(steps):
        for j in range(steps):
            c = icon_colour((x + (i + 0.5) / steps) / size, (y + (j + 0.5) / steps) / size)
            r += c[0] * c[3]
            g += c[1] * c[3]
            b += c[2] * c[3]
            a += c[3]
    if a == 0:
        return (0, 0, 0, 0)
    return (round(r / a), round(g / a), round(b / a), round(a / (steps * steps)))


VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
         (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
         (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def nearest(palette, colour):
    return min(range(len(palette)),
               key=lambda i: sum((p - c) ** 2 for p, c in zip(palette[i], colour)))


def mask_rows(size, opaque):
    """The 1-bit AND mask, bottom-up: 1 where the icon is transparent."""
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for y in reversed(range(size)):
        row = bytearray(stride)
        for x in range(size):
            if not opaque[y][x]:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def icon_image(size, bpp):
    """One icon image as stored in the file: header, palette, colour bits, mask."""
    if bpp == 32:
        pixels = [[sample(size, x, y, 4) for x in range(size)] for y in range(size)]
    else:
        pixels = [[sample(size, x, y, 1) for x in range(size)] for y in range(size)]
    opaque = [[p[3] >= 128 for p in row] for row in pixels]
    palette = []
    if bpp == 8:
        palette = [(0, 0, 0), RED, DARK, WHITE, GOLD]
        palette += [(0, 0, 0)] * (256 - len(palette))
    elif bpp == 4:
        palette = VGA16
    stride = ((size * bpp + 31) // 32) * 4
    bits = bytearray()
    for y in reversed(range(size)):
        row = bytearray()
        if bpp == 32:
            for p in pixels[y]:
                row += bytes((p[2], p[1], p[0], p[3]))
        elif bpp == 8:
            for x, p in enumerate(pixels[y]):
                row.append(nearest(palette[:5], p[:3]) if opaque[y][x] else 0)
        else:
            for x in range(0, size, 2):
                hi = nearest(palette, pixels[y][x][:3]) if opaque[y][x] else 0
                lo = nearest(palette, pixels[y][x + 1][:3]) if opaque[y][x + 1] else 0
                row.append(hi << 4 | lo)
        row += b"\0" * (stride - len(row))
        bits += row
    mask = mask_rows(size, opaque)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, len(bits) + len(mask),
                         0, 0, len(palette) if palette else 0, 0)
    table = b"".join(bytes((c[2], c[1], c[0], 0)) for c in palette)
    return header + table + bytes(bits) + mask


ICON_IMAGES = [(48, 8), (32, 8), (16, 8), (48, 32), (32, 32), (16, 32), (32, 4), (16, 4)]


def icon_file():
    images = [icon_image(size, bpp) for size, bpp in ICON_IMAGES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, bpp), data in zip(ICON_IMAGES, images):
        colours = 16 if bpp == 4 else 0
        out += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bpp, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    res = os.path.join(root, "app", "res")
    check = "--check" in sys.argv[1:]
    files = {
        "ctlwarden.ico": icon_file(),
        "close.bmp": face(on_cross, WHITE),
        "close_pressed.bmp": face(on_cross, BLACK),
        "minimise.bmp": face(on_bar, WHITE),
        "minimise_pressed.bmp": face(on_bar, BLACK),
    }
    if check:  # compare with the checked-in files instead of writing them
        stale = []
        for name, data in files.items():
            path = os.path.join(res, name)
            if not os.path.exists(path) or open(path, "rb").read() != data:
                stale.append(name)
        if stale:
            print("out of date in app/res: " + ", ".join(stale))
            return 1
        return 0
    os.makedirs(res, exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(res, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
