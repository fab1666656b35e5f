#!/usr/bin/env python3
"""Publishes a launcher build into a folder laid out as the update host serves it:

    FOLDER/assets/game-mods/Relicade-Vexa3711-Mods-v<V>-Update.exe   a copy of FILE
    FOLDER/programs/vexa3711/latest.json                             the release feed

    publish_release.py --build FILE --version V --out FOLDER [--host H] [--notes TEXT]

H, the host named in the feed's URL, defaults to $VEXA_UPDATE_HOST, else
updates.vexa3711.example. Tests and benchmarks may import publish() instead.
"""
import argparse
import hashlib
import json
import os
import re
import shutil
import sys

DEFAULT_HOST = "updates.vexa3711.example"
FEED_PATH = "programs/vexa3711/latest.json"
PROFILES = ["original-native", "remastered-native", "original-lus", "remastered-lus"]


def build_path(version: str) -> str:
    return "assets/game-mods/Relicade-Vexa3711-Mods-v%s-Update.exe" % version


def sha256_of(path: str) -> str:
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        while chunk := f.read(4 * 1024 * 1024):
            digest.update(chunk)
    return digest.hexdigest()


def publish(build: str, version: str, out: str, host: str | None = None, notes: str | None = None) -> dict:
    """Copies the build, writes the feed and returns it."""
    # The version becomes part of a file name and a URL.
    if not re.fullmatch(r"[0-9A-Za-z.+-]+", version):
        raise ValueError("version %r cannot be part of a file name" % version)
    host = host or os.environ.get("VEXA_UPDATE_HOST") or DEFAULT_HOST
    target = os.path.join(out, build_path(version))
    os.makedirs(os.path.dirname(target), exist_ok=True)
    shutil.copyfile(build, target)
    feed = {"schema": 1, "product": "vexa3711-launcher", "platform": "windows-x64", "version": version,
            "profiles": PROFILES, "url": "https://%s/%s" % (host, build_path(version)),
            "sha256": sha256_of(target), "bytes": os.path.getsize(target)}
    if notes is not None:
        feed["notes"] = notes
    feed_file = os.path.join(out, FEED_PATH)
    os.makedirs(os.path.dirname(feed_file), exist_ok=True)
    with open(feed_file, "w", encoding="utf-8") as f:
        json.dump(feed, f, indent=2, ensure_ascii=False)
        f.write("\n")
    return feed


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--host")
    parser.add_argument("--notes")
    args = parser.parse_args()
    try:
        publish(args.build, args.version, args.out, args.host, args.notes)
    except (OSError, ValueError) as e:
        sys.stderr.write("publish_release: %s\n" % e)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
