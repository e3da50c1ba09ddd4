#!/usr/bin/python3
"""Reads the installer's own resources back from a built executable with an independent PE
reader (pefile) and checks them: the application manifest, the version block and the icon.

Usage: stub_resources.py [EXE]   (default: $NIMB_STUB_EXE, else build/bin/NimbStub.exe)
Any executable made from the stub must pass, so a packed installer can be checked with
the same command. The expected version numbers come from the stub's version header."""
import os
import pathlib
import re
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import xml.etree.ElementTree as ET

import pefile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.environ.get("NIMB_SOURCE_DIR", os.path.join(HERE, "..", ".."))
EXE = os.environ.get("NIMB_STUB_EXE", os.path.join(os.environ.get("NIMB_BUILD_DIR", "build"),
                                                   "bin", "NimbStub.exe"))

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
LANG_EN_US = 1033
ICON_GROUP = 101
ICON_SIZES = [256, 128, 96, 80, 72, 64, 48, 32, 24, 16]
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"


def version_numbers():
    """The four version numbers as the stub's version header defines them."""
    with open(os.path.join(SOURCE, "Installer", "win", "Stub", "NimbStubVersion.h")) as f:
        text = f.read()
    return [int(re.search(rf"#define NIMB_VERSION_{part}\s+(\d+)", text).group(1))
            for part in ("MAJOR", "MINOR", "BUILD", "REVISION")]


def resources(pe):
    """{(type, id): [(language, bytes)]} for every resource with a numeric type and id."""
    found = {}
    for rtype in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for entry in rtype.directory.entries:
            for lang in entry.directory.entries:
                data = pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
                found.setdefault((rtype.id, entry.id), []).append((lang.id, data))
    return found


class StubResources(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(EXE)
        cls.res = resources(cls.pe)

    def one(self, rtype, rid):
        """The single English resource of that type and number."""
        entries = self.res.get((rtype, rid), [])
        self.assertEqual([lang for lang, _ in entries], [LANG_EN_US], (rtype, rid))
        return entries[0][1]

    def test_manifest(self):
        self.assertEqual([k for k in self.res if k[0] == RT_MANIFEST], [(RT_MANIFEST, 1)])
        root = ET.fromstring(self.one(RT_MANIFEST, 1))
        self.assertEqual(root.tag, ASM_V1 + "assembly")
        self.assertEqual(root.find(ASM_V1 + "assemblyIdentity").attrib,
                         {"name": "NimbStub.exe", "version": "1.0.0.0",
                          "processorArchitecture": "*", "type": "win32"})
        self.assertEqual(root.findtext(ASM_V1 + "description"), "Nimbrel Windows Installer")
        dependency = root.find(f"{ASM_V1}dependency/{ASM_V1}dependentAssembly/{ASM_V1}assemblyIdentity")
        self.assertEqual(dependency.attrib,
                         {"type": "win32", "name": "Microsoft.Windows.Common-Controls",
                          "version": "6.0.0.0", "processorArchitecture": "*",
                          "publicKeyToken": "6595b64144ccf1df", "language": "*"})
        settings = root.find(f"{ASM_V3}application/{ASM_V3}windowsSettings")
        values = {child.tag.split("}")[1]: child.text for child in settings}
        self.assertEqual(values, {"dpiAware": "true", "dpiAwareness": "PerMonitorV2"})

    def test_version_block(self):
        self.one(RT_VERSION, 1)
        major, minor, build, revision = version_numbers()
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        for ms, ls in ((fixed.FileVersionMS, fixed.FileVersionLS),
                       (fixed.ProductVersionMS, fixed.ProductVersionLS)):
            self.assertEqual((ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF),
                             (major, minor, build, revision))
        self.assertEqual(fixed.FileFlagsMask, 0x3F)
        self.assertEqual(fixed.FileFlags, 0x20)         # special build
        self.assertEqual(fixed.FileOS, 0x40004)         # 32-bit Windows on NT
        self.assertEqual(fixed.FileType, 1)             # an application
        self.assertEqual(fixed.FileSubtype, 0)

        tables = [t for info in self.pe.FileInfo[0] if info.Key == b"StringFileInfo"
                  for t in info.StringTable]
        self.assertEqual([t.LangID for t in tables], [b"040904b0"])
        strings = {k.decode(): v.decode() for k, v in tables[0].entries.items()}
        version = f"{major}.{minor}.{build}r{revision}"
        expected = {
            "FileDescription": "Nimbrel Installer",
            "ProductName": "Nimbrel Installer",
            "FileVersion": version,
            "ProductVersion": version,
            "InternalName": f"NimbrelInstaller-{version}",
            "OriginalFilename": f"NimbrelInstaller-{version}.exe",
            "SpecialBuild": f"r{revision}",
        }
        self.assertEqual({k: strings.get(k) for k in expected}, expected)
        self.assertTrue(strings.get("CompanyName"))
        translations = [v.entry for info in self.pe.FileInfo[0] if info.Key == b"VarFileInfo"
                        for v in info.Var]
        self.assertEqual(translations, [{b"Translation": "0x0409 0x04b0"}])

    def test_icon_group(self):
        group = self.one(RT_GROUP_ICON, ICON_GROUP)
        reserved, kind, count = struct.unpack_from("<HHH", group)
        self.assertEqual((reserved, kind, count), (0, 1, len(ICON_SIZES)))
        for i, size in enumerate(ICON_SIZES):
            width, height, colours, _, planes, bpp, length, image_id = \
                struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
            with self.subTest(size=size):
                self.assertEqual((width or 256, height or 256, colours, bpp), (size, size, 0, 32))
                self.assertEqual(image_id, i + 1)
                image = self.one(RT_ICON, image_id)
                self.assertEqual(length, len(image))
                if size == 256:
                    # PNG: signature, then IHDR with width, height, 8 bits, RGBA (colour type 6).
                    self.assertEqual(image[:8], PNG_SIGNATURE)
                    self.assertEqual(image[12:16], b"IHDR")
                    self.assertEqual(struct.unpack_from(">IIBB", image, 16), (256, 256, 8, 6))
                else:
                    # DIB: the height counts the colour image and its mask.
                    header, w, h, _, bits = struct.unpack_from("<IiiHH", image)
                    self.assertEqual((header, w, h, bits), (40, size, 2 * size, 32))

    def test_no_stray_resources(self):
        # Only what the stub declares: nothing a tool added on its own (such as a default
        # manifest or a second language) and nothing lost. Packed payload is raw data.
        types = {rtype for rtype, _ in self.res} - {pefile.RESOURCE_TYPE["RT_RCDATA"]}
        self.assertEqual(types, {RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST})
        self.assertEqual(len([k for k in self.res if k[0] == RT_ICON]), len(ICON_SIZES))


class IconDrawing(unittest.TestCase):
    def test_same_bytes_every_run(self):
        # Two drawings a second apart: any date or metadata that crept in would differ.
        tool = os.path.join(SOURCE, "tools", "draw-stub-icon.sh")
        with tempfile.TemporaryDirectory() as tmp:
            paths = [os.path.join(tmp, f"{n}.ico") for n in (1, 2)]
            subprocess.run([tool, paths[0]], check=True)
            time.sleep(1.1)
            subprocess.run([tool, paths[1]], check=True, env={**os.environ, "TZ": "Asia/Tokyo"})
            first, second = (pathlib.Path(p).read_bytes() for p in paths)
        self.assertEqual(first, second)


if __name__ == "__main__":
    if len(sys.argv) > 1 and not sys.argv[1].startswith("-"):
        EXE = sys.argv.pop(1)
    unittest.main(verbosity=1)
