#!/usr/bin/env python3
"""Generates the launcher's installation table from a release payload: every
file hashed with SHA-256, rows sorted by path without regard to case. Refuses
a payload that is not exactly the 21 fixed files plus 55 below notices/.

    generate_installation_table.py RELEASE_DIR OUT_CPP
"""
import hashlib
import os
import sys

FIXED_NAMES = [
    "VexaWindowsRT64.exe", "Vexa3711.ico",
    "concrt140.dll", "dxcompiler.dll", "dxil.dll", "msvcp140.dll", "msvcp140_1.dll", "msvcp140_2.dll",
    "msvcp140_atomic_wait.dll", "msvcp140_codecvt_ids.dll", "SDL2.dll", "vccorlib140.dll",
    "vcruntime140.dll", "vcruntime140_1.dll", "vcruntime140_threads.dll",
    "defaults/input.cfg",
    "Integration-Source-v0.2.0.zip", "Integration-Source-v0.3.2.zip",
    "README.md", "COPYING", "ARTWORK-CREDITS.txt",
]
NOTICE_COUNT = 55
TOTAL = len(FIXED_NAMES) + NOTICE_COUNT


def payload_files(root):
    files = []
    for folder, subfolders, names in os.walk(root):
        for name in subfolders + names:
            if os.path.islink(os.path.join(folder, name)):
                raise SystemExit("release payload: linked entries are not shipped: %s"
                                 % os.path.relpath(os.path.join(folder, name), root))
        for name in names:
            files.append(os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/"))
    return files


def check(files):
    problems = []
    present = set(files)
    for name in FIXED_NAMES:
        if name not in present:
            problems.append("missing %s" % name)
    notices = [f for f in files if f.startswith("notices/")]
    extra = [f for f in files if f not in FIXED_NAMES and not f.startswith("notices/")]
    problems += ["unexpected %s" % f for f in sorted(extra)]
    if len(notices) != NOTICE_COUNT:
        problems.append("%d files below notices/ (expected %d)" % (len(notices), NOTICE_COUNT))
    if len(files) != TOTAL:
        problems.append("%d files in all (expected %d)" % (len(files), TOTAL))
    if problems:
        raise SystemExit("release payload is not the %d shipped files: %s" % (TOTAL, "; ".join(problems)))


def wide_literal(text):
    out = []
    for ch in text:
        if ch in '"\\':
            out.append("\\" + ch)
        elif 0x20 <= ord(ch) < 0x7f:
            out.append(ch)
        else:
            out.append(("\\U%08x" if ord(ch) > 0xFFFF else "\\u%04x") % ord(ch))
    return 'L"' + "".join(out) + '"'


def main():
    root, out_path = sys.argv[1:3]
    if not os.path.isdir(root):
        raise SystemExit("release payload folder does not exist: %s" % root)
    files = payload_files(root)
    check(files)
    rows = []
    for relative in sorted(files, key=lambda f: (f.lower(), f)):
        digest = hashlib.sha256()
        with open(os.path.join(root, *relative.split("/")), "rb") as source:
            for block in iter(lambda: source.read(1 << 20), b""):
                digest.update(block)
        rows.append('    {%s, "%s"},' % (wide_literal(relative), digest.hexdigest()))
    text = "\n".join([
        "// Generated from the release payload at build time. Do not edit.",
        '#include "integrity/InstallationTable.h"',
        "",
        "namespace vexa {",
        "namespace {",
        "constexpr InstallationRow rows[] = {",
        *rows,
        "};",
        "static_assert(sizeof rows / sizeof rows[0] == %d);" % TOTAL,
        "} // namespace",
        "",
        "std::span<const InstallationRow> installationTable() { return rows; }",
        "",
        "} // namespace vexa",
        "",
    ])
    old = open(out_path).read() if os.path.exists(out_path) else None
    if old != text:
        with open(out_path, "w") as out:
            out.write(text)


if __name__ == "__main__":
    main()
