#!/usr/bin/python3
"""Packing, checked from outside: the packed executables are read back with Debian's
pefile (not our code): payload, version block, icon group and the publisher certificate
the stub carries; the refusals are run one by one; signatures and timestamps are checked
with osslsigncode and OpenSSL, the timestamps coming from a time-stamping authority this
test runs on the loopback address. Needs the build's fixture installers (target
fixture-installers)."""
import errno
import hashlib
import http.server
import os
import re
import shutil
import socket
import stat
import struct
import subprocess
import sys
import tempfile
import threading
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

PUBLISHER_DER = os.path.join(CERT_DIR, "test-publisher.cer")

RT_ICON, RT_RCDATA, RT_GROUP_ICON, RT_VERSION = 3, 10, 14, 16
LANG_EN_US = 1033


def run_packer(*args, env=None):
    return subprocess.run([sys.executable, PACKER, *args], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True, env=env)


def openssl(*args, input=None):
    result = subprocess.run(["openssl", *args], input=input, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, check=True)
    return result.stdout


def describe(path, form="PEM"):
    """A certificate as the packer names it, as OpenSSL reads it: '"SUBJECT" (SHA-1 HEX)'."""
    subject = openssl("x509", "-inform", form, "-in", path, "-noout", "-subject",
                      "-nameopt", "sep_comma_plus_space,utf8").decode().strip()
    fingerprint = openssl("x509", "-inform", form, "-in", path, "-noout", "-fingerprint", "-sha1").decode()
    return '"%s" (SHA-1 %s)' % (subject.partition("=")[2], fingerprint.strip().partition("=")[2].replace(":", ""))


class Material:
    """Signing material made once with openssl: a vendor's key and certificate (plain and
    with its key encrypted), the same as a PKCS#12 file, and the passphrase in a file."""
    PASSPHRASE = "correct horse"
    _dir = None

    @classmethod
    def get(cls):
        if cls._dir is None:
            cls._dir = tempfile.TemporaryDirectory(prefix="nimbpack-material.")
            d = cls.dir = cls._dir.name
            cls.key, cls.cert = os.path.join(d, "vendor.key.pem"), os.path.join(d, "vendor.cert.pem")
            cls.encrypted, cls.pkcs12 = os.path.join(d, "vendor.enc.pem"), os.path.join(d, "vendor.pfx")
            cls.pass_file, cls.wrong_pass = os.path.join(d, "pass.txt"), os.path.join(d, "wrong.txt")
            openssl("req", "-x509", "-newkey", "rsa:2048", "-sha256", "-nodes", "-days", "3650",
                    "-subj", "/CN=Acme Release Signing/O=Acme Ltd", "-addext", "extendedKeyUsage=codeSigning",
                    "-keyout", cls.key, "-out", cls.cert)
            openssl("pkey", "-in", cls.key, "-aes256", "-passout", "pass:" + cls.PASSPHRASE, "-out", cls.encrypted)
            openssl("pkcs12", "-export", "-inkey", cls.key, "-in", cls.cert, "-passout", "pass:" + cls.PASSPHRASE,
                    "-out", cls.pkcs12)
            with open(cls.pass_file, "w") as f:
                f.write(cls.PASSPHRASE + "\n")
            with open(cls.wrong_pass, "w") as f:
                f.write("battery staple\n")
        return cls


