"""Branding: the vendor's own version block strings and numbers, and their own icon, in
place of the stub's. Without branding the stub's resources are copied as they are; with
it, only the resources named are rewritten."""
import struct

from refusals import Refusal, one_line
from resources import sorted_keys

RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16

# The version block's strings a vendor may set, and the two versions among them whose
# dotted numbers also go into the block's fixed part.
VERSION_FIELDS = ("ProductName", "CompanyName", "FileDescription", "FileVersion", "ProductVersion",
                  "LegalCopyright", "OriginalFilename", "InternalName", "Comments")
FIXED_VERSION_OFFSETS = {"FileVersion": 8, "ProductVersion": 16}   # into VS_FIXEDFILEINFO
FIXED_INFO_SIGNATURE = 0xFEEF04BD
VERSION_PART_MAX = 0xFFFF

NODE_HEADER = struct.Struct("<HHH")               # length, value length, type (1: text)


def align4(value):
    return (value + 3) & ~3


class Node:
    """One node of a version block: a key, a value and the nodes below it."""

    def __init__(self, key, text, value, children):
        self.key, self.text, self.value, self.children = key, text, value, children


def parse_node(data, pos, end):
    if pos + NODE_HEADER.size > end:
        raise ValueError()
    length, value_length, kind = NODE_HEADER.unpack_from(data, pos)
    node_end = pos + length
    if length < NODE_HEADER.size or node_end > end or kind not in (0, 1):
        raise ValueError()
    key_end = pos + NODE_HEADER.size
    while True:
        if key_end + 2 > node_end:
            raise ValueError()
        if data[key_end:key_end + 2] == b"\0\0":
            break
        key_end += 2
    key = data[pos + NODE_HEADER.size:key_end].decode("utf-16-le", "surrogatepass")
    value_start = align4(key_end + 2 - pos) + pos
    # A text value counts its UTF-16 units, a binary one its bytes.
    value_size = value_length * 2 if kind == 1 else value_length
    if value_start + value_size > node_end:
        raise ValueError()
    value = data[value_start:value_start + value_size]
    children, child = [], align4(value_start + value_size - pos) + pos
    while child < node_end:
        node, child_end = parse_node(data, child, node_end)
        children.append(node)
        child = align4(child_end - pos) + pos
    return Node(key, kind == 1, value, children), node_end


def serialise_node(node):
    head = (node.key + "\0").encode("utf-16-le", "surrogatepass")
    out = bytearray(NODE_HEADER.size) + head
    out += bytes(align4(len(out)) - len(out)) + node.value
    for child in node.children:
        out += bytes(align4(len(out)) - len(out)) + serialise_node(child)
    value_length = len(node.value) // 2 if node.text else len(node.value)
    NODE_HEADER.pack_into(out, 0, len(out), value_length, 1 if node.text else 0)
    return bytes(out)


def parse_version_info(items):
    """FIELD=VALUE texts as {field: value}, refused when a field is unknown or repeated or
    a dotted version does not fit the fixed part's 16-bit numbers."""
    fields = {}
    for item in items:
        field, equals, value = item.partition("=")
        if not equals or field not in VERSION_FIELDS:
            raise Refusal("--version-info takes FIELD=VALUE with FIELD one of %s, not '%s'"
                          % (", ".join(VERSION_FIELDS), one_line(item)))
        if field in fields:
            raise Refusal("--version-info %s is given twice" % field)
        if field in FIXED_VERSION_OFFSETS and dotted_numbers(value) is not None:
            if any(n > VERSION_PART_MAX for n in dotted_numbers(value)):
                raise Refusal("--version-info %s=%s: each number of a version is at most %d"
                              % (field, one_line(value), VERSION_PART_MAX))
        fields[field] = value
    return fields


def dotted_numbers(text):
    """The numbers of a version of one to four dotted decimal numbers, else None."""
    parts = text.split(".")
    if not 1 <= len(parts) <= 4 or not all(p.isascii() and p.isdigit() for p in parts):
        return None
    return [int(p) for p in parts]


