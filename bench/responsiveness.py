#!/usr/bin/env python3
"""Responsiveness benchmark: the Play / Mods window while its long tasks run.

    scripts/bench responsiveness [--rounds N] [--screenshots DIR]

One launcher process on a staged installation (X: of the benchmark prefix),
whose saved settings enable the 100,000-image pack of the mods benchmark, and
the stand-in update host offering a signed 6 MB build dripped at 128 KiB/s.
Everything runs in one tools/wine-sandbox invocation (one host, one wine
server); this script then runs itself inside it as the driver.

ResponsivenessProbe, a second Wine process, times each row: it posts the
command, pings the window with WM_NULL every 20 ms (the slowest round trip is
the longest stretch the window did not answer; Wine never reports a window as
hung), waits for the progress window, lets the task run, posts Cancel and
waits for the window to take input again. Rows, N rounds each:
  choose      Choose texture pack folder..., the pack's folder typed into the
              picker; progress timed from the picker's OK
  validate    Validate pack
  early       Validate pack, cancelled as soon as its progress shows (while
              it still reads the pack's description)
  play        Play (it validates first); cancelled
  update      Updates, OK to its question; progress timed from that OK,
              cancelled during the download, which must leave no file behind
  idle        the same window with no task, pinged the same way: the floor
Each figure is the worst of its rounds; the last line takes the worst row.

--screenshots DIR: the validation and update progress windows, and the
window shown while Play starts the game, at 100% and 150%.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

import mods
import update

ROOT = update.ROOT
BUILD = update.BUILD
DRIVE = update.DRIVE
RUNNER = update.RUNNER
WORK = "responsiveness"                              # X:\responsiveness
HOST_ROOT = os.path.join(BUILD, "responsiveness-host")
PROBE = os.path.join(BUILD, "bin", "ResponsivenessProbe.exe")
DRIVER = os.path.join(BUILD, "bin", "vexa_window_driver.exe")
BUILD_BYTES = 6 * 1000 * 1000
DRIP = [16384, 0.125]                                # 128 KiB/s
TARGETS = {"longest": 100, "progress": 600, "cancel": 1000}
_, _, PACK_FOLDER, PACK_CHOICES = mods.SCENARIOS[0]   # 100,000 small PNGs
ROWS = [  # key, title, probe arguments
    ("choose", "Choose texture pack folder... (100,000 images)", ["201", "Texture pack", "--folder", None]),
    ("validate", "Validate pack (100,000 images)", ["203", "Texture pack"]),
    ("early", "Validate pack, Cancel as the progress shows", ["203", "Texture pack", "--run", "0"]),
    ("play", "Play, validating (100,000 images)", ["301", "Texture pack"]),
    ("update", "Updates (6 MB at 128 KiB/s)",
     ["303", "Launcher update", "--box", "Vexa 3711 Updates", "--run", "3000"]),
]


def windows(path):
    return "X:\\" + os.path.relpath(path, DRIVE).replace("/", "\\")


# Outside the sandbox: build, stage, publish, run the driver inside, report.

def build():
    update.build()  # the benchmark build, configured as the update benchmark's
    subprocess.run(["cmake", "--build", BUILD, "-j", str(os.cpu_count()), "--target", "Vexa3711", "VexaWindowsRT64",
                    "vexa_window_driver", "ResponsivenessProbe"], check=True, stdout=subprocess.DEVNULL)


def stage_installation(folder):
    """The build's release, its launcher, a cartridge image and player data, as the tests stage them."""
    shutil.rmtree(folder, ignore_errors=True)
    app, data = os.path.join(folder, "app"), os.path.join(folder, "data")
    shutil.copytree(os.path.join(BUILD, "demo-release"), app)
    shutil.copyfile(os.path.join(BUILD, "bin", "Vexa3711.exe"), os.path.join(app, "Vexa3711.exe"))
    os.makedirs(data)
    rom = os.path.join(folder, "rom", "Vexa 3711 (US).z64")
    os.makedirs(os.path.dirname(rom))
    subprocess.run([sys.executable, os.path.join(ROOT, "tools", "demo_cartridge.py"), rom, "--order", "native"],
                   check=True)
    files = {(app, "player-data-location.txt"): windows(data), (data, "input.cfg"): "vexa-input 1\n",
             (data, "controller.mpk"): "\0" * 32768, (data, "rom-location.txt"): windows(rom)}
    for (where, name), text in files.items():
        with open(os.path.join(where, name), "w", newline="") as out:
            out.write(text)