def free_port():
    """A loopback port nothing listens on: connecting to it is refused."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def verify_signature(path, ca, tsa_ca=None):
    """osslsigncode's verdict and report on a signed file."""
    command = ["osslsigncode", "verify", "-CAfile", ca, "-in", path]
    if tsa_ca:
        command[2:2] = ["-TSA-CAfile", tsa_ca]
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    return result.returncode == 0 and "Succeeded" in result.stdout, result.stdout


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
    "pack-branded": [arch(1)],
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

    def check_image(self, path, stub=None, rewritten=()):
        """Checks a packed image against its stub (by default NimbStub.exe); resources of
        the types REWRITTEN (branding) are the branding tests' to check."""
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
            if key[0] not in rewritten:
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
                branded = (RT_ICON, RT_GROUP_ICON, RT_VERSION) if "branded" in path else ()
                _, found = self.check_image(path, rewritten=branded)
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

    def test_names_and_architectures_at_the_limits(self):
        """The longest stored name, a non-ASCII one (stored as UTF-8), suffixes in capitals,
        and x64 as a spelling of amd64 (a package's, not a cabinet's) are accepted."""
        with tempfile.TemporaryDirectory() as tmp:
            src = os.path.join(PACKAGES, "arch1.msi")
            longest = "n" * 219 + ".MSI"
            out = os.path.join(tmp, "out.exe")
            result = run_packer("--stub", STUB, "--output", out, "--package", src, "any", longest,
                                "--package", src, "ANY", "Prod\u00fckt.Cab", "--package", src, "x64", "wide.msi")
            self.assertEqual((result.returncode, result.stderr), (0, ""))
            _, found = self.check_image(out)
            headers = [found[(RT_RCDATA, "HDR_%02d" % i, LANG_EN_US)][0] for i in range(3)]
            self.assertEqual(headers[0][32:], longest.encode() + b"\0")
            self.assertEqual(headers[1][32:].rstrip(b"\0"), "Prod\u00fckt.Cab".encode("utf-8"))
            self.assertEqual([struct.unpack_from("<I", h)[0] for h in headers], [1, 1, 3])
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

            not_icon_image = os.path.join(tmp, "gif.ico")
            with open(not_icon_image, "wb") as f:
                gif = b"GIF89a" + bytes(40)
                f.write(struct.pack("<HHHBBBBHHII", 0, 1, 1, 16, 16, 0, 0, 1, 32, len(gif), 22) + gif)
            m = Material.get()
            closed = ["http://127.0.0.1:%d/" % free_port() for _ in range(2)]

            def pkg(*names, path=good, arch="any"):
                return [a for n in names for a in ("--package", path, arch, n)]

            def signed_by(*signing):
                return pkg("a.msi") + list(signing)

            not_plain = "nimbpack: error: package file name '%s' is not a plain file name: %s"
            misplaced_cab = ("nimbpack: error: cabinet 'product.cab' is marked %s: it would be extracted under a "
                             "random name, where its MSI cannot find it; mark it any")
            own_publisher = "configure the build with -DNIMB_PUBLISHER_CERT=FILE.cer (your certificate, DER) " \
                            "and pack its stub"
            missing_folder = os.path.join(tmp, "no", "Setup.exe")
            cases = [
                ([], "nimbpack: error: no package to pack: name each with --package FILE ARCH"),
                (pkg("product.msi", "product.cab", arch="x86"), misplaced_cab % "x86"),
                (pkg("product.cab", arch="amd64"), misplaced_cab % "amd64"),
                (pkg("product.cab", arch="x64"), misplaced_cab % "amd64"),
                (pkg("a.msi") + ["--output", tmp],
                 "nimbpack: error: output '%s' is a directory: name the executable to write" % tmp),
                (pkg("a.msi") + ["--output", missing_folder],
                 "nimbpack: error: cannot write '%s': its folder '%s' does not exist"
                 % (missing_folder, os.path.dirname(missing_folder))),
                (pkg("a.msi") + ["--icon", not_pe], "nimbpack: error: '%s' is not an icon file (.ico)" % not_pe),
                (pkg("a.msi") + ["--icon", not_icon_image],
                 "nimbpack: error: icon '%s' holds an image that is neither PNG nor a bitmap (image 1)"
                 % not_icon_image),
                (pkg("a.msi") + ["--version-info", "FileVersion=1.70000"],
                 "nimbpack: error: --version-info FileVersion=1.70000: each number of a version is at most 65535"),
                (pkg("a.msi") + ["--version-info", "Trademarks=Acme"],
                 "nimbpack: error: --version-info takes FIELD=VALUE with FIELD one of ProductName, CompanyName, "
                 "FileDescription, FileVersion, ProductVersion, LegalCopyright, OriginalFilename, InternalName, "
                 "Comments, not 'Trademarks=Acme'"),
                (pkg("a.msi") + ["--version-info", "Comments=a", "--version-info", "Comments=b"],
                 "nimbpack: error: --version-info Comments is given twice"),
                (signed_by("--sign-key", m.encrypted, "--sign-cert", m.cert),
                 "nimbpack: error: signing key '%s' is encrypted: give its passphrase with --sign-pass-file or "
                 "--sign-pass-env" % m.encrypted),
                (signed_by("--sign-key", m.encrypted, "--sign-cert", m.cert, "--sign-pass-file", m.wrong_pass),
                 "nimbpack: error: cannot read signing key '%s': wrong passphrase?" % m.encrypted),
                (signed_by("--sign-pkcs12", m.pkcs12, "--sign-pass-file", m.wrong_pass),
                 "nimbpack: error: cannot open PKCS#12 file '%s': wrong passphrase, or not a PKCS#12 file" % m.pkcs12),
                (signed_by("--sign-pkcs12", m.pkcs12, "--sign-pass-env", "NIMB_TEST_NO_SUCH_VARIABLE"),
                 "nimbpack: error: environment variable 'NIMB_TEST_NO_SUCH_VARIABLE' (--sign-pass-env) is not set"),
                (signed_by("--sign-key", SIGN_CERT, "--sign-cert", SIGN_CERT),
                 "nimbpack: error: cannot read signing key '%s': not a private key (PEM)" % SIGN_CERT),
                (signed_by("--sign-key", m.key, "--sign-cert", SIGN_CERT),
                 "nimbpack: error: signing certificate '%s' does not go with the key '%s'" % (SIGN_CERT, m.key)),
                (signed_by("--expect-publisher", m.cert),
                 "nimbpack: error: the stub's publisher certificate is %s, not %s from '%s': %s"
                 % (describe(PUBLISHER_DER, "DER"), describe(m.cert), m.cert, own_publisher)),
                (signed_by("--sign-key", SIGN_KEY, "--sign-cert", SIGN_CERT,
                           "--timestamp-url", closed[0], "--timestamp-url", closed[1]),
                 "nimbpack: error: no time-stamping server answered (%s: Connection refused; %s: Connection refused): "
                 "nothing was written" % tuple(closed)),
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
                 "nimbpack: error: unknown architecture 'arm64' (use any, x86, amd64 or x64, or a number)"),
                (pkg("a.msi", arch="4294967296"),
                 "nimbpack: error: unknown architecture '4294967296' (use any, x86, amd64 or x64, or a number)"),
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
                    if "--output" not in args:
                        args = args + ["--output", out]
                    result = run_packer(*args)
                    self.assertEqual(result.returncode, 1)
                    if isinstance(message, str):
                        self.assertEqual(result.stderr, message + "\n")
                    else:
                        self.assertRegex(result.stderr, "^" + message.pattern + "\n$")
                    self.assertEqual(result.stdout, "")
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
        """osslsigncode failing after it has begun its output: its message, and neither
        its partial output nor the unsigned image stays."""
        with tempfile.TemporaryDirectory() as tmp:
            tools = os.path.join(tmp, "tools")
            os.mkdir(tools)
            with open(os.path.join(tools, "osslsigncode"), "w") as f:
                f.write('#!/bin/sh\nwhile [ $# -gt 0 ]; do [ "$1" = -out ] && echo partial > "$2"; shift; done\n'
                        'echo "Failed to write the signature" >&2\nexit 1\n')
            os.chmod(os.path.join(tools, "osslsigncode"), 0o755)
            out = os.path.join(tmp, "Setup.exe")
            result = run_packer("--stub", STUB, "--output", out, "--package", os.path.join(PACKAGES, "arch3.msi"),
                                "amd64", "--sign-key", SIGN_KEY, "--sign-cert", SIGN_CERT,
                                env=dict(os.environ, PATH=tools + os.pathsep + os.environ["PATH"]))
            self.assertEqual((result.returncode, result.stderr),
                             (1, "nimbpack: error: signing failed: Failed to write the signature\n"))
            self.assertEqual(os.listdir(tmp), ["tools"])

    def test_usage_errors(self):
        """Exit code 2, the usage and then the problem."""
        for args, problem in (
                (["--output", "x.exe"], "the following arguments are required: --stub"),
                (["--stub", STUB, "--output", "x.exe", "--sign-key", SIGN_KEY], "--sign-key and --sign-cert go together"),
                (["--stub", STUB, "--output", "x.exe", "--package", "a.msi"], "--package takes FILE ARCH [NAME], not 1 values"),
                (["--stub", STUB, "--output", "x.exe", "--package", "a.msi", "any", "a.msi", "extra"],
                 "--package takes FILE ARCH [NAME], not 4 values"),
                (["--stub", STUB, "--output", "x.exe", "--sign-pkcs12", "a.pfx", "--sign-key", "k", "--sign-cert", "c"],
                 "--sign-pkcs12 takes the place of --sign-key and --sign-cert"),
                (["--stub", STUB, "--output", "x.exe", "--sign-pkcs12", "a.pfx", "--sign-pass-file", "p",
                  "--sign-pass-env", "P"], "--sign-pass-file and --sign-pass-env exclude each other"),
                (["--stub", STUB, "--output", "x.exe", "--sign-pass-env", "P"],
                 "--sign-pass-env needs a signing key (--sign-key or --sign-pkcs12)"),
                (["--stub", STUB, "--output", "x.exe", "--timestamp-url", "http://127.0.0.1/"],
                 "--timestamp-url needs a signing key (--sign-key or --sign-pkcs12)"),
                (["--stub", STUB, "--output", "x.exe", "--sign-pkcs12", "a.pfx", "--timestamp-url", "ftp://tsa/"],
                 "argument --timestamp-url: not an http or https address: 'ftp://tsa/'")):
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
        brand = ["--version-info", "ProductName=Acme", "--version-info", "FileVersion=2.0",
                 "--icon", os.path.join(BUILD, "fixtures", "branded.ico")]
        with tempfile.TemporaryDirectory() as tmp:
            outputs = []
            for n, extra in enumerate([[], [], sign, sign, brand, brand]):
                out = os.path.join(tmp, "out%d.exe" % n)
                self.assertEqual(run_packer(*args, *extra, "--output", out).returncode, 0)
                with open(out, "rb") as f:
                    outputs.append(f.read())
            self.assertEqual(outputs[0], outputs[1])
            self.assertEqual(outputs[2], outputs[3])
            self.assertEqual(outputs[4], outputs[5])
            self.assertNotEqual(outputs[0], outputs[2])
            self.assertNotEqual(outputs[0], outputs[4])
            with open(os.path.join(FIXTURES, "pack-msi-cab.exe"), "rb") as f:
                self.assertEqual(f.read(), outputs[0])


    def test_layout_header_may_grow(self):
        """Constants the payload header gains (a new resource, sizes, expressions, types,
        comments after a value) leave what the packer writes as it was."""
        with open(os.path.join(SOURCE, "Installer", "win", "Stub", "NimbStubPayload.h")) as f:
            header = f.read()
        self.assertIn("PAYLOAD_MAX_PACKAGES = 255;", header)
        header = header.replace("PAYLOAD_MAX_PACKAGES = 255;", "PAYLOAD_MAX_PACKAGES = 255;  /**< one byte */")
        header += """
/** Resource "CHECKS": one record per package. */
inline constexpr char PAYLOAD_CHECK_NAME[] = "CHECKS"; /**< its name */
inline constexpr uint32_t PAYLOAD_CHECK_SIZE = 8u;  // bytes per package
inline constexpr uint32_t PAYLOAD_CHECK_TOTAL = PAYLOAD_CHECK_SIZE * PAYLOAD_MAX_PACKAGES;
enum PackageCheckKind : uint32_t
{
    PACKAGE_CHECK_NONE = 0, /**< none */
};
struct PackageCheck { uint8_t bytes[PAYLOAD_CHECK_SIZE]; };
static_assert(sizeof(PackageCheck) == 8, "a check is 8 bytes");
"""
        with tempfile.TemporaryDirectory() as tmp:
            layout, out = os.path.join(tmp, "NimbStubPayload.h"), os.path.join(tmp, "out.exe")
            with open(layout, "w") as f:
                f.write(header)
            result = run_packer("--stub", STUB, "--output", out, "--layout", layout,
                                "--package", os.path.join(PACKAGES, "product.msi"), "any",
                                "--package", os.path.join(PACKAGES, "product.cab"), "any")
            self.assertEqual(result.returncode, 0, result.stderr)
            with open(out, "rb") as f, open(os.path.join(FIXTURES, "pack-msi-cab.exe"), "rb") as g:
                self.assertEqual(f.read(), g.read())

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


