#!/usr/bin/env python3
"""Mods benchmark: the launcher's texture-pack validation against a bare
open-and-read of every image the pack names, all under the same Wine in one run.

Scenarios: (a) 100000 mappings of small PNGs, (b) 40 mappings of 50 MiB DDS
files (sparse on disk). The packs live on the benchmark prefix's X: drive,
whose root is a real folder (Z: is a link under Wine and fails the link rules).

Per scenario: median wall seconds of whole Wine processes over interleaved
rounds, and peak resident memory above an idle Wine process. The limit is the
largest image plus what the parsed rt64.json alone takes (ModsBench parse) plus
16 MiB. The last line reports the ratio of the scenario with the worst ratio,
and the peak and limit of the scenario closest to its limit (both named in the
line before it).

    scripts/bench mods [--rounds N]
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys

from measure import measure as measure_process

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build-bench")
DRIVE = os.path.join(BUILD, "wine-drive-x")          # X: inside the benchmark's prefix
RUNNER = [os.path.join(ROOT, "cmake", "wine-run"), os.path.join(BUILD, "wineprefix")]
MIB = 1024 * 1024
TARGET_RATIO = 1.3

sys.path.insert(0, os.path.join(ROOT, "tools"))
import make_texture_pack  # noqa: E402

SCENARIOS = [
    ("a", "100000 small PNGs", "png-100000",
     dict(mappings=100000, fmt="png", depth=2)),
    ("b", "40 DDS of 50 MiB", "dds-40x50MiB",
     dict(mappings=40, fmt="dds", depth=1, image_bytes=50 * MIB, sparse=True)),
]
# Folders the validation is told about; the packs lie outside both.
APPLICATION = "X:\\mods-bench\\application"
PLAYER_DATA = "X:\\mods-bench\\player-data"


def stage_pack(folder, choices):
    """Writes the pack unless the same one is already there."""
    path = os.path.join(DRIVE, "mods-packs", folder)
    marker = path + ".complete"
    wanted = json.dumps(choices, sort_keys=True)
    if os.path.exists(marker) and open(marker).read() == wanted:
        return path
    shutil.rmtree(path, ignore_errors=True)
    print("staging %s ..." % folder, flush=True)
    make_texture_pack.write_pack(path, **choices)
    with open(marker, "w") as out:
        out.write(wanted)
    return path


def build():
    subprocess.run(["bash", os.path.join(ROOT, "scripts", "install-packages")], check=True)
    subprocess.run(["cmake", "-S", ROOT, "-B", BUILD, "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(ROOT, "cmake", "mingw-w64.cmake"),
                    "-DBUILD_TESTING=OFF", "-DVEXA_BENCHMARKS=ON"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, "-j", str(os.cpu_count()), "--target", "ModsBench"],
                   check=True, stdout=subprocess.DEVNULL)


def measure(arguments):
    return measure_process(RUNNER + arguments)


def checked(arguments, expected_count):
    seconds, mib, code, text = measure(arguments)
    if code != 0 or text != str(expected_count):
        raise SystemExit("ModsBench %s failed (exit code %d): %s" % (arguments[1], code, text))
    return seconds, mib


def run_scenario(bench, pack, mappings, rounds):
    windows_pack = "X:\\" + os.path.relpath(pack, DRIVE).replace("/", "\\")
    validate = [bench, "validate", windows_pack, APPLICATION, PLAYER_DATA]
    runs = {"validate": [], "read": [], "parse": [], "idle": []}
    checked([bench, "read", windows_pack], mappings)  # warm the page cache
    _, _, code, text = measure(validate)
    refusal = None
    if code != 0:
        refusal = text or "exit code %d without a message" % code
    elif text != str(mappings):
        refusal = "it counted %s mappings, the pack has %d" % (text, mappings)
    for _ in range(rounds):  # interleaved, so drift hits every mode alike
        if refusal is None:
            runs["validate"].append(checked(validate, mappings))
        runs["read"].append(checked([bench, "read", windows_pack], mappings))
        runs["parse"].append(checked([bench, "parse", windows_pack], mappings))
        runs["idle"].append(checked([bench, "idle"], ""))
    return runs, refusal


def main():
    parser = argparse.ArgumentParser(description="Texture-pack validation against a bare read of the same files.")
    parser.add_argument("--rounds", type=int, default=5)
    rounds = parser.parse_args().rounds

    packs = {key: stage_pack(folder, choices) for key, _, folder, choices in SCENARIOS}
    for folder in (APPLICATION, PLAYER_DATA):
        os.makedirs(os.path.join(DRIVE, *folder[3:].split("\\")), exist_ok=True)
    build()
    bench = os.path.join(BUILD, "bin", "ModsBench.exe")
    subprocess.run(RUNNER + ["--start-server"], check=True)
    results = {}
    try:
        measure([bench, "idle"])  # prefix start-up, services
        for key, _, _, choices in SCENARIOS:
            results[key] = run_scenario(bench, packs[key], choices["mappings"], rounds)
    finally:
        subprocess.run(RUNNER + ["--stop-server"])

    rows = []
    for key, title, _, choices in SCENARIOS:
        runs, refusal = results[key]
        idle_mib = max(run[1] for run in runs["idle"])
        largest = max(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(packs[key]) for f in fs
                      if f != "rt64.json") / MIB
        row = {"key": key, "title": title, "mappings": choices["mappings"], "refusal": refusal,
               "read_s": statistics.median(run[0] for run in runs["read"]),
               "read_mib": max(run[1] for run in runs["read"]) - idle_mib,
               "parse_mib": max(0.0, max(run[1] for run in runs["parse"]) - idle_mib),
               "idle_s": statistics.median(run[0] for run in runs["idle"]), "idle_mib": idle_mib,
               "largest": largest}
        row["limit"] = largest + row["parse_mib"] + 16
        if refusal is None:
            row["validate_s"] = statistics.median(run[0] for run in runs["validate"])
            row["validate_mib"] = max(run[1] for run in runs["validate"]) - idle_mib
            row["ratio"] = row["validate_s"] / row["read_s"]
        rows.append(row)

    print("seconds: median of %d rounds of whole Wine processes; MiB: peak resident memory above an idle Wine process" % rounds)
    print("%-24s %8s | %10s %10s | %10s %10s | %6s | %9s %9s" % (
        "scenario", "mappings", "validate s", "read s", "valid. MiB", "read MiB", "ratio", "parse MiB", "limit MiB"))
    for row in rows:
        validation = ("%10.3f" % row["validate_s"], "%10.1f" % row["validate_mib"], "%6.2f" % row["ratio"]) \
            if row["refusal"] is None else ("%10s" % "failed", "%10s" % "-", "%6s" % "-")
        print("%-24s %8d | %s %10.3f | %s %10.1f | %s | %9.1f %9.0f" % (
            "(%s) %s" % (row["key"], row["title"]), row["mappings"], validation[0], row["read_s"],
            validation[1], row["read_mib"], validation[2], row["parse_mib"], row["limit"]))
    for row in rows:
        print("idle Wine process in (%s): %.3f s, %.1f MiB; largest image %.1f MiB"
              % (row["key"], row["idle_s"], row["idle_mib"], row["largest"]))

    refused = [row for row in rows if row["refusal"] is not None]
    for row in refused:
        print("validation failed in scenario (%s): %s" % (row["key"], row["refusal"]))
    if refused:
        print("mods: validation failed: %s" % refused[0]["refusal"])
        return 1
    slowest = max(rows, key=lambda row: row["ratio"])
    tightest = max(rows, key=lambda row: row["validate_mib"] / row["limit"])
    print("reported: ratio of scenario (%s), peak and limit of scenario (%s)" % (slowest["key"], tightest["key"]))
    print("mods: ratio %.2f (target %.1f), peak %.0f MiB (limit %.0f MiB)"
          % (slowest["ratio"], TARGET_RATIO, tightest["validate_mib"], tightest["limit"]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
