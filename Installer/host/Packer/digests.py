"""Package digests: the checksum of every package, recorded in a resource of its own beside
the payload, which the stub checks each package against as it reads the written file back.
The resource's name and layout, and the checksum (CRC-32, as zlib computes it), come from
the payload layout (NimbStubPayload.h says why that checksum). A layout without the digest
constants is one from before digests: the installer then carries none, as it did then."""
import struct
import zlib

import packing

CONSTANTS = ("PAYLOAD_DIGESTS_NAME", "PAYLOAD_DIGESTS_HEADER_SIZE", "PAYLOAD_DIGEST_SIZE",
             "PAYLOAD_DIGEST_CHECK_VALUE")
# The check value of a CRC-32 is its checksum of these nine bytes.
CHECK_INPUT = b"123456789"
READ_SIZE = 1 << 20


def package_crc(package):
    """The CRC-32 of a package's bytes, read in pieces into one buffer."""
    crc, total = 0, 0
    buffer = bytearray(READ_SIZE)
    view = memoryview(buffer)
    with open(package.path, "rb", buffering=0) as f:
        while True:
            n = f.readinto(buffer)
            if not n:
                break
            crc = zlib.crc32(view[:n], crc)
            total += n
    if total != package.size:
        raise packing.Refusal("package '%s' changed while it was packed" % packing.one_line(package.path))
    return crc


def resource(packages, layout):
    """The digests resource's bytes, or None when the layout has no digests."""
    present = [name for name in CONSTANTS if name in layout]
    if not present:
        return None
    if len(present) != len(CONSTANTS):
        raise packing.Refusal("the payload layout lacks %s"
                              % ", ".join(name for name in CONSTANTS if name not in layout))
    if zlib.crc32(CHECK_INPUT) != layout["PAYLOAD_DIGEST_CHECK_VALUE"] \
            or layout["PAYLOAD_DIGESTS_HEADER_SIZE"] != 4 or layout["PAYLOAD_DIGEST_SIZE"] != 4:
        raise packing.Refusal("the payload layout asks for digests other than the CRC-32 this packer records")
    return struct.pack("<%dI" % (1 + len(packages)), len(packages), *(package_crc(p) for p in packages))


def add_digests(raw, packages, layout):
    """Adds the digests resource to the payload's resources RAW (name -> language -> data)."""
    data = resource(packages, layout)
    if data is not None:
        raw[layout["PAYLOAD_DIGESTS_NAME"]] = {layout["PAYLOAD_RESOURCE_LANGUAGE"]: (data, 0)}