class PublisherCertificate(unittest.TestCase):
    """The summary names the publisher certificate the stub carries, which is the build's
    DER file (OpenSSL names it, pefile finds its bytes in the stub's data); a signer other
    than the publisher is warned about; --expect-publisher holds a run to the publisher."""

    def test_stub_carries_the_build_publisher(self):
        with open(PUBLISHER_DER, "rb") as f:
            der = f.read()
        pe = pefile.PE(STUB)
        holders = [s.Name.rstrip(b"\0") for s in pe.sections if der in s.get_data()]
        self.assertEqual(holders, [b".rdata"])

    def test_summary_and_warning(self):
        m = Material.get()
        publisher = describe(PUBLISHER_DER, "DER")
        own_publisher = "configure the build with -DNIMB_PUBLISHER_CERT=FILE.cer (your certificate, DER) " \
                        "and pack its stub"
        msi, cab = os.path.join(PACKAGES, "product.msi"), os.path.join(PACKAGES, "product.cab")
        cases = [
            # (signing, stderr)
            ([], ""),
            (["--sign-key", SIGN_KEY, "--sign-cert", SIGN_CERT, "--expect-publisher", PUBLISHER_DER], ""),
            (["--sign-key", m.key, "--sign-cert", m.cert, "--expect-publisher", SIGN_CERT],
             "nimbpack: warning: signed by %s, but silent installs add the stub's publisher certificate %s to the "
             "trusted publishers; to have yours trusted, %s\n" % (describe(m.cert), publisher, own_publisher)),
        ]
        for signing, stderr in cases:
            with self.subTest(signing), tempfile.TemporaryDirectory() as tmp:
                out = os.path.join(tmp, "Setup.exe")
                result = run_packer("--stub", STUB, "--output", out, "--package", msi, "x64",
                                    "--package", cab, "any", "--sign-time", "1700000000", *signing)
                self.assertEqual((result.returncode, result.stderr), (0, stderr))
                signer = describe(signing[3]) if signing else None
                self.assertEqual(result.stdout,
                                 "nimbpack: wrote %s, %d bytes; packages: product.msi (amd64), product.cab (any); "
                                 "%s; publisher certificate %s\n"
                                 % (out, os.path.getsize(out),
                                    "signed by %s, not timestamped" % signer if signer else "not signed", publisher))

    def test_stub_without_a_certificate(self):
        """A stub that carries none says so, and cannot meet an expected publisher."""
        with tempfile.TemporaryDirectory() as tmp:
            program, out = os.path.join(tmp, "program.exe"), os.path.join(tmp, "out.exe")
            subprocess.run(["i686-w64-mingw32-strip", "-o", program, os.path.join(BUILD, "programs", "minimal-exit.exe")],
                           check=True)
            args = ["--stub", program, "--output", out, "--package", os.path.join(PACKAGES, "arch1.msi"), "any"]
            result = run_packer(*args)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertTrue(result.stdout.endswith("; not signed; no publisher certificate\n"), result.stdout)
            os.unlink(out)
            result = run_packer(*args, "--expect-publisher", PUBLISHER_DER)
            self.assertEqual(result.returncode, 1)
            self.assertTrue(result.stderr.startswith("nimbpack: error: the stub's publisher certificate is none, not %s"
                                                     % describe(PUBLISHER_DER, "DER")), result.stderr)
            self.assertEqual(os.listdir(tmp), ["program.exe"])


