#!/usr/bin/env python3
"""Stages the demo release payload: the stand-in game, the icon and
deterministic placeholders for every other shipped file (76 in all).

    stage_demo_release.py OUT_DIR STAND_IN_GAME_EXE ICON
"""
import os
import shutil
import sys

RUNTIME_LIBRARIES = [
    "concrt140.dll", "dxcompiler.dll", "dxil.dll", "msvcp140.dll", "msvcp140_1.dll", "msvcp140_2.dll",
    "msvcp140_atomic_wait.dll", "msvcp140_codecvt_ids.dll", "SDL2.dll", "vccorlib140.dll",
    "vcruntime140.dll", "vcruntime140_1.dll", "vcruntime140_threads.dll",
]
DOCUMENTS = ["README.md", "COPYING", "ARTWORK-CREDITS.txt",
             "Integration-Source-v0.2.0.zip", "Integration-Source-v0.3.2.zip"]
NAMED_NOTICES = ["Microsoft-VC-Runtime.txt", "SDL2.txt", "DirectXShaderCompiler.txt", "RT64.txt",
                 "Vulkan-Loader.txt", "volk.txt", "VulkanMemoryAllocator.txt", "imgui.txt", "zlib.txt",
                 "libpng.txt", "xxHash.txt", "nlohmann-json.txt", "stb.txt", "miniaudio.txt"]
NOTICE_COUNT = 55


def notice_names():
    names = list(NAMED_NOTICES)
    names += ["component-%02d.txt" % n for n in range(1, NOTICE_COUNT - len(names) + 1)]
    return ["notices/" + name for name in names]


def notice_text(index: int, name: str) -> bytes:
    # Several components share one licence text, as real notices do.
    if index % 4 == 3:
        return b"Permission is hereby granted, free of charge (demo licence text).\n"
    return ("Demo notice for %s.\n" % name).encode()


def write(root: str, relative: str, content: bytes) -> None:
    path = os.path.join(root, *relative.split("/"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(content)


def main() -> int:
    root, game, icon = sys.argv[1:4]
    if os.path.isdir(root):
        shutil.rmtree(root)
    os.makedirs(root)
    shutil.copyfile(game, os.path.join(root, "VexaWindowsRT64.exe"))
    shutil.copyfile(icon, os.path.join(root, "Vexa3711.ico"))
    for name in RUNTIME_LIBRARIES + DOCUMENTS:
        write(root, name, ("Demo placeholder for %s of Vexa 3711.\n" % name).encode())
    write(root, "defaults/input.cfg", b"# Vexa 3711 controller settings\nvexa-input 1\n")
    for index, name in enumerate(notice_names()):
        write(root, name, notice_text(index, name))
    return 0


if __name__ == "__main__":
    sys.exit(main())
