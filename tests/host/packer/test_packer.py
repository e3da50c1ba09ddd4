#!/usr/bin/python3
"""Packing, checked from outside: the packed executables are read back with Debian's
pefile (not our code), the refusals are run one by one, signatures are checked with
osslsigncode. Needs the build's fixture installers (target fixture-installers)."""
import errno
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib
from unittest import mock

import pefile

BUILD = os.environ.get("NIMB_BUILD_DIR") or os.path.join(os.path.dirname(__file__), "..", "..", "..", "build")
SOURCE = os.environ.get("NIMB_SOURCE_DIR") or os.path.join(os.path.dirname(__file__), "..", "..", "..")
PACKER = os.path.join(SOURCE, "Installer", "host", "Packer", "nimbpack.py")
STUB = os.path.join(BUILD, "bin", "NimbStub.exe")
FIXTURES = os.path.join(BUILD, "fixtures", "installers")
PACKAGES = os.path.join(BUILD, "fixtures", "packages")
CERT_DIR = os.path.join(BUILD, "certs")
SIGN_KEY = os.environ.get("NIMB_SIGN_KEY") or os.path.join(CERT_DIR, "test-publisher.key.pem")
SIGN_CERT = os.environ.get("NIMB_SIGN_CERT") or os.path.join(CERT_DIR, "test-publisher.cert.pem")

RT_RCDATA = 10
LANG_EN_US = 1033


def run_packer(*args):
    return subprocess.run([sys.executable, PACKER, *args], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True)


def resources(path):
    """{(type, name, language): (bytes, code page)} as pefile reads them."""
    pe = pefile.PE(path)
    found = {}
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for t in root.entries if root else []:
        for n in t.directory.entries:
            for lang in n.directory.entries:
                d = lang.data.struct
                key = (t.id if t.name is None else str(t.name),
                       n.id if n.name is None else str(n.name), lang.id)
                found[key] = (pe.get_data(d.OffsetToData, d.Size), d.CodePage)
    return pe, found


def directory_order_problems(pe):
    """The loader finds resources by binary search: at every level the named entries come
    first, in order of their UTF-16 units, then the numbered ones in ascending order."""
    problems = []

    def walk(directory, depth):
        keys = [(0, str(e.name).encode("utf-16-be")) if e.name is not None else (1, e.id)
                for e in directory.entries]
        if keys != sorted(keys) or len(set(keys)) != len(keys):
            problems.append((depth, keys))
        if directory.struct.NumberOfNamedEntries != sum(k[0] == 0 for k in keys):
            problems.append((depth, "named count"))
        for e in directory.entries:
            if depth < 2:
                walk(e.directory, depth + 1)

    walk(pe.DIRECTORY_ENTRY_RESOURCE, 0)
    return problems


def package(path):
    with open(os.path.join(PACKAGES, path), "rb") as f:
        return f.read()


# Each fixture the build packs: its packages as (stored name, architecture, source file).
def arch(n):
    return ("arch%d.msi" % n, n, "arch%d.msi" % n)


def plain(name):
    return (name, 1, name)


FIXTURE_TABLE = {
    "pack-empty": [],
    "pack-arch-1": [arch(1)],
    "pack-arch-2": [arch(2)],
    "pack-arch-3": [arch(3)],
    "pack-arch-7": [arch(7)],
    "pack-arch-mix": [arch(1), arch(2), arch(3), arch(7)],
    "pack-64k": [plain("block-65536.msi")],
    "pack-64k1": [plain("block-65537.msi")],
    "pack-msi-cab": [plain("product.msi"), plain("product.cab")],
    "pack-255": [plain("pkg000.msi")] + [plain("pkg%03d.cab" % i) for i in range(1, 255)],
    "pack-signed": [arch(3)],
}
MSI_DIR = os.path.join(BUILD, "fixtures", "msi")
DIGEST_PACKAGES = [("plain.msi", 1, os.path.join(MSI_DIR, "plain.msi")), plain("product.cab"), plain("pkg254.cab")]
# Installers packed by a layout without digests carry none, as they did before them.
UNDIGESTED = {"install-undigested"}
FIXTURE_TABLE.update({"install-digests": DIGEST_PACKAGES, "install-undigested": DIGEST_PACKAGES})
DEMO_SETUP = os.path.join(BUILD, "bin", "Setup.exe")
DEMO_PACKAGES = [("NimbrelDemo.msi", 3, os.path.join(BUILD, "examples", "NimbrelDemo.msi")),
                 ("NimbrelDemoDocs.msi", 1, os.path.join(BUILD, "examples", "NimbrelDemoDocs.msi"))]


