#!/usr/bin/env python3
"""Writes the deterministic 12 MiB demo cartridge image (it is not a game,
just bytes with the native header) in any of the three dump orders, or prints
its SHA-1 in native order.

    demo_cartridge.py --sha1
    demo_cartridge.py OUT [--order native|swapped|little]
"""
import argparse
import hashlib
import sys

IMAGE_BYTES = 12 * 1024 * 1024


def native_image() -> bytes:
    # SHA-256 in counter mode: stable on every Python and every machine.
    body = bytearray()
    counter = 0
    while len(body) < IMAGE_BYTES:
        body += hashlib.sha256(b"vexa3711-demo-cartridge:%d" % counter).digest()
        counter += 1
    body[0:4] = b"\x80\x37\x12\x40"
    return bytes(body[:IMAGE_BYTES])


def in_order(image: bytes, order: str) -> bytes:
    data = bytearray(image)
    if order == "swapped":      # bytes exchanged in pairs: 37 80 40 12
        data[0::2], data[1::2] = image[1::2], image[0::2]
    elif order == "little":     # 4-byte words little-endian: 40 12 37 80
        for k in range(4):
            data[k::4] = image[3 - k::4]
    return bytes(data)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("out", nargs="?")
    parser.add_argument("--order", choices=["native", "swapped", "little"], default="native")
    parser.add_argument("--sha1", action="store_true")
    args = parser.parse_args()
    image = native_image()
    if args.sha1:
        print(hashlib.sha1(image).hexdigest())
        return 0
    if not args.out:
        parser.error("give an output file or --sha1")
    with open(args.out, "wb") as out:
        out.write(in_order(image, args.order))
    return 0


if __name__ == "__main__":
    sys.exit(main())
