#!/usr/bin/env python3
"""Update benchmark: the whole Updates command downloading the largest build
allowed (64 MiB) from the stand-in update host, against the floor of the steps
it must take, and against curl fetching the same URL from the same host, all
in the same run.

    scripts/bench update [--rounds N]

The build is UpdateBench.exe padded with appended bytes to exactly 67108864
bytes: a real program that the command starts when it is done, and that exits
at once. Everything runs in one tools/wine-sandbox invocation (one
host, one wine server); this script then runs itself inside it as the driver.

Each round, interleaved so that drift hits every mode alike:
  update      UpdateBench update: runLauncherUpdate with a player who answers
              OK, a null owner and a fresh player-data folder on X:, so the
              download is stored every time. The driver waits for the started
              build to exit before the next program runs.
  floor       UpdateBench floor: the steps the command cannot do without, in
              the same kind of Wine process, each in its barest form: the
              build fetched with WinHTTP into one buffer, two BCrypt SHA-256
              passes, one write and flush into a file on X:. The reference of
              the ratio. It has no feed: the feed (and anything checked on it,
              a signature say) is overhead that the ratio must absorb.
  curl file   curl -o <file on the same X: drive>: fetch and store. curl
              trusts the sandbox's CA bundle (the system one plus the test CA),
              as Wine's WinHTTP does.
  curl null   curl -o /dev/null: the fetch alone.
  idle        UpdateBench idle: Wine's start-up cost, and the memory baseline.
  steps       UpdateBench steps: the command's steps replayed one by one with
              the same library calls, each timed inside the process, to show
              where the time goes (not in the ratio).

Seconds are medians of whole processes (Wine start-up included for Wine
programs); MiB are peak resident memory from wait4, above an idle Wine process
for Wine programs. The limit is two copies of the build plus 16 MiB.
"""
import argparse
import hashlib
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from measure import measure as measure_process

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build-bench")
DRIVE = os.path.join(BUILD, "wine-drive-x")          # X: inside the benchmark's prefix
PREFIX = os.path.join(BUILD, "wineprefix")
RUNNER = [os.path.join(ROOT, "cmake", "wine-run"), PREFIX]
HOST_ROOT = os.path.join(BUILD, "update-root")
CERTS = os.path.join(BUILD, "update-certs")
BENCH = os.path.join(BUILD, "bin", "UpdateBench.exe")
PADDED = os.path.join(BUILD, "update-build.exe")
WORK = "update-bench"                                # X:\update-bench
MIB = 1024 * 1024
BUILD_BYTES = 64 * MIB                               # the largest build the command accepts
RELEASE = "9.0.0"                                    # newer than any launcher of this build
TARGET_RATIO = 1.10
LIMIT_MIB = 2 * BUILD_BYTES / MIB + 16
# What UpdateBench steps prints, in its order (milliseconds unless named otherwise).
STEPS = ["feed", "headers", "body", "inside_reads", "reads", "largest_read", "digest", "folders", "write", "flush",
         "move", "lock", "start", "digest_again", "total"]

sys.path.insert(0, os.path.join(ROOT, "tools"))
import publish_release  # noqa: E402


# Outside the sandbox: build, publish, run the driver inside, report.

def cache_value(name):
    with open(os.path.join(BUILD, "CMakeCache.txt")) as cache:
        for line in cache:
            if line.startswith(name + ":"):
                return line.split("=", 1)[1].strip()
    raise SystemExit("%s is missing from the benchmark build's cache" % name)