def rebrand_version_block(data, fields, path):
    """The version block DATA with FIELDS set in every string table; a dotted numeric
    FileVersion or ProductVersion also sets the fixed part's numbers."""
    unreadable = Refusal("stub '%s' has a version block the packer cannot rewrite" % one_line(path))
    try:
        root, end = parse_node(data, 0, len(data))
    except (ValueError, UnicodeDecodeError):
        raise unreadable
    # What is not understood is not rewritten: the block read must be the block written.
    if serialise_node(root) != data[:end] or data[end:].strip(b"\0") or len(root.value) < 24 or \
            struct.unpack_from("<I", root.value)[0] != FIXED_INFO_SIGNATURE:
        raise unreadable
    fixed = bytearray(root.value)
    for field, offset in FIXED_VERSION_OFFSETS.items():
        numbers = dotted_numbers(fields.get(field, ""))
        if numbers is not None:
            numbers += [0] * (4 - len(numbers))
            struct.pack_into("<II", fixed, offset, numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3])
    root.value = bytes(fixed)
    tables = [t for info in root.children if info.key == "StringFileInfo" for t in info.children]
    if not tables:
        raise Refusal("stub '%s' has a version block without strings to rewrite" % one_line(path))
    for table in tables:
        for field in VERSION_FIELDS:
            if field not in fields:
                continue
            value = (fields[field] + "\0").encode("utf-16-le", "surrogatepass")
            existing = [s for s in table.children if s.key == field]
            if existing:
                existing[0].value, existing[0].text = value, True
            else:
                table.children.append(Node(field, True, value, []))
    return serialise_node(root)


def apply_version_info(tree, fields, path):
    if not fields:
        return
    blocks = tree.get(RT_VERSION)
    if not blocks:
        raise Refusal("stub '%s' has no version block to rewrite" % one_line(path))
    for languages in blocks.values():
        for lang, (data, codepage) in languages.items():
            languages[lang] = (rebrand_version_block(data, fields, path), codepage)


# ---------------------------------------------------------------------------------------
# The icon

ICON_DIR = struct.Struct("<HHH")                  # reserved, type (1: icon), count
ICON_FILE_ENTRY = struct.Struct("<BBBBHHII")      # ... bytes in image, offset in file
ICON_GROUP_ENTRY = struct.Struct("<BBBBHHIH")     # ... bytes in image, icon resource id
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
BITMAP_HEADER_SIZE = 40                           # BITMAPINFOHEADER


def read_icon_file(path):
    """The images of an .ico file: [(directory fields, image bytes)], each image a PNG or a
    bitmap; anything else is refused."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        raise Refusal("cannot read icon '%s': %s" % (one_line(path), e.strerror))
    not_icon = Refusal("'%s' is not an icon file (.ico)" % one_line(path))
    if len(data) < ICON_DIR.size:
        raise not_icon
    reserved, kind, count = ICON_DIR.unpack_from(data)
    if reserved != 0 or kind != 1 or count == 0 or ICON_DIR.size + ICON_FILE_ENTRY.size * count > len(data):
        raise not_icon
    images = []
    for i in range(count):
        fields = ICON_FILE_ENTRY.unpack_from(data, ICON_DIR.size + ICON_FILE_ENTRY.size * i)
        size, offset = fields[6], fields[7]
        if size == 0 or offset + size > len(data):
            raise not_icon
        image = data[offset:offset + size]
        bitmap = size >= BITMAP_HEADER_SIZE and struct.unpack_from("<I", image)[0] == BITMAP_HEADER_SIZE
        if not image.startswith(PNG_SIGNATURE) and not bitmap:
            raise Refusal("icon '%s' holds an image that is neither PNG nor a bitmap (image %d)"
                          % (one_line(path), i + 1))
        images.append((fields[:6], image))
    return images


def apply_icon(tree, icon_path, path):
    """Puts the icon file's images in place of those of the stub's first icon group, the one
    the shell shows, under the group's own number and language."""
    if icon_path is None:
        return
    images = read_icon_file(icon_path)
    groups = tree.get(RT_GROUP_ICON)
    if not groups:
        raise Refusal("stub '%s' has no icon to replace" % one_line(path))
    group = groups[sorted_keys(groups)[0]]
    icons = tree.setdefault(RT_ICON, {})
    for data, _ in group.values():
        if len(data) < ICON_DIR.size:
            raise Refusal("stub '%s' has a damaged icon group" % one_line(path))
        count = ICON_DIR.unpack_from(data)[2]
        for i in range(count):
            offset = ICON_DIR.size + ICON_GROUP_ENTRY.size * i
            if offset + ICON_GROUP_ENTRY.size > len(data):
                raise Refusal("stub '%s' has a damaged icon group" % one_line(path))
            icons.pop(ICON_GROUP_ENTRY.unpack_from(data, offset)[7], None)
    language = sorted(group)[0]
    directory = bytearray(ICON_DIR.pack(0, 1, len(images)))
    next_id = 1
    for fields, image in images:
        while next_id in icons:
            next_id += 1
        if next_id > 0xFFFF:
            raise Refusal("icon '%s' holds more images than a resource table can number" % one_line(icon_path))
        icons[next_id] = {language: (image, 0)}
        directory += ICON_GROUP_ENTRY.pack(*fields, len(image), next_id)
    for lang, (_, codepage) in group.items():
        group[lang] = (bytes(directory), codepage)
