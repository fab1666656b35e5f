#!/usr/bin/env python3
"""Publishes a built update file as the update host serves it.

    publish_release.py --build FILE --version V --out FOLDER [--host H] [--notes T]

Copies FILE to FOLDER/assets/game-mods/Relicade-Vexa3711-Mods-v<V>-Update.exe
and writes the release feed FOLDER/programs/vexa3711/latest.json naming it.
The host defaults to VEXA_UPDATE_HOST, else updates.vexa3711.example."""
import argparse
import hashlib
import json
import os
import re
import sys

PROFILES = ["original-native", "remastered-native", "original-lus", "remastered-lus"]


def write_replacing(path, data):
    # Readers of the feed see the old or the new file, never half of one.
    os.makedirs(os.path.dirname(path), exist_ok=True)
    partial = path + ".partial"
    with open(partial, "wb") as out:
        out.write(data)
        out.flush()
        os.fsync(out.fileno())
    os.replace(partial, path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--host", default=os.environ.get("VEXA_UPDATE_HOST") or "updates.vexa3711.example")
    parser.add_argument("--notes")
    args = parser.parse_args()
    if not re.fullmatch(r"[0-9]+\.[0-9]+\.[0-9]+", args.version):
        sys.exit("publish_release: the version must be major.minor.patch")

    with open(args.build, "rb") as build:
        content = build.read()
    name = "Relicade-Vexa3711-Mods-v%s-Update.exe" % args.version
    write_replacing(os.path.join(args.out, "assets", "game-mods", name), content)
    feed = {
        "schema": 1,
        "product": "vexa3711-launcher",
        "platform": "windows-x64",
        "version": args.version,
        "profiles": PROFILES,
        "url": "https://%s/assets/game-mods/%s" % (args.host, name),
        "sha256": hashlib.sha256(content).hexdigest(),
        "bytes": len(content),
    }
    if args.notes is not None:
        feed["notes"] = args.notes
    write_replacing(os.path.join(args.out, "programs", "vexa3711", "latest.json"),
                    (json.dumps(feed, indent=2) + "\n").encode())
    return 0


if __name__ == "__main__":
    sys.exit(main())
