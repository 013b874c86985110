#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the pictures of the custom controls and writes them as BMP files.

Usage: tools/make_control_pictures.py [OUTPUT_FOLDER]   (default: resources/controls)

VVERT, VVERTD  7 x 11, 16 colours: the value box's triangle glyph, enabled and disabled
PICKTHUMB      11 x 7, 16 colours: the thumb of the value box's picker
QUORRULER      191 x 11, 256 colours: the bitmap slider's default ruler
QUORTHUMB      52 x 8, 256 colours: the slider's default thumb, normal and pressed side by side
COLORRULER     100 x 8: the colour field's lightness ruler, black on the left to white on the right
COLORTHUMB     20 x 8: the colour field's thumb, a raised grey button and its pressed form

Magenta (255, 0, 255) is the transparent colour of the glyph and the thumb of the picker.
"""
import os
import struct
import sys

MAGENTA = (255, 0, 255)
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
GREY = (128, 128, 128)
SILVER = (192, 192, 192)
FACE = (212, 208, 200)
DARK = (64, 64, 64)


def write_bmp(path, pixels, bits):
    """pixels: rows top-down of (r, g, b). bits: 4 or 8 (palette) or 24."""
    height = len(pixels)
    width = len(pixels[0])
    palette = []
    if bits in (4, 8):
        for row in pixels:
            for c in row:
                if c not in palette:
                    palette.append(c)
        limit = 1 << bits
        assert len(palette) <= limit, f"{path}: {len(palette)} colours"
        palette += [BLACK] * (limit - len(palette))
    row_bytes = ((width * bits + 31) // 32) * 4
    body = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        if bits == 24:
            for r, g, b in row:
                line += bytes((b, g, r))
        elif bits == 8:
            line += bytes(palette.index(c) for c in row)
        else:
            idx = [palette.index(c) for c in row] + [0]
            for i in range(0, width, 2):
                line.append((idx[i] << 4) | (idx[i + 1] if i + 1 < width else 0))
        line += bytes(row_bytes - len(line))
        body += line
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 14 + 40 + len(pal)
    header = struct.pack("<2sIHHI", b"BM", offset + len(body), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(body), 2835, 2835,
                       len(palette), 0)
    with open(path, "wb") as f:
        f.write(header + info + pal + body)


def blank(w, h, colour):
    return [[colour] * w for _ in range(h)]


def glyph(enabled):
    """Right-pointing triangle, vertical side in column 1, apex at (6, 5)."""
    p = blank(7, 11, MAGENTA)
    for y in range(11):
        right = 1 + (5 - abs(y - 5))
        for x in range(1, right + 1):
            edge = x == 1 or x == right or y in (0, 10)
            if edge:
                p[y][x] = BLACK
            elif not enabled:
                p[y][x] = MAGENTA
            elif y < 5 and x == right - 1:
                p[y][x] = WHITE  # lit upper edge
            elif y > 5 and x == right - 1:
                p[y][x] = GREY  # shaded lower edge
            elif x == 2:
                p[y][x] = WHITE
            else:
                p[y][x] = SILVER
    return p


def pick_thumb():
    """Upward triangle with its apex at column 5 of row 0, a black row 5 and a grey row 6."""
    p = blank(11, 7, MAGENTA)
    for y in range(5):
        left, right = 5 - y, 5 + y
        for x in range(left, right + 1):
            if x in (left, right):
                p[y][x] = BLACK
            elif x == left + 1:
                p[y][x] = WHITE
            elif x == right - 1:
                p[y][x] = GREY
            else:
                p[y][x] = SILVER
    p[5] = [BLACK] * 11
    p[6] = [GREY] * 11
    return p


def slider_ruler():
    """A sunken groove along the middle with ticks below it, on the button face."""
    w, h = 191, 11
    p = blank(w, h, FACE)
    for x in range(2, w - 2):
        p[3][x] = GREY
        p[4][x] = DARK
        p[5][x] = SILVER
        p[6][x] = WHITE
    for x in (2, 3):
        for y in range(3, 7):
            p[y][x] = GREY if x == 2 else DARK
    for i in range(11):
        x = 13 + round(i * (w - 27) / 10)
        for y in range(8, 11 if i % 5 == 0 else 10):
            p[y][x] = DARK
    return p


def button(w, h, pressed, face, light, shadow, dark, grip):
    p = blank(w, h, face)
    top_left = dark if pressed else light
    bottom_right = light if pressed else dark
    for x in range(w):
        p[0][x] = top_left
        p[h - 1][x] = bottom_right
    for y in range(h):
        p[y][0] = top_left
        p[y][w - 1] = bottom_right
    if not pressed:
        for x in range(1, w - 1):
            p[h - 2][x] = shadow
        for y in range(1, h - 1):
            p[y][w - 2] = shadow
    else:
        for x in range(1, w - 1):
            p[1][x] = shadow
        for y in range(1, h - 1):
            p[y][1] = shadow
    if grip:
        c = w // 2
        for x in (c - 3, c, c + 3):
            for y in range(2, h - 2):
                p[y][x - 1] = shadow
                p[y][x] = light
    return p


def side_by_side(a, b):
    return [ra + rb for ra, rb in zip(a, b)]


def slider_thumb():
    normal = button(26, 8, False, SILVER, WHITE, GREY, DARK, True)
    pressed = button(26, 8, True, (168, 168, 168), WHITE, GREY, DARK, True)
    return side_by_side(normal, pressed)


def colour_ruler():
    w, h = 100, 8
    return [[(round(x * 255 / (w - 1)),) * 3 for x in range(w)] for _ in range(h)]


def colour_thumb():
    normal = button(10, 8, False, SILVER, WHITE, GREY, DARK, False)
    pressed = button(10, 8, True, (168, 168, 168), WHITE, GREY, DARK, False)
    return side_by_side(normal, pressed)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "resources", "controls")
    os.makedirs(folder, exist_ok=True)
    pictures = [
        ("VVERT", glyph(True), 4),
        ("VVERTD", glyph(False), 4),
        ("PICKTHUMB", pick_thumb(), 4),
        ("QUORRULER", slider_ruler(), 8),
        ("QUORTHUMB", slider_thumb(), 8),
        ("COLORRULER", colour_ruler(), 24),
        ("COLORTHUMB", colour_thumb(), 24),
    ]
    for name, pixels, bits in pictures:
        write_bmp(os.path.join(folder, name + ".bmp"), pixels, bits)


if __name__ == "__main__":
    main()