def outside(args):
    if not os.environ.get("DISPLAY"):
        subprocess.run(["bash", os.path.join(ROOT, "scripts", "install-packages")], check=True)
        os.execvp("xvfb-run", ["xvfb-run", "-a", "-s", "-screen 0 1280x900x24", sys.executable] + sys.argv)
    pack = mods.stage_pack(PACK_FOLDER, PACK_CHOICES)
    build()
    stage_installation(os.path.join(DRIVE, WORK))
    payload = os.path.join(BUILD, "responsiveness-build.exe")
    with open(payload, "wb") as out:
        out.write(os.urandom(BUILD_BYTES))
    host = update.cache_value("VEXA_UPDATE_HOST")
    shutil.rmtree(HOST_ROOT, ignore_errors=True)
    feed = update.publish_release.publish(payload, update.RELEASE, HOST_ROOT, host,
                                          key=os.path.join(BUILD, "release-key", "release-private.pem"))
    path = "/" + feed["url"].split("/", 3)[3]
    with open(os.path.join(HOST_ROOT, "host-behaviour.json"), "w") as out:
        json.dump({"paths": {path: {"drip": DRIP}}}, out)
    shots = os.path.abspath(args.screenshots) if args.screenshots else ""
    if shots:
        os.makedirs(shots, exist_ok=True)
    with tempfile.NamedTemporaryFile(suffix=".json", dir=BUILD) as results:
        subprocess.run([os.path.join(ROOT, "tools", "wine-sandbox"), "--wine-prefix", update.PREFIX,
                        "--root", HOST_ROOT, "--certs", update.CERTS, "--hosts", host, "--",
                        sys.executable, os.path.abspath(__file__), "--inside", results.name, "--pack", windows(pack),
                        "--rounds", str(args.rounds), "--screenshots", shots], check=True)
        found = json.load(open(results.name))
    return report(found, args.rounds)


def report(found, rounds):
    print("%d rounds; ms; each figure the worst of its rounds. Unanswered: the slowest WM_NULL round trip, pinged "
          "every 20 ms from another process (at: when it began, after the click; in task: the slowest from the "
          "task's start, the picker's OK or the answer to the question)" % rounds)
    print("load average of the machine (2 cores here) before and after: %s, %s" % tuple(found["load"]))
    print("%-48s %10s %6s %7s %8s %6s   %s" % ("row", "unanswered", "at", "in task", "progress", "cancel",
                                             "progress detail at Cancel"))
    print("%-48s %10.0f %6s %7s %8s %6s" % ("idle window, no task (the method's floor)", max(found["idle"]),
                                          "-", "-", "-", "-"))
    worst, failures = {name: 0 for name in TARGETS}, []
    for key, title, _ in ROWS:
        runs = found[key]
        failed = [run.get("failed", "progress window left behind") for run in runs
                  if "failed" in run or run.get("progress_gone") != "1"]
        if failed:
            failures.append("%s: %s" % (key, ", ".join(failed)))
            print("%-48s %s" % (title, "failed: " + ", ".join(failed)))
            continue
        figures = {name: max(float(run[name + "_ms"]) for run in runs) for name in TARGETS}
        for name in TARGETS:
            worst[name] = max(worst[name], figures[name])
        slowest = max(runs, key=lambda run: float(run["longest_ms"]))
        in_task = max(float(run["longest_in_task_ms"]) for run in runs)
        print("%-48s %10.0f %6s %7.0f %8.0f %6.0f   %s" % (title, figures["longest"], slowest["longest_at_ms"], in_task,
                                                          figures["progress"], figures["cancel"],
                                                          " | ".join(run["detail"] or run["activity"] for run in runs)))
    asked = [run["box_ms"] for run in found["update"] if "box_ms" in run]
    if asked:
        print("update: its question came %s ms after the click; progress timed from the answer" % ", ".join(asked))
    print("choose: the picker took the folder %s ms after the click; progress timed from then"
          % ", ".join(run.get("picked_ms", "-") for run in found["choose"]))
    print("launcher-updates after each cancelled download: %s" % (", ".join(found["left"]) or "empty"))
    for shot in found.get("screenshots", []):
        print("screenshot: %s" % shot)
    for failure in failures:
        print("failed: %s" % failure)
    print("responsiveness: longest unanswered %d ms (target %d), progress after %d ms (target %d), "
          "cancel after %d ms (target %d)" % (round(worst["longest"]), TARGETS["longest"], round(worst["progress"]),
                                              TARGETS["progress"], round(worst["cancel"]), TARGETS["cancel"]))
    return 1 if failures or found["left"] else 0


# Inside the sandbox: the launcher and the probe.

