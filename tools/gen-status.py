#!/usr/bin/env python3
"""Generates the status-code header and the status text tables from the status list.

Usage: gen-status.py LIST OUT_HEADER OUT_TABLES

The header names every status. The tables file holds:
  - the status text rows (RTERRENTRY, 8 bytes each, sorted by value);
  - the packed text area with its word table (RTERRPACKEDTEXT);
  - the Win32 error name table and its name area.

Texts are packed by word substitution: byte values that no text uses become codes for
frequent words, chosen greedily by the bytes they save. The plain text of each word is
stored once inside the packed area and the word table locates it there.

The output is deterministic: the same list always gives the same bytes."""
import re
import sys

from genfiles import write_if_changed

NAME_LEN_MAX = 63          # 6 bits in the row
MESSAGE_LEN_MAX = 255      # one byte in the row
AREA_SIZE_MAX = 1 << 17    # both text offsets are 17 bits wide
WORD_LEN_MAX = (1 << 10) - 1
WORD_SPAN_TOKENS = 5       # longest candidate word, counted in tokens
WORD_TABLE_SIZE = 256

# The Win32 error codes that have a name of their own.
WIN32_NAMES = [(0, "ERROR_SUCCESS")]

TOKEN_RE = re.compile(rb"[A-Za-z0-9]+|[^A-Za-z0-9]")


def fail(msg):
    sys.exit(f"gen-status: {msg}")


def read_list(path):
    rows = []
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            m = re.match(r"^((?:ERR|WRN|INF)_[A-Z0-9_]+)\s+(-?\d+)\s+(\S.*)$", line)
            if not m:
                fail(f"{path}:{n}: malformed status line (NAME VALUE MESSAGE)")
            value = int(m.group(2))
            if not -32768 <= value <= 32767:
                fail(f"{path}:{n}: {m.group(1)} does not fit a signed 16-bit field")
            rows.append((m.group(1), value, m.group(3).strip()))
    names = [r[0] for r in rows]
    values = [r[1] for r in rows]
    if len(set(names)) != len(names):
        fail(f"{path}: duplicate status name")
    if len(set(values)) != len(values):
        fail(f"{path}: duplicate status value")
    return sorted(rows, key=lambda r: r[1])


def header(rows):
    out = ["/* Generated from status-list.txt by gen-status.py: do not edit. */",
           "#pragma once", '#include "rt/types.h"', ""]
    for name, value, _ in rows:
        out.append(f"inline constexpr RTSTATUS {name} = {value};")
    out.append("")
    return "\n".join(out)


# --- Word substitution --------------------------------------------------------------------

def candidate_counts(texts):
    """Counts every run of 1..WORD_SPAN_TOKENS tokens (at least 2 bytes) in the literal
    pieces of the texts. A text is a list of pieces: bytes (literal) or int (word code)."""
    counts = {}
    for pieces in texts:
        for piece in pieces:
            if isinstance(piece, int):
                continue
            tokens = TOKEN_RE.findall(piece)
            for i in range(len(tokens)):
                word = b""
                for j in range(i, min(i + WORD_SPAN_TOKENS, len(tokens))):
                    word += tokens[j]
                    if len(word) > WORD_LEN_MAX:
                        break
                    if len(word) >= 2:
                        counts[word] = counts.get(word, 0) + 1
    return counts


def substitute(pieces, word, code):
    """Replaces the non-overlapping occurrences of word in the literal pieces; returns the
    new pieces and the number of replacements."""
    out, hits = [], 0
    for piece in pieces:
        if isinstance(piece, int) or word not in piece:
            out.append(piece)
            continue
        parts = piece.split(word)
        hits += len(parts) - 1
        for k, part in enumerate(parts):
            if k:
                out.append(code)
            if part:
                out.append(part)
    return out, hits


def choose_words(plain_texts):
    """Greedy choice: repeatedly take the candidate that saves the most bytes (each use
    saves its length minus one, its plain copy costs its length), ties by byte order."""
    used = set()
    for t in plain_texts:
        used.update(t)
    free_codes = [b for b in range(WORD_TABLE_SIZE) if b not in used]
    texts = [[t] if t else [] for t in plain_texts]
    words = []
    rejected = set()
    while len(words) < len(free_codes):
        code = free_codes[len(words)]
        counts = candidate_counts(texts)
        best = None
        for word, count in counts.items():
            gain = count * (len(word) - 1) - len(word)
            if gain > 0 and word not in rejected:
                key = (-gain, word)
                if best is None or key < best:
                    best = key
        if best is None:
            break
        word = best[1]
        trial = [substitute(t, word, code) for t in texts]
        hits = sum(h for _, h in trial)
        if hits * (len(word) - 1) - len(word) <= 0:
            rejected.add(word)
            continue
        texts = [t for t, _ in trial]
        words.append((code, word))
    packed = [b"".join(p if isinstance(p, bytes) else bytes([p]) for p in t) for t in texts]
    return words, packed


