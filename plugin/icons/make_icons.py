#!/usr/bin/env python3
"""Draws the four 16x16 tool-bar icons and writes them as .ico files.

The icons are committed; run this only to change their artwork.
"""
import os
import struct

SIZE = 16
CLEAR = None


def canvas():
    return [[CLEAR] * SIZE for _ in range(SIZE)]


def put(img, x, y, rgb):
    if 0 <= x < SIZE and 0 <= y < SIZE:
        img[y][x] = rgb


def rect(img, x0, y0, x1, y1, rgb):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            put(img, x, y, rgb)


def blue_cross():
    img = canvas()
    blue, dark = (40, 90, 230), (10, 40, 150)
    for i in range(2, 14):
        for d in (-1, 0, 1):
            put(img, i + d, i, blue)
            put(img, 15 - i + d, i, blue)
        put(img, i - 2, i, dark)
        put(img, 17 - i, i, dark)
    return img


# 5x7 glyphs, '#' is ink.
GLYPH_A = ["..#..", ".#.#.", "#...#", "#...#", "#####", "#...#", "#...#"]
GLYPH_AMP = [".##..", "#..#.", ".##..", ".#...", "#.#.#", "#..#.", ".##.#"]


def glyph(img, rows, x0, y0, rgb):
    for y, row in enumerate(rows):
        for x, ch in enumerate(row):
            if ch == "#":
                put(img, x0 + x, y0 + y, rgb)


def umlaut_ampersand():
    img = canvas()
    black, red = (0, 0, 0), (200, 0, 0)
    glyph(img, GLYPH_A, 1, 6, black)
    put(img, 2, 4, black)
    put(img, 4, 4, black)
    glyph(img, GLYPH_AMP, 9, 6, red)
    return img


def clamp():
    img = canvas()
    steel, dark, wood = (120, 120, 130), (60, 60, 70), (190, 140, 70)
    rect(img, 2, 1, 4, 14, steel)        # the C-frame's back
    rect(img, 2, 1, 11, 3, steel)        # upper jaw
    rect(img, 2, 12, 11, 14, steel)      # lower jaw
    rect(img, 9, 4, 10, 8, dark)         # spindle
    rect(img, 7, 9, 12, 10, dark)        # pressure plate
    rect(img, 12, 4, 14, 5, wood)        # handle
    rect(img, 5, 11, 11, 11, wood)       # the work piece being clamped
    return img


def green_orange_picture():
    img = canvas()
    frame, green, orange, sky = (90, 60, 30), (40, 170, 40), (250, 140, 20), (200, 230, 255)
    rect(img, 1, 2, 14, 13, frame)
    rect(img, 2, 3, 13, 12, sky)
    rect(img, 2, 9, 13, 12, green)
    for x in range(4, 8):
        put(img, x, 8, green)
    rect(img, 9, 4, 11, 6, orange)       # the sun
    put(img, 10, 3, orange)
    put(img, 12, 5, orange)
    return img


def write_ico(path, img):
    # 32-bit BGRA bitmap, bottom-up, followed by the 1-bit AND mask.
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):
        bits = 0
        for x in range(SIZE):
            px = img[y][x]
            if px is None:
                xor += bytes((0, 0, 0, 0))
                bits |= 1 << (15 - x)
            else:
                r, g, b = px
                xor += bytes((b, g, r, 255))
        mask += struct.pack(">H", bits) + b"\0\0"   # rows padded to 32 bits
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + bytes(xor) + bytes(mask)
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(icondir + entry + image)


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    for name, draw in (("exit", blue_cross), ("sonderzeichen", umlaut_ampersand),
                       ("komprimieren", clamp), ("sonderz_komp", green_orange_picture)):
        write_ico(os.path.join(here, name + ".ico"), draw())
