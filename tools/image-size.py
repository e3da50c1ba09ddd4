#!/usr/bin/env python3
"""Prints how a PE image's bytes divide: code and data (everything the loader maps except
resources: headers, code, data, imports, relocations) against a budget, and the resources
and any payload appended after the last section apart.

Usage: image-size.py IMAGE [BUDGET_BYTES]"""
import struct
import sys


def sections(data):
    """(name, raw size, raw offset) of every section of the image."""
    (pe,) = struct.unpack_from("<I", data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise SystemExit("not a PE image")
    count, = struct.unpack_from("<H", data, pe + 6)
    optional, = struct.unpack_from("<H", data, pe + 20)
    table = pe + 24 + optional
    for i in range(count):
        name, = struct.unpack_from("<8s", data, table + 40 * i)
        raw_size, raw_offset = struct.unpack_from("<II", data, table + 40 * i + 16)
        yield name.rstrip(b"\0").decode("ascii", "replace"), raw_size, raw_offset


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
    path = sys.argv[1]
    budget = int(sys.argv[2]) if len(sys.argv) > 2 else 0
    with open(path, "rb") as f:
        data = f.read()
    rows = list(sections(data))
    resources = sum(size for name, size, _ in rows if name == ".rsrc")
    end = max((offset + size for _, size, offset in rows), default=len(data))
    payload = max(0, len(data) - end)
    code_and_data = len(data) - resources - payload
    parts = ", ".join(f"{name} {size}" for name, size, _ in rows if name != ".rsrc" and size)
    line = f"code and data {code_and_data} bytes"
    if budget:
        line += f" of {budget} ({100.0 * code_and_data / budget:.1f}%)"
    line += f" [{parts}, headers {len(data) - sum(s for _, s, _ in rows) - payload}]"
    line += f", resources {resources} bytes, appended payload {payload} bytes"
    print(line)
    _, kinds = resource_sizes(path)
    if kinds:
        print("resources by kind: " + ", ".join(f"{kind} {size}" for kind, size in
                                                sorted(kinds.items(), key=lambda kv: -kv[1])))


if __name__ == "__main__":
    main()
