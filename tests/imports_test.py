#!/usr/bin/env python3
"""The shipped programs import statically only KnownDLLs (anything else would
be looked for in the application folder first) and keep ASLR, high-entropy
ASLR and DEP on.   imports_test.py OBJDUMP PROGRAM..."""
import subprocess
import sys

KNOWN_DLLS = {"advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "coml2.dll", "difxapi.dll",
              "gdi32.dll", "gdiplus.dll", "imagehlp.dll", "imm32.dll", "kernel32.dll", "msctf.dll",
              "msvcrt.dll", "normaliz.dll", "nsi.dll", "ole32.dll", "oleaut32.dll", "psapi.dll", "rpcrt4.dll",
              "sechost.dll", "setupapi.dll", "shcore.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
              "wldap32.dll", "ws2_32.dll"}
FLAGS = {"DYNAMIC_BASE", "HIGH_ENTROPY_VA", "NX_COMPAT"}

failures = []
for program in sys.argv[2:]:
    header = subprocess.run([sys.argv[1], "-p", program], capture_output=True, text=True, check=True).stdout
    imports = {line.split(":", 1)[1].strip().lower() for line in header.splitlines() if "DLL Name:" in line}
    flags = {word for word in header.split() if word in FLAGS}
    if imports - KNOWN_DLLS:
        failures.append("%s imports %s" % (program, sorted(imports - KNOWN_DLLS)))
    if flags != FLAGS:
        failures.append("%s lacks %s" % (program, sorted(FLAGS - flags)))
print("\n".join(failures) or "only KnownDLLs imported; ASLR and DEP on")
sys.exit(1 if failures else 0)