def wine(arguments, output=subprocess.DEVNULL):
    return subprocess.Popen(RUNNER + arguments, stdout=output, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)


def probe(arguments, hold=None):
    """Runs the probe; with hold, calls it while the probe holds the progress window shown.
    Returns what the probe printed."""
    held = os.path.join(DRIVE, WORK, "hold")
    with tempfile.NamedTemporaryFile() as output:
        child = wine([PROBE] + arguments + (["--hold", windows(held)] if hold else []), output)
        if hold:
            deadline = time.monotonic() + 60
            while b"shown" not in open(output.name, "rb").read() and child.poll() is None \
                    and time.monotonic() < deadline:
                time.sleep(0.05)
            hold()
            open(held, "w").close()
        child.wait()
        if hold:
            os.remove(held)
        lines = open(output.name, encoding="utf-8", errors="replace").read().splitlines()
    return dict(line.split("=", 1) for line in lines if "=" in line)


class Launcher:
    def __init__(self):
        self.process = wine([os.path.join(DRIVE, WORK, "app", "Vexa3711.exe")])

    def close(self):
        if self.process.poll() is None:
            subprocess.run(RUNNER + [DRIVER, "alt-f4"], stdout=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        self.process.wait(timeout=60)


def screenshot(part, file, seconds=10):
    """The top-level window whose title ends with part, alone, as scripts/demo takes it."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True, errors="replace").stdout
        found = [line.split()[0] for line in tree.splitlines() if ("%s\"" % part) in line]
        if found:
            time.sleep(0.5)  # painted
            subprocess.run(["import", "-window", found[0], file], check=True)
            return file
        time.sleep(0.05)
    return "%s not taken: no window titled ...%s" % (file, part)


def screenshots(folder):
    taken = []
    for scale, dpi in (("100", None), ("150", "144")):
        key = ["HKCU\\Control Panel\\Desktop", "/v", "LogPixels"]
        change = ["add"] + key + ["/t", "REG_DWORD", "/d", dpi, "/f"] if dpi else ["delete"] + key + ["/f"]
        subprocess.run(RUNNER + ["reg"] + change, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for name, arguments in (("validation", ["203", "Texture pack"]),
                                ("update", ["303", "Launcher update", "--box", "Vexa 3711 Updates"])):
            launcher = Launcher()
            file = os.path.join(folder, "progress-%s-%s.png" % (name, scale))
            probe(["task"] + arguments, hold=lambda: taken.append(screenshot(arguments[1], file)))
            launcher.close()
        # Played to its end: the window that says the game is starting while the pack is checked again.
        launcher = Launcher()
        subprocess.run(RUNNER + [DRIVER, "click", "301"], stdout=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        # Play validates the pack first, with the window's own progress.
        taken.append(screenshot("Starting", os.path.join(folder, "progress-starting-%s.png" % scale), 120))
        launcher.process.wait(timeout=120)
    return taken


def inside(results, rounds, pack, shots):
    data = os.path.join(DRIVE, WORK, "data")
    cache = os.path.join(data, "launcher-updates")
    with open(os.path.join(data, "vexa-mods.json"), "w") as out:
        json.dump({"schema": 1, "enabled": True, "folder": pack}, out)
    found = {"idle": [], "left": [], "load": ["%.1f" % os.getloadavg()[0]], **{key: [] for key, _, _ in ROWS}}
    launcher = Launcher()
    try:
        probe(["idle", "1000"])  # Wine's first loads, not counted
        for index in range(rounds):
            found["idle"].append(float(probe(["idle", "5000"])["longest_ms"]))
            for key, _, arguments in ROWS:
                run = probe(["task"] + [pack if argument is None else argument for argument in arguments])
                found[key].append(run)
                if key == "update" and os.path.isdir(cache):
                    found["left"] += [os.path.join(cache, name) for name in os.listdir(cache)]
                print("round %d of %d: %s done" % (index + 1, rounds, key), file=sys.stderr, flush=True)
    finally:
        launcher.close()
    found["load"].append("%.1f" % os.getloadavg()[0])
    if shots:
        found["screenshots"] = screenshots(shots)
    with open(results, "w") as out:
        json.dump(found, out)
    return 0


def main():
    parser = argparse.ArgumentParser(description="The Play / Mods window's answering, progress and Cancel.")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--screenshots", metavar="DIR", default="")
    parser.add_argument("--inside", metavar="RESULTS", help=argparse.SUPPRESS)
    parser.add_argument("--pack", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.inside:
        return inside(args.inside, args.rounds, args.pack, args.screenshots)
    return outside(args)


if __name__ == "__main__":
    sys.exit(main())
