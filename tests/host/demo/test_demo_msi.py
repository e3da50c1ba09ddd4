#!/usr/bin/python3
"""Reads the demo packages back with msitools and checks what an installation relies on:
the platform of each, where INSTALLDIR lies, the files and the registry value.

Usage: test_demo_msi.py   (the packages are looked for in $NIMB_BUILD_DIR/examples)"""
import os
import subprocess
import unittest

OUT = os.path.join(os.environ.get("NIMB_BUILD_DIR", "build"), "examples")
COMPONENT_64BIT = 0x100         # msidbComponentAttributes64bit


def msiinfo(*args):
    return subprocess.run(["msiinfo", *args], check=True, capture_output=True, text=True).stdout


def table(msi, name):
    """The rows of a table as lists of fields, without its three header lines."""
    return [line.split("\t") for line in msiinfo("export", msi, name).splitlines()[3:]]


class DemoPackages(unittest.TestCase):
    CASES = [
        # package, summary template, root directory of INSTALLDIR, 64-bit components, files
        ("NimbrelDemo.msi", "x64;1033", "ProgramFiles64Folder", True,
         {"readme.txt", "settings.ini"}),
        ("NimbrelDemoDocs.msi", "Intel;1033", "ProgramFilesFolder", False, {"guide.txt"}),
    ]

    def test_packages(self):
        for name, template, root, wide, files in self.CASES:
            msi = os.path.join(OUT, name)
            with self.subTest(package=name):
                with open(msi, "rb") as f:
                    self.assertEqual(f.read(8), bytes.fromhex("D0CF11E0A1B11AE1"))
                self.assertIn(f"Template: {template}\n", msiinfo("suminfo", msi))
                directories = {row[0]: row[1] for row in table(msi, "Directory")}
                self.assertEqual(directories.get("INSTALLDIR"), root)
                for component in table(msi, "Component"):
                    self.assertEqual(component[2], "INSTALLDIR")
                    self.assertEqual(bool(int(component[3]) & COMPONENT_64BIT), wide)
                names = {row[2].split("|")[-1] for row in table(msi, "File")}
                self.assertEqual(names, files)

    def test_registry_value_names_the_directory(self):
        rows = table(os.path.join(OUT, "NimbrelDemo.msi"), "Registry")
        self.assertEqual([row[1:5] for row in rows],
                         [["2", r"Software\Nimbrel\Demo", "InstallDir", "[INSTALLDIR]"]])


if __name__ == "__main__":
    unittest.main(verbosity=1)
