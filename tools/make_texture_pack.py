#!/usr/bin/env python3
"""Writes an RT64 texture pack for tests and benchmarks: rt64.json and one
image file per mapping.

    make_texture_pack.py --out DIR --mappings N [--format png|dds|mixed] [--depth K]
                         [--image-bytes B] [--sparse] [--seed S] [--configuration JSON]

Hashes are 16 lowercase hex digits, distinct and fixed by (index, seed). Images
go below textures/, K folders deep, about 256 to a folder. Each image is its
format's signature and header padded with zeros to its size (PNG 64 bytes,
DDS 128 bytes unless --image-bytes says otherwise; a size below the header
truncates it, which makes a broken image). --sparse leaves everything after the
header as a hole, so large packs cost little disk.

As a module: write_pack(...) takes the same choices plus override lists for
broken packs (see its docstring).
"""
import argparse
import json
import os
import struct
import sys
import zlib

KEEP = object()   # in an override list: keep the generated value
OMIT = object()   # in an override list, or as configuration: leave the member out
DEFAULT_CONFIGURATION = {"configurationVersion": 3, "hashVersion": 5}
FILES_PER_FOLDER = 256
_BLOCK = bytes(1 << 20)


def _png_header():
    # Signature, then a 1x1 RGBA IHDR chunk, so the first 24 bytes are what a
    # reader of the size expects.
    body = b"IHDR" + struct.pack(">IIBBBBB", 1, 1, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + struct.pack(">I", 13) + body + struct.pack(">I", zlib.crc32(body))


def _dds_header():
    # "DDS " and a 124-byte DDS_HEADER for a 4x4 DXT1 texture.
    pixel_format = struct.pack("<II4s5I", 32, 0x4, b"DXT1", 0, 0, 0, 0, 0)
    header = struct.pack("<7I44s", 124, 0x1 | 0x2 | 0x4 | 0x1000 | 0x80000, 4, 4, 8, 0, 1, bytes(44))
    header += pixel_format + struct.pack("<5I", 0x1000, 0, 0, 0, 0)
    return b"DDS " + header


HEADERS = {"png": _png_header(), "dds": _dds_header()}
DEFAULT_BYTES = {"png": 64, "dds": 128}


def texture_hash(index, seed=0):
    """A bijective 64-bit mix of index (for a fixed seed): distinct indices never collide."""
    x = (index + seed * 0x9E3779B97F4A7C15 + 1) & 0xFFFFFFFFFFFFFFFF
    x = ((x ^ (x >> 30)) * 0xBF58476D1CE4E5B9) & 0xFFFFFFFFFFFFFFFF
    x = ((x ^ (x >> 27)) * 0x94D049BB133111EB) & 0xFFFFFFFFFFFFFFFF
    return "%016x" % (x ^ (x >> 31))


def _folders(mappings, depth):
    """Folder names of each leaf, `depth` levels below textures/, about
    FILES_PER_FOLDER files to a leaf and the same fan-out at every level."""
    leaves = max(1, -(-mappings // FILES_PER_FOLDER))
    fanout = 1
    while fanout ** depth < leaves:
        fanout += 1
    width = len(str(max(fanout - 1, 0)))

    def leaf(number):
        parts = []
        for _ in range(depth):
            number, digit = divmod(number, fanout)
            parts.append("%0*d" % (width, digit))
        return "/".join(reversed(parts))
    return leaf


def _write_image(path, header, size, sparse):
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
    try:
        head = header[:size]
        if not sparse and size <= len(_BLOCK):
            os.write(fd, head + bytes(size - len(head)))
            return
        written = os.write(fd, head)
        if sparse:
            os.ftruncate(fd, size)
            return
        while written < size:
            written += os.write(fd, _BLOCK[:min(len(_BLOCK), size - written)])
    finally:
        os.close(fd)


def _override(values, index, generated):
    return values[index] if index < len(values) and values[index] is not KEEP else generated


def write_pack(out, mappings, fmt="png", depth=2, image_bytes=None, sparse=False, seed=0,
               hashes=(), paths=(), configuration=DEFAULT_CONFIGURATION, indent=2):
    """Writes the pack into `out` (absent or empty) and returns its texture entries.

    hashes, paths: override lists for the first mappings. An entry is written to
    rt64.json as it is (any JSON value, None becomes null); KEEP keeps the
    generated value, OMIT leaves the member out. No image is written for a
    mapping whose path is overridden: the caller makes whatever it should name.
    configuration: the raw "configuration" value, or OMIT.
    fmt: "png", "dds" or "mixed" (alternating, PNG first).
    """
    if fmt not in ("png", "dds", "mixed"):
        raise ValueError("format must be png, dds or mixed")
    if os.path.isdir(out) and os.listdir(out):
        raise FileExistsError("%s is not empty" % out)
    leaf = _folders(mappings, depth)
    made = set()
    textures = []
    for index in range(mappings):
        kind = fmt if fmt != "mixed" else ("png", "dds")[index % 2]
        generated_hash = texture_hash(index, seed)
        folder = "/".join(filter(None, ("textures", leaf(index // FILES_PER_FOLDER))))
        generated_path = "%s/%s.%s" % (folder, generated_hash, kind)
        entry = {}
        hash_value = _override(hashes, index, generated_hash)
        if hash_value is not OMIT:
            entry["hashes"] = {"rt64": hash_value}
        path_overridden = index < len(paths) and paths[index] is not KEEP
        if not path_overridden:
            entry["path"] = generated_path
        elif paths[index] is not OMIT:
            entry["path"] = paths[index]
        textures.append(entry)
        if path_overridden:
            continue
        local_folder = os.path.join(out, *folder.split("/"))
        if local_folder not in made:
            os.makedirs(local_folder, exist_ok=True)
            made.add(local_folder)
        size = DEFAULT_BYTES[kind] if image_bytes is None else image_bytes
        _write_image(os.path.join(local_folder, generated_hash + "." + kind), HEADERS[kind], size, sparse)
    os.makedirs(out, exist_ok=True)
    document = {} if configuration is OMIT else {"configuration": configuration}
    document["textures"] = textures
    with open(os.path.join(out, "rt64.json"), "w", encoding="utf-8", newline="\n") as description:
        json.dump(document, description, indent=indent, ensure_ascii=False)
        description.write("\n")
    return textures


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out", required=True, help="pack folder to create (absent or empty)")
    parser.add_argument("--mappings", type=int, required=True)
    parser.add_argument("--format", choices=("png", "dds", "mixed"), default="png")
    parser.add_argument("--depth", type=int, default=2, help="folder levels below textures/ (default 2)")
    parser.add_argument("--image-bytes", type=int, help="size of every image (default PNG 64, DDS 128)")
    parser.add_argument("--sparse", action="store_true", help="leave image bodies as holes")
    parser.add_argument("--seed", type=int, default=0)
    parser.add_argument("--configuration", type=json.loads, default=DEFAULT_CONFIGURATION,
                        help="raw JSON for the configuration member")
    args = parser.parse_args(argv)
    if args.mappings < 0 or args.depth < 0 or (args.image_bytes is not None and args.image_bytes < 0):
        parser.error("counts and sizes cannot be negative")
    try:
        write_pack(args.out, args.mappings, args.format, args.depth, args.image_bytes, args.sparse,
                   args.seed, configuration=args.configuration)
    except (OSError, ValueError) as error:
        print("make_texture_pack: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