class PackedFixtures(unittest.TestCase):
    """Every fixture carries exactly its payload, and the stub's own image around it."""

    @classmethod
    def setUpClass(cls):
        cls.stub_pe, cls.stub_resources = resources(STUB)

    def check_payload(self, found, expected, digests=True):
        payload = {k: v for k, v in found.items() if k[0] == RT_RCDATA}
        want = {}
        manifest = b"NimbInstV1".ljust(15, b"\0") + bytes([len(expected)])
        want[(RT_RCDATA, "MANIFEST", LANG_EN_US)] = manifest
        crcs = []
        for i, (name, architecture, source) in enumerate(expected):
            header = struct.pack("<I", architecture) + ("BIN_%02d" % i).encode().ljust(28, b"\0") \
                + name.encode().ljust(224, b"\0")
            want[(RT_RCDATA, "HDR_%02d" % i, LANG_EN_US)] = header
            want[(RT_RCDATA, "BIN_%02d" % i, LANG_EN_US)] = package(source)
            crcs.append(zlib.crc32(package(source)))
        if digests:
            want[(RT_RCDATA, "DIGESTS", LANG_EN_US)] = struct.pack("<%dI" % (1 + len(crcs)), len(crcs), *crcs)
        self.assertEqual(sorted(payload), sorted(want))
        for key, data in want.items():
            self.assertEqual(payload[key][0], data, key)

    def check_image(self, path, stub=None):
        """Checks a packed image against its stub (by default NimbStub.exe)."""
        stub_pe, stub_resources = stub or (self.stub_pe, self.stub_resources)
        pe, found = resources(path)
        # pefile also guesses at damage from how often one byte value occurs (icons are
        # full of 0xff): only its structural warnings count.
        self.assertEqual([w for w in pe.get_warnings() if not w.startswith("Byte 0x")], [])
        # Signing computes the checksum; the packer leaves none rather than a stale one.
        signed = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]].Size
        self.assertEqual(pe.OPTIONAL_HEADER.CheckSum, pe.generate_checksum() if signed else 0)
        self.assertEqual(directory_order_problems(pe), [])
        # The stub's own resources, byte for byte and with their code pages.
        for key, value in stub_resources.items():
            self.assertEqual(found.get(key), value, key)
        # Code and data sections are untouched and in place; relocations only moved.
        stub_sections = {s.Name: s for s in stub_pe.sections}
        for s in pe.sections:
            if s.Name.rstrip(b"\0") in (b".rsrc", b".reloc"):
                continue
            old = stub_sections[s.Name]
            self.assertEqual((s.VirtualAddress, s.Misc_VirtualSize, s.get_data()),
                             (old.VirtualAddress, old.Misc_VirtualSize, old.get_data()), s.Name)
        reloc = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
        stub_reloc = stub_pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
        self.assertEqual(pe.get_data(reloc.VirtualAddress, reloc.Size),
                         stub_pe.get_data(stub_reloc.VirtualAddress, stub_reloc.Size))
        last = pe.sections[-1]
        self.assertEqual(pe.OPTIONAL_HEADER.SizeOfImage,
                         -(-(last.VirtualAddress + last.Misc_VirtualSize) // pe.OPTIONAL_HEADER.SectionAlignment)
                         * pe.OPTIONAL_HEADER.SectionAlignment)
        return pe, found

    def test_fixtures(self):
        table = [(os.path.join(FIXTURES, name + ".exe"), expected) for name, expected in FIXTURE_TABLE.items()]
        for path, expected in table + [(DEMO_SETUP, DEMO_PACKAGES)]:
            with self.subTest(path):
                _, found = self.check_image(path)
                self.check_payload(found, expected, os.path.basename(path)[:-4] not in UNDIGESTED)

    def test_stub_without_resources(self):
        """A program with no resources of its own gets a resource section, placed before
        its relocations."""
        with tempfile.TemporaryDirectory() as tmp:
            program, out = os.path.join(tmp, "program.exe"), os.path.join(tmp, "out.exe")
            subprocess.run(["i686-w64-mingw32-strip", "-o", program, os.path.join(BUILD, "programs", "minimal-exit.exe")],
                           check=True)
            result = run_packer("--stub", program, "--output", out, "--package", os.path.join(PACKAGES, "arch3.msi"), "3")
            self.assertEqual((result.returncode, result.stderr), (0, ""))
            stub = resources(program)
            self.assertEqual(stub[1], {})
            pe, found = self.check_image(out, stub)
            self.check_payload(found, [arch(3)])
            self.assertEqual([s.Name.rstrip(b"\0") for s in pe.sections],
                             [s.Name.rstrip(b"\0") for s in stub[0].sections][:-1] + [b".rsrc", b".reloc"])

    def test_names_at_the_limits(self):
        """The longest stored name, a non-ASCII one (stored as UTF-8) and suffixes in
        capitals are accepted."""
        with tempfile.TemporaryDirectory() as tmp:
            src = os.path.join(PACKAGES, "arch1.msi")
            longest = "n" * 219 + ".MSI"
            out = os.path.join(tmp, "out.exe")
            result = run_packer("--stub", STUB, "--output", out, "--package", src, "any", longest,
                                "--package", src, "x86", "Prod\u00fckt.Cab")
            self.assertEqual((result.returncode, result.stderr), (0, ""))
            _, found = self.check_image(out)
            headers = [found[(RT_RCDATA, "HDR_%02d" % i, LANG_EN_US)][0] for i in range(2)]
            self.assertEqual(headers[0][32:], longest.encode() + b"\0")
            self.assertEqual(headers[1][32:].rstrip(b"\0"), "Prod\u00fckt.Cab".encode("utf-8"))
            self.assertEqual(len(longest.encode()), 223)


class Refusals(unittest.TestCase):
    """Each bad input gets one line naming the problem, exit code 1, and leaves no file:
    not the output, not a temporary, and an existing output stays as it was."""

    def test_refusals(self):
        with tempfile.TemporaryDirectory() as tmp:
            good = os.path.join(PACKAGES, "arch1.msi")
            empty = os.path.join(tmp, "empty.msi")
            open(empty, "wb").close()
            not_pe = os.path.join(tmp, "notes.exe")
            with open(not_pe, "wb") as f:
                f.write(b"MZ but nothing more")
            huge = os.path.join(tmp, "huge.msi")
            with open(huge, "wb") as f:
                f.truncate(2 << 30)                    # sparse: takes no disk
            missing = os.path.join(tmp, "missing.msi")
            fifo = os.path.join(tmp, "pipe.msi")
            os.mkfifo(fifo)
            many = []
            for i in range(256):
                many += ["--package", good, "any", "p%03d.msi" % i]
            signed = os.path.join(FIXTURES, "pack-signed.exe")
            packed = os.path.join(FIXTURES, "pack-arch-1.exe")
            unstripped = os.path.join(BUILD, "programs", "minimal-exit.exe")
            trailing = os.path.join(tmp, "trailing.exe")
            with open(STUB, "rb") as f, open(trailing, "wb") as g:
                g.write(f.read() + b"appended")

            def pkg(*names, path=good, arch="any"):
                return [a for n in names for a in ("--package", path, arch, n)]

            not_plain = "nimbpack: error: package file name '%s' is not a plain file name: %s"
            cases = [
                (["--package", missing, "any"],
                 "nimbpack: error: cannot read package '%s': No such file or directory" % missing),
                (["--package", tmp, "any", "dir.msi"],
                 "nimbpack: error: package '%s' is not a regular file" % tmp),
                (["--package", fifo, "any", "pipe.msi"],
                 "nimbpack: error: package '%s' is not a regular file" % fifo),
                (["--package", empty, "any"], "nimbpack: error: package '%s' is empty" % empty),
                (pkg("sub/app.msi"), not_plain % ("sub/app.msi", "it contains a path separator")),
                (pkg("sub\\app.msi"), not_plain % ("sub\\app.msi", "it contains a path separator")),
                (pkg("C:app.msi"), not_plain % ("C:app.msi", "it contains a drive letter or stream name (':')")),
                (pkg("."), not_plain % (".", "it names no file")),
                (pkg(".."), not_plain % ("..", "it names no file")),
                (pkg("CON.msi"), not_plain % ("CON.msi", "it is a reserved device name")),
                (pkg("nul.cab"), not_plain % ("nul.cab", "it is a reserved device name")),
                (pkg("Com1 .msi"), not_plain % ("Com1 .msi", "it is a reserved device name")),
                (pkg("lpt9.msi"), not_plain % ("lpt9.msi", "it is a reserved device name")),
                (pkg("n" * 220 + ".msi"), not_plain % ("n" * 220 + ".msi", "it is 224 bytes long, more than 223")),
                (pkg("a\tb.msi"), not_plain % ("a\\x09b.msi", "it contains a control character")),
                (pkg("a\nb.msi"), not_plain % ("a\\x0ab.msi", "it contains a control character")),
                (pkg("a\x7fb.msi"), not_plain % ("a\\x7fb.msi", "it contains a control character")),
                (pkg("a?.msi"), not_plain % ("a?.msi", 'it contains one of <>"|?*')),
                (pkg("app.exe"), "nimbpack: error: package file name 'app.exe' does not end in .msi or .cab"),
                (pkg("app.msi.bak"), "nimbpack: error: package file name 'app.msi.bak' does not end in .msi or .cab"),
                (pkg("msi"), "nimbpack: error: package file name 'msi' does not end in .msi or .cab"),
                (pkg("app.msi", "x.cab", "App.MSI"),
                 "nimbpack: error: two packages have the same file name: 'app.msi' and 'App.MSI'"),
                (many, "nimbpack: error: too many packages: 256, at most 255"),
                (["--package", huge, "any"],
                 re.compile(r"nimbpack: error: the packages total 2147483648 bytes: the executable would take "
                            r"2147\d{6} bytes of memory, more than a 32-bit process can load \(less than 2147483648\)")),
                (pkg("a.msi", arch="arm64"),
                 "nimbpack: error: unknown architecture 'arm64' (use any, x86, amd64 or a number)"),
                (pkg("a.msi", arch="4294967296"),
                 "nimbpack: error: unknown architecture '4294967296' (use any, x86, amd64 or a number)"),
                (["--stub", not_pe] + pkg("a.msi"),
                 "nimbpack: error: stub '%s' is not a 32-bit Windows executable" % not_pe),
                (["--stub", missing] + pkg("a.msi"),
                 "nimbpack: error: cannot read stub '%s': No such file or directory" % missing),
                (["--stub", packed] + pkg("a.msi"),
                 "nimbpack: error: the stub already carries packages: pack a stub fresh from the build"),
                (["--stub", signed] + pkg("a.msi"),
                 "nimbpack: error: stub '%s' is signed: pack an unsigned stub" % signed),
                (["--stub", unstripped] + pkg("a.msi"),
                 "nimbpack: error: stub '%s' carries a symbol table: pack a stripped stub" % unstripped),
                (["--stub", trailing] + pkg("a.msi"),
                 "nimbpack: error: stub '%s' carries data after its last section" % trailing),
            ]
            out = os.path.join(tmp, "Setup.exe")
            with open(out, "wb") as f:
                f.write(b"an earlier build")
            before = sorted(os.listdir(tmp))
            for args, message in cases:
                with self.subTest(message):
                    if "--stub" not in args:
                        args = ["--stub", STUB] + args
                    result = run_packer(*args, "--output", out)
                    self.assertEqual(result.returncode, 1)
                    if isinstance(message, str):
                        self.assertEqual(result.stderr, message + "\n")
                    else:
                        self.assertRegex(result.stderr, "^" + message.pattern + "\n$")
                    self.assertEqual(sorted(os.listdir(tmp)), before)
                    with open(out, "rb") as f:
                        self.assertEqual(f.read(), b"an earlier build")

    def test_layouts_asking_for_digests_it_cannot_record(self):
        """A layout with only some of the digest constants, or naming another checksum, is
        refused rather than packed with digests the stub would find wrong."""
        with open(os.path.join(SOURCE, "Installer", "win", "Stub", "NimbStubPayload.h")) as f:
            header = f.read()
        check = "PAYLOAD_DIGEST_CHECK_VALUE      = 0xCBF43926u;"
        self.assertIn(check, header)
        cases = [(header.replace(check, ""), "nimbpack: error: the payload layout lacks PAYLOAD_DIGEST_CHECK_VALUE"),
                 (header.replace(check, check.replace("0xCBF43926u", "0xE3069283u")),
                  "nimbpack: error: the payload layout asks for digests other than the CRC-32 this packer records")]
        for text, message in cases:
            with self.subTest(message), tempfile.TemporaryDirectory() as tmp:
                layout, out = os.path.join(tmp, "layout.h"), os.path.join(tmp, "Setup.exe")
                with open(layout, "w") as f:
                    f.write(text)
                result = run_packer("--stub", STUB, "--output", out, "--layout", layout,
                                    "--package", os.path.join(PACKAGES, "arch1.msi"), "any")
                self.assertEqual((result.returncode, result.stderr), (1, message + "\n"))
                self.assertEqual(sorted(os.listdir(tmp)), ["layout.h"])

    def test_failed_signing_leaves_nothing(self):
        with tempfile.TemporaryDirectory() as tmp:
            out = os.path.join(tmp, "Setup.exe")
            # A certificate in place of the key: osslsigncode refuses it.
            result = run_packer("--stub", STUB, "--output", out, "--package", os.path.join(PACKAGES, "arch3.msi"),
                                "amd64", "--sign-key", SIGN_CERT, "--sign-cert", SIGN_CERT)
            self.assertEqual(result.returncode, 1)
            self.assertRegex(result.stderr, r"^nimbpack: error: signing failed: [^\n]+\n$")
            self.assertEqual(os.listdir(tmp), [])

    def test_output_in_a_missing_directory(self):
        with tempfile.TemporaryDirectory() as tmp:
            out = os.path.join(tmp, "no", "Setup.exe")
            result = run_packer("--stub", STUB, "--output", out)
            self.assertEqual((result.returncode, result.stderr),
                             (1, "nimbpack: error: cannot write '%s': No such file or directory\n" % out))
            self.assertEqual(os.listdir(tmp), [])

    def test_usage_errors(self):
        """Exit code 2, the usage and then the problem."""
        for args, problem in (
                (["--output", "x.exe"], "the following arguments are required: --stub"),
                (["--stub", STUB, "--output", "x.exe", "--sign-key", SIGN_KEY], "--sign-key and --sign-cert go together"),
                (["--stub", STUB, "--output", "x.exe", "--package", "a.msi"], "--package takes FILE ARCH [NAME], not 1 values"),
                (["--stub", STUB, "--output", "x.exe", "--package", "a.msi", "any", "a.msi", "extra"],
                 "--package takes FILE ARCH [NAME], not 4 values")):
            with self.subTest(args), tempfile.TemporaryDirectory() as tmp:
                result = subprocess.run([sys.executable, PACKER, *args], cwd=tmp, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True)
                self.assertEqual(result.returncode, 2)
                self.assertTrue(result.stderr.startswith("usage: nimbpack "), result.stderr)
                self.assertTrue(result.stderr.endswith("\nnimbpack: error: %s\n" % problem), result.stderr)
                self.assertEqual(os.listdir(tmp), [])


class Reproducible(unittest.TestCase):
    """The same inputs give the same bytes, signed or not, and the build's fixtures are
    what the command gives by hand."""

    def test_same_inputs_same_bytes(self):
        args = ["--stub", STUB, "--package", os.path.join(PACKAGES, "product.msi"), "any",
                "--package", os.path.join(PACKAGES, "product.cab"), "any"]
        sign = ["--sign-key", SIGN_KEY, "--sign-cert", SIGN_CERT, "--sign-time", "1700000000"]
        with tempfile.TemporaryDirectory() as tmp:
            outputs = []
            for n, extra in enumerate([[], [], sign, sign]):
                out = os.path.join(tmp, "out%d.exe" % n)
                self.assertEqual(run_packer(*args, *extra, "--output", out).returncode, 0)
                with open(out, "rb") as f:
                    outputs.append(f.read())
            self.assertEqual(outputs[0], outputs[1])
            self.assertEqual(outputs[2], outputs[3])
            self.assertNotEqual(outputs[0], outputs[2])
            with open(os.path.join(FIXTURES, "pack-msi-cab.exe"), "rb") as f:
                self.assertEqual(f.read(), outputs[0])


    def test_copy_without_the_kernel(self):
        """Where the kernel cannot copy between the files, reading and writing gives the
        same bytes."""
        sys.path.insert(0, os.path.dirname(PACKER))
        import packing
        with tempfile.TemporaryDirectory() as tmp, \
                mock.patch.object(os, "copy_file_range", side_effect=OSError(errno.EXDEV, "cross-device")):
            out = os.path.join(tmp, "out.exe")
            self.assertEqual(packing.main(["--stub", STUB, "--output", out,
                                            "--package", os.path.join(PACKAGES, "product.msi"), "any",
                                            "--package", os.path.join(PACKAGES, "product.cab"), "any"]), 0)
            with open(out, "rb") as f, open(os.path.join(FIXTURES, "pack-msi-cab.exe"), "rb") as g:
                self.assertEqual(f.read(), g.read())


class Signature(unittest.TestCase):
    """osslsigncode accepts a signed installer against the test certificate, and refuses
    it once any byte changes, in a package or in the code."""

    def verify(self, path):
        result = subprocess.run(["osslsigncode", "verify", "-CAfile", SIGN_CERT, "-in", path],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        return result.returncode == 0 and "Succeeded" in result.stdout

    def test_signed_installers(self):
        for path in (os.path.join(FIXTURES, "pack-signed.exe"), DEMO_SETUP):
            with self.subTest(path):
                self.assertTrue(self.verify(path))
                pe = pefile.PE(path)
                blob = [e for t in pe.DIRECTORY_ENTRY_RESOURCE.entries if t.id == RT_RCDATA
                        for e in t.directory.entries if str(e.name) == "BIN_00"][0]
                blob_offset = pe.get_offset_from_rva(blob.directory.entries[0].data.struct.OffsetToData)
                code_offset = pe.sections[0].PointerToRawData + 0x100
                with open(path, "rb") as f:
                    data = bytearray(f.read())
                for where, offset in (("package", blob_offset + 7), ("code", code_offset)):
                    with tempfile.TemporaryDirectory() as tmp:
                        flipped = bytearray(data)
                        flipped[offset] ^= 0x01
                        copy = os.path.join(tmp, "flipped.exe")
                        with open(copy, "wb") as f:
                            f.write(flipped)
                        self.assertFalse(self.verify(copy), where)


if __name__ == "__main__":
    unittest.main(verbosity=1)