def build():
    subprocess.run(["bash", os.path.join(ROOT, "scripts", "install-packages")], check=True)
    missing = [package for package, program in (("curl", "/usr/bin/curl"), ("time", "/usr/bin/time"))
               if not os.path.exists(program)]
    if missing:
        subprocess.run(["apt-get", "install", "-y", "-q", "--no-install-recommends"] + missing, check=True,
                       env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
    subprocess.run(["cmake", "-S", ROOT, "-B", BUILD, "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(ROOT, "cmake", "mingw-w64.cmake"),
                    "-DBUILD_TESTING=OFF", "-DVEXA_BENCHMARKS=ON"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, "-j", str(os.cpu_count()), "--target", "UpdateBench"],
                   check=True, stdout=subprocess.DEVNULL)


def pad_build():
    """The benchmark program with bytes appended up to the size: still a program that runs."""
    shutil.copyfile(BENCH, PADDED)
    missing = BUILD_BYTES - os.path.getsize(PADDED)
    if missing < 0:
        raise SystemExit("UpdateBench.exe is larger than the build size")
    block = b"".join(hashlib.sha512(index.to_bytes(4, "little")).digest() for index in range(MIB // 64))
    with open(PADDED, "ab") as out:
        while missing > 0:
            out.write(block[:min(missing, len(block))])
            missing -= len(block)


def outside(rounds):
    build()
    pad_build()
    host = cache_value("VEXA_UPDATE_HOST")
    shutil.rmtree(HOST_ROOT, ignore_errors=True)
    feed = publish_release.publish(PADDED, RELEASE, HOST_ROOT, host,
                                   key=os.path.join(BUILD, "release-key", "release-private.pem"))
    shutil.rmtree(os.path.join(DRIVE, WORK), ignore_errors=True)
    with tempfile.NamedTemporaryFile(suffix=".json", dir=BUILD) as results:
        subprocess.run([os.path.join(ROOT, "tools", "wine-sandbox"), "--wine-prefix", PREFIX,
                        "--root", HOST_ROOT, "--certs", CERTS, "--hosts", host, "--",
                        sys.executable, os.path.abspath(__file__), "--inside", results.name,
                        "--rounds", str(rounds), "--url", feed["url"]], check=True)
        runs = json.load(open(results.name))
    shutil.rmtree(os.path.join(DRIVE, WORK), ignore_errors=True)
    return report(runs, rounds)


def report(runs, rounds):
    def median(mode, field=0):
        return statistics.median(run[field] for run in runs[mode])

    def peak(mode):
        return max(run[1] for run in runs[mode])

    idle_mib = peak("idle")
    rate = lambda mode: "%9.0f" % (BUILD_BYTES / MIB / median(mode))  # noqa: E731
    print("64 MiB build, %d rounds; seconds: medians of whole processes; MiB: peak resident memory" % rounds)
    print("%-26s %9s %9s %9s %12s" % ("", "seconds", "MiB/s", "peak MiB", "above idle"))
    for title, mode in [("update command (Wine)", "update"), ("its steps' floor (Wine)", "floor"),
                        ("curl -o file on X:", "curl_file"),
                        ("curl -o /dev/null", "curl_null"), ("idle Wine process", "idle")]:
        print("%-26s %9.3f %s %9.1f %12s" % (
            title, median(mode), rate(mode) if mode != "idle" else "%9s" % "-", peak(mode),
            "%.1f" % (peak(mode) - idle_mib) if mode in ("update", "floor") else "-"))

    # The replay: each step's median, in milliseconds, inside its process.
    step = {name: median("steps", 2 + index) for index, name in enumerate(STEPS)}
    print("where the command's time goes: its steps replayed one by one in a process of their own (median ms)")
    for title, value, note in [
            ("release feed: connect, TLS, JSON", step["feed"], ""),
            ("build: request until headers", step["headers"], ""),
            ("build: body", step["body"], "%d reads of at most %d bytes; %.0f inside WinHttpReadData, the rest "
             "outside them, appending to the growing vector" % (step["reads"], step["largest_read"], step["inside_reads"])),
            ("SHA-256 of the download", step["digest"], ""),
            ("folder checks", step["folders"], ""),
            ("write the cache file", step["write"], ""),
            ("flush it to disk", step["flush"], ""),
            ("move it into place", step["move"], ""),
            ("lock, read back, SHA-256", step["lock"], "the SHA-256 alone: %.0f" % step["digest_again"]),
            ("start the build", step["start"], ""),
            ("total", step["total"], "the command itself, inside its process: %.0f" % median("update", 2))]:
        print("  %-34s %6.0f   %s" % (title, value, note))
    print("the floor inside its process (median ms): download %.0f, both SHA-256 passes %.0f, write and flush %.0f"
          % (median("floor", 3), median("floor", 4), median("floor", 5)))
    ratio = median("update") / median("floor")
    print("inside their processes: the command %.0f ms, its floor %.0f ms (ratio %.2f); against curl -o /dev/null: %.2f"
          % (median("update", 2), median("floor", 2), median("update", 2) / median("floor", 2),
             median("update") / median("curl_null")))
    print("update: ratio %.2f (target %.2f) against its steps' floor, %.2f against curl, peak %.0f MiB (limit %.0f MiB)"
          % (ratio, TARGET_RATIO, median("update") / median("curl_file"), peak("update") - idle_mib, LIMIT_MIB))
    return 0


# Inside the sandbox: the rounds.

def measure(command, wine=True):
    return measure_process((RUNNER if wine else []) + command)


def checked(command, wine=True, fields=0):
    """measure(), failing on any exit code but 0; adds the numbers the program printed."""
    seconds, mib, code, text = measure(command, wine)
    numbers = text.split()
    if code != 0 or len(numbers) != fields or not all(re.fullmatch(r"[0-9.]+", n) for n in numbers):
        raise SystemExit("%s failed (exit code %d): %s" % (" ".join(command[:2]), code, text))
    return [seconds, mib] + [float(n) for n in numbers]


def started_builds():
    """Processes of the build the command started: Wine shows a program's Windows command line."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                if b"--wait-pid" in f.read():
                    found.append(pid)
        except OSError:
            pass
    return found


def update_round(index, mode="update", fields=1):
    """One run of the command (or its replay) into a player-data folder it has never seen."""
    folder = os.path.join(DRIVE, WORK, "round-%d" % index)
    os.makedirs(os.path.join(folder, "player-data"))
    windows = "X:\\%s\\round-%d\\" % (WORK, index)
    run = checked([BENCH, mode, "X:\\%s\\application" % WORK, windows + "player-data"], fields=fields)
    cache = os.path.join(folder, "player-data", "launcher-updates")
    stored = [name for name in os.listdir(cache) if name.startswith("Relicade-Vexa3711-Mods-")]
    if len(stored) != 1 or os.path.getsize(os.path.join(cache, stored[0])) != BUILD_BYTES:
        raise SystemExit("the command did not store the build: %s" % stored)
    # The started build runs on its own; nothing else may run beside it.
    deadline = time.monotonic() + 30
    while started_builds():
        if time.monotonic() > deadline:
            raise SystemExit("the started build did not exit")
        time.sleep(0.02)
    shutil.rmtree(folder)
    return run


def floor_round(index, url):
    windows = "X:\\%s\\floor-%d.exe" % (WORK, index)
    run = checked([BENCH, "floor", url, windows], fields=4)
    stored = os.path.join(DRIVE, WORK, "floor-%d.exe" % index)
    if os.path.getsize(stored) != BUILD_BYTES:
        raise SystemExit("the floor stored %d bytes" % os.path.getsize(stored))
    os.remove(stored)
    return run


def curl_round(url, target):
    run = checked(["curl", "--silent", "--show-error", "--fail", "--output", target, url], wine=False)
    if target != os.devnull:
        if os.path.getsize(target) != BUILD_BYTES:
            raise SystemExit("curl fetched %d bytes" % os.path.getsize(target))
        os.remove(target)
    return run


def inside(results, rounds, url):
    # The sandbox started the wine server and Wine's services: none of them is
    # a child of what is measured here.
    os.makedirs(os.path.join(DRIVE, WORK, "application"), exist_ok=True)
    curl_file = os.path.join(DRIVE, WORK, "curl.exe")
    runs = {mode: [] for mode in ("update", "floor", "curl_file", "curl_null", "idle", "steps")}
    # Wine programs, each after the other in every round.
    programs = {
        "update": lambda index: update_round(index),
        "floor": lambda index: floor_round(index, url),
        "idle": lambda index: checked([BENCH, "idle"]),
        "steps": lambda index: update_round(index, "steps", fields=len(STEPS)),
    }
    # Warm-up, not counted: page cache, Wine's first loads of WinHTTP and BCrypt.
    checked([BENCH, "idle"])
    update_round(0)
    floor_round(0, url)
    curl_round(url, curl_file)
    for index in range(1, rounds + 1):
        runs["curl_file"].append(curl_round(url, curl_file))
        runs["curl_null"].append(curl_round(url, os.devnull))
        for mode, run in programs.items():
            runs[mode].append(run(index))
        print("round %d of %d done" % (index, rounds), file=sys.stderr, flush=True)
    with open(results, "w") as out:
        json.dump(runs, out)
    return 0


def main():
    parser = argparse.ArgumentParser(description="The Updates command against curl, same host, same run.")
    parser.add_argument("--rounds", type=int, default=9)
    parser.add_argument("--inside", metavar="RESULTS", help=argparse.SUPPRESS)
    parser.add_argument("--url", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.inside:
        return inside(args.inside, args.rounds, args.url)
    return outside(args.rounds)


if __name__ == "__main__":
    sys.exit(main())
