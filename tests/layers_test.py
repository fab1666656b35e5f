#!/usr/bin/env python3
"""Fails when a source file includes a header of a layer above its own.

integrity is the bottom; mods and update stand on it side by side; launcher
is on top. Programs of their own (the updater) stand on integrity alone."""
import pathlib
import re
import sys

MAY_INCLUDE = {
    "integrity": {"integrity"},
    "mods": {"integrity", "mods"},
    "update": {"integrity", "update"},
    "updater": {"integrity", "updater"},
    "launcher": {"integrity", "mods", "update", "launcher"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([a-z]+)/', re.MULTILINE)


def upward_includes(source_root):
    for path in sorted(source_root.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        layer = path.relative_to(source_root).parts[0]
        allowed = MAY_INCLUDE.get(layer)
        if allowed is None:
            continue
        for match in INCLUDE.finditer(path.read_text(encoding="utf-8")):
            if match.group(1) not in allowed:
                line = path.read_text(encoding="utf-8").count("\n", 0, match.start()) + 1
                yield f"{path.relative_to(source_root)}:{line}: {layer} includes {match.group(1)}/"


def main():
    found = list(upward_includes(pathlib.Path(sys.argv[1])))
    print("\n".join(found) if found else "no upward includes")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
