#!/usr/bin/env python3
"""Writes Scrivox's icon and the four stock button glyphs into resources/.

Everything is drawn here, in the 16-colour Windows palette, so the images can be changed by
editing this file and running it again (standard library only):

    scripts/make_glyphs.py            # writes resources/*.bmp and resources/Scrivox.ico

Glyphs are 16x16, 4 bits per pixel, magenta (255, 0, 255) where the button shows through.
The icon holds 32x32 in 16 colours, 32x32 in monochrome and 16x16 in 16 colours.
"""

import os
import struct
import sys

PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
TRANSPARENT = 13  # magenta

# One character per palette entry in the pictures below.
CODES = {
    'k': 0, 'r': 1, 'g': 2, 'y': 3, 'b': 4, 'p': 5, 'c': 6, 's': 7,
    'd': 8, 'R': 9, 'G': 10, 'Y': 11, 'B': 12, '.': 13, 'C': 14, 'w': 15,
}

GLYPHS = {
    # 1000: OK, a check mark.
    'glyph_ok.bmp': """
................
................
..............g.
.............gG.
............gGG.
...........gGGg.
..g.......gGGg..
.gGg.....gGGg...
.gGGg...gGGg....
..gGGg.gGGg.....
...gGGgGGg......
....gGGGg.......
.....gGg........
......g.........
................
................
""",
    # 1001: Cancel, a cross.
    'glyph_cancel.bmp': """
................
................
...r.......r....
..rRr.....rRr...
...rRr...rRr....
....rRr.rRr.....
.....rRrRr......
......rRr.......
.....rRrRr......
....rRr.rRr.....
...rRr...rRr....
..rRr.....rRr...
...r.......r....
................
................
................
""",
    # 1003: Help, a question mark.
    'glyph_help.bmp': """
................
.....bbbbbb.....
....bBBBBBBb....
...bBBbbbbBBb...
...bBb....bBb...
....b.....bBb...
.........bBBb...
........bBBb....
.......bBBb.....
.......bBb......
.......bBb......
........b.......
.......bbb......
.......bBb......
.......bbb......
................
""",
    # 1011: Browse, a folder.
    'glyph_browse.bmp': """
................
................
................
..kkkkk.........
.kYwYwYk........
.kwYwYwYkkkkkk..
.kYYYYYYYYYYYk..
.kYkkkkkkkkkkkkk
.kYkYYYYYYYYYYYk
.kkYYYYYYYYYYYk.
.kkYYYYYYYYYYYk.
.kYYYYYYYYYYYk..
.kYYYYYYYYYYYk..
.kkkkkkkkkkkkk..
................
................
""",
}


def parse(picture):
    rows = [line for line in picture.strip('\n').split('\n')]
    assert all(len(r) == len(rows[0]) for r in rows), 'ragged picture'
    return [[CODES[c] for c in row] for row in rows]


def pack_rows(pixels, bits):
    """Bottom-up rows of `bits` per pixel, each padded to 4 bytes."""
    out = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        acc, count = 0, 0
        for p in row:
            acc = (acc << bits) | p
            count += bits
            if count == 8:
                line.append(acc)
                acc, count = 0, 0
        if count:
            line.append(acc << (8 - count))
        while len(line) % 4:
            line.append(0)
        out += line
    return bytes(out)


def info_header(width, height, bits, image_size, colours):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, 0, image_size, 0, 0,
                       colours, 0)


def palette_bytes(palette):
    return b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in palette)


def bmp4(pixels):
    height, width = len(pixels), len(pixels[0])
    data = pack_rows(pixels, 4)
    header = info_header(width, height, 4, len(data), 16) + palette_bytes(PALETTE)
    offset = 14 + len(header)
    return struct.pack('<2sIHHI', b'BM', offset + len(data), 0, 0, offset) + header + data


