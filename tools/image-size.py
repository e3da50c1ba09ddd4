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
    line += f"; resources {resources} bytes; appended payload {payload} bytes"
    print(line)


if __name__ == "__main__":
    main()
