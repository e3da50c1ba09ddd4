"""The stub's image: the parts of a PE32 executable the packer reads and rewrites."""
import struct

from refusals import Refusal, one_line

FILE_HEADER = struct.Struct("<HHIIIHH")           # machine ... characteristics
SECTION = struct.Struct("<8sIIIIIIHHI")
PE32_MAGIC = 0x10B
DIR_RESOURCE, DIR_SECURITY, DIR_BASERELOC = 2, 4, 5
SCN_CNT_CODE, SCN_MEM_EXECUTE = 0x00000020, 0x20000000
SCN_RSRC = 0x40000040                             # initialised data, readable


def align(value, alignment):
    return (value + alignment - 1) // alignment * alignment


class Section:
    def __init__(self, raw):
        (self.name, self.vsize, self.va, self.rawsize, self.rawptr, self.relocptr,
         self.linenoptr, self.nrelocs, self.nlinenos, self.characteristics) = SECTION.unpack(raw)

    def pack(self):
        return SECTION.pack(self.name, self.vsize, self.va, self.rawsize, self.rawptr, self.relocptr,
                            self.linenoptr, self.nrelocs, self.nlinenos, self.characteristics)


class Image:
    """The parts of a PE32 image the packer reads and rewrites."""

    def __init__(self, data, path):
        self.data, self.path = data, path
        bad = Refusal("stub '%s' is not a 32-bit Windows executable" % one_line(path))
        if len(data) < 0x40 or data[:2] != b"MZ":
            raise bad
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if self.pe + 24 > len(data) or data[self.pe:self.pe + 4] != b"PE\0\0":
            raise bad
        (_, self.nsections, _, symbols, _, opt_size, _) = FILE_HEADER.unpack_from(data, self.pe + 4)
        self.opt = self.pe + 24
        if opt_size < 96 or self.opt + opt_size > len(data) or \
                struct.unpack_from("<H", data, self.opt)[0] != PE32_MAGIC:
            raise bad
        self.section_align, self.file_align = struct.unpack_from("<II", data, self.opt + 32)
        self.size_of_headers = struct.unpack_from("<I", data, self.opt + 60)[0]
        ndirs = struct.unpack_from("<I", data, self.opt + 92)[0]
        self.dirs_off = self.opt + 96
        if ndirs <= DIR_BASERELOC or 96 + 8 * ndirs > opt_size:
            raise bad
        self.dirs = [struct.unpack_from("<II", data, self.dirs_off + 8 * i) for i in range(ndirs)]
        self.sections_off = self.opt + opt_size
        if self.sections_off + SECTION.size * self.nsections > len(data) or self.file_align == 0 \
                or self.section_align == 0:
            raise bad
        self.sections = [Section(data[self.sections_off + SECTION.size * i:
                                      self.sections_off + SECTION.size * (i + 1)])
                         for i in range(self.nsections)]
        end = max([s.rawptr + s.rawsize for s in self.sections if s.rawsize] + [self.size_of_headers])
        if end > len(data):
            raise bad
        # What follows the sections would be lost or left pointing at moved bytes.
        if self.dirs[DIR_SECURITY][0]:
            raise Refusal("stub '%s' is signed: pack an unsigned stub" % one_line(path))
        if symbols:
            raise Refusal("stub '%s' carries a symbol table: pack a stripped stub" % one_line(path))
        if end < len(data):
            raise Refusal("stub '%s' carries data after its last section" % one_line(path))

    def section_of(self, rva):
        for s in self.sections:
            if s.va <= rva < s.va + max(s.vsize, s.rawsize):
                return s
        return None

    def read_rva(self, rva, size):
        s = self.section_of(rva)
        if s is None or rva + size > s.va + s.rawsize:
            raise Refusal("stub '%s' has a damaged resource section" % one_line(self.path))
        off = s.rawptr + rva - s.va
        return self.data[off:off + size]
