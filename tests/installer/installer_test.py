#!/usr/bin/env python3
"""The installer under Wine, from a clean prefix: refused folders and options,
silent installations the launcher accepts in folders only the player may change,
reinstallations that keep the player's data folder (the wizard shows it) and
every byte in it, uninstallations that remove what an update added and keep the
player's data and other people's files byte for byte (never deleting through a
link), waiting for a launcher or game that runs, what it says and asks over an
older, the same or a newer version, and the Authenticode signatures. The wizard
needs a display: without one the test runs itself under xvfb-run.

    installer_test.py BUILD_DIR SETUP_EXE CERTIFICATE
"""
import hashlib
import os
import pwd
import re
import shutil
import struct
import subprocess
import sys
import time

if not os.environ.get("DISPLAY") and shutil.which("xvfb-run"):
    os.execvp("xvfb-run", ["xvfb-run", "-a", sys.executable, *sys.argv])
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


def helper(*args):
    return wine(os.path.join(BUILD, "bin", "launcher_test_helper.exe"), "-", *args)


def start(*args, **variables):
    """A Windows program left running."""
    return subprocess.Popen([os.path.join(SOURCE, "cmake", "wine-run"), PREFIX, *args], env=dict(ENV, **variables),
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)




def wizard(*args):
    """vexa_window_driver on the installer's topmost window (a box of it comes first)."""
    return wine(os.path.join(BUILD, "bin", "vexa_window_driver.exe"), "--title", "Vexa 3711 Setup", *args)


def until(shown, what):
    """Waits for the wizard to show a text (its page or box has come)."""
    for _ in range(60):
        if shown in wizard("texts")[1]:
            return True
        time.sleep(0.3)
    failures.append("the installer never showed %r (%s)" % (shown, what))
    return False


def snapshot(folder):
    """Every file's digest and every folder, so that a folder made is a change too."""
    return {os.path.relpath(os.path.join(d, n), folder): hashlib.sha256(open(os.path.join(d, n), "rb").read()).digest()
            if n in files else None for d, folders, files in os.walk(folder) for n in folders + files}


def write(path, content):
    """A file, or for a number a folder with that Unix mode (Wine's access list of it)."""
    if isinstance(content, int):
        os.makedirs(path)
        os.chmod(path, content)
        return
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(content)


def read(windows_path):
    with open(unix(windows_path), "rb") as source:
        return source.read()


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
    # Another spelling of the same folder: its 8.3 name (as Wine makes it), a trailing dot, "..".
    (r"/PLAYERDATA=X:\r8\VEXA~4OM\Saves /D=X:\r8\Vexa 3711", {r"r8\Vexa 3711\Saves\slot1.sav": b"save"}, APART),
    (r"/PLAYERDATA=X:\r9\Vexa 3711.\Saves /D=X:\r9\Vexa 3711", {}, APART),
    (r"/PLAYERDATA=X:\r10\Other\..\Vexa 3711\Saves /D=X:\r10\Vexa 3711", {}, APART),
    (r"/PLAYERDATA=X:\r11\saves.bin /D=X:\r11\Vexa 3711", {r"r11\saves.bin": b"not a folder",  # over an installation
     r"r11\Vexa 3711\Uninstall.exe": b"", r"r11\Vexa 3711\player-data-location.txt": b"X:\\r11\\data"},
     r'"X:\r11\saves.bin" is a file, not a folder.'),
    (r"/D=X:\r12\Vexa 3711", {r"r12\Vexa 3711": 0o777}, r'Other accounts on this computer may change "X:\r12\Vexa 3711".'),
    (r"/ALLUSERS /D=X:\r7\Vexa 3711", {}, 'Unknown option "/ALLUSERS"'),
        # Folders that only look like an earlier installation of it.
    (r"/D=X:\r13\Vexa 3711", {r"r13\Vexa 3711\Uninstall.exe": b"MZ", r"r13\Vexa 3711\SDL2.dll": b"their SDL"},
     "This folder holds other files."),
    (r"/D=X:\r14\Vexa 3711", {r"r14\Vexa 3711\player-data-location.txt": b"X:\\data", r"r14\Vexa 3711\a.txt": b"a"},
     "This folder holds other files."),
    (r"/D=X:\r15\Vexa 3711", {r"r15\Vexa 3711\Uninstall.exe\x": b"", r"r15\Vexa 3711\player-data-location.txt\x": b""},
     "This folder holds other files.")]
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
INSTALLATIONS = [  # application folder, arguments, player data, desktop shortcut, the files a later update
    # adds (listed in launcher-files-added.txt), further lines of that list (naming what must stay), what
    # uninstalling leaves (None: the folder is gone; "notes.txt" is the player's own file)
    (r"X:\Vexa Games\Vexa 3711", "", C_USER + r"\AppData\Local\Vexa3711Original\PlayerData", False,
     {r"Zusätze\extra.dll": b"added", "Vexa3711-helper.dll": b"added"}, [r"..\outside.txt", "", "Zusätze"], None),
    # Windows removes the folder link at notices itself; Wine cannot, and it stays.
    (r"X:\Für alle\Vexa 3711", r"/DESKTOPSHORTCUT /PLAYERDATA=X:\Spieler Zoë ✓\Daten", r"X:\Spieler Zoë ✓\Daten", True,
     {"extra.dll": b"added"}, [r"notices\DirectXShaderCompiler.txt"], ["notes.txt", "notices"])]
