#!/usr/bin/env python3
"""The updater stopped for real at every step of a two-file update, as a power
loss would stop it: the wine server of a prefix of its own (a copy-on-write
view of the build's prefix, in a private mount namespace) is killed by strace
on entry to its k-th rename (then k-th unlink); the server performs every file
operation of its programs, so nothing of the updater runs past that point.
After each kill Vexa3711.exe is whole (old or new), the launcher in the folder
still passes --verify-application, and the next update ends wholly new with
nothing left over. Rows of a call run until an update completes before its
k-th one. The swap copies its backups, so it makes no links.
    updater_crash_test.py BUILD_DIR          (needs root, strace and a display)"""
import hashlib, os, shutil, subprocess, sys, tempfile, time

build = os.path.abspath(sys.argv[1])
if not os.environ.get("VEXA_CRASH_NAMESPACE"):
    # A process namespace of its own too: Wine's services outlive each killed
    # server, and the namespace ends them all with the run.
    sys.exit(subprocess.run(["unshare", "--mount", "--propagation", "private", "--pid", "--fork", "--mount-proc",
                             sys.executable] + sys.argv,
                            env=dict(os.environ, VEXA_CRASH_NAMESPACE="1")).returncode)

wine_run = os.path.join(os.path.dirname(__file__), "..", "..", "cmake", "wine-run")
bin_dir = os.path.join(build, "bin")
# strace counts each call on its own; the server uses the first of each group.
kill_points = [("rename,renameat,renameat2", 6), ("unlink,unlinkat", 3)]  # and at least this many of each
scratch = tempfile.mkdtemp()
subprocess.run(["mount", "-t", "tmpfs", "crash-test", scratch], check=True)
os.makedirs(os.path.join(scratch, "changes"))
os.makedirs(os.path.join(scratch, "work"))
prefix = os.path.join(scratch, "prefix")
os.makedirs(prefix)
subprocess.run(["mount", "-t", "overlay", "crash-test", "-o", "lowerdir=%s,upperdir=%s/changes,workdir=%s/work"
                % (os.path.join(build, "wineprefix"), scratch, scratch), prefix], check=True)
# On X:, whose root is a real folder, so that the link rules pass.
drive = os.path.join(build, "wine-drive-x")
root = os.path.join(drive, "updater-crash")
app, cache = os.path.join(root, "app"), os.path.join(root, "data", "launcher-updates")


def windows(path):
    path = os.path.abspath(path)
    if path.startswith(drive + "/"):
        return "X:\\" + os.path.relpath(path, drive).replace("/", "\\")
    return "Z:" + path.replace("/", "\\")


def run(program, *arguments, timeout=60):
    return subprocess.run([wine_run, prefix, windows(program)] + list(arguments), stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=timeout).returncode


def start_server():
    subprocess.run([wine_run, prefix, "--start-server"], check=True, capture_output=True)
    # The server works in a folder named after the prefix's device and inode.
    status = os.stat(prefix)
    name = "server-%x-%x" % (status.st_dev, status.st_ino)
    for pid in os.listdir("/proc"):
        try:
            if pid.isdigit() and os.path.basename(os.readlink("/proc/%s/cwd" % pid)) == name and \
                    open("/proc/%s/comm" % pid).read().startswith("wineserver"):
                return int(pid)
        except OSError:
            pass
    raise RuntimeError("the wine server of the crash prefix is not running")


def alive(pid):
    try:
        return "State:\tZ" not in open("/proc/%d/status" % pid).read()
    except OSError:
        return False


def contents(folder):
    found = {}
    for base, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(base, name)
            found[os.path.relpath(path, folder)] = open(path, "rb").read()
    return found


