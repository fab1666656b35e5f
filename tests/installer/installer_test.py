#!/usr/bin/env python3
"""The installer under Wine, from a clean prefix: refused folders and options,
silent installations the launcher accepts, a reinstallation and uninstallations
that keep the player's data and other people's files byte for byte (never
deleting through a link), and the Authenticode signatures.

    installer_test.py BUILD_DIR SETUP_EXE CERTIFICATE
"""
import hashlib
import os
import pwd
import shutil
import subprocess
import sys

BUILD, SETUP, CERT = sys.argv[1:4]
VERSION = os.path.basename(SETUP)[len("Vexa3711-Setup-"):-len(".exe")]
SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
ROOT = os.path.join(BUILD, "installer-test")
PREFIX = os.path.join(ROOT, "wineprefix")
X = os.path.join(ROOT, "wine-drive-x")  # X: of cmake/wine-run, a real folder unlike Z:
ENV = dict(os.environ, WINEPREFIX=PREFIX, HOME=os.path.join(ROOT, "home"), LC_ALL="C.UTF-8",
           WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=")
C_USER = "C:\\users\\" + pwd.getpwuid(os.getuid()).pw_name
KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Vexa3711"
failures = []


def unix(windows_path):
    drive, rest = windows_path[0], windows_path[3:].replace("\\", "/")
    return os.path.join(X if drive == "X" else os.path.join(PREFIX, "drive_c"), rest)


def check(ok, what):
    if not ok:
        failures.append(what)


def wine(*args):
    """Exit code, standard output and error of a Windows program (through files, not pipes)."""
    with open(os.path.join(ROOT, "out.txt"), "w+b") as out, open(os.path.join(ROOT, "err.txt"), "w+b") as err:
        code = subprocess.run([os.path.join(SOURCE, "cmake", "wine-run"), PREFIX, *args], env=ENV,
                              stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=180).returncode
        out.seek(0), err.seek(0)
        return code, out.read().decode(errors="replace"), err.read().decode(errors="replace")


def setup(arguments):
    return wine("cmd", "/c", "X:\\setup.exe /S " + arguments)


def snapshot(folder):
    """Every file's digest and every folder, so that a folder made is a change too."""
    return {os.path.relpath(os.path.join(d, n), folder): hashlib.sha256(open(os.path.join(d, n), "rb").read()).digest()
            if n in files else None for d, folders, files in os.walk(folder) for n in folders + files}


def write(path, content):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(content)


def lock(folder, locked):
    # Not even root may write an immutable folder.
    if os.getuid() == 0:
        command = ["chattr", "+i" if locked else "-i"]
    else:
        command = ["chmod", "555" if locked else "755"]
    subprocess.run(command + [folder], check=locked, stderr=subprocess.DEVNULL)


lock(os.path.join(X, "locked"), False)
shutil.rmtree(ROOT, ignore_errors=True)
os.makedirs(os.path.join(X, "links", "real"))
os.makedirs(ENV["HOME"])
os.makedirs(os.path.join(X, "locked"))
os.symlink("real", os.path.join(X, "links", "linked"))
shutil.copy(SETUP, os.path.join(X, "setup.exe"))
subprocess.run([sys.executable, os.path.join(SOURCE, "tools", "demo_cartridge.py"), os.path.join(X, "rom.z64")],
               check=True)

# Each refusal in a folder of its own, before any installation: nothing may be
# written anywhere, nor registered.
APART = "Keep player data outside the game's folder."
REFUSALS = [  # arguments, files there beforehand, the sentence
    (r"/D=X:\links\linked\Vexa 3711", {}, r'Linked installation or save folders are unsupported: "X:\links\linked"'),
    (r"/PLAYERDATA=X:\links\linked\data /D=X:\r1\Vexa 3711", {}, "Linked installation or save folders"),
    (r"/D=Vexa 3711", {}, "Choose an absolute installation or data folder"),
    (r"/D=X:\locked\Vexa 3711", {}, "This folder cannot be written by your account. Choose a folder of your own."),
    (r"/PLAYERDATA=X:\locked\data /D=X:\r2\Vexa 3711", {}, "This folder cannot be written by your account."),
    (r"/D=X:\r3\Vexa 3711", {r"r3\Vexa 3711\README.md": b"their notes", r"r3\Vexa 3711\SDL2.dll": b"their SDL"},
     "This folder holds other files. Choose an empty folder."),
    (r"/PLAYERDATA=X:\r4\Vexa 3711\Saves /D=X:\r4\Vexa 3711", {}, APART),
    (r"/PLAYERDATA=x:\R5\VEXA 3711 /D=X:\r5\Vexa 3711", {}, APART),
    (r"/PLAYERDATA=X:\r6 /D=X:\r6\Vexa 3711", {}, APART),
    (r"/ALLUSERS /D=X:\r7\Vexa 3711", {}, 'Unknown option "/ALLUSERS"')]
lock(os.path.join(X, "locked"), True)
try:
    for arguments, files, sentence in REFUSALS:
        for name, content in files.items():
            write(os.path.join(X, name.replace("\\", "/")), content)
        before = snapshot(X)
        code, _, error = setup(arguments)
        check(code == 2 and sentence in error, "%s: exit code %d, %r" % (arguments, code, error))
        check(snapshot(X) == before and not os.path.exists(unix(C_USER + r"\AppData\Local\Vexa3711Original"))
              and not os.path.exists(unix(C_USER + r"\AppData\Local\Programs")), arguments + ": wrote files")
        check(wine("reg", "query", "HKCU\\" + KEY)[0] != 0, arguments + ": registered itself")
finally:
    lock(os.path.join(X, "locked"), False)

START_MENU = C_USER + r"\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Vexa 3711.lnk"
DESKTOP = C_USER + r"\Desktop\Vexa 3711.lnk"
INSTALLATIONS = [  # application folder, arguments, player data, desktop shortcut
    (r"X:\Vexa Games\Vexa 3711", "", C_USER + r"\AppData\Local\Vexa3711Original\PlayerData", False),
    (r"X:\Für alle\Vexa 3711", r"/DESKTOPSHORTCUT /PLAYERDATA=X:\Spieler Zoë ✓\Daten", r"X:\Spieler Zoë ✓\Daten", True)]
for app, arguments, data, desktop in INSTALLATIONS:
    code, _, error = setup(arguments + " /D=" + app)
    check(code == 0, "installing into %s: exit code %d, %r" % (app, code, error))
    check(open(unix(app + r"\player-data-location.txt"), "rb").read() == data.encode(), app + ": location record")
    defaults = open(unix(app + r"\defaults\input.cfg"), "rb").read()
    check(open(unix(data + r"\controller.mpk"), "rb").read() == bytes(32768)
          and open(unix(data + r"\input.cfg"), "rb").read() == defaults, app + ": player data")
    write(unix(data + r"\rom-location.txt"), b"X:\\rom.z64")
    for option in ("--verify-application", "--preflight"):
        check(wine(app + r"\Vexa3711.exe", option)[0] == 0, "%s: %s refused the installation" % (app, option))
    entry = wine("reg", "query", "HKCU\\" + KEY)[1]
    values = ["DisplayVersion    REG_SZ    " + VERSION, "DisplayName", "Publisher", "EstimatedSize", "DisplayIcon",
              "InstallLocation", "NoModify    REG_DWORD    0x1", "NoRepair    REG_DWORD    0x1",
              'QuietUninstallString    REG_SZ    "X:', '\\Uninstall.exe" /S']  # reg writes no UTF-8
    check(all(v in entry for v in values), app + ": uninstall entry " + entry)
    check(os.path.exists(unix(START_MENU)) and os.path.exists(unix(DESKTOP)) == desktop, app + ": shortcuts")
check(wine("reg", "query", "HKLM\\" + KEY)[0] != 0, "registered for all users")

tampered = os.path.join(X, "tampered.exe")
shutil.copy(SETUP, tampered)
with open(tampered, "r+b") as program:
    program.seek(os.path.getsize(tampered) // 2)
    byte = program.read(1)
    program.seek(-1, os.SEEK_CUR)
    program.write(bytes([byte[0] ^ 1]))
for program, accepted in [(SETUP, True), (unix(INSTALLATIONS[0][0] + r"\Vexa3711.exe"), True),
                          (unix(INSTALLATIONS[0][0] + r"\Uninstall.exe"), True), (tampered, False)]:
    verified = subprocess.run(["osslsigncode", "verify", "-CAfile", CERT, "-in", program],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
    check(verified == accepted, "%s: signature %s" % (program, "refused" if accepted else "accepted"))
    check(VERSION.encode("utf-16-le") in open(program, "rb").read(), program + ": no version resource")

# The player's data as sessions leave it, including files only they made.
data = unix(INSTALLATIONS[0][2])
for name, content in [("controller.mpk", os.urandom(32768)), ("input.cfg", b"vexa-input 1\n# mine\n"),
                      ("saves/slot1.sav", b"save"), ("last-session.log", b"log"),
                      ("launcher-updates/a.bin", b"cache")]:
    write(os.path.join(data, name), content)
before = snapshot(data)
check(setup("/D=" + INSTALLATIONS[0][0])[0] == 0 and snapshot(data) == before, "reinstalling changed the player data")

# Uninstalling deletes nothing through a link: not through a linked installation
# folder (refused), nor through a folder link planted at notices.
first, second = (unix(i[0]) for i in INSTALLATIONS)
os.symlink(first, os.path.join(X, "links", "app"))
before = snapshot(first)
code, _, error = wine("cmd", "/c", r"X:\links\app\Uninstall.exe /S _?=X:\links\app")
check(code == 2 and r'"X:\links\app" is reached through a link' in error and snapshot(first) == before,
      "uninstalling through a linked folder: exit code %d, %r" % (code, error))
shutil.move(os.path.join(second, "notices"), os.path.join(X, "links", "notices"))
os.symlink(os.path.join(X, "links", "notices"), os.path.join(second, "notices"))
linked = snapshot(os.path.join(X, "links", "notices"))
kept = {app: snapshot(unix(data)) for app, _, data, _ in INSTALLATIONS}
for app, *_ in INSTALLATIONS:
    write(unix(app + r"\notes.txt"), b"the player's own file")
    wine(app + r"\Uninstall.exe", "/S")
subprocess.run(["wineserver", "-w"], env=ENV)  # the uninstallers go on from a copy in the temporary folder
for app, _, data, _ in INSTALLATIONS:
    left = sorted(os.listdir(unix(app))) if os.path.isdir(unix(app)) else None
    # Windows removes the link itself; Wine cannot, and it stays.
    check(left in (["notes.txt"], ["notes.txt", "notices"] if unix(app) == second else None),
          "%s after uninstalling: %s" % (app, left))
    check(snapshot(unix(data)) == kept[app], app + ": uninstalling changed the player data")
check(snapshot(os.path.join(X, "links", "notices")) == linked, "uninstalling deleted through a link")
check(not os.path.exists(unix(START_MENU)) and not os.path.exists(unix(DESKTOP)), "shortcuts left")
check(wine("reg", "query", "HKCU\\" + KEY)[0] != 0, "uninstall entry left")

# A file the installer cannot write over its own installation (a folder in its
# place): the launcher's own check says so.
os.makedirs(os.path.join(X, "blocked", "README.md"))
write(os.path.join(X, "blocked", "Uninstall.exe"), b"")
write(os.path.join(X, "blocked", "player-data-location.txt"), b"X:\\data")
code, _, error = setup(r"/PLAYERDATA=X:\blocked-data /D=X:\blocked")
check(code != 0 and "check failed:\r\n\r\nA required file is missing or unreadable." in error,
      "blocked file: %r" % error)
subprocess.run(["wineserver", "-k"], env=ENV)

print("\n".join(failures) or "installer: all checks passed")
sys.exit(1 if failures else 0)
