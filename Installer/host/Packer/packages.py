"""The packages to pack: what the stub can extract under its stored name and install, all
checked before anything is written."""
import os
import stat

from layout import number_text
from refusals import Refusal, one_line

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


def architecture_names(layout):
    """The words for each architecture; x64 is how package build tools spell amd64."""
    return {"any": layout["PACKAGE_ARCH_ANY"], "x86": layout["PACKAGE_ARCH_X86"],
            "amd64": layout["PACKAGE_ARCH_AMD64"], "x64": layout["PACKAGE_ARCH_AMD64"]}


def parse_architecture(text, layout):
    names = architecture_names(layout)
    if text.lower() in names:
        return names[text.lower()]
    if number_text(text):
        value = int(text, 0)
        if value <= 0xFFFFFFFF:
            return value
    raise Refusal("unknown architecture '%s' (use any, x86, amd64 or x64, or a number)" % one_line(text))


def architecture_text(value, layout):
    """The architecture's word as the summary prints it."""
    for word in ("any", "x86", "amd64"):
        if architecture_names(layout)[word] == value:
            return word
    return "arch %d" % value


class Package:
    def __init__(self, path, architecture, name, size):
        self.path, self.architecture, self.name, self.size = path, architecture, name, size


def check_packages(specs, layout):
    """Checks every package before anything is written: each refusal is found here."""
    if not specs:
        raise Refusal("no package to pack: name each with --package FILE ARCH")
    if len(specs) > layout["PAYLOAD_MAX_PACKAGES"]:
        raise Refusal("too many packages: %d, at most %d" % (len(specs), layout["PAYLOAD_MAX_PACKAGES"]))
    max_bytes = layout["PACKAGE_FILE_NAME_SIZE"] - 1
    suffix_msi, suffix_cab = layout["PACKAGE_SUFFIX_MSI"], layout["PACKAGE_SUFFIX_CAB"]
    per_host = {layout["PACKAGE_ARCH_X86"]: "x86", layout["PACKAGE_ARCH_AMD64"]: "amd64"}
    packages, seen = [], {}
    for spec in specs:
        path, arch_text = spec[0], spec[1]
        name = spec[2] if len(spec) == 3 else os.path.basename(path)
        architecture = parse_architecture(arch_text, layout)
        problem = file_name_problem(name, max_bytes)
        if problem:
            raise Refusal("package file name '%s' is not a plain file name: %s" % (one_line(name), problem))
        if not name.lower().endswith((suffix_msi, suffix_cab)):
            raise Refusal("package file name '%s' does not end in %s or %s" % (one_line(name), suffix_msi, suffix_cab))
        # A package for one kind of host is extracted under a unique name of its own, so
        # that it never replaces a file; Windows Installer looks for an external cabinet
        # under the name its MSI gives, which only a package for any host keeps.
        if name.lower().endswith(suffix_cab) and architecture in per_host:
            raise Refusal("cabinet '%s' is marked %s: it would be extracted under a random name, where its "
                          "MSI cannot find it; mark it any" % (one_line(name), per_host[architecture]))
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