class SigningInputs(unittest.TestCase):
    """Every form of signing key signs with SHA-256 as its certificate's holder, and the
    passphrase never shows in the command line of a program the packer starts."""

    def test_keys_and_passphrases(self):
        m = Material.get()
        with tempfile.TemporaryDirectory() as tmp:
            # Stand-ins for openssl and osslsigncode that write down their arguments and
            # run the real programs.
            log = os.path.join(tmp, "commands.log")
            tools = os.path.join(tmp, "tools")
            os.mkdir(tools)
            for tool in ("openssl", "osslsigncode"):
                script = os.path.join(tools, tool)
                with open(script, "w") as f:
                    f.write('#!/bin/sh\nprintf "%s %%s\\n" "$*" >> %s\nexec %s "$@"\n' % (tool, log, shutil.which(tool)))
                os.chmod(script, 0o755)
            env = dict(os.environ, PATH=tools + os.pathsep + os.environ["PATH"], VENDOR_PASS=m.PASSPHRASE)
            cases = [
                ["--sign-key", m.key, "--sign-cert", m.cert],
                ["--sign-key", m.encrypted, "--sign-cert", m.cert, "--sign-pass-file", m.pass_file],
                ["--sign-key", m.encrypted, "--sign-cert", m.cert, "--sign-pass-env", "VENDOR_PASS"],
                ["--sign-pkcs12", m.pkcs12, "--sign-pass-file", m.pass_file],
                ["--sign-pkcs12", m.pkcs12, "--sign-pass-env", "VENDOR_PASS"],
            ]
            for signing in cases:
                with self.subTest(signing):
                    out = os.path.join(tmp, "Setup.exe")
                    result = run_packer("--stub", STUB, "--output", out, "--package", os.path.join(PACKAGES, "arch1.msi"),
                                        "any", *signing, env=env)
                    self.assertEqual(result.returncode, 0, result.stderr)
                    self.assertIn("; signed by %s, not timestamped;" % describe(m.cert), result.stdout)
                    ok, report = verify_signature(out, m.cert)
                    self.assertTrue(ok, report)
                    self.assertIn("Subject: /CN=Acme Release Signing/O=Acme Ltd", report)
                    self.assertRegex(report, r"Message digest algorithm\s*: SHA256")
                    os.unlink(out)
            with open(log) as f:
                commands = f.read()
            self.assertIn("osslsigncode sign -pkcs12 ", commands)
            self.assertNotIn(m.PASSPHRASE.split()[0], commands)


