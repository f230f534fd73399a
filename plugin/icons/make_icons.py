#!/usr/bin/env python3
"""Draws the four tool-bar icons and writes them as multi-size .ico files.

Each icon holds 16, 20, 24, 32 and 48 pixel images, so the dialog finds
artwork of the size its DPI asks for instead of stretching a small one. The
16-pixel images are drawn pixel by pixel; the larger ones are drawn from
shapes in icon coordinates (0 to 1 across) and smoothed by sampling each
pixel 5 x 5 times. The icons are committed; run this only to change their
artwork. Standard library only.
"""
import math
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


# ---- shapes for the larger sizes: each is a test "is (x, y) inside?" ----

def box(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r, width):
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - r) <= width / 2


def segment_distance(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - ax - t * dx, y - ay - t * dy)


def stroke(points, width):
    pairs = list(zip(points, points[1:]))
    return lambda x, y: any(segment_distance(x, y, *a, *b) <= width / 2 for a, b in pairs)


def arc(cx, cy, r, width, start, end):
    """A ring between two angles in degrees, counted clockwise from 3 o'clock (y grows down)."""
    def inside(x, y):
        if abs(math.hypot(x - cx, y - cy) - r) > width / 2:
            return False
        angle = math.degrees(math.atan2(y - cy, x - cx)) % 360
        return (angle - start) % 360 <= (end - start) % 360
    return inside


def render(size, layers):
    """layers: (shape, rgb) from back to front; returns rows of (r, g, b, a) or None."""
    samples = 5
    img = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0.0
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) / size
                    y = (py + (sy + 0.5) / samples) / size
                    for shape, rgb in reversed(layers):
                        if shape(x, y):
                            r, g, b, a = r + rgb[0], g + rgb[1], b + rgb[2], a + 1
                            break
            n = samples * samples
            row.append(None if a == 0 else (round(r / a), round(g / a), round(b / a), round(255 * a / n)))
        img.append(row)
    return img


def cross_layers():
    blue, dark = (40, 90, 230), (10, 40, 150)
    return [(stroke([(0.15, 0.15), (0.85, 0.85)], 0.26), dark),
            (stroke([(0.85, 0.15), (0.15, 0.85)], 0.26), dark),
            (stroke([(0.15, 0.15), (0.85, 0.85)], 0.16), blue),
            (stroke([(0.85, 0.15), (0.15, 0.85)], 0.16), blue)]


def umlaut_ampersand_layers():
    black, red = (0, 0, 0), (200, 0, 0)
    w = 0.085
    return [(stroke([(0.06, 0.9), (0.26, 0.36), (0.46, 0.9)], w), black),
            (stroke([(0.14, 0.7), (0.38, 0.7)], w), black),
            (disc(0.17, 0.22, 0.055), black), (disc(0.35, 0.22, 0.055), black),
            (ring(0.73, 0.46, 0.075, w), red),
            (stroke([(0.69, 0.54), (0.94, 0.9)], w), red),
            (arc(0.72, 0.74, 0.14, w, 110, 20), red),
            (stroke([(0.85, 0.77), (0.95, 0.64)], w), red)]


def clamp_layers():
    steel, dark, wood = (120, 120, 130), (60, 60, 70), (190, 140, 70)
    return [(box(0.12, 0.06, 0.3, 0.94), steel),       # the C-frame's back
            (box(0.12, 0.06, 0.72, 0.22), steel),      # upper jaw
            (box(0.12, 0.78, 0.72, 0.94), steel),      # lower jaw
            (box(0.31, 0.7, 0.72, 0.77), wood),        # the work piece being clamped
            (box(0.56, 0.22, 0.66, 0.56), dark),       # spindle
            (box(0.44, 0.56, 0.78, 0.66), dark),       # pressure plate
            (box(0.6, 0.26, 0.92, 0.36), wood)]        # handle


def green_orange_picture_layers():
    frame, green, orange, sky = (90, 60, 30), (40, 170, 40), (250, 140, 20), (200, 230, 255)
    inner = box(0.13, 0.2, 0.87, 0.8)
    return [(box(0.06, 0.13, 0.94, 0.87), frame),
            (inner, sky),
            (lambda x, y: inner(x, y) and disc(0.62, 0.28, 0.11)(x, y), orange),   # the sun
            (lambda x, y: inner(x, y) and (y >= 0.62 or disc(0.36, 0.95, 0.42)(x, y)), green)]


SIZES = (16, 20, 24, 32, 48)


def with_alpha(img):
    return [[None if px is None else px + (255,) for px in row] for row in img]


def ico_image(img):
    # 32-bit BGRA bitmap, bottom-up, followed by the 1-bit AND mask.
    size = len(img)
    xor = bytearray()
    mask = bytearray()
    mask_stride = (size + 31) // 32 * 4
    for y in reversed(range(size)):
        bits = bytearray(mask_stride)
        for x in range(size):
            px = img[y][x]
            if px is None:
                xor += bytes((0, 0, 0, 0))
                bits[x // 8] |= 0x80 >> (x % 8)
            else:
                r, g, b, a = px
                xor += bytes((b, g, r, a))
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def write_ico(path, images):
    blobs = [ico_image(img) for img in images]
    data = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for img, blob in zip(images, blobs):
        size = len(img)
        data += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(data + b"".join(blobs))


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    for name, pixels, layers in (("exit", blue_cross, cross_layers),
                                 ("sonderzeichen", umlaut_ampersand, umlaut_ampersand_layers),
                                 ("komprimieren", clamp, clamp_layers),
                                 ("sonderz_komp", green_orange_picture, green_orange_picture_layers)):
        images = [with_alpha(pixels())] + [render(size, layers()) for size in SIZES[1:]]
        write_ico(os.path.join(here, name + ".ico"), images)
