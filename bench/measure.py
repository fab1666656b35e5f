"""One process measured for the benchmarks: wall seconds, peak resident MiB,
exit code and output.

GNU time starts it and reports the peak (wait4's) of that child alone: a child
forked straight from a Python driver carries the driver's own peak across exec,
so a driver that has just staged a large pack would inflate every figure.
Output goes through a file: a pipe can be kept open by Wine's own processes."""
import subprocess
import tempfile
import time


def measure(command):
    with tempfile.TemporaryFile() as output, tempfile.NamedTemporaryFile("r") as peak:
        start = time.perf_counter()
        child = subprocess.Popen(["/usr/bin/time", "--format", "%x %M", "--output", peak.name] + command,
                                 stdout=output, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        child.wait()
        elapsed = time.perf_counter() - start
        output.seek(0)
        text = output.read().decode(errors="replace").strip()
        status, kib = peak.read().split()[-2:]  # a killed child adds a line before them
    return elapsed, int(kib) / 1024.0, int(status), text
