#!/usr/bin/env python3
"""The installation-table generator refuses any payload that is not exactly
the 76 shipped files, and says what is wrong."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

GENERATOR, RELEASE = sys.argv.pop(1), sys.argv.pop(1)


def run(payload):
    out = os.path.join(payload + "-out.cpp")
    return subprocess.run([sys.executable, GENERATOR, payload, out], capture_output=True, text=True)


class TableGenerator(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp()
        self.payload = os.path.join(self.work, "release")
        shutil.copytree(RELEASE, self.payload)

    def tearDown(self):
        shutil.rmtree(self.work)

    def test_complete_payload_gives_76_rows(self):
        result = run(self.payload)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(self.payload + "-out.cpp") as table:
            self.assertEqual(table.read().count('", "'), 76)

    def test_wrong_payloads_fail_naming_the_problem(self):
        cases = {
            "75 files": (lambda p: os.remove(os.path.join(p, "notices", "SDL2.txt")), "54 files below notices/"),
            "77 files": (lambda p: open(os.path.join(p, "notices", "extra.txt"), "w").close(), "56 files below notices/"),
            "fixed name missing": (lambda p: os.remove(os.path.join(p, "dxil.dll")), "missing dxil.dll"),
            "unexpected file": (lambda p: open(os.path.join(p, "Vexa3711.exe"), "w").close(), "unexpected Vexa3711.exe"),
        }
        for name, (damage, expected) in cases.items():
            with self.subTest(name):
                shutil.rmtree(self.payload)
                shutil.copytree(RELEASE, self.payload)
                damage(self.payload)
                result = run(self.payload)
                self.assertNotEqual(result.returncode, 0)
                self.assertIn(expected, result.stderr)


if __name__ == "__main__":
    unittest.main()
