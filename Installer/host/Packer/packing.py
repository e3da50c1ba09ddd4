"""Packs Windows Installer packages into a copy of the installer stub: writes a new
executable whose resources carry the payload manifest, one header and one blob per
package and the packages' digests (digests.py), and keeps every resource the stub already
has byte for byte. Optionally signs the result. Runs on the build host with the standard
library alone.

Usage:
  nimbpack.py --stub NimbStub.exe --output Setup.exe
              [--sign-key KEY.pem --sign-cert CERT.pem [--sign-time UNIX]]
              [--package FILE ARCH [NAME]] ...

ARCH is any, x86 or amd64 (or a raw number, for test fixtures); NAME is the file name the
package gets when extracted (default: FILE's own name). Identical inputs give identical
bytes; the output appears only once complete (written beside it, then renamed), so a
failed run leaves nothing behind. Refusals print one line and exit with 1, usage errors
with 2.

The payload layout is read from the stub's own header (NimbStubPayload.h), the one
definition the stub reads its payload by."""
import errno
import os
import stat
import struct
import sys

PROG = "nimbpack"
HEADER_PATH = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                           "..", "..", "win", "Stub", "NimbStubPayload.h")


class Refusal(Exception):
    """A reason not to pack, printed as one line."""


def one_line(text):
    """Shows a name with anything unprintable escaped, so a message stays on one line."""
    return "".join(c if c.isprintable() else "\\x%02x" % ord(c) if ord(c) < 0x100
                   else "\\u%04x" % ord(c) for c in text)


# ---------------------------------------------------------------------------------------
# The payload layout, from the stub's header

def number_text(text):
    """Whether the text is a decimal number without leading zeros or a 0x hexadecimal one."""
    if text[:2] in ("0x", "0X"):
        return len(text) > 2 and all(c in "0123456789abcdefABCDEF" for c in text[2:])
    return text.isascii() and text.isdigit() and (text == "0" or text[0] != "0")


def read_layout(path):
    """Collects the constants of the payload header: integers, strings and enumerators."""
    try:
        with open(path, encoding="utf-8") as f:
            text = f.read()
    except OSError as e:
        raise Refusal("cannot read the payload layout '%s': %s" % (path, e.strerror))
    # Read line by line: each constant of the header is a line "... constexpr TYPE NAME =
    # VALUE;" (a number, or a string for a character array) or an enumerator "NAME = N,".
    layout = {}
    for line in text.splitlines():
        declaration, equals, value = line.partition("=")
        words = declaration.split()
        if not equals or not words:
            continue
        value = value.strip()
        if "constexpr" in words[:-1] and value.endswith(";"):
            value = value[:-1].strip()
            if words[-1].endswith("[]") and "char" in words and len(value) >= 2 and value[0] == value[-1] == '"':
                layout[words[-1][:-2]] = value[1:-1]
            elif number_text(value.rstrip("uU")):
                layout[words[-1]] = int(value.rstrip("uU"), 0)
        elif len(words) == 1 and words[0].startswith("PACKAGE_ARCH_") and value.endswith(","):
            if number_text(value[:-1].strip()):
                layout[words[0]] = int(value[:-1].strip(), 0)
    needed = ["PAYLOAD_RESOURCE_TYPE", "PAYLOAD_RESOURCE_LANGUAGE", "PAYLOAD_MANIFEST_NAME",
              "PAYLOAD_HEADER_NAME_FORMAT", "PAYLOAD_BLOB_NAME_FORMAT", "PAYLOAD_MAGIC",
              "PACKAGE_RESOURCE_NAME_SIZE", "PACKAGE_FILE_NAME_SIZE", "PAYLOAD_MAX_PACKAGES",
              "PAYLOAD_MAX_IMAGE_SIZE", "PACKAGE_SUFFIX_MSI", "PACKAGE_SUFFIX_CAB",
              "PACKAGE_ARCH_ANY", "PACKAGE_ARCH_X86", "PACKAGE_ARCH_AMD64"]
    missing = [n for n in needed if n not in layout]
    if missing:
        raise Refusal("the payload layout '%s' lacks %s" % (path, ", ".join(missing)))
    return layout


