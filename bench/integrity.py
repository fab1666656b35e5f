#!/usr/bin/env python3
"""Integrity benchmark: the launcher's --verify-application against a bare
read-and-SHA-256 of the same files, and its cartridge verification against a
bare read plus SHA-1, all under the same Wine in one run.

Builds its own payload (76 files, about 400 MiB, largest 120 MiB) and a
launcher whose installation table is generated from it (build-bench/)."""
import hashlib
import os
import statistics
import subprocess
import sys

from measure import measure as measure_process

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build-bench")
DRIVE = os.path.join(BUILD, "wine-drive-x")          # X: inside the benchmark's prefix
PAYLOAD = os.path.join(DRIVE, "payload")
RUNNER = [os.path.join(ROOT, "cmake", "wine-run"), os.path.join(BUILD, "wineprefix")]
MIB = 1024 * 1024
ROUNDS = 5

# Sizes of a realistic release: two source archives, the game, the shader
# compiler, the runtime libraries, documents and small licence notices.
SIZES = {
    "Integration-Source-v0.3.2.zip": 120 * MIB, "Integration-Source-v0.2.0.zip": 112 * MIB,
    "VexaWindowsRT64.exe": 118 * MIB, "dxcompiler.dll": 40 * MIB, "dxil.dll": 6 * MIB,
    "SDL2.dll": 2 * MIB, "msvcp140.dll": 560 * 1024, "vcruntime140.dll": 120 * 1024,
    "concrt140.dll": 320 * 1024, "vccorlib140.dll": 340 * 1024, "Vexa3711.ico": 66 * 1024,
}


def stage_payload():
    marker = PAYLOAD + ".complete"
    if os.path.exists(marker):
        return
    sys.path.insert(0, os.path.join(ROOT, "tools"))
    import stage_demo_release as demo
    names = (["VexaWindowsRT64.exe", "Vexa3711.ico"] + demo.RUNTIME_LIBRARIES + demo.DOCUMENTS
             + ["defaults/input.cfg"] + demo.notice_names())
    for index, name in enumerate(names):
        path = os.path.join(PAYLOAD, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        size = SIZES.get(name, 200 * 1024 if not name.startswith("notices/") else 4 * 1024 + index)
        with open(path, "wb") as out:
            block = hashlib.sha512(name.encode()).digest() * (MIB // 64)
            while size > 0:
                out.write(block[:min(size, len(block))])
                size -= len(block)
    open(marker, "w").close()


def build():
    subprocess.run(["bash", os.path.join(ROOT, "scripts", "install-packages")], check=True)
    subprocess.run(["cmake", "-S", ROOT, "-B", BUILD, "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(ROOT, "cmake", "mingw-w64.cmake"),
                    "-DVEXA_RELEASE_DIR=" + PAYLOAD, "-DBUILD_TESTING=OFF", "-DVEXA_BENCHMARKS=ON"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", BUILD, "-j", str(os.cpu_count()), "--target", "Vexa3711", "IntegrityBench"],
                   check=True, stdout=subprocess.DEVNULL)


def measure(program_and_args):
    """Wall seconds, peak resident MiB and output of one Wine process."""
    elapsed, peak, status, output = measure_process(RUNNER + program_and_args)
    if status != 0:
        raise SystemExit("%s failed with %d" % (program_and_args[0], status))
    return elapsed, peak, output + "\n"


def main():
    stage_payload()
    build()
    bin_dir = os.path.join(BUILD, "bin")
    launcher = os.path.join(bin_dir, "Vexa3711.exe")
    bench = os.path.join(bin_dir, "IntegrityBench.exe")
    image = os.path.join(DRIVE, "demo.z64")
    subprocess.run([sys.executable, os.path.join(ROOT, "tools", "demo_cartridge.py"), image], check=True)
    subprocess.run(RUNNER + ["--start-server"], check=True)
    try:
        measure([bench, "idle"])  # prefix start-up, services
        largest = max(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(PAYLOAD) for f in fs) / MIB
        verify = [launcher, "--verify-application", "--directory", "X:\\payload", "--data-dir", "X:\\none"]
        reference = [bench, "read-hash", "X:\\payload"]
        runs = {"launcher": [], "reference": [], "idle": []}
        measure(verify)  # warm the page cache
        for _ in range(ROUNDS):  # interleaved, so drift hits both alike
            runs["launcher"].append(measure(verify)[:2])
            runs["reference"].append(measure(reference)[:2])
            runs["idle"].append(measure([bench, "idle"])[:2])
        cartridge = float(measure([bench, "cartridge", "X:\\demo.z64", "15"])[2])
        bare = float(measure([bench, "read-sha1", "X:\\demo.z64", "15"])[2])
    finally:
        subprocess.run(RUNNER + ["--stop-server"])

    def median(name, field):
        return statistics.median(run[field] for run in runs[name])

    launcher_s, reference_s, idle_s = median("launcher", 0), median("reference", 0), median("idle", 0)
    launcher_mib, reference_mib, idle_mib = max(r[1] for r in runs["launcher"]), max(r[1] for r in runs["reference"]), max(r[1] for r in runs["idle"])
    ratio = launcher_s / reference_s
    peak = launcher_mib - idle_mib  # what the launcher adds to an idle Wine process
    limit = largest + 16
    print("payload: 76 files, %.0f MiB, largest %.0f MiB" % (sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(PAYLOAD) for f in fs) / MIB, largest))
    print("%-34s %9s %12s" % ("", "seconds", "peak RSS MiB"))
    print("%-34s %9.3f %12.1f" % ("--verify-application", launcher_s, launcher_mib))
    print("%-34s %9.3f %12.1f" % ("reference read + SHA-256", reference_s, reference_mib))
    print("%-34s %9.3f %12.1f" % ("idle Wine process (baseline)", idle_s, idle_mib))
    print("cartridge verification: %.1f ms; bare read + SHA-1: %.1f ms; ratio %.2f" % (cartridge, bare, cartridge / bare))
    print("integrity: ratio %.2f (target 1.15), peak %.0f MiB (limit %.0f MiB)" % (ratio, peak, limit))


if __name__ == "__main__":
    main()
