#!/usr/bin/env python3
"""Prints how much of a linked image each area of the code takes, from the linker's map,
and, given the image too, how much its resources take, by kind.

Usage: image-size.py MAPFILE [IMAGE]
Only sections the linker kept count (the map lists discarded ones apart)."""
import re
import struct
import sys

# Areas by object file name, first match wins; everything else is "other runtime".
AREAS = [
    ("installer",          r"^NimbStub"),
    ("format engine",      r"^(format|print-buf)"),
    ("status codes",       r"^(status|errinfo|RTErrConvert)"),
    ("strings",            r"^(utf-?8|string-|strtonum|strhex|strstr|getoptargv)"),
    ("option parser",      r"^getopt"),
    ("start-up",           r"^(nocrt-|atexit|mem-functions|stack-protector)"),
    ("paths and files",    r"^(path|RTPath|file|dir|direnum|fileio|fileinfo|pathquery)"),
    ("streams and messages", r"^(stream|message)"),
    ("initialisation",     r"^(init|rtProcInitExePath|ldr|thread|assert|log)"),
    ("locks and time",     r"^(crit|sem|once|term|time|env)"),
]

SECTION = re.compile(r"^ (\.\S+)\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S+)$")
SECTION_NAME_ONLY = re.compile(r"^ (\.\S+)$")
SIZE_AND_FILE = re.compile(r"^\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S+)$")


def area_of(path):
    m = re.search(r"\(([^()]+)\)$", path)          # archive(member)
    name = m.group(1) if m else path.rsplit("/", 1)[-1]
    name = name.rsplit("/", 1)[-1]
    for area, pattern in AREAS:
        if re.search(pattern, name):
            return area
    if "libgcc" in path or "libnimbrt" not in path and "nimbstub" not in path.lower():
        return "compiler support"
    return "other runtime"


# Resource kinds by type number; others are named by their number.
RESOURCE_KINDS = {3: "icon images", 14: "icon group", 16: "version block", 24: "manifest",
                  10: "raw data"}
RESOURCE_DIRECTORY = 2          # index of the resource table among the data directories
SUBDIRECTORY = 0x80000000       # an entry's offset points at another directory


def resource_sizes(path):
    """(size of the resource section, {kind: bytes of data}) of a PE32 image."""
    with open(path, "rb") as f:
        image = f.read()
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    assert struct.unpack_from("<H", image, optional)[0] == 0x10B, "not a PE32 image"
    root_rva = struct.unpack_from("<I", image, optional + 96 + 8 * RESOURCE_DIRECTORY)[0]
    table = optional + optional_size
    spans = [struct.unpack_from("<8sIIII", image, table + 40 * i) for i in range(sections)]
    section_size, root = 0, None
    for _, vsize, rva, raw_size, raw in spans:
        if rva <= root_rva < rva + max(vsize, raw_size):
            section_size, root = raw_size, raw + root_rva - rva
    sizes = {}
    if root is None:
        return 0, sizes

    def leaves(offset):
        named, numbered = struct.unpack_from("<HH", image, root + offset + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", image, root + offset + 16 + 8 * i)
            if target & SUBDIRECTORY:
                yield from ((name, size) for _, size in leaves(target & ~SUBDIRECTORY))
            else:
                yield name, struct.unpack_from("<I", image, root + target + 4)[0]

    named, numbered = struct.unpack_from("<HH", image, root + 12)
    for i in range(named + numbered):
        rtype, target = struct.unpack_from("<II", image, root + 16 + 8 * i)
        kind = RESOURCE_KINDS.get(rtype, f"type {rtype}")
        subtotal = sum(size for _, size in leaves(target & ~SUBDIRECTORY))
        sizes[kind] = sizes.get(kind, 0) + subtotal
    return section_size, sizes


def main():
    totals = {}
    kept = False
    pending = None
    with open(sys.argv[1], encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("Linker script and memory map"):
                kept = True
                continue
            if not kept:
                continue
            m = SECTION.match(line)
            if m:
                size, path = int(m.group(2), 16), m.group(3)
            elif SECTION_NAME_ONLY.match(line):
                pending = True
                continue
            elif pending and SIZE_AND_FILE.match(line):
                m2 = SIZE_AND_FILE.match(line)
                size, path = int(m2.group(1), 16), m2.group(2)
            else:
                pending = None
                continue
            pending = None
            if size and (path.endswith(".obj") or path.endswith(".o") or path.endswith(")")):
                area = area_of(path)
                totals[area] = totals.get(area, 0) + size
    parts = sorted(totals.items(), key=lambda kv: -kv[1])
    print("code and data by area: " + ", ".join(f"{a} {n}" for a, n in parts))
    if len(sys.argv) > 2:
        section, kinds = resource_sizes(sys.argv[2])
        parts = sorted(kinds.items(), key=lambda kv: -kv[1])
        print(f"resources section {section}: " + ", ".join(f"{k} {n}" for k, n in parts))


if __name__ == "__main__":
    main()