# ---------------------------------------------------------------------------------------
# Packages: what the stub can extract under its stored name

# Names the platform reserves for devices, with or without a suffix.
RESERVED_NAMES = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"} | \
                 {"%s%d" % (d, n) for d in ("COM", "LPT") for n in range(1, 10)}
# Characters the platform's file systems refuse in a name (separators apart).
FORBIDDEN_CHARS = '<>"|?*'


def file_name_problem(name, max_bytes):
    """Why NAME cannot be stored as a package's file name, or None when it can."""
    if "/" in name or "\\" in name:
        return "it contains a path separator"
    if ":" in name:
        return "it contains a drive letter or stream name (':')"
    if name in ("", ".", ".."):
        return "it names no file"
    if any(ord(c) < 0x20 or ord(c) == 0x7F for c in name):
        return "it contains a control character"
    if any(c in FORBIDDEN_CHARS for c in name):
        return "it contains one of %s" % FORBIDDEN_CHARS
    try:
        encoded = name.encode("utf-8")
    except UnicodeEncodeError:
        return "it is not valid UTF-8"
    if len(encoded) > max_bytes:
        return "it is %d bytes long, more than %d" % (len(encoded), max_bytes)
    if name.split(".", 1)[0].rstrip(" ").upper() in RESERVED_NAMES:
        return "it is a reserved device name"
    return None


def parse_architecture(text, layout):
    names = {"any": layout["PACKAGE_ARCH_ANY"], "x86": layout["PACKAGE_ARCH_X86"],
             "amd64": layout["PACKAGE_ARCH_AMD64"]}
    if text.lower() in names:
        return names[text.lower()]
    if number_text(text):
        value = int(text, 0)
        if value <= 0xFFFFFFFF:
            return value
    raise Refusal("unknown architecture '%s' (use any, x86, amd64 or a number)" % one_line(text))


class Package:
    def __init__(self, path, architecture, name, size):
        self.path, self.architecture, self.name, self.size = path, architecture, name, size


def check_packages(specs, layout):
    """Checks every package before anything is written: each refusal is found here."""
    if len(specs) > layout["PAYLOAD_MAX_PACKAGES"]:
        raise Refusal("too many packages: %d, at most %d" % (len(specs), layout["PAYLOAD_MAX_PACKAGES"]))
    max_bytes = layout["PACKAGE_FILE_NAME_SIZE"] - 1
    suffixes = (layout["PACKAGE_SUFFIX_MSI"], layout["PACKAGE_SUFFIX_CAB"])
    packages, seen = [], {}
    for spec in specs:
        path, arch_text = spec[0], spec[1]
        name = spec[2] if len(spec) == 3 else os.path.basename(path)
        architecture = parse_architecture(arch_text, layout)
        problem = file_name_problem(name, max_bytes)
        if problem:
            raise Refusal("package file name '%s' is not a plain file name: %s" % (one_line(name), problem))
        if not name.lower().endswith(suffixes):
            raise Refusal("package file name '%s' does not end in %s or %s" % (one_line(name), *suffixes))
        # Extraction writes every package into one directory of a case-blind file system.
        key = name.upper()
        if key in seen:
            raise Refusal("two packages have the same file name: '%s' and '%s'"
                          % (one_line(seen[key]), one_line(name)))
        seen[key] = name
        # Looked at before it is opened: opening a pipe would wait for a writer.
        try:
            regular = stat.S_ISREG(os.stat(path).st_mode)
            if regular:
                with open(path, "rb") as f:
                    size = os.fstat(f.fileno()).st_size
        except OSError as e:
            raise Refusal("cannot read package '%s': %s" % (one_line(path), e.strerror))
        if not regular:
            raise Refusal("package '%s' is not a regular file" % one_line(path))
        if size == 0:
            raise Refusal("package '%s' is empty" % one_line(path))
        packages.append(Package(path, architecture, name, size))
    return packages