failures = []
try:
    start_server()
    release = os.path.join(build, "demo-release")
    old_launcher = open(os.path.join(bin_dir, "Vexa3711.exe"), "rb").read()
    old = {"Vexa3711.exe": old_launcher, "Vexa3711.extra": b"old extra\n"}
    # A runnable launcher that differs from the old one: bytes appended to the image.
    new = {"Vexa3711.exe": old_launcher + b"\0" * 4096 + b"next build\n", "Vexa3711.extra": b"new extra\n"}
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(os.path.join(root, "new"))
    for name, content in new.items():
        open(os.path.join(root, "new", name), "wb").write(content)
    package = os.path.join(root, "package.exe")
    if run(os.path.join(bin_dir, "Vexa3711UpdatePacker.exe"), windows(os.path.join(bin_dir, "Vexa3711Updater.exe")),
           windows(package), "Vexa3711.exe", windows(os.path.join(root, "new", "Vexa3711.exe")),
           "Vexa3711.extra", windows(os.path.join(root, "new", "Vexa3711.extra"))) != 0:
        raise RuntimeError("packing failed")
    package_bytes = open(package, "rb").read()
    updater = os.path.join(cache, "Relicade-Vexa3711-Mods-%s.exe" % hashlib.sha256(package_bytes).hexdigest())
    update = lambda **limits: run(updater, "--directory", windows(app), "--wait-pid", "4000000000", **limits)
    whole_new = None
    rows = [(calls, k) for calls, _ in kill_points for k in range(1, 100)]
    started, server, killed_at = time.monotonic(), 0, {}
    while rows:
        calls, k = rows.pop(0)
        shutil.rmtree(app, ignore_errors=True)
        shutil.rmtree(os.path.dirname(cache), ignore_errors=True)
        shutil.copytree(release, app)
        for name, content in old.items():
            open(os.path.join(app, name), "wb").write(content)
        open(os.path.join(app, "player-data-location.txt"), "w").write(windows(os.path.dirname(cache)))
        os.makedirs(cache)
        open(updater, "wb").write(package_bytes)

        if not alive(server):
            server = start_server()
        # The server wakes every few milliseconds: its first traced wait shows
        # that strace has taken hold, before the updater starts.
        trace = os.path.join(scratch, "trace")
        if os.path.exists(trace):
            os.remove(trace)
        strace = subprocess.Popen(["strace", "-qq", "-o", trace, "-p", str(server), "-e", "trace=epoll_wait," + calls,
                                   "-e", "inject=%s:signal=SIGKILL:when=%d" % (calls, k)])
        while not os.path.exists(trace) or os.path.getsize(trace) == 0:
            time.sleep(0.01)
        exit_code = update()
        # The updater can end before its killed server has quite gone.
        deadline = time.monotonic() + 3
        while alive(server) and time.monotonic() < deadline:
            time.sleep(0.02)
        killed = not alive(server)
        strace.terminate()
        strace.wait()
        row = "killed at %s %d" % (calls.split(",")[0], k)
        if not killed:
            # The whole update ran before its k-th call: every such call has had its row.
            rows = [r for r in rows if r[0] != calls]
            if exit_code != 0:
                failures.append("%s: the uninterrupted update exited %d" % (row, exit_code))
            continue
        killed_at[calls] = k
        now = contents(app)
        for name in old:
            if now.get(name) not in (old[name], new[name]):
                failures.append("%s: %s is %s" % (row, name, "missing" if name not in now else "torn"))
        server = start_server()
        if run(os.path.join(app, "Vexa3711.exe"), "--verify-application") != 0:
            failures.append("%s: the launcher refuses the installation" % row)
        if update() != 0:
            failures.append("%s: the next update failed" % row)
        after = contents(app)
        if whole_new is None:
            whole_new = dict(contents(release), **new, **{"player-data-location.txt": after.get("player-data-location.txt")})
        if after != whole_new:
            failures.append("%s, then updated: the folder is not wholly new: %s" % (
                row, sorted(set(after) ^ set(whole_new)) or "a file differs"))
        if sorted(os.listdir(cache)) != sorted([os.path.basename(updater), "updater.log"]):
            failures.append("%s, then updated: the cache holds %s" % (row, os.listdir(cache)))
    for calls, least in kill_points:
        if killed_at.get(calls, 0) < least:
            failures.append("only %d kill points at %s calls; the swap makes at least %d" % (
                killed_at.get(calls, 0), calls.split(",")[0], least))
    print("updater crash table: %d kill points in %.0f s" % (sum(killed_at.values()), time.monotonic() - started))
except (RuntimeError, OSError, subprocess.SubprocessError) as error:
    failures.append("set-up: %s" % error)
finally:
    subprocess.run([wine_run, prefix, "--stop-server"], capture_output=True)
    shutil.rmtree(root, ignore_errors=True)
    subprocess.run(["umount", "--lazy", prefix])
    subprocess.run(["umount", "--lazy", scratch])
    os.rmdir(scratch)
print("\n".join(failures) or "updater crash table: all rows passed")
sys.exit(1 if failures else 0)
