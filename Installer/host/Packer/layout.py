"""The payload layout, read from the stub's own header (NimbStubPayload.h): the one
definition the stub reads its payload by, so the packer never keeps a copy of it."""
import os

from refusals import Refusal

HEADER_PATH = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                           "..", "..", "win", "Stub", "NimbStubPayload.h")

# The constants the packer writes by. The header may define more; they are read and kept.
NEEDED = ["PAYLOAD_RESOURCE_TYPE", "PAYLOAD_RESOURCE_LANGUAGE", "PAYLOAD_MANIFEST_NAME",
          "PAYLOAD_HEADER_NAME_FORMAT", "PAYLOAD_BLOB_NAME_FORMAT", "PAYLOAD_MAGIC",
          "PACKAGE_RESOURCE_NAME_SIZE", "PACKAGE_FILE_NAME_SIZE", "PAYLOAD_MAX_PACKAGES",
          "PAYLOAD_MAX_IMAGE_SIZE", "PACKAGE_SUFFIX_MSI", "PACKAGE_SUFFIX_CAB",
          "PACKAGE_ARCH_ANY", "PACKAGE_ARCH_X86", "PACKAGE_ARCH_AMD64"]


def number_text(text):
    """Whether the text is a decimal number without leading zeros or a 0x hexadecimal one."""
    if text[:2] in ("0x", "0X"):
        return len(text) > 2 and all(c in "0123456789abcdefABCDEF" for c in text[2:])
    return text.isascii() and text.isdigit() and (text == "0" or text[0] != "0")


def without_comment(text):
    """The text before a trailing // or /* comment."""
    for opener in ("//", "/*"):
        at = text.find(opener)
        if at >= 0:
            text = text[:at]
    return text.strip()


def read_layout(path):
    """Collects the constants of the payload header: integers, strings and enumerators."""
    try:
        with open(path, encoding="utf-8") as f:
            text = f.read()
    except OSError as e:
        raise Refusal("cannot read the payload layout '%s': %s" % (path, e.strerror))
    # Read line by line: each constant of the header is a line "... constexpr TYPE NAME =
    # VALUE;" (a number, or a string for a character array) or an enumerator "NAME = N,",
    # either perhaps followed by a comment. Lines of any other form (expressions, types,
    # assertions) are passed over.
    layout = {}
    for line in text.splitlines():
        declaration, equals, value = line.partition("=")
        words = declaration.split()
        if not equals or not words:
            continue
        value = value.strip()
        if "constexpr" in words[:-1] and ";" in value:
            # A string ends at its closing quote; anything else at the first ';'.
            end = value.find('"', 1) + 1 if value.startswith('"') else value.find(";")
            value = value[:end].strip() if end > 0 else ""
            if words[-1].endswith("[]") and "char" in words and len(value) >= 2 and value[0] == value[-1] == '"':
                layout[words[-1][:-2]] = value[1:-1]
            elif number_text(value.rstrip("uU")):
                layout[words[-1]] = int(value.rstrip("uU"), 0)
        elif len(words) == 1 and words[0].startswith("PACKAGE_ARCH_"):
            value = without_comment(value)
            if value.endswith(","):
                value = value[:-1].strip()
            if number_text(value):
                layout[words[0]] = int(value, 0)
    missing = [n for n in NEEDED if n not in layout]
    if missing:
        raise Refusal("the payload layout '%s' lacks %s" % (path, ", ".join(missing)))
    return layout