# ---------------------------------------------------------------------------------------
# The stub's image

FILE_HEADER = struct.Struct("<HHIIIHH")           # machine ... characteristics
SECTION = struct.Struct("<8sIIIIIIHHI")
PE32_MAGIC = 0x10B
DIR_RESOURCE, DIR_SECURITY, DIR_BASERELOC = 2, 4, 5
SCN_RSRC = 0x40000040                             # initialised data, readable
RESOURCE_DATA_ALIGN = 8
MANIFEST_SIZE = 16                                # PackageManifest


def align(value, alignment):
    return (value + alignment - 1) // alignment * alignment


class Section:
    def __init__(self, raw):
        (self.name, self.vsize, self.va, self.rawsize, self.rawptr, self.relocptr,
         self.linenoptr, self.nrelocs, self.nlinenos, self.characteristics) = SECTION.unpack(raw)

    def pack(self):
        return SECTION.pack(self.name, self.vsize, self.va, self.rawsize, self.rawptr, self.relocptr,
                            self.linenoptr, self.nrelocs, self.nlinenos, self.characteristics)


class Image:
    """The parts of a PE32 image the packer reads and rewrites."""

    def __init__(self, data, path):
        self.data, self.path = data, path
        bad = Refusal("stub '%s' is not a 32-bit Windows executable" % one_line(path))
        if len(data) < 0x40 or data[:2] != b"MZ":
            raise bad
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if self.pe + 24 > len(data) or data[self.pe:self.pe + 4] != b"PE\0\0":
            raise bad
        (_, self.nsections, _, symbols, _, opt_size, _) = FILE_HEADER.unpack_from(data, self.pe + 4)
        self.opt = self.pe + 24
        if opt_size < 96 or self.opt + opt_size > len(data) or \
                struct.unpack_from("<H", data, self.opt)[0] != PE32_MAGIC:
            raise bad
        self.section_align, self.file_align = struct.unpack_from("<II", data, self.opt + 32)
        self.size_of_headers = struct.unpack_from("<I", data, self.opt + 60)[0]
        ndirs = struct.unpack_from("<I", data, self.opt + 92)[0]
        self.dirs_off = self.opt + 96
        if ndirs <= DIR_BASERELOC or 96 + 8 * ndirs > opt_size:
            raise bad
        self.dirs = [struct.unpack_from("<II", data, self.dirs_off + 8 * i) for i in range(ndirs)]
        self.sections_off = self.opt + opt_size
        if self.sections_off + SECTION.size * self.nsections > len(data) or self.file_align == 0 \
                or self.section_align == 0:
            raise bad
        self.sections = [Section(data[self.sections_off + SECTION.size * i:
                                      self.sections_off + SECTION.size * (i + 1)])
                         for i in range(self.nsections)]
        end = max([s.rawptr + s.rawsize for s in self.sections if s.rawsize] + [self.size_of_headers])
        if end > len(data):
            raise bad
        # What follows the sections would be lost or left pointing at moved bytes.
        if self.dirs[DIR_SECURITY][0]:
            raise Refusal("stub '%s' is signed: pack an unsigned stub" % one_line(path))
        if symbols:
            raise Refusal("stub '%s' carries a symbol table: pack a stripped stub" % one_line(path))
        if end < len(data):
            raise Refusal("stub '%s' carries data after its last section" % one_line(path))

    def section_of(self, rva):
        for s in self.sections:
            if s.va <= rva < s.va + max(s.vsize, s.rawsize):
                return s
        return None

    def read_rva(self, rva, size):
        s = self.section_of(rva)
        if s is None or rva + size > s.va + s.rawsize:
            raise Refusal("stub '%s' has a damaged resource section" % one_line(self.path))
        off = s.rawptr + rva - s.va
        return self.data[off:off + size]