for app, arguments, data, desktop, *_ in INSTALLATIONS:
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
    # Only the player, SYSTEM and Administrators: Wine keeps the list as Unix
    # modes, so its read-back lacks Administrators and the cut from the parent.
    lines = dict(line.split("|", 1) for line in helper("access-list", app)[1].splitlines())
    aces = re.findall(r"\(A;([^;]*);([^;]*);;;([^)]*)\)", lines.get("dacl", ""))
    user = lines.get("user")
    check(aces and {sid for *_, sid in aces} <= {"SY", "BA", user} and ("OICI", "FA", user) in aces,
          "%s: access list %r" % (app, lines))
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


def wizard_page(text):
    """Waits until the wizard shows a control with this text."""
    for _ in range(50):
        if "|%s|" % text in wizard("controls")[1]:
            return True
    return False


def player_data_page(app):
    """The folder the wizard's player-data page shows for this application folder."""
    run = subprocess.Popen([os.path.join(SOURCE, "cmake", "wine-run"), PREFIX, "cmd", "/c", "X:\\setup.exe /D=" + app],
                           env=ENV, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shown = None
    if wizard_page("&Next >") and wizard("click", "1")[0] == 0 and wizard_page("Choose Install Location") \
            and wizard("click", "1")[0] == 0 and wizard_page("Choose Player Data Location"):
        shown = wizard("field", "1019")[1].strip().removeprefix("field|")
    subprocess.run(["wineserver", "-k"], env=ENV)  # the wizard goes unfinished
    run.wait()
    return shown


# Reinstalling keeps the folder the installation's record names, the record and
# the player's data as sessions left it, byte for byte, in every player-data folder.
for app, _, data, *_ in INSTALLATIONS:
    for name, content in [("controller.mpk", os.urandom(32768)), ("input.cfg", b"vexa-input 1\n# mine\n"),
                          ("saves/slot1.sav", b"save"), ("last-session.log", b"log"),
                          ("launcher-updates/a.bin", b"cache")]:
        write(os.path.join(unix(data), name), content)
    before = [read(app + r"\player-data-location.txt")] + [snapshot(unix(i[2])) for i in INSTALLATIONS]
    shown = player_data_page(app)
    check(shown == data, "%s: the player-data page shows %r" % (app, shown))
    code, _, error = setup("/D=" + app)
    check(code == 0 and [read(app + r"\player-data-location.txt")] + [snapshot(unix(i[2])) for i in INSTALLATIONS] == before,
          "%s: reinstalling changed the record or the player data (exit code %d, %r)" % (app, code, error))

# What the installer says and asks over the version installed: the entry's
# DisplayVersion or the launcher's version resource, whichever is newer. The
# wizard asks over a newer one with No as the default, and No keeps the
# installation; silently only /DOWNGRADE replaces it.
wine("reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f")  # no wait for a window manager
app = INSTALLATIONS[0][0]
launcher = unix(app + r"\Vexa3711.exe")
NEWER = "A newer version of Vexa 3711 (%s) is installed"
VERSIONS = [  # DisplayVersion, the launcher's version resource, arguments, the welcome page, exit code, sentence
    (VERSION, VERSION, "", "Setup repairs that installation", 0, ""),
    ("0.2.9", "0.2.9", "", r"Vexa 3711 0.2.9 is installed in %s. Setup updates it to %s" % (app, VERSION), 0, ""),
    ("9.1.0", VERSION, "", NEWER % "9.1.0", 2, NEWER % "9.1.0" + "; this is %s. Add /DOWNGRADE" % VERSION),
    (VERSION, "9.2.0", "", NEWER % "9.2.0", 2, NEWER % "9.2.0"),
    ("9.1.0", "9.2.0", "/DOWNGRADE ", NEWER % "9.2.0", 0, "")]
for display, resource, arguments, welcome, expected, sentence in VERSIONS:
    row = "%s/%s %s" % (display, resource, arguments)
    wine("reg", "add", "HKCU\\" + KEY, "/v", "DisplayVersion", "/d", display, "/f")
    with open(launcher, "r+b") as program:  # VS_FIXEDFILEINFO: signature, structure version, then the file version
        program.seek(program.read().index(struct.pack("<I", 0xFEEF04BD)) + 8)
        major, minor, patch = map(int, resource.split("."))
        program.write(struct.pack("<II", major << 16 | minor, patch << 16))
    before = snapshot(unix(app)), snapshot(data)
    running = start("cmd", "/c", "X:\\setup.exe /D=" + app)
    if until(welcome, row + ": welcome page") and expected == 2:
        wizard("click", "1")  # Next: the folder page
        until("Choose Install Location", row)
        wizard("click", "1")  # Next: the question
        newest = max(display, resource, key=lambda v: tuple(map(int, v.split("."))))
        if until(NEWER % newest + ". Replace it with %s?" % VERSION, row + ": question"):
            controls, focus = wizard("controls")[1].splitlines(), wizard("focus")[1].strip().split("|")[-1]
            check(any(c.startswith(focus + "|") and "|&No|" in c for c in controls), row + ": No is not the default")
            wizard("click", "7")  # No
            until("Choose Install Location", row + ": No left the folder page")
    wine("taskkill", "/F", "/IM", "setup.exe")
    running.wait()
    code, _, error = setup(arguments + "/D=" + app)
    check(code == expected and sentence in error, "%s: exit code %d, %r" % (row, code, error))
    check((snapshot(unix(app)), snapshot(data)) == before if expected else snapshot(data) == before[1],
          row + ": changed the installation or the player data")
check("DisplayVersion    REG_SZ    " + VERSION in wine("reg", "query", "HKCU\\" + KEY)[1], "/DOWNGRADE: the entry")

# A launcher or the game of the installation running: the installer and the
# uninstaller stop before writing or removing anything, silently with exit code
# 2; closed, the next run succeeds and keeps the player's data.
RUNNING = "Vexa 3711 is running. Close it, then choose Retry."
shutil.copy(unix(app + r"\Uninstall.exe"), os.path.join(X, "uninstall.exe"))  # as Windows runs it: a copy, _?= the folder
WHILE_RUNNING = [  # what runs, its variables, the program that must wait
    ("Vexa3711.exe", {}, "X:\\setup.exe /S /D=" + app),
    ("VexaWindowsRT64.exe", {"STAND_IN_SLEEP_MS": "60000"}, "X:\\setup.exe /S /D=" + app),
    ("Vexa3711.exe", {}, "X:\\uninstall.exe /S _?=" + app)]
for name, variables, command in WHILE_RUNNING:
    running = start(app + "\\" + name, **variables)
    for _ in range(60):
        if name in wine("tasklist")[1]:
            break
        time.sleep(0.5)
    before = snapshot(unix(app)), snapshot(data), wine("reg", "query", "HKCU\\" + KEY)[1]
    code, _, error = wine("cmd", "/c", command)
    check(code == 2 and RUNNING in error, "%s while %s runs: exit code %d, %r" % (command, name, code, error))
    check((snapshot(unix(app)), snapshot(data), wine("reg", "query", "HKCU\\" + KEY)[1]) == before,
          "%s while %s runs: changed something" % (command, name))
    wine("taskkill", "/F", "/IM", name)
    running.wait()
    if "setup" in command:
        check(wine("cmd", "/c", command)[0] == 0 and snapshot(data) == before[1], command + ": after closing")

# The wizard's box: Retry and Cancel, and Retry after closing installs.
kept = snapshot(data)
running = start(app + r"\Vexa3711.exe")
wine(os.path.join(BUILD, "bin", "vexa_window_driver.exe"), "controls")  # its window has come
installing = start("cmd", "/c", "X:\\setup.exe /D=" + app)
for page in ("Click Next to continue.", "Choose Install Location", "Choose Player Data Location", "Choose Components"):
    until(page, "the wizard's pages")
    wizard("click", "1")
if until(RUNNING, "the running box"):
    buttons = [c.split("|")[1:4:2] for c in wizard("controls")[1].splitlines()[2:]]
    check(["4", "&Retry"] in buttons and ["2", "Cancel"] in buttons and all(t != "&Ignore" for _, t in buttons),
          "the running box's buttons: %s" % buttons)
    check(snapshot(data) == kept, "the wizard wrote while the launcher runs")
    wine(os.path.join(BUILD, "bin", "vexa_window_driver.exe"), "alt-f4")
    running.wait()
    wizard("click", "4")  # Retry
    until("&Finish", "the finish page after Retry")
    wizard("click", "1")  # Finish, which starts the launcher
    wine(os.path.join(BUILD, "bin", "vexa_window_driver.exe"), "alt-f4")
check(installing.wait() == 0 and snapshot(data) == kept, "installing after Retry")
subprocess.run(["wineserver", "-w"], env=ENV)

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
kept = {app: snapshot(unix(data)) for app, _, data, *_ in INSTALLATIONS}
write(os.path.join(X, "outside.txt"), b"not ours")
for app, _, _, _, added, lines, left in INSTALLATIONS:
    for name, content in added.items():
        write(unix(app + "\\" + name), content)
    write(unix(app + r"\launcher-files-added.txt"), "".join(n + "\n" for n in [*added, *lines]).encode())
    if "notes.txt" in (left or []):
        write(unix(app + r"\notes.txt"), b"the player's own file")
    wine(app + r"\Uninstall.exe", "/S")
subprocess.run(["wineserver", "-w"], env=ENV)  # the uninstallers go on from a copy in the temporary folder
for app, _, data, _, _, _, left in INSTALLATIONS:
    found = sorted(os.listdir(unix(app))) if os.path.isdir(unix(app)) else None
    check(found == left, "%s after uninstalling: %s" % (app, found))
    check(snapshot(unix(data)) == kept[app], app + ": uninstalling changed the player data")
check(os.path.exists(os.path.join(X, "outside.txt")), "uninstalling deleted a listed file outside its folder")
check(snapshot(os.path.join(X, "links", "notices")) == linked, "uninstalling deleted through a link")
check(not os.path.exists(unix(START_MENU)) and not os.path.exists(unix(DESKTOP)), "shortcuts left")
check(wine("reg", "query", "HKCU\\" + KEY)[0] != 0, "uninstall entry left")

# What an older uninstaller left (an update's files and their list) is this
# product's own: installing there again works.
app = INSTALLATIONS[0][0]
write(unix(app + r"\Zusätze\extra.dll"), b"added")
write(unix(app + r"\launcher-files-added.txt"), "Zusätze\\extra.dll\n".encode())
code, _, error = setup("/D=" + app)
check(code == 0, "installing over what an update left: exit code %d, %r" % (code, error))

# A file the installer cannot replace in its own installation (a folder in its
# place): refused with a sentence before anything is written, no old and new
# files mixed, no Abort / Retry / Ignore.
os.makedirs(os.path.join(X, "blocked", "README.md"))
write(os.path.join(X, "blocked", "Uninstall.exe"), b"")
write(os.path.join(X, "blocked", "player-data-location.txt"), b"X:\\data")
before = snapshot(os.path.join(X, "blocked"))
code, _, error = setup(r"/PLAYERDATA=X:\blocked-data /D=X:\blocked")
check(code == 2 and r'Setup cannot replace "X:\blocked\README.md"' in error
      and snapshot(os.path.join(X, "blocked")) == before and not os.path.exists(os.path.join(X, "blocked-data")),
      "blocked file: exit code %d, %r" % (code, error))
subprocess.run(["wineserver", "-k"], env=ENV)

print("\n".join(failures) or "installer: all checks passed")
sys.exit(1 if failures else 0)
