"""Package digests: the checksum of every package, recorded in a resource of its own beside
the payload, which the stub checks each package against as it reads the written file back.
The resource's name and layout, and the checksum (CRC-32, as zlib computes it), come from
the payload layout (NimbStubPayload.h says why that checksum). A layout without the digest
constants is one from before digests: the installer then carries none, as it did then.

Checksumming a package costs as much as the kernel's copy of it or more, so the checksums
are computed on a thread of their own while the packages are copied (zlib lets go of the
interpreter's lock while it works), and the resource, laid out after the packages, is
written once they are. The thread is started through the interpreter's low-level module:
the threading module alone would take a twentieth of an unsigned run's time to load."""
import _thread
import struct
import zlib

from refusals import Refusal, one_line
from resources import Blob

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
        raise Refusal("package '%s' changed while it was packed" % one_line(package.path))
    return crc


class Digests(Blob):
    """The digests resource: the package count, then each package's CRC-32, little-endian.
    The checksums are computed from the moment it is made; writing it waits for them."""

    def __init__(self, packages):
        self.packages, self.crcs, self.error = packages, None, None
        # Held while the checksums are computed: acquiring it waits for them.
        self.done = _thread.allocate_lock()
        self.done.acquire()
        _thread.start_new_thread(self.compute, ())

    def __len__(self):
        return 4 * (1 + len(self.packages))

    def compute(self):
        try:
            self.crcs = [package_crc(p) for p in self.packages]
        except (Refusal, OSError) as e:
            self.error = e
        finally:
            self.done.release()

    def data(self):
        with self.done:
            pass
        if self.error is not None:
            raise self.error
        return struct.pack("<%dI" % (1 + len(self.crcs)), len(self.crcs), *self.crcs)

    def write_to(self, out):
        out.write(self.data())


def check_layout(layout):
    """Whether the layout has digests; refuses one whose digests this packer cannot record."""
    present = [name for name in CONSTANTS if name in layout]
    if not present:
        return False
    if len(present) != len(CONSTANTS):
        raise Refusal("the payload layout lacks %s"
                              % ", ".join(name for name in CONSTANTS if name not in layout))
    if zlib.crc32(CHECK_INPUT) != layout["PAYLOAD_DIGEST_CHECK_VALUE"] \
            or layout["PAYLOAD_DIGESTS_HEADER_SIZE"] != 4 or layout["PAYLOAD_DIGEST_SIZE"] != 4:
        raise Refusal("the payload layout asks for digests other than the CRC-32 this packer records")
    return True


def add_digests(raw, packages, layout):
    """Adds the digests resource to the payload's resources RAW (name -> language -> data)."""
    if check_layout(layout):
        raw[layout["PAYLOAD_DIGESTS_NAME"]] = {layout["PAYLOAD_RESOURCE_LANGUAGE"]: (Digests(packages), 0)}
