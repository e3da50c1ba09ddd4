"""Resources: the stub's resource tree read in, and laid out again as a new section. The
tree maps type -> name -> language -> (bytes or blob, code page), keyed by id (int) or
name (str) at each level."""
import struct

from image import DIR_RESOURCE, align
from refusals import Refusal, one_line

RESOURCE_DATA_ALIGN = 8


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