# ---------------------------------------------------------------------------------------
# Resources: a tree of type -> name -> language -> (bytes or blob, code page)

def read_resources(image):
    """The stub's resources, keyed by id (int) or name (str) at each level."""
    rva, size = image.dirs[DIR_RESOURCE]
    tree = {}
    if not rva:
        return tree
    sec = image.section_of(rva)
    damaged = Refusal("stub '%s' has a damaged resource section" % one_line(image.path))
    if sec is None:
        raise damaged
    base_off = sec.rawptr + rva - sec.va
    data = image.data

    def entries(off):
        if off + 16 > len(data) - base_off:
            raise damaged
        named, ids = struct.unpack_from("<HH", data, base_off + off + 12)
        for i in range(named + ids):
            p = base_off + off + 16 + 8 * i
            if p + 8 > len(data):
                raise damaged
            name, target = struct.unpack_from("<II", data, p)
            if name & 0x80000000:
                so = base_off + (name & 0x7FFFFFFF)
                if so + 2 > len(data):
                    raise damaged
                n = struct.unpack_from("<H", data, so)[0]
                key = data[so + 2:so + 2 + 2 * n].decode("utf-16-le", "surrogatepass")
            else:
                key = name & 0xFFFF
            yield key, target

    for tkey, tdir in entries(0):
        if not tdir & 0x80000000:
            raise damaged
        for nkey, ndir in entries(tdir & 0x7FFFFFFF):
            if not ndir & 0x80000000:
                raise damaged
            for lkey, dentry in entries(ndir & 0x7FFFFFFF):
                if dentry & 0x80000000 or base_off + dentry + 16 > len(data):
                    raise damaged
                drva, dsize, codepage, _ = struct.unpack_from("<IIII", data, base_off + dentry)
                tree.setdefault(tkey, {}).setdefault(nkey, {})[lkey] = (image.read_rva(drva, dsize), codepage)
    return tree


def sorted_keys(level):
    """Named entries first, ordered by their UTF-16 units, then ids in ascending order:
    the loader finds entries by binary search."""
    names = sorted((k for k in level if isinstance(k, str)), key=lambda k: k.upper().encode("utf-16-be"))
    return names + sorted(k for k in level if isinstance(k, int))


class Blob:
    """A package's bytes, copied from its file when the image is written. Blobs are laid
    out after every other resource and written last, in the order of their names."""

    def __init__(self, package):
        self.package = package

    def __len__(self):
        return self.package.size

    def write_to(self, out):
        out.copy(self.package)