class TimeStampingAuthority:
    """An RFC 3161 authority on 127.0.0.1: a small HTTP server that hands each request to
    OpenSSL's ts command and keeps the time of every token it issued."""

    def __init__(self, directory):
        self.dir = directory
        self.key, self.cert = os.path.join(directory, "tsa.key.pem"), os.path.join(directory, "tsa.cert.pem")
        self.config = os.path.join(directory, "tsa.cnf")
        with open(self.config, "w") as f:
            f.write("[ req ]\ndistinguished_name = dn\n[ dn ]\n"
                    "[ tsa_ext ]\nbasicConstraints = CA:FALSE\nkeyUsage = critical,digitalSignature\n"
                    "extendedKeyUsage = critical,timeStamping\n"
                    "[ tsa ]\ndefault_tsa = tsa_config\n"
                    "[ tsa_config ]\nserial = %s\nsigner_cert = %s\nsigner_key = %s\nsigner_digest = sha256\n"
                    "default_policy = 1.2.3.4.1\ndigests = sha1, sha256, sha384, sha512\naccuracy = secs:1\n"
                    "ess_cert_id_alg = sha256\n" % (os.path.join(directory, "serial"), self.cert, self.key))
        with open(os.path.join(directory, "serial"), "w") as f:
            f.write("01\n")
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "3650", "-subj", "/CN=Nimbrel Test TSA",
                "-config", self.config, "-extensions", "tsa_ext", "-keyout", self.key, "-out", self.cert)
        self.times = []
        authority = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
                reply = subprocess.run(["openssl", "ts", "-reply", "-config", authority.config, "-queryfile",
                                        "/dev/stdin", "-out", "/dev/stdout"], input=query,
                                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
                text = subprocess.run(["openssl", "ts", "-reply", "-in", "/dev/stdin", "-text"], input=reply,
                                      stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=False).stdout
                authority.times += re.findall(r"^Time stamp: (.*)$", text.decode(), re.M)
                self.send_response(200)
                self.send_header("Content-Type", "application/timestamp-reply")
                self.send_header("Content-Length", str(len(reply)))
                self.end_headers()
                self.wfile.write(reply)

            def log_message(self, *args):
                pass

        self.server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
        self.url = "http://127.0.0.1:%d/" % self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()
        self.thread.join()


def timestamp_token(path, tmp):
    """The RFC 3161 token in a signed file's signature as OpenSSL's ASN.1 reader finds it,
    written to a file, and the imprint it must carry: the SHA-256 of the signer's
    signature value."""
    sig = os.path.join(tmp, "signature.der")
    subprocess.run(["osslsigncode", "extract-signature", "-in", path, "-out", sig], check=True,
                   stdout=subprocess.DEVNULL)
    with open(sig, "rb") as f:
        der = f.read()
    items = []
    for line in openssl("asn1parse", "-inform", "DER", "-in", sig).decode().splitlines():
        m = re.match(r"\s*(\d+):d=\s*(\d+)\s+hl=\s*(\d+)\s+l=\s*(\d+)\s+(?:prim|cons):\s*(.*)$", line)
        items.append((int(m[1]), int(m[2]), int(m[3]), int(m[4]), m[5].strip()))
    # The countersignature attribute: its identifier, a SET, and the token inside.
    at = [n for n, item in enumerate(items) if item[4].endswith(":1.3.6.1.4.1.311.3.3.1")][0]
    offset, _, header, length, _ = items[at + 2]
    token = os.path.join(tmp, "token.der")
    with open(token, "wb") as f:
        f.write(der[offset:offset + header + length])
    # The signer's signature value: the last OCTET STRING of the signer's record before it.
    offset, _, header, length, _ = [i for i in items[:at] if i[4].startswith("OCTET STRING") and i[1] == 5][-1]
    return token, hashlib.sha256(der[offset + header:offset + header + length]).hexdigest()


class Timestamps(unittest.TestCase):
    """Timestamps come from the first server that answers, and the countersignature
    verifies and carries the authority's time, not the signing time."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.tsa = TimeStampingAuthority(cls.tmp.name)

    @classmethod
    def tearDownClass(cls):
        cls.tsa.stop()
        cls.tmp.cleanup()

    def test_first_answering_server_stamps(self):
        m = Material.get()
        out = os.path.join(self.tmp.name, "Setup.exe")
        closed = "http://127.0.0.1:%d/" % free_port()
        result = run_packer("--stub", STUB, "--output", out, "--package", os.path.join(PACKAGES, "arch1.msi"), "any",
                            "--sign-pkcs12", m.pkcs12, "--sign-pass-file", m.pass_file, "--sign-time", "1700000000",
                            "--timestamp-url", closed, "--timestamp-url", self.tsa.url)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("; signed by %s, timestamped by %s;" % (describe(m.cert), self.tsa.url), result.stdout)
        self.assertEqual(len(self.tsa.times), 1)
        ok, report = verify_signature(out, m.cert, self.tsa.cert)
        self.assertTrue(ok, report)
        self.assertIn("Timestamp Server Signature verification: ok", report)
        self.assertEqual(re.findall(r"Timestamp time: (.*)", report), [self.tsa.times[0]])
        self.assertIn("Signing time: Nov 14 22:13:20 2023 GMT", report)
        self.assertNotIn("2023", self.tsa.times[0])
        # OpenSSL, reading the token out of the signature itself: the authority's
        # signature holds over the imprint of this file's signature, with its time.
        token, imprint = timestamp_token(out, self.tmp.name)
        verified = subprocess.run(["openssl", "ts", "-verify", "-digest", imprint, "-in", token, "-token_in",
                                   "-CAfile", self.tsa.cert], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.assertIn("Verification: OK", verified.stdout)
        text = openssl("ts", "-reply", "-in", token, "-token_in", "-token_out", "-text").decode()
        self.assertEqual(re.findall(r"^Time stamp: (.*)$", text, re.M), self.tsa.times)
        os.unlink(out)

    def test_silent_server_is_given_up(self):
        """A server that takes the connection and never answers holds the run only for the
        time allowed, then counts as not answering."""
        sys.path.insert(0, os.path.dirname(PACKER))
        import packing
        import signing
        with socket.socket() as silent, tempfile.TemporaryDirectory() as tmp, \
                mock.patch.object(signing, "TIMESTAMP_TIMEOUT", 3), \
                mock.patch("sys.stderr", new_callable=lambda: __import__("io").StringIO()) as err:
            silent.bind(("127.0.0.1", 0))
            silent.listen(1)
            url = "http://127.0.0.1:%d/" % silent.getsockname()[1]
            out = os.path.join(tmp, "Setup.exe")
            self.assertEqual(packing.main(["--stub", STUB, "--output", out, "--package",
                                           os.path.join(PACKAGES, "arch1.msi"), "any", "--sign-key", SIGN_KEY,
                                           "--sign-cert", SIGN_CERT, "--timestamp-url", url]), 1)
            self.assertEqual(err.getvalue(), "nimbpack: error: no time-stamping server answered (%s: no answer "
                                             "within 3 seconds): nothing was written\n" % url)
            self.assertEqual(os.listdir(tmp), [])


def icon_file_images(path):
    """The images of an .ico file: [(width, height, colours, planes, bit count, bytes)]."""
    with open(path, "rb") as f:
        data = f.read()
    count = struct.unpack_from("<H", data, 4)[0]
    images = []
    for i in range(count):
        w, h, colours, _, planes, bits, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        images.append((w, h, colours, planes, bits, data[offset:offset + size]))
    return images


def version_block(pe):
    strings = {k.decode(): v.decode() for info in pe.FileInfo[0] if info.Key == b"StringFileInfo"
               for t in info.StringTable for k, v in t.entries.items()}
    fixed = pe.VS_FIXEDFILEINFO[0]
    return strings, (fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS, fixed.ProductVersionLS)


class Branding(unittest.TestCase):
    """The vendor's version block strings and numbers and icon, read back with pefile;
    what is not branded stays the stub's."""

    def test_branded_fixture(self):
        """The fixture the build brands through nimb_pack_installer()."""
        stub = pefile.PE(STUB)
        stub_strings, stub_fixed = version_block(stub)
        pe, found = resources(os.path.join(FIXTURES, "pack-branded.exe"))
        strings, fixed = version_block(pe)
        expected = dict(stub_strings, ProductName="Acme Widget", CompanyName="Acme Ltd",
                        FileDescription="Acme Widget Setup", FileVersion="2.5.17.3", ProductVersion="2.5 (beta)",
                        LegalCopyright="\u00a9 2026 Acme Ltd", OriginalFilename="AcmeSetup.exe",
                        InternalName="AcmeSetup", Comments="Built for the tests")
        self.assertEqual(strings, expected)
        # FileVersion is dotted numbers; ProductVersion is not, and keeps the stub's.
        self.assertEqual(fixed, (2 << 16 | 5, 17 << 16 | 3) + stub_fixed[2:])
        # The icon group lists the icon file's images, each an icon resource of its bytes.
        images = icon_file_images(os.path.join(BUILD, "fixtures", "branded.ico"))
        self.assertEqual([i[5][:8] == b"\x89PNG\r\n\x1a\n" for i in images], [True, False, False])
        group = [v for k, v in found.items() if k[0] == RT_GROUP_ICON]
        self.assertEqual(len(group), 1)
        data = group[0][0]
        self.assertEqual(struct.unpack_from("<HHH", data), (0, 1, len(images)))
        icons = {k[1]: v[0] for k, v in found.items() if k[0] == RT_ICON}
        listed = []
        for i, image in enumerate(images):
            w, h, colours, _, planes, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
            self.assertEqual((w, h, colours, planes, bits, size), image[:5] + (len(image[5]),))
            self.assertEqual(icons.get(icon_id), image[5])
            listed.append(icon_id)
        self.assertEqual(sorted(icons), sorted(listed))

    def test_version_numbers_and_new_strings(self):
        """Each dotted form fills the fixed part's four numbers; other texts leave them;
        strings not named stay the stub's, byte for byte."""
        stub_strings, stub_fixed = version_block(pefile.PE(STUB))
        cases = [
            # (--version-info items, fixed part expected)
            (["FileVersion=3"], (3 << 16, 0) + stub_fixed[2:]),
            (["ProductVersion=4.1.65535", "FileVersion=1.2.3.4"], (1 << 16 | 2, 3 << 16 | 4, 4 << 16 | 1, 65535 << 16)),
            (["FileVersion=v2", "ProductVersion=1.2.3.4.5"], stub_fixed),
            (["Comments=Caf\u00e9 \u2713", "ProductName="], stub_fixed),
        ]
        with tempfile.TemporaryDirectory() as tmp:
            for items, fixed in cases:
                with self.subTest(items):
                    out = os.path.join(tmp, "out.exe")
                    args = [a for item in items for a in ("--version-info", item)]
                    result = run_packer("--stub", STUB, "--output", out, "--package",
                                        os.path.join(PACKAGES, "arch1.msi"), "any", *args)
                    self.assertEqual(result.returncode, 0, result.stderr)
                    strings, found_fixed = version_block(pefile.PE(out))
                    self.assertEqual(strings, dict(stub_strings, **dict(i.split("=", 1) for i in items)))
                    self.assertEqual(found_fixed, fixed)
                    os.unlink(out)


if __name__ == "__main__":
    unittest.main(verbosity=1)
