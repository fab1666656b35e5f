#!/usr/bin/env python3
"""Publishes a launcher build into a folder laid out as the update host serves it:

    FOLDER/assets/game-mods/Relicade-Vexa3711-Mods-v<V>-Update.exe   a copy of FILE
    FOLDER/programs/vexa3711/latest.json                             the signed release feed

    publish_release.py --build FILE --version V --out FOLDER --release-key PRIVATE.pem
                       [--host H] [--notes TEXT] [--valid-for DAYS]
    publish_release.py --resign FEED --release-key PRIVATE.pem [--valid-for DAYS]

H, the host named in the feed's URL, defaults to $VEXA_UPDATE_HOST, else
updates.vexa3711.example. The feed expires DAYS days (default 60) after it is
signed: launchers refuse it from then on, so it must be signed again before,
which --resign does to an existing feed (a new expiry and signature, nothing
else changed, the build left as it is). The feed's signature is the release
key's ECDSA P-256 signature (SHA-256, r and s of 32 bytes each, s at most half
the group order, base64) of the statement that statement_of() forms; launchers
trust only the key their build was given.
Tests and benchmarks may import publish() and resign() instead.
"""
import argparse
import base64
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import time

DEFAULT_HOST = "updates.vexa3711.example"
FEED_PATH = "programs/vexa3711/latest.json"
PROFILES = ["original-native", "remastered-native", "original-lus", "remastered-lus"]
DEFAULT_VALID_DAYS = 60
# The order of the P-256 group: s and N - s both verify, launchers accept only the lower.
N = 0xFFFFFFFF00000000FFFFFFFFFFFFFFFFBCE6FAADA7179E84F3B9CAC2FC632551


def build_path(version: str) -> str:
    return "assets/game-mods/Relicade-Vexa3711-Mods-v%s-Update.exe" % version


def sha256_of(path: str) -> str:
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        while chunk := f.read(4 * 1024 * 1024):
            digest.update(chunk)
    return digest.hexdigest()


def statement_of(feed: dict) -> bytes:
    """What the publisher signs: seven lines, each ended by a line feed."""
    lines = ["vexa3711-launcher", "windows-x64", feed["version"], feed["url"], feed["sha256"], str(feed["bytes"]),
             feed["expires"]]
    return "".join(line + "\n" for line in lines).encode("utf-8")


def expiry_after(days: int) -> str:
    """UTC, YYYY-MM-DDTHH:MM:SSZ, the days from now."""
    if not isinstance(days, int) or days < 1:
        raise ValueError("the feed must stay valid for at least one day, not %r" % (days,))
    return time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(time.time() + days * 86400))


def der_element(data: bytes, at: int, tag: int) -> tuple[bytes, int]:
    if at + 2 > len(data) or data[at] != tag or data[at + 1] & 0x80:
        raise ValueError("not a P-256 signature")
    end = at + 2 + data[at + 1]
    return data[at + 2:end], end


def sign(statement: bytes, key: str) -> str:
    """The base64 signature of statement with the private key (PEM) through openssl."""
    if not os.path.isfile(key):
        raise ValueError("release key %s does not exist" % key)
    result = subprocess.run(["openssl", "dgst", "-sha256", "-sign", key], input=statement, capture_output=True)
    if result.returncode != 0:
        lines = result.stderr.decode(errors="replace").strip().splitlines()
        raise ValueError("cannot sign with %s: %s" % (key, lines[0] if lines else "openssl failed"))
    # DER: SEQUENCE { INTEGER r, INTEGER s } (short lengths only, as P-256 gives).
    try:
        both, _ = der_element(result.stdout, 0, 0x30)
        r, at = der_element(both, 0, 0x02)
        s, _ = der_element(both, at, 0x02)
        r, s = int.from_bytes(r, "big"), int.from_bytes(s, "big")
        raw = r.to_bytes(32, "big") + min(s, N - s).to_bytes(32, "big")
    except (ValueError, OverflowError):
        raise ValueError("release key %s is not an EC P-256 private key" % key)
    return base64.b64encode(raw).decode("ascii")


def write_feed(feed: dict, path: str) -> None:
    """Replaces the feed whole: a failure leaves the one before."""
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    temporary = "%s.%d.tmp" % (path, os.getpid())
    with open(temporary, "w", encoding="utf-8") as f:
        json.dump(feed, f, indent=2, ensure_ascii=False)
        f.write("\n")
    os.replace(temporary, path)


def publish(build: str, version: str, out: str, host: str | None = None, notes: str | None = None, *,
            key: str, valid_for: int = DEFAULT_VALID_DAYS) -> dict:
    """Copies the build, writes the feed signed with key (a private key PEM) and returns it."""
    # The version becomes part of a file name and a URL.
    if not re.fullmatch(r"[0-9A-Za-z.+-]+", version):
        raise ValueError("version %r cannot be part of a file name" % version)
    host = host or os.environ.get("VEXA_UPDATE_HOST") or DEFAULT_HOST
    feed = {"schema": 1, "product": "vexa3711-launcher", "platform": "windows-x64", "version": version,
            "profiles": PROFILES, "url": "https://%s/%s" % (host, build_path(version)),
            "sha256": sha256_of(build), "bytes": os.path.getsize(build)}
    if notes is not None:
        feed["notes"] = notes
    feed["expires"] = expiry_after(valid_for)
    # Signed before anything is written: a key that cannot sign leaves the folder as it was.
    feed["signature"] = sign(statement_of(feed), key)
    target = os.path.join(out, build_path(version))
    os.makedirs(os.path.dirname(target), exist_ok=True)
    shutil.copyfile(build, target)
    write_feed(feed, os.path.join(out, FEED_PATH))
    return feed


def resign(feed_file: str, *, key: str, valid_for: int = DEFAULT_VALID_DAYS) -> dict:
    """Gives a published feed a new expiry and signs it again; the build it names is not touched."""
    try:
        with open(feed_file, encoding="utf-8") as f:
            feed = json.load(f)
        feed["expires"] = expiry_after(valid_for)
        statement = statement_of(feed)
    except (KeyError, TypeError, AttributeError, json.JSONDecodeError, UnicodeDecodeError):
        raise ValueError("%s is not a release feed" % feed_file)
    feed["signature"] = sign(statement, key)
    write_feed(feed, feed_file)
    return feed


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build")
    parser.add_argument("--version")
    parser.add_argument("--out")
    parser.add_argument("--host")
    parser.add_argument("--notes")
    parser.add_argument("--release-key", required=True)
    parser.add_argument("--valid-for", type=int, default=DEFAULT_VALID_DAYS, metavar="DAYS")
    parser.add_argument("--resign", metavar="FEED")
    args = parser.parse_args()
    publishing = [args.build, args.version, args.out]
    if args.resign and any(a is not None for a in publishing + [args.host, args.notes]):
        parser.error("--resign changes only the expiry and the signature of FEED")
    if not args.resign and any(a is None for a in publishing):
        parser.error("--build, --version and --out are required")
    try:
        if args.resign:
            resign(args.resign, key=args.release_key, valid_for=args.valid_for)
        else:
            publish(args.build, args.version, args.out, args.host, args.notes, key=args.release_key,
                    valid_for=args.valid_for)
    except (OSError, ValueError) as e:
        sys.stderr.write("publish_release: %s\n" % e)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
