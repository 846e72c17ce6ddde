#!/usr/bin/env python3
"""Draws the setup program's banner (banner.bmp) and icon (icon.ico).

Run it from anywhere; it writes both files beside itself. The output is the
same on every run, so the files are kept in the repository and the build only
embeds them.

  banner.bmp  256 x 96, 8 bits per pixel, uncompressed, 256-entry palette
  icon.ico    a 32 x 32 and a 16 x 16 image, 16 colours, with AND masks
"""

import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# A tiny 5 x 7 font with just the letters the banner needs.
FONT = {
    "V": ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "o": [".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."],
    "r": [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    "n": [".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#"],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    "l": [".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "u": [".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#"],
    "x": [".....", ".....", "#...#", ".#.#.", "..#..", ".#.#.", "#...#"],
    "!": ["..#..", "..#..", "..#..", "..#..", "..#..", ".....", "..#.."],
    "1": ["..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."],
    ".": [".....", ".....", ".....", ".....", ".....", ".##..", ".##.."],
    "2": [".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"],
    " ": [".....", ".....", ".....", ".....", ".....", ".....", "....."],
}
SPACE_COLUMNS = 3


def glyph_columns(ch):
    """The columns a glyph uses: proportional spacing reads better than fixed."""
    rows = FONT[ch]
    used = [c for c in range(5) if any(row[c] == "#" for row in rows)]
    if not used:
        return range(0, SPACE_COLUMNS)
    return range(used[0], used[-1] + 1)


def text_pixels(text):
    """Yields (x, y) of every set pixel of `text` at scale 1, and the width."""
    pixels = []
    x = 0
    for ch in text:
        columns = glyph_columns(ch)
        for gy, row in enumerate(FONT[ch]):
            for i, gx in enumerate(columns):
                if row[gx] == "#":
                    pixels.append((x + i, gy))
        x += len(columns) + 1
    return pixels, x - 1


class Lcg:
    """A small fixed generator, so the stars land in the same places on every run."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def next(self, bound):
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return (self.state >> 8) % bound


def lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


# Banner palette layout.
SKY, SKY_COUNT = 0, 96  # one entry per row
PLANET, PLANET_COUNT = 96, 32
GOLD, GOLD_COUNT = 128, 16
SHADOW = 144
STAR, STAR_COUNT = 152, 16
FACE = 255  # the dialog's face colour, for the rounded corners


def banner_palette():
    palette = [(0, 0, 0)] * 256
    for i in range(SKY_COUNT):
        palette[SKY + i] = lerp((6, 6, 30), (84, 30, 104), i / (SKY_COUNT - 1))
    for i in range(PLANET_COUNT):
        palette[PLANET + i] = lerp((10, 24, 48), (120, 200, 210), i / (PLANET_COUNT - 1))
    for i in range(GOLD_COUNT):
        palette[GOLD + i] = lerp((255, 244, 160), (236, 120, 24), i / (GOLD_COUNT - 1))
    palette[SHADOW] = (16, 4, 24)
    for i in range(STAR_COUNT):
        palette[STAR + i] = lerp((70, 70, 110), (255, 255, 255), i / (STAR_COUNT - 1))
    palette[FACE] = (192, 192, 192)
    return palette


def draw_banner(width=256, height=96):
    pixels = [[SKY + y for _ in range(width)] for y in range(height)]

    rng = Lcg(0x5EED1)
    for _ in range(90):
        x, y = rng.next(width), rng.next(height)
        level = rng.next(STAR_COUNT)
        pixels[y][x] = STAR + level
        if level >= STAR_COUNT - 3:  # the brightest get a small cross
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                if 0 <= x + dx < width and 0 <= y + dy < height:
                    pixels[y + dy][x + dx] = STAR + level // 3

    # A planet rising in the lower right, lit from the upper left.
    cx, cy, r = 222.0, 122.0, 62.0
    light = (-0.55, -0.65, 0.52)
    norm = math.sqrt(sum(c * c for c in light))
    light = tuple(c / norm for c in light)
    for y in range(height):
        for x in range(width):
            nx, ny = (x + 0.5 - cx) / r, (y + 0.5 - cy) / r
            d = nx * nx + ny * ny
            if d > 1.0:
                continue
            nz = math.sqrt(1.0 - d)
            lit = max(0.0, nx * light[0] + ny * light[1] + nz * light[2])
            pixels[y][x] = PLANET + min(PLANET_COUNT - 1, int(lit * PLANET_COUNT))

    scale = 3
    glyphs, text_width = text_pixels("Vornalux! 1.2")
    left = (width - text_width * scale) // 2
    top = (height - 7 * scale) // 2 - 4
    for offset, colour in ((2, SHADOW), (0, None)):
        for gx, gy in glyphs:
            for sy in range(scale):
                for sx in range(scale):
                    x = left + gx * scale + sx + offset
                    y = top + gy * scale + sy + offset
                    if colour is None:
                        shade = (gy * scale + sy) * (GOLD_COUNT - 1) // (7 * scale - 1)
                        pixels[y][x] = GOLD + shade
                    else:
                        pixels[y][x] = colour

    # Rounded corners in the dialog's face colour.
    radius = 5
    for y in range(radius):
        for x in range(radius):
            if (radius - x - 0.5) ** 2 + (radius - y - 0.5) ** 2 > radius * radius:
                for px, py in ((x, y), (width - 1 - x, y), (x, height - 1 - y),
                               (width - 1 - x, height - 1 - y)):
                    pixels[py][px] = FACE
    return pixels


def bmp8_bytes(pixels, palette):
    height, width = len(pixels), len(pixels[0])
    stride = (width + 3) & ~3
    offset = 14 + 40 + 4 * 256
    image_size = stride * height
    out = bytearray(b"BM")
    out += struct.pack("<IHHI", offset + image_size, 0, 0, offset)
    out += struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, image_size, 2835, 2835,
                       256, 0)
    for r, g, b in palette:
        out += bytes((b, g, r, 0))
    for row in reversed(pixels):  # bottom-up
        out += bytes(row) + bytes(stride - width)
    return bytes(out)


# The 16 colours of the standard VGA palette.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, OLIVE, NAVY, TEAL, YELLOW, BLUE, AQUA, WHITE = 0, 3, 4, 6, 11, 12, 14, 15
TRANSPARENT = None


def draw_icon(size):
    """A ringed planet with a spark: colour indices, TRANSPARENT outside."""
    k = size / 32.0
    cx = cy = size / 2.0
    r = 10.5 * k
    tilt = math.radians(-18)
    image = [[TRANSPARENT] * size for _ in range(size)]

    def ring_at(px, py):
        dx, dy = px - cx, py - cy
        rx = dx * math.cos(tilt) - dy * math.sin(tilt)
        ry = dx * math.sin(tilt) + dy * math.cos(tilt)
        outer = (rx / (15.5 * k)) ** 2 + (ry / (5.2 * k)) ** 2
        inner = (rx / (12.0 * k)) ** 2 + (ry / (3.0 * k)) ** 2
        if outer <= 1.0 and inner > 1.0:
            return (OLIVE if outer > 0.72 else YELLOW), ry > 0
        return None, False

    for y in range(size):
        for x in range(size):
            px, py = x + 0.5, y + 0.5
            d = math.hypot(px - cx, py - cy)
            colour = TRANSPARENT
            if d <= r:
                # Lit from the upper left: a highlight, the body, a dark rim.
                lx, ly = (px - cx) / r + 0.45, (py - cy) / r + 0.45
                glow = math.hypot(lx, ly)
                colour = AQUA if glow < 0.38 else BLUE if glow < 1.05 else NAVY
            elif d <= r + max(1.0, k):
                colour = BLACK
            ring, in_front = ring_at(px, py)
            if ring is not None and (in_front or d > r):
                colour = ring
            image[y][x] = colour

    # A four-pointed spark in the upper left corner.
    sx, sy = int(5 * k), int(5 * k)
    arm = max(1, int(3 * k))
    for i in range(-arm, arm + 1):
        for x, y in ((sx + i, sy), (sx, sy + i)):
            image[y][x] = WHITE if abs(i) < arm else TEAL
    return image


def icon_image_bytes(image):
    size = len(image)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0,
                         (xor_stride + and_stride) * size, 0, 0, 16, 0)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in VGA)
    xor_rows, and_rows = bytearray(), bytearray()
    for row in reversed(image):  # bottom-up, as in every DIB
        packed = bytearray(xor_stride)
        mask = bytearray(and_stride)
        for x, colour in enumerate(row):
            if colour is TRANSPARENT:
                mask[x // 8] |= 0x80 >> (x % 8)
                colour = BLACK
            packed[x // 2] |= colour << (4 if x % 2 == 0 else 0)
        xor_rows += packed
        and_rows += mask
    return header + palette + bytes(xor_rows) + bytes(and_rows)


def ico_bytes(images):
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    bodies = [icon_image_bytes(image) for image in images]
    for image, body in zip(images, bodies):
        size = len(image)
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(body), offset)
        offset += len(body)
    for body in bodies:
        out += body
    return bytes(out)


def main():
    with open(os.path.join(HERE, "banner.bmp"), "wb") as f:
        f.write(bmp8_bytes(draw_banner(), banner_palette()))
    with open(os.path.join(HERE, "icon.ico"), "wb") as f:
        f.write(ico_bytes([draw_icon(32), draw_icon(16)]))


if __name__ == "__main__":
    main()
