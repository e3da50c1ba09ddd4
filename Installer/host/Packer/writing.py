"""Writing the new image: the stub's sections around a resource section laid out anew,
with the packages copied into place from their files."""
import errno
import os
import struct

from image import DIR_BASERELOC, DIR_RESOURCE, SCN_RSRC, SECTION, Section, align
from refusals import Refusal, one_line
from resources import build_resource_section


class Output:
    """The image being written, at the file descriptor's own position. Packages are copied
    by the kernel (copy_file_range) where it can, without passing through this process."""

    def __init__(self, fd):
        self.fd, self.length = fd, 0

    def write(self, data):
        view = memoryview(data)
        while view:
            n = os.write(self.fd, view)
            view = view[n:]
            self.length += n

    def reserve(self, size):
        """Takes the file's blocks at once: a disk too small fails here, before the
        packages are copied, and the kernel then copies into blocks it has already found."""
        try:
            os.posix_fallocate(self.fd, 0, size)
        except OSError as e:
            if e.errno not in (errno.EOPNOTSUPP, errno.EINVAL, errno.ENOSYS):
                raise

    def write_counted(self, data):
        self.write(data)
        return len(data)

    def pad_to(self, offset):
        self.write(bytes(offset - self.length))

    def copy(self, package):
        # Unbuffered, so that reading goes on where the kernel's copy stopped.
        with open(package.path, "rb", buffering=0) as f:
            left = package.size
            kernel_copy = hasattr(os, "copy_file_range")
            while left:
                if kernel_copy:
                    try:
                        n = os.copy_file_range(f.fileno(), self.fd, min(left, 1 << 30))
                        self.length += n
                    except OSError:                # another file system, an old kernel
                        kernel_copy = False
                        continue
                else:
                    n = self.write_counted(f.read(min(left, 4 << 20)))
                if n == 0:
                    break
                left -= n
            if left or os.fstat(f.fileno()).st_size != package.size:
                raise Refusal("package '%s' changed while it was packed" % one_line(package.path))


# The smallest page of the platforms the stub runs on.
PAGE_SIZE = 4096


