#!/usr/bin/env python3
"""Generates the status-code header from the status list.

Usage: gen-status.py LIST OUT_HEADER OUT_TABLES
The output is deterministic: the same list always gives the same bytes."""
import re
import sys


def read_list(path):
    rows = []
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            m = re.match(r"^((?:ERR|WRN|INF)_[A-Z0-9_]+)\s+(-?\d+)(?:\s+(.*))?$", line)
            if not m:
                sys.exit(f"{path}:{n}: malformed status line")
            rows.append((m.group(1), int(m.group(2)), (m.group(3) or "").strip()))
    names = [r[0] for r in rows]
    values = [r[1] for r in rows]
    if len(set(names)) != len(names):
        sys.exit(f"{path}: duplicate status name")
    if len(set(values)) != len(values):
        sys.exit(f"{path}: duplicate status value")
    return sorted(rows, key=lambda r: r[1])


def write_if_changed(path, text):
    try:
        with open(path, encoding="utf-8") as f:
            if f.read() == text:
                return
    except FileNotFoundError:
        pass
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


def header(rows):
    out = ["/* Generated from status-list.txt by gen-status.py: do not edit. */",
           "#pragma once", '#include "rt/types.h"', ""]
    for name, value, _ in rows:
        out.append(f"inline constexpr RTSTATUS {name} = {value};")
    out.append("")
    return "\n".join(out)


def tables(rows):
    return "\n".join(["/* Generated from status-list.txt by gen-status.py: do not edit. */",
                      '#include "rt/status-codes.h"', ""])


def main():
    rows = read_list(sys.argv[1])
    write_if_changed(sys.argv[2], header(rows))
    write_if_changed(sys.argv[3], tables(rows))


if __name__ == "__main__":
    main()
