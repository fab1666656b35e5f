#!/usr/bin/env python3
"""scripts/package-update on the built launcher, run from a checkout of the scripts
that holds no build: the update file and the feed naming it agree, the feed is signed
with the build's release key, and a launcher or updater of another version, a missing
build or a missing key are refused with one line.
    package_update_test.py SCRIPT BUILD_DIR LAUNCHER_VERSION"""
import base64, hashlib, json, os, shutil, subprocess, sys, tempfile

script, build, version = sys.argv[1:4]
source = os.path.dirname(os.path.dirname(os.path.abspath(script)))
launcher = os.path.join(build, "bin", "Vexa3711.exe")
public_key = os.path.join(build, "release-key", "release-public.pem")
name = "Relicade-Vexa3711-Mods-v%s-Update.exe" % version
failures = []


def signed_by_build(feed):
    """The feed's signature (r and s) as DER, verified by openssl with the build's public key."""
    raw = base64.b64decode(feed.get("signature", ""), validate=True)
    if len(raw) != 64:
        return False
    integers = b""
    for half in (raw[:32], raw[32:]):
        value = half.lstrip(b"\0")
        value = b"\0" + value if not value or value[0] & 0x80 else value
        integers += b"\x02" + bytes([len(value)]) + value
    statement = "".join(line + "\n" for line in ["vexa3711-launcher", "windows-x64", feed["version"], feed["url"],
                                                 feed["sha256"], str(feed["bytes"])])
    with tempfile.NamedTemporaryFile() as signature:
        signature.write(b"\x30" + bytes([len(integers)]) + integers)
        signature.flush()
        return subprocess.run(["openssl", "dgst", "-sha256", "-verify", public_key, "-signature", signature.name],
                              input=statement.encode(), capture_output=True).returncode == 0


with tempfile.TemporaryDirectory() as checkout:
    for needed in ("scripts/package-update", "tools/publish_release.py", "cmake/wine-run"):
        os.makedirs(os.path.dirname(os.path.join(checkout, needed)), exist_ok=True)
        shutil.copy2(os.path.join(source, needed), os.path.join(checkout, needed))
    # (version asked for, arguments, VEXA_UPDATE_HOST, host in the url; None: refused with one line)
    for asked, arguments, environment, expected in [
            (version, ["--host", "given.example", "--build", build], "env.example", "given.example"),
            (version, ["--build", build], "env.example", "env.example"),
            (version, [], "", "updates.vexa3711.example"),  # the build that holds the launcher
            ("9.9.9", [], "", None),
            (version, ["--release-key", os.path.join(build, "no-such-key.pem")], "", None),
            (version, ["--build", os.path.join(build, "no-such-build")], "", None),
            (version, ["--updater", os.path.join(build, "next-launcher", "bin", "Vexa3711Updater.exe")], "", None)]:
        row = "%s %s" % (asked, " ".join(arguments))
        with tempfile.TemporaryDirectory() as out:
            result = subprocess.run([sys.executable, os.path.join(checkout, "scripts", "package-update"), "--version",
                                     asked, "--launcher", launcher, "--out", out] + arguments,
                                    env=dict(os.environ, VEXA_UPDATE_HOST=environment), stdin=subprocess.DEVNULL,
                                    capture_output=True, text=True)
            if expected is None or result.returncode != 0:
                one_line = result.returncode == 1 and len(result.stderr.strip().splitlines()) == 1
                if expected is not None or not one_line or os.listdir(out):
                    failures.append("%s: exit code %d, %r" % (row, result.returncode, result.stderr))
                continue
            package = open(os.path.join(out, "assets", "game-mods", name), "rb").read()
            feed = json.load(open(os.path.join(out, "programs", "vexa3711", "latest.json")))
            if not signed_by_build(feed):
                failures.append("%s: the feed is not signed with the build's release key: %s" % (row, feed))
            feed.pop("signature", None)
            wanted = {"schema": 1, "product": "vexa3711-launcher", "platform": "windows-x64", "version": version,
                      "profiles": ["original-native", "remastered-native", "original-lus", "remastered-lus"],
                      "url": "https://%s/assets/game-mods/%s" % (expected, name),
                      "sha256": hashlib.sha256(package).hexdigest(), "bytes": len(package)}
            if feed != wanted or open(launcher, "rb").read() not in package:
                failures.append("%s: feed %s, expected %s (or the launcher is not carried)" % (row, feed, wanted))
            verified = subprocess.run(["osslsigncode", "verify", "-CAfile", os.path.join(build, "signing", "test-certificate.pem"),
                                       "-in", os.path.join(out, "assets", "game-mods", name)], capture_output=True)
            if verified.returncode != 0:
                failures.append("%s: the update file is not signed by the build's certificate" % row)
print("\n".join(failures) or "package-update: all rows passed")
sys.exit(1 if failures else 0)
