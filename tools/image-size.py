#!/usr/bin/env python3
"""Prints how much of a linked image each area of the code takes, from the linker's map.

Usage: image-size.py MAPFILE
Only sections the linker kept count (the map lists discarded ones apart)."""
import re
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


if __name__ == "__main__":
    main()