# The icon: a page of text with a magnifying glass over its lower right corner.
def draw_icon(size):
    n = size
    s = n / 32.0
    img = [[TRANSPARENT] * n for _ in range(n)]

    def put(x, y, c):
        if 0 <= x < n and 0 <= y < n:
            img[y][x] = c

    def sc(v):
        return int(round(v * s))

    # The page, its folded corner and its lines of text.
    left, top, right, bottom, fold = sc(4), sc(1), sc(24), sc(30), sc(6)
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            if x - (right - fold) > y - top:
                continue
            edge = x in (left, right) or y in (top, bottom) or x - (right - fold) == y - top
            put(x, y, 0 if edge else 15)
    for i in range(fold + 1):
        put(right - fold, top + i, 0)
        put(right - fold + i, top + fold, 0)
        for j in range(i):
            put(right - fold + j + 1, top + i, 7)
    step = max(2, sc(3))
    for y in range(top + fold + step - 1, bottom - 1, step):
        for x in range(left + max(2, sc(3)), right - max(1, sc(3)) + 1):
            put(x, y, 4 if (x + y // step) % 7 else 15)
    # The glass: a ring on cyan, and a handle.
    cx, cy, r = sc(19), sc(19), sc(7)
    for y in range(n):
        for x in range(n):
            d2 = (x - cx) ** 2 + (y - cy) ** 2
            if d2 <= (r - max(1, sc(1.5))) ** 2:
                put(x, y, 14 if (x - cx + y - cy) < -r / 2 else 6 if n > 16 else 14)
            elif d2 <= r ** 2:
                put(x, y, 12)
            elif d2 <= (r + max(1, sc(0.8))) ** 2:
                put(x, y, 0)
    for i in range(sc(9)):
        for w in range(-max(1, sc(1.5)), max(1, sc(1.5)) + 1):
            put(cx + sc(5) + i + w, cy + sc(5) + i, 1 if n > 16 else 9)
            put(cx + sc(5) + i + w + 1, cy + sc(5) + i, 9)
    return img


def icon_image(pixels, bits):
    height, width = len(pixels), len(pixels[0])
    mask = [[1 if p == TRANSPARENT else 0 for p in row] for row in pixels]
    if bits == 1:
        # Black on white: the dark colours black, the light ones white.
        def level(p):
            r, g, b = PALETTE[p]
            return 1 if r * 3 + g * 6 + b > 1000 else 0
        colour = [[0 if p == TRANSPARENT else level(p) for p in row] for row in pixels]
        palette = [(0, 0, 0), (255, 255, 255)]
    else:
        colour = [[0 if p == TRANSPARENT else p for p in row] for row in pixels]
        palette = PALETTE
    xor = pack_rows(colour, bits)
    and_mask = pack_rows(mask, 1)
    header = info_header(width, height * 2, bits, len(xor) + len(and_mask), 0)
    return header + palette_bytes(palette) + xor + and_mask


def ico(images):
    """images: list of (pixels, bits)."""
    count = len(images)
    blobs = [icon_image(p, b) for p, b in images]
    out = struct.pack('<HHH', 0, 1, count)
    offset = 6 + 16 * count
    for (pixels, bits), blob in zip(images, blobs):
        size = len(pixels)
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 1 << bits, 0, 1, bits,
                           len(blob), offset)
        offset += len(blob)
    return out + b''.join(blobs)


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'resources')
    os.makedirs(root, exist_ok=True)
    for name, picture in GLYPHS.items():
        pixels = parse(picture)
        assert len(pixels) == 16 and len(pixels[0]) == 16, name
        with open(os.path.join(root, name), 'wb') as f:
            f.write(bmp4(pixels))
    big, small = draw_icon(32), draw_icon(16)
    with open(os.path.join(root, 'Scrivox.ico'), 'wb') as f:
        f.write(ico([(big, 4), (big, 1), (small, 4)]))
    return 0


if __name__ == '__main__':
    sys.exit(main())
