#!/usr/bin/env python3
"""scripts/package-update on the built launcher, run from a checkout of the scripts
that holds no build: the update file and the feed naming it agree, the feed is signed
with the build's release key (s in its low form) and expires when asked, --resign gives
it a new expiry and signature and changes nothing else, and a launcher or updater of
another version, a missing build or a missing key are refused with one line.
    package_update_test.py SCRIPT BUILD_DIR LAUNCHER_VERSION"""
import base64, calendar, hashlib, json, os, shutil, subprocess, sys, tempfile, time

script, build, version = sys.argv[1:4]
source = os.path.dirname(os.path.dirname(os.path.abspath(script)))
launcher = os.path.join(build, "bin", "Vexa3711.exe")
public_key = os.path.join(build, "release-key", "release-public.pem")
name = "Relicade-Vexa3711-Mods-v%s-Update.exe" % version
failures = []
N = 0xFFFFFFFF00000000FFFFFFFFFFFFFFFFBCE6FAADA7179E84F3B9CAC2FC632551


def signed_by_build(feed):
    """The feed's signature (r and s) as DER, verified by openssl with the build's public key."""
    raw = base64.b64decode(feed.get("signature", ""), validate=True)
    if len(raw) != 64 or int.from_bytes(raw[32:], "big") > N // 2:
        return False
    integers = b""
    for half in (raw[:32], raw[32:]):
        value = half.lstrip(b"\0")
        value = b"\0" + value if not value or value[0] & 0x80 else value
        integers += b"\x02" + bytes([len(value)]) + value
    statement = "".join(line + "\n" for line in ["vexa3711-launcher", "windows-x64", feed["version"], feed["url"],
                                                 feed["sha256"], str(feed["bytes"]), feed["expires"]])
    with tempfile.NamedTemporaryFile() as signature:
        signature.write(b"\x30" + bytes([len(integers)]) + integers)
        signature.flush()
        return subprocess.run(["openssl", "dgst", "-sha256", "-verify", public_key, "-signature", signature.name],
                              input=statement.encode(), capture_output=True).returncode == 0


def expires_after(feed, days, started):
    """Whether the feed expires the days after it was signed, which was between started and now."""
    try:
        expires = calendar.timegm(time.strptime(feed.get("expires", ""), "%Y-%m-%dT%H:%M:%SZ"))
    except ValueError:
        return False
    return int(started) + days * 86400 <= expires <= time.time() + days * 86400


def package_update(arguments, environment=""):
    return subprocess.run([sys.executable, os.path.join(checkout, "scripts", "package-update")] + arguments,
                          env=dict(os.environ, VEXA_UPDATE_HOST=environment), stdin=subprocess.DEVNULL,
                          capture_output=True, text=True)


def refused_with_one_line(result):
    return result.returncode == 1 and len(result.stderr.strip().splitlines()) == 1


with tempfile.TemporaryDirectory() as checkout:
    for needed in ("scripts/package-update", "tools/publish_release.py", "cmake/wine-run"):
        os.makedirs(os.path.dirname(os.path.join(checkout, needed)), exist_ok=True)
        shutil.copy2(os.path.join(source, needed), os.path.join(checkout, needed))
    # (version asked for, arguments, VEXA_UPDATE_HOST, host in the url; None: refused with one line,
    #  days the feed is valid for)
    for asked, arguments, environment, expected, days in [
            (version, ["--host", "given.example", "--build", build, "--valid-for", "7"], "env.example", "given.example", 7),
            (version, ["--build", build], "env.example", "env.example", 60),
            (version, [], "", "updates.vexa3711.example", 60),  # the build that holds the launcher
            ("9.9.9", [], "", None, 60),
            (version, ["--valid-for", "0"], "", None, 0),
            (version, ["--release-key", os.path.join(build, "no-such-key.pem")], "", None, 60),
            (version, ["--build", os.path.join(build, "no-such-build")], "", None, 60),
            (version, ["--updater", os.path.join(build, "next-launcher", "bin", "Vexa3711Updater.exe")], "", None, 60)]:
        row = "%s %s" % (asked, " ".join(arguments))
        with tempfile.TemporaryDirectory() as out:
            started = time.time()
            result = package_update(["--version", asked, "--launcher", launcher, "--out", out] + arguments, environment)
            if expected is None or result.returncode != 0:
                if expected is not None or not refused_with_one_line(result) or os.listdir(out):
                    failures.append("%s: exit code %d, %r" % (row, result.returncode, result.stderr))
                continue
            package_file = os.path.join(out, "assets", "game-mods", name)
            feed_file = os.path.join(out, "programs", "vexa3711", "latest.json")
            package = open(package_file, "rb").read()
            feed = json.load(open(feed_file))
            if not signed_by_build(feed):
                failures.append("%s: the feed is not signed with the build's release key: %s" % (row, feed))
            if not expires_after(feed, days, started):
                failures.append("%s: the feed does not expire in %d days: %s" % (row, days, feed.get("expires")))
            if days == 7:
                # Signed again later: only the expiry and the signature change, the update file not at all.
                for again, expires_in in ((["--build", build, "--valid-for", "90"], 90),
                                          (["--release-key", os.path.join(build, "no-such-key.pem")], None),
                                          (["--build", build, "--valid-for", "-1"], None)):
                    published = json.load(open(feed_file))
                    started = time.time()
                    result = package_update(["--resign", feed_file] + again)
                    resigned = json.load(open(feed_file))
                    changed = {k for k in set(resigned) | set(published) if resigned.get(k) != published.get(k)}
                    if open(package_file, "rb").read() != package:
                        failures.append("--resign %s: the update file changed" % " ".join(again))
                    elif expires_in is None:
                        if not refused_with_one_line(result) or changed:
                            failures.append("--resign %s: exit code %d, %r, changed %s" % (
                                " ".join(again), result.returncode, result.stderr, sorted(changed)))
                    elif (result.returncode != 0 or changed != {"expires", "signature"} or
                          not signed_by_build(resigned) or not expires_after(resigned, expires_in, started)):
                        failures.append("--resign %s: exit code %d, %r, changed %s, feed %s" % (
                            " ".join(again), result.returncode, result.stderr, sorted(changed), resigned))
            feed.pop("signature", None)
            feed.pop("expires", None)
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
    # The signer writes s in its low form, whichever of the two openssl gives.
    sys.path.insert(0, os.path.join(checkout, "tools"))
    import publish_release
    private_key = os.path.join(build, "release-key", "release-private.pem")
    for n in range(32):
        raw = base64.b64decode(publish_release.sign(b"statement %d\n" % n, private_key))
        if int.from_bytes(raw[32:], "big") > N // 2:
            failures.append("a signature with s above n/2: %s" % raw.hex())
            break
print("\n".join(failures) or "package-update: all rows passed")
sys.exit(1 if failures else 0)
