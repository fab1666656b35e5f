#!/usr/bin/env python3
"""scripts/package-update on the built launcher: the update file and the feed
naming it agree; a launcher of another version is refused.
    package_update_test.py SCRIPT BUILD_DIR LAUNCHER_VERSION"""
import hashlib, json, os, subprocess, sys, tempfile

script, build, version = sys.argv[1:4]
launcher = os.path.join(build, "bin", "Vexa3711.exe")
name = "Relicade-Vexa3711-Mods-v%s-Update.exe" % version
failures = []
# (version asked for, --host arguments, VEXA_UPDATE_HOST, host in the url; None: refused)
for asked, host, environment, expected in [(version, ["--host", "given.example"], "env.example", "given.example"),
                                           (version, [], "env.example", "env.example"),
                                           (version, [], "", "updates.vexa3711.example"),
                                           ("9.9.9", [], "", None)]:
    with tempfile.TemporaryDirectory() as out:
        result = subprocess.run([sys.executable, script, "--version", asked, "--launcher", launcher, "--out", out,
                                 "--build", build] + host, env=dict(os.environ, VEXA_UPDATE_HOST=environment),
                                stdin=subprocess.DEVNULL, capture_output=True)
        if expected is None or result.returncode != 0:
            if (expected is None) != (result.returncode != 0 and not os.listdir(out)):
                failures.append("%s %s: exit code %d %s" % (asked, host, result.returncode, result.stderr))
            continue
        package = open(os.path.join(out, "assets", "game-mods", name), "rb").read()
        feed = json.load(open(os.path.join(out, "programs", "vexa3711", "latest.json")))
        wanted = {"schema": 1, "product": "vexa3711-launcher", "platform": "windows-x64", "version": version,
                  "profiles": ["original-native", "remastered-native", "original-lus", "remastered-lus"],
                  "url": "https://%s/assets/game-mods/%s" % (expected, name),
                  "sha256": hashlib.sha256(package).hexdigest(), "bytes": len(package)}
        if feed != wanted or open(launcher, "rb").read() not in package:
            failures.append("%s: feed %s, expected %s (or the launcher is not carried)" % (expected, feed, wanted))
        verified = subprocess.run(["osslsigncode", "verify", "-CAfile", os.path.join(build, "signing", "test-certificate.pem"),
                                   "-in", os.path.join(out, "assets", "game-mods", name)], capture_output=True)
        if verified.returncode != 0:
            failures.append("%s: the update file is not signed by the build's certificate" % expected)
print("\n".join(failures) or "package-update: all rows passed")
sys.exit(1 if failures else 0)