def write_image(image, tree, packages, layout, out):
    """Writes IMAGE with TREE as its resources (the stub's own, the payload added) to OUT."""
    # The resource section and the base relocations (data the loader finds through their
    # directories, wherever they lie) may move; every other section keeps its place.
    rsrc_rva, reloc_rva = image.dirs[DIR_RESOURCE][0], image.dirs[DIR_BASERELOC][0]
    sections = image.sections
    old_rsrc = image.section_of(rsrc_rva) if rsrc_rva else None
    movable = [s for s in sections if s is old_rsrc or (reloc_rva and s.va == reloc_rva)]
    tail_start = len(sections)
    while tail_start and sections[tail_start - 1] in movable:
        tail_start -= 1
    kept, tail = sections[:tail_start], sections[tail_start:]
    if old_rsrc is not None and old_rsrc not in tail:
        raise Refusal("stub '%s' has sections after its resources: cannot resize them" % one_line(image.path))
    for i, (rva, _) in enumerate(image.dirs):
        if rva and i not in (DIR_RESOURCE, DIR_BASERELOC) and any(s.va <= rva < s.va + s.vsize for s in tail):
            raise Refusal("stub '%s' keeps other data beside its resources: cannot move them" % one_line(image.path))
    if old_rsrc is None and image.sections_off + SECTION.size * (len(sections) + 1) > image.size_of_headers:
        raise Refusal("stub '%s' has no room for a resource section" % one_line(image.path))
    moved = [(s, s.rawptr) for s in tail if s is not old_rsrc]

    def end_va(s):
        return align(s.va + max(s.vsize, s.rawsize), image.section_align)

    next_raw = max([s.rawptr + s.rawsize for s in kept if s.rawsize] + [image.size_of_headers])
    next_va = end_va(kept[-1]) if kept else align(image.size_of_headers, image.section_align)
    rsrc = old_rsrc or Section(SECTION.pack(b".rsrc", 0, 0, 0, 0, 0, 0, 0, 0, SCN_RSRC))
    old_rsrc_raw = old_rsrc.rawsize if old_rsrc else 0
    # The resources start on a page boundary of the file as well as of memory, so that a
    # loader can map them straight from the file (Wine reads a section in whole otherwise:
    # every package, at every start). It costs at most a page of padding.
    rsrc.va, rsrc.rawptr = next_va, align(next_raw, PAGE_SIZE)
    head, blobs, rsrc_size = build_resource_section(tree, rsrc.va)
    rsrc.vsize, rsrc.rawsize = rsrc_size, align(rsrc_size, image.file_align)
    layout_sections = kept + [rsrc]
    new_reloc_rva = 0
    for s, _ in moved:
        prev = layout_sections[-1]
        if s.va == reloc_rva:
            new_reloc_rva = end_va(prev)
        s.va, s.rawptr = end_va(prev), prev.rawptr + prev.rawsize
        layout_sections.append(s)
    last = layout_sections[-1]
    size_of_image = align(last.va + max(last.vsize, last.rawsize), image.section_align)
    if size_of_image >= layout["PAYLOAD_MAX_IMAGE_SIZE"] or last.rawptr + last.rawsize >= 1 << 32:
        raise Refusal("the packages total %d bytes: the executable would take %d bytes of memory, "
                      "more than a 32-bit process can load (less than %d)"
                      % (sum(p.size for p in packages), size_of_image, layout["PAYLOAD_MAX_IMAGE_SIZE"]))

    # Headers: section table, image size, initialised data, directories.
    headers = bytearray(image.data[:image.size_of_headers])
    struct.pack_into("<H", headers, image.pe + 6, len(layout_sections))
    for i, s in enumerate(layout_sections):
        headers[image.sections_off + SECTION.size * i:image.sections_off + SECTION.size * (i + 1)] = s.pack()
    struct.pack_into("<I", headers, image.opt + 56, size_of_image)
    init_data = struct.unpack_from("<I", headers, image.opt + 8)[0]
    struct.pack_into("<I", headers, image.opt + 8, (init_data - old_rsrc_raw + rsrc.rawsize) & 0xFFFFFFFF)
    struct.pack_into("<II", headers, image.dirs_off + 8 * DIR_RESOURCE, rsrc.va, rsrc_size)
    if new_reloc_rva:
        struct.pack_into("<I", headers, image.dirs_off + 8 * DIR_BASERELOC, new_reloc_rva)
    # No checksum: computing one means reading every package through this process, and
    # the platform checks it only for drivers; signing fills it in.
    struct.pack_into("<I", headers, image.opt + 64, 0)

    file_size = layout_sections[-1].rawptr + layout_sections[-1].rawsize
    out.reserve(file_size)
    out.write(headers)
    for s in kept:
        if s.rawsize:
            out.pad_to(s.rawptr)
            out.write(image.data[s.rawptr:s.rawptr + s.rawsize])
    out.pad_to(rsrc.rawptr)
    out.write(head)
    for offset, blob in blobs:
        out.pad_to(rsrc.rawptr + offset)
        blob.write_to(out)
    out.pad_to(rsrc.rawptr + rsrc.rawsize)
    for s, original_rawptr in moved:
        # Moved sections keep their bytes; only their place changes.
        out.write(image.data[original_rawptr:original_rawptr + s.rawsize])
    if out.length != file_size:
        raise Refusal("internal error: wrote %d bytes of an image of %d" % (out.length, file_size))


def create_temporary(output):
    """A new file beside OUTPUT (so that renaming it is atomic), readable by us alone
    until it is complete."""
    base = os.path.join(os.path.dirname(os.path.abspath(output)), ".%s.%d" % (os.path.basename(output), os.getpid()))
    for attempt in range(100):
        temp = "%s.%d.tmp" % (base, attempt)
        try:
            return os.open(temp, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600), temp
        except FileExistsError:
            continue
        except OSError as e:
            raise Refusal("cannot write '%s': %s" % (one_line(output), e.strerror))
    raise Refusal("cannot create a temporary file beside '%s'" % one_line(output))
