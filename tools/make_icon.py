#!/usr/bin/env python3
"""Writes the launcher's icon (32x32, 32-bit): a white V on a teal tile."""
import struct
import sys

SIZE = 32


def pixel(x: int, y: int) -> bytes:
    # Rounded tile; the V is two strokes meeting at the bottom centre.
    corner = 5
    cx = min(max(x, corner), SIZE - 1 - corner)
    cy = min(max(y, corner), SIZE - 1 - corner)
    if (x - cx) ** 2 + (y - cy) ** 2 > corner ** 2:
        return b"\x00\x00\x00\x00"
    top, bottom = 7, 25
    if top <= y <= bottom:
        t = (y - top) / (bottom - top)
        left = 7 + t * 8.5
        right = 24 - t * 8.5
        if abs(x - left) <= 2.2 or abs(x - right) <= 2.2:
            return b"\xff\xff\xff\xff"
    return bytes((0x8a, 0x76, 0x10, 0xff))  # BGRA


def main() -> int:
    rows = [b"".join(pixel(x, y) for x in range(SIZE)) for y in range(SIZE)]
    xor = b"".join(reversed(rows))                      # bottom-up
    mask = b"\x00" * (SIZE * SIZE // 8)                 # alpha decides
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 22)
    with open(sys.argv[1], "wb") as out:
        out.write(directory + image)
    return 0


if __name__ == "__main__":
    sys.exit(main())
