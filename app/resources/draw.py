#!/usr/bin/env python3
"""Draws the program's initial picture (waiting.png) and its icon (porvanta.ico) into this folder.

Run by hand when the drawings change; the results are committed. Standard library only.
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def png(width, height, rows, color_type, channels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(row) for row in rows)
    assert all(len(r) == width * channels for r in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, color_type, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


# "waiting" in blocky strokes two pixels thick, each letter a list of rectangles
# (x0, y0, x1, y1), inclusive, relative to the letter's left edge; rows are absolute.
# x-height rows 96-104, the i dots and the t stem above, the g tail down to row 108.
LETTERS = {
    "w": (10, [(0, 96, 1, 104), (8, 96, 9, 104), (4, 99, 5, 104), (0, 103, 9, 104)]),
    "a": (8, [(0, 96, 7, 97), (6, 96, 7, 104), (0, 100, 7, 101), (0, 100, 1, 104), (0, 103, 7, 104)]),
    "i": (2, [(0, 91, 1, 92), (0, 96, 1, 104)]),
    "t": (6, [(2, 93, 3, 104), (0, 96, 5, 97), (2, 103, 5, 104)]),
    "n": (8, [(0, 96, 1, 104), (0, 96, 7, 97), (6, 96, 7, 104)]),
    "g": (9, [(0, 96, 8, 97), (0, 96, 1, 101), (0, 100, 8, 101), (7, 96, 8, 108), (0, 107, 8, 108)]),
}


def waiting_picture():
    size = 205
    ink = [[False] * size for _ in range(size)]
    x = 65
    for letter in "waiting":
        width, rects = LETTERS[letter]
        for x0, y0, x1, y1 in rects:
            for yy in range(y0, y1 + 1):
                for xx in range(x + x0, x + x1 + 1):
                    ink[yy][xx] = True
        x += width + 3
    rows = []
    for y in range(size):
        row = []
        for xx in range(size):
            row += [0, 0, 0] if ink[y][xx] else [255, 255, 255]
        rows.append(row)
    return png(size, size, rows, 2, 3)


def icon_pixels(size=128):
    """BGRA rows, top-down: a light-blue disc with a dark grey Wi-Fi sign, transparent outside."""
    cx = cy = (size - 1) / 2
    disc = size / 2 - 1
    # The sign: a dot and three arcs centred on the dot, opening upwards within +-45 degrees.
    dot_x, dot_y = cx, size * 0.74
    arcs = [(22, 32), (42, 52), (62, 72)]
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            # Four samples a pixel give the disc a soft edge; inside, colours are flat.
            cover = sum(math.hypot(x + dx - cx, y + dy - cy) <= disc for dx in (-0.25, 0.25) for dy in (-0.25, 0.25)) / 4
            r = math.hypot(x - dot_x, y - dot_y)
            angle = math.degrees(math.atan2(dot_x - x, dot_y - y))
            on_sign = r <= 9 or (abs(angle) <= 45 and any(a <= r <= b for a, b in arcs))
            b, g, rr = (0x40, 0x40, 0x40) if on_sign else (0xF5, 0xD8, 0xA8)
            row.append((b, g, rr, round(255 * cover)))
        rows.append(row)
    return rows


def icon_file():
    size = 128
    rows = icon_pixels(size)
    # An icon image is a DIB without file header: height doubled for the AND mask, rows bottom-up.
    xor = b"".join(bytes(v for px in row for v in px) for row in reversed(rows))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, px in enumerate(row):
            if px[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + bytes(mask)
    # 0 in the width and height bytes of the directory entry stands for 256; 128 fits as it is.
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 22)
    return directory + image


def preview_png():
    rows = icon_pixels()
    return png(128, 128, [[v for b, g, r, a in row for v in (r, g, b, a)] for row in rows], 6, 4)


if __name__ == "__main__":
    with open(os.path.join(HERE, "waiting.png"), "wb") as f:
        f.write(waiting_picture())
    with open(os.path.join(HERE, "porvanta.ico"), "wb") as f:
        f.write(icon_file())
    if os.environ.get("PREVIEW"):
        with open(os.environ["PREVIEW"], "wb") as f:
            f.write(preview_png())
