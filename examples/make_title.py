#!/usr/bin/env python3
"""Writes examples/title.png: a 256x192 title screen built from 8x8 tiles in
16 colours (sky bands, stars, hills, a brick floor and a block-letter logo), so
that tile de-duplication, mirroring and compression all have work to do.
Uses only the standard library."""
import struct
import sys
import zlib

W, H = 256, 192
PALETTE = [
    (0, 0, 0), (16, 24, 64), (32, 48, 112), (48, 80, 160), (255, 255, 255),
    (255, 224, 64), (224, 96, 32), (160, 32, 32), (32, 128, 48), (64, 192, 80),
    (112, 72, 40), (176, 120, 72), (200, 200, 200), (96, 96, 96), (255, 128, 192),
    (128, 224, 255),
]
CELL = 6  # pixels per logo cell
LOGO = [
    "#   #  ###  ####  #   # ### #  #",
    "## ## #   # #   # #   #  #  # # ",
    "# # # #   # ####  #   #  #  ##  ",
    "#   # #   # #  #   # #   #  # # ",
    "#   #  ###  #   #   #   ### #  #",
]


def pixel(x, y):
    # Sky in three bands with a sparse star field.
    if y < 120:
        band = 1 + min(2, y // 40)
        if (x * 7 + y * 13) % 97 == 0 and y % 8 in (2, 5):
            return 4
        colour = band
        # Block-letter logo, each cell CELL x CELL pixels, with a shadow.
        lx, ly = x - 32, y - 32
        if 0 <= ly < len(LOGO) * CELL and 0 <= lx < len(LOGO[0]) * CELL:
            if LOGO[ly // CELL][lx // CELL] == "#":
                return 5 if (ly % CELL) < CELL - 2 else 6
        sx, sy = lx - 2, ly - 2
        if 0 <= sy < len(LOGO) * CELL and 0 <= sx < len(LOGO[0]) * CELL:
            if LOGO[sy // CELL][sx // CELL] == "#":
                return 7
        # A moon, symmetric so mirrored tiles appear.
        dx, dy = x - 216, y - 84
        if dx * dx + dy * dy < 144:
            return 12
        return colour
    # Rolling hills.
    hill = 136 + (abs((x % 64) - 32) // 4)
    if y < hill:
        return 3
    if y < 160:
        return 9 if (x // 4 + y // 4) % 2 == 0 else 8
    # Brick floor: a repeating 16x8 brick pattern.
    by, bx = (y - 160) % 8, (x + (4 if ((y - 160) // 8) % 2 else 0)) % 16
    if by == 7 or bx == 0:
        return 10
    return 11 if by < 3 else 6 if (bx + by) % 11 == 0 else 7


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def main(path):
    rows = bytearray()
    for y in range(H):
        rows.append(0)
        for x in range(W):
            rows.extend(PALETTE[pixel(x, y)])
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(rows), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "title.png")