def place(area, text):
    """Returns the offset of text in the area, appending it unless it is already there."""
    if not text:
        return 0
    off = area.find(text)
    if off < 0:
        off = len(area)
        area += text
    return off


def pack(rows):
    plain = []
    for name, _, message in rows:
        plain.append(name.encode("utf-8"))
        plain.append(message.encode("utf-8"))
    words, packed = choose_words(plain)

    area = bytearray()
    word_table = [0] * WORD_TABLE_SIZE
    for code, word in sorted(words, key=lambda w: (-len(w[1]), w[1])):
        off = place(area, word)
        word_table[code] = (len(word) << 22) | off
    spans = []
    for text in packed:
        spans.append((place(area, text), len(text)))
    if len(area) >= AREA_SIZE_MAX:
        fail(f"packed text area of {len(area)} bytes exceeds the 17-bit offsets")
    return bytes(area), word_table, spans, sum(len(t) for t in plain)


def c_bytes(data, indent="    "):
    lines = []
    for i in range(0, len(data), 16):
        lines.append(indent + ", ".join(f"0x{b:02x}" for b in data[i:i + 16]) + ",")
    return lines


def tables(rows):
    area, word_table, spans, cb_plain = pack(rows)
    out = ["/* Generated from status-list.txt by gen-status.py: do not edit. */",
           '#include "internal/err.h"', "",
           f"/* {len(rows)} statuses; plain texts {cb_plain} bytes, packed area {len(area)} bytes. */",
           "", "static const uint8_t g_abRTErrPacked[] =", "{"]
    out += c_bytes(area)
    out += ["};", "", f"static const uint32_t g_auRTErrWords[{WORD_TABLE_SIZE}] =", "{"]
    for i in range(0, WORD_TABLE_SIZE, 8):
        out.append("    " + ", ".join(f"0x{w:08x}" for w in word_table[i:i + 8]) + ",")
    out += ["};", "",
            "extern const RTERRPACKEDTEXT g_RTErrPackedText =",
            f"    {{ g_abRTErrPacked, sizeof(g_abRTErrPacked), {WORD_TABLE_SIZE}, g_auRTErrWords }};",
            "", "extern const RTERRENTRY g_aRTErrEntries[] =", "{"]
    for i, (name, _, _) in enumerate(rows):
        off_name, cb_name = spans[2 * i]
        off_msg, cb_msg = spans[2 * i + 1]
        if cb_name > NAME_LEN_MAX:
            fail(f"{name}: packed name of {cb_name} bytes is longer than {NAME_LEN_MAX}")
        if cb_msg > MESSAGE_LEN_MAX:
            fail(f"{name}: packed message of {cb_msg} bytes is longer than {MESSAGE_LEN_MAX}")
        word = off_name | (cb_name << 17) | ((off_msg & 0x1FF) << 23)
        out.append(f"    {{ 0x{word:08x}, 0x{off_msg >> 9:02x}, {cb_msg:3}, {name} }},")
    out += ["};", f"extern const uint32_t g_cRTErrEntries = {len(rows)};", ""]

    names = bytearray()
    win_rows = []
    for code, name in sorted(WIN32_NAMES):
        off = place(names, name.encode("ascii"))
        if off > 255 or len(name) > 255:
            fail(f"Win32 name {name} does not fit the one-byte offset and length")
        win_rows.append(f"    {{ {code}u, {off}, {len(name)} }}, /* {name} */")
    out += ["extern const char g_achRTErrWinNames[] =", "{"]
    out += c_bytes(names)
    out += ["};", f"extern const uint32_t g_cbRTErrWinNames = {len(names)};",
            "extern const RTERRWINENTRY g_aRTErrWinEntries[] =", "{"]
    out += win_rows
    out += ["};", f"extern const uint32_t g_cRTErrWinEntries = {len(win_rows)};", ""]
    return "\n".join(out)


def main():
    if len(sys.argv) != 4:
        fail("usage: gen-status.py LIST OUT_HEADER OUT_TABLES")
    rows = read_list(sys.argv[1])
    write_if_changed(sys.argv[2], header(rows))
    write_if_changed(sys.argv[3], tables(rows))


if __name__ == "__main__":
    main()