def build_resource_section(tree, section_rva):
    """Lays out the resource section: the directory tables level by level, the data
    entries, the name strings, then the data (small resources first, the package blobs
    last). Returns the section's bytes up to its first blob and the list of
    (offset, blob) to copy after them."""
    dirs = [(0, tree)]                                    # (depth, level) breadth first
    i = 0
    while i < len(dirs):
        depth, level = dirs[i]
        if depth < 2:
            dirs.extend((depth + 1, level[k]) for k in sorted_keys(level))
        i += 1
    dir_size = sum(16 + 8 * len(level) for _, level in dirs)
    leaves = [leaf for depth, level in dirs if depth == 2 for leaf in (level[k] for k in sorted_keys(level))]
    entries_off = dir_size
    strings_off = entries_off + 16 * len(leaves)
    strings, string_offsets = bytearray(), {}
    for _, level in dirs:
        for k in level:
            if isinstance(k, str) and k not in string_offsets:
                units = k.encode("utf-16-le", "surrogatepass")
                string_offsets[k] = strings_off + len(strings)
                strings += struct.pack("<H", len(units) // 2) + units
    data_off = align(strings_off + len(strings), RESOURCE_DATA_ALIGN)

    # Data: the bytes we hold first, the blobs after them, each aligned.
    placed, offset = {}, data_off
    for phase in (bytes, Blob):
        for n, (content, _) in enumerate(leaves):
            if isinstance(content, phase):
                placed[n] = offset
                offset = align(offset + len(content), RESOURCE_DATA_ALIGN)
    section_size = offset

    out = bytearray()
    dir_offsets, next_dir = [], 0
    for _, level in dirs:
        dir_offsets.append(next_dir)
        next_dir += 16 + 8 * len(level)
    child, leaf = 1, 0
    for depth, level in dirs:
        keys = sorted_keys(level)
        named = sum(isinstance(k, str) for k in keys)
        out += struct.pack("<IIHHHH", 0, 0, 0, 0, named, len(keys) - named)
        for k in keys:
            name = (0x80000000 | string_offsets[k]) if isinstance(k, str) else k
            if depth < 2:
                target = 0x80000000 | dir_offsets[child]
                child += 1
            else:
                target = entries_off + 16 * leaf
                leaf += 1
            out += struct.pack("<II", name, target)
    for n, (content, codepage) in enumerate(leaves):
        out += struct.pack("<IIII", section_rva + placed[n], len(content), codepage, 0)
    out += strings
    blobs = []
    for n, (content, _) in enumerate(leaves):
        if isinstance(content, Blob):
            blobs.append((placed[n], content))
        else:
            out += bytes(placed[n] - len(out)) + content
    return out, blobs, section_size


def add_payload(tree, packages, layout):
    rtype, lang = layout["PAYLOAD_RESOURCE_TYPE"], layout["PAYLOAD_RESOURCE_LANGUAGE"]
    raw = tree.setdefault(rtype, {})
    if layout["PAYLOAD_MANIFEST_NAME"] in raw:
        raise Refusal("the stub already carries packages: pack a stub fresh from the build")
    # The magic, zero-padded up to the count, which is the manifest's last byte.
    magic = layout["PAYLOAD_MAGIC"].encode("ascii").ljust(MANIFEST_SIZE - 1, b"\0")
    raw[layout["PAYLOAD_MANIFEST_NAME"]] = {lang: (magic + bytes([len(packages)]), 0)}
    for index, package in enumerate(packages):
        blob_name = layout["PAYLOAD_BLOB_NAME_FORMAT"] % index
        header = struct.pack("<I", package.architecture) \
            + blob_name.encode("ascii").ljust(layout["PACKAGE_RESOURCE_NAME_SIZE"], b"\0") \
            + package.name.encode("utf-8").ljust(layout["PACKAGE_FILE_NAME_SIZE"], b"\0")
        raw[layout["PAYLOAD_HEADER_NAME_FORMAT"] % index] = {lang: (header, 0)}
        raw[blob_name] = {lang: (Blob(package), 0)}
    import digests                                 # only here: it builds on this module
    digests.add_digests(raw, packages, layout)


# ---------------------------------------------------------------------------------------
# Writing the new image

class Output:
    """The image being written, at the file descriptor's own position. Packages are copied
    by the kernel (copy_file_range) where it can, without passing through this process."""

    def __init__(self, fd):
        self.fd, self.length = fd, 0

    def write(self, data):
        view = memoryview(data)
        while view:
            n = os.write(self.fd, view)
            view = view[n:]
            self.length += n

    def reserve(self, size):
        """Takes the file's blocks at once: a disk too small fails here, before the
        packages are copied, and the kernel then copies into blocks it has already found."""
        try:
            os.posix_fallocate(self.fd, 0, size)
        except OSError as e:
            if e.errno not in (errno.EOPNOTSUPP, errno.EINVAL, errno.ENOSYS):
                raise

    def write_counted(self, data):
        self.write(data)
        return len(data)

    def pad_to(self, offset):
        self.write(bytes(offset - self.length))

    def copy(self, package):
        # Unbuffered, so that reading goes on where the kernel's copy stopped.
        with open(package.path, "rb", buffering=0) as f:
            left = package.size
            kernel_copy = hasattr(os, "copy_file_range")
            while left:
                if kernel_copy:
                    try:
                        n = os.copy_file_range(f.fileno(), self.fd, min(left, 1 << 30))
                        self.length += n
                    except OSError:                # another file system, an old kernel
                        kernel_copy = False
                        continue
                else:
                    n = self.write_counted(f.read(min(left, 4 << 20)))
                if n == 0:
                    break
                left -= n
            if left or os.fstat(f.fileno()).st_size != package.size:
                raise Refusal("package '%s' changed while it was packed" % one_line(package.path))


# The smallest page of the platforms the stub runs on.
PAGE_SIZE = 4096


def write_image(image, packages, layout, out):
    tree = read_resources(image)
    add_payload(tree, packages, layout)

    # The resource section and the base relocations (data the loader finds through their
    # directories, wherever they lie) may move; every other section keeps its place.
    rsrc_rva, reloc_rva = image.dirs[DIR_RESOURCE][0], image.dirs[DIR_BASERELOC][0]
    sections = image.sections
    old_rsrc = image.section_of(rsrc_rva) if rsrc_rva else None
    movable = [s for s in sections if s is old_rsrc or (reloc_rva and s.va == reloc_rva)]
    tail_start = len(sections)
    while tail_start and sections[tail_start - 1] in movable:
        tail_start -= 1
    kept, tail = sections[:tail_start], sections[tail_start:]
    if old_rsrc is not None and old_rsrc not in tail:
        raise Refusal("stub '%s' has sections after its resources: cannot resize them" % one_line(image.path))
    for i, (rva, _) in enumerate(image.dirs):
        if rva and i not in (DIR_RESOURCE, DIR_BASERELOC) and any(s.va <= rva < s.va + s.vsize for s in tail):
            raise Refusal("stub '%s' keeps other data beside its resources: cannot move them" % one_line(image.path))
    if old_rsrc is None and image.sections_off + SECTION.size * (len(sections) + 1) > image.size_of_headers:
        raise Refusal("stub '%s' has no room for a resource section" % one_line(image.path))
    moved = [(s, s.rawptr) for s in tail if s is not old_rsrc]

    def end_va(s):
        return align(s.va + max(s.vsize, s.rawsize), image.section_align)

    next_raw = max([s.rawptr + s.rawsize for s in kept if s.rawsize] + [image.size_of_headers])
    next_va = end_va(kept[-1]) if kept else align(image.size_of_headers, image.section_align)
    rsrc = old_rsrc or Section(SECTION.pack(b".rsrc", 0, 0, 0, 0, 0, 0, 0, 0, SCN_RSRC))
    old_rsrc_raw = old_rsrc.rawsize if old_rsrc else 0
    # The resources start on a page boundary of the file as well as of memory, so that a
    # loader can map them straight from the file (Wine reads a section in whole otherwise:
    # every package, at every start). It costs at most a page of padding.
    rsrc.va, rsrc.rawptr = next_va, align(next_raw, PAGE_SIZE)
    head, blobs, rsrc_size = build_resource_section(tree, rsrc.va)
    rsrc.vsize, rsrc.rawsize = rsrc_size, align(rsrc_size, image.file_align)
    layout_sections = kept + [rsrc]
    new_reloc_rva = 0
    for s, _ in moved:
        prev = layout_sections[-1]
        if s.va == reloc_rva:
            new_reloc_rva = end_va(prev)
        s.va, s.rawptr = end_va(prev), prev.rawptr + prev.rawsize
        layout_sections.append(s)
    last = layout_sections[-1]
    size_of_image = align(last.va + max(last.vsize, last.rawsize), image.section_align)
    if size_of_image >= layout["PAYLOAD_MAX_IMAGE_SIZE"] or last.rawptr + last.rawsize >= 1 << 32:
        raise Refusal("the packages total %d bytes: the executable would take %d bytes of memory, "
                      "more than a 32-bit process can load (less than %d)"
                      % (sum(p.size for p in packages), size_of_image, layout["PAYLOAD_MAX_IMAGE_SIZE"]))

    # Headers: section table, image size, initialised data, directories.
    headers = bytearray(image.data[:image.size_of_headers])
    struct.pack_into("<H", headers, image.pe + 6, len(layout_sections))
    for i, s in enumerate(layout_sections):
        headers[image.sections_off + SECTION.size * i:image.sections_off + SECTION.size * (i + 1)] = s.pack()
    struct.pack_into("<I", headers, image.opt + 56, size_of_image)
    init_data = struct.unpack_from("<I", headers, image.opt + 8)[0]
    struct.pack_into("<I", headers, image.opt + 8, (init_data - old_rsrc_raw + rsrc.rawsize) & 0xFFFFFFFF)
    struct.pack_into("<II", headers, image.dirs_off + 8 * DIR_RESOURCE, rsrc.va, rsrc_size)
    if new_reloc_rva:
        struct.pack_into("<I", headers, image.dirs_off + 8 * DIR_BASERELOC, new_reloc_rva)
    # No checksum: computing one means reading every package through this process, and
    # the platform checks it only for drivers; signing fills it in.
    struct.pack_into("<I", headers, image.opt + 64, 0)

    file_size = layout_sections[-1].rawptr + layout_sections[-1].rawsize
    out.reserve(file_size)
    out.write(headers)
    for s in kept:
        if s.rawsize:
            out.pad_to(s.rawptr)
            out.write(image.data[s.rawptr:s.rawptr + s.rawsize])
    out.pad_to(rsrc.rawptr)
    out.write(head)
    for offset, blob in blobs:
        out.pad_to(rsrc.rawptr + offset)
        blob.write_to(out)
    out.pad_to(rsrc.rawptr + rsrc.rawsize)
    for s, original_rawptr in moved:
        # Moved sections keep their bytes; only their place changes.
        out.write(image.data[original_rawptr:original_rawptr + s.rawsize])
    if out.length != file_size:
        raise Refusal("internal error: wrote %d bytes of an image of %d" % (out.length, file_size))


# ---------------------------------------------------------------------------------------
# Signing and the command

def sign(path, key, cert, signing_time):
    import subprocess                              # only here: it takes a while to load
    signed = path + ".signed"
    command = ["osslsigncode", "sign", "-certs", cert, "-key", key, "-h", "sha256",
               "-in", path, "-out", signed]
    if signing_time is not None:
        command[2:2] = ["-time", str(signing_time)]
    try:
        result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    except OSError as e:
        raise Refusal("cannot run osslsigncode: %s" % e.strerror)
    if result.returncode != 0 or not os.path.exists(signed):
        if os.path.exists(signed):
            os.unlink(signed)
        lines = [l for l in result.stdout.splitlines() if l.strip()]
        raise Refusal("signing failed: %s" % (lines[0] if lines else "osslsigncode exit code %d" % result.returncode))
    os.replace(signed, path)


def create_temporary(output):
    """A new file beside OUTPUT (so that renaming it is atomic), readable by us alone
    until it is complete."""
    base = os.path.join(os.path.dirname(os.path.abspath(output)), ".%s.%d" % (os.path.basename(output), os.getpid()))
    for attempt in range(100):
        temp = "%s.%d.tmp" % (base, attempt)
        try:
            return os.open(temp, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600), temp
        except FileExistsError:
            continue
        except OSError as e:
            raise Refusal("cannot write '%s': %s" % (one_line(output), e.strerror))
    raise Refusal("cannot create a temporary file beside '%s'" % one_line(output))


def pack(args):
    layout = read_layout(args.layout)
    packages = check_packages(args.package, layout)
    try:
        with open(args.stub, "rb") as f:
            stub = f.read()
    except OSError as e:
        raise Refusal("cannot read stub '%s': %s" % (one_line(args.stub), e.strerror))
    image = Image(stub, args.stub)
    for path in (args.sign_key, args.sign_cert):
        if path is not None and not os.path.isfile(path):
            raise Refusal("cannot read signing file '%s'" % one_line(path))

    fd, temp = create_temporary(args.output)
    try:
        try:
            write_image(image, packages, layout, Output(fd))
        finally:
            os.close(fd)
        if args.sign_key:
            sign(temp, args.sign_key, args.sign_cert, args.sign_time)
        umask = os.umask(0)
        os.umask(umask)
        os.chmod(temp, 0o777 & ~umask)
        os.replace(temp, args.output)
    except BaseException:
        for leftover in (temp, temp + ".signed"):
            try:
                os.unlink(leftover)
            except OSError:
                pass
        raise


USAGE = ("usage: nimbpack [-h] --stub STUB --output OUTPUT [--package FILE ARCH [NAME]]...\n"
         "                [--sign-key KEY --sign-cert CERT] [--sign-time SECONDS]\n")
HELP = USAGE + """
Packs installer packages into a copy of the stub.

options:
  -h, --help              show this help and exit
  --stub STUB             the built NimbStub.exe
  --output OUTPUT         the executable to write
  --package FILE ARCH [NAME]
                          a package, its architecture (any, x86, amd64 or a number) and
                          optionally its stored file name; repeat for each package
  --sign-key KEY          private key (PEM) to sign the output with
  --sign-cert CERT        certificate (PEM) that goes with --sign-key
  --sign-time SECONDS     signing time as Unix seconds (default: SOURCE_DATE_EPOCH, else now)
"""


class UsageError(Exception):
    pass


class Arguments:
    def __init__(self):
        self.stub = self.output = self.sign_key = self.sign_cert = None
        self.sign_time = os.environ.get("SOURCE_DATE_EPOCH") or None
        self.package = []
        self.layout = HEADER_PATH


def parse_arguments(argv):
    """The command line. Parsed here rather than by the standard library's parser, which
    alone takes longer to load than the kernel takes to copy a large package."""
    args = Arguments()
    single = {"--stub": "stub", "--output": "output", "--sign-key": "sign_key", "--sign-cert": "sign_cert",
              "--sign-time": "sign_time", "--layout": "layout"}
    i = 0
    while i < len(argv):
        arg = argv[i]
        i += 1
        if arg in ("-h", "--help"):
            sys.stdout.write(HELP)
            sys.exit(0)
        name, eq, value = arg.partition("=")
        if name in single:
            if not eq:
                if i == len(argv) or argv[i].startswith("--"):
                    raise UsageError("argument %s: expected one argument" % name)
                value = argv[i]
                i += 1
            setattr(args, single[name], value)
        elif arg == "--package":
            values = []
            while i < len(argv) and not argv[i].startswith("--"):
                values.append(argv[i])
                i += 1
            if len(values) not in (2, 3):
                raise UsageError("--package takes FILE ARCH [NAME], not %d values" % len(values))
            args.package.append(values)
        else:
            raise UsageError("unrecognized argument: %s" % arg)
    missing = [option for option, field in (("--stub", "stub"), ("--output", "output"))
               if getattr(args, field) is None]
    if missing:
        raise UsageError("the following arguments are required: %s" % ", ".join(missing))
    if (args.sign_key is None) != (args.sign_cert is None):
        raise UsageError("--sign-key and --sign-cert go together")
    if args.sign_time is not None:
        try:
            args.sign_time = int(args.sign_time)
        except ValueError:
            raise UsageError("argument --sign-time: not a whole number of seconds: '%s'" % args.sign_time)
    return args


def main(argv):
    try:
        args = parse_arguments(argv)
    except UsageError as e:
        sys.stderr.write("%s%s: error: %s\n" % (USAGE, PROG, e))
        return 2
    try:
        pack(args)
    except Refusal as e:
        print("%s: error: %s" % (PROG, e), file=sys.stderr)
        return 1
    except OSError as e:
        print("%s: error: %s: %s" % (PROG, one_line(e.filename or args.output), e.strerror), file=sys.stderr)
        return 1
    return 0
