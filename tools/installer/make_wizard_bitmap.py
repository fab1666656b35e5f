#!/usr/bin/env python3
"""Writes the picture of the installer's welcome and finish pages (164x314,
24-bit BMP, the size the wizard shows unscaled): the icon's white V on its teal,
darkening towards the bottom, over a band of the V's outline repeated.

    make_wizard_bitmap.py OUT_BMP
"""
import struct
import sys

WIDTH, HEIGHT = 164, 314
TEAL = (0x10, 0x76, 0x8A)  # RGB, the icon's tile


def in_v(x: float, y: float, left: float, top: float, size: float, stroke: float) -> bool:
    # Two strokes meeting at the bottom centre, as in tools/make_icon.py.
    if not top <= y <= top + size:
        return False
    t = (y - top) / size
    return (abs(x - (left + t * size / 2)) <= stroke or abs(x - (left + size - t * size / 2)) <= stroke)


def pixel(x: int, y: int) -> tuple:
    shade = 1.0 - 0.45 * y / HEIGHT
    if in_v(x, y, 32, 48, 100, 9):
        return (255, 255, 255)
    # A row of small Vs near the bottom, a shade lighter than the ground.
    if 250 <= y <= 266 and in_v(x % 24, y, 4, 250, 16, 1.6):
        shade += 0.25
    return tuple(min(255, int(c * shade)) for c in TEAL)


def main() -> int:
    stride = (WIDTH * 3 + 3) & ~3
    rows = []
    for y in reversed(range(HEIGHT)):  # bottom-up
        row = b"".join(bytes(reversed(pixel(x, y))) for x in range(WIDTH))  # BGR
        rows.append(row + b"\0" * (stride - len(row)))
    image = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(image), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    with open(sys.argv[1], "wb") as out:
        out.write(header + info + image)
    return 0


if __name__ == "__main__":
    sys.exit(main())
