"""Certificates: the publisher certificate the stub carries (the one silent installs add to
the trusted publishers), found in the stub's own data, and the certificates given on the
command line, read from DER or PEM files. Each is named by its subject and its SHA-1
thumbprint, the name the platform's certificate stores file it under."""
import hashlib

from image import DIR_RESOURCE, SCN_CNT_CODE, SCN_MEM_EXECUTE
from refusals import Refusal, one_line

SEQUENCE, SET, INTEGER, BIT_STRING, OID = 0x30, 0x31, 0x02, 0x03, 0x06
UTC_TIME, GENERALIZED_TIME = 0x17, 0x18
VERSION_TAG = 0xA0                                # [0] EXPLICIT, the certificate's version

# Attribute names of a subject, by object identifier; others print as dotted numbers.
ATTRIBUTE_NAMES = {"2.5.4.3": "CN", "2.5.4.6": "C", "2.5.4.7": "L", "2.5.4.8": "ST", "2.5.4.9": "STREET",
                   "2.5.4.10": "O", "2.5.4.11": "OU", "2.5.4.5": "serialNumber",
                   "0.9.2342.19200300.100.1.25": "DC", "1.2.840.113549.1.9.1": "emailAddress"}
# String types of attribute values, by tag.
STRING_CODECS = {0x0C: "utf-8", 0x13: "ascii", 0x16: "ascii", 0x14: "latin-1", 0x1E: "utf-16-be",
                 0x1C: "utf-32-be"}


class NotDer(Exception):
    pass


def element(data, pos, end):
    """The DER element at POS: (tag, start of contents, end of contents). Only the
    definite, shortest length forms are DER."""
    if pos + 2 > end:
        raise NotDer()
    tag, first = data[pos], data[pos + 1]
    if tag & 0x1F == 0x1F:                         # multi-byte tags: never in what we read
        raise NotDer()
    if first < 0x80:
        length, start = first, pos + 2
    else:
        count = first & 0x7F
        if count == 0 or count > 4 or pos + 2 + count > end or data[pos + 2] == 0:
            raise NotDer()
        length, start = int.from_bytes(data[pos + 2:pos + 2 + count], "big"), pos + 2 + count
        if length < 0x80 or length < 1 << 8 * (count - 1):
            raise NotDer()
    if start + length > end:
        raise NotDer()
    return tag, start, start + length


def children(data, start, end):
    """The elements that fill START..END exactly."""
    found = []
    while start < end:
        tag, cstart, cend = element(data, start, end)
        found.append((tag, cstart, cend, start))
        start = cend
    return found


class Certificate:
    """An X.509 certificate in DER, checked for the whole of its outer structure."""

    def __init__(self, der):
        self.der = bytes(der)
        tag, start, end = element(self.der, 0, len(self.der))
        if tag != SEQUENCE or end != len(self.der):
            raise NotDer()
        parts = children(self.der, start, end)
        if [p[0] for p in parts] != [SEQUENCE, SEQUENCE, BIT_STRING]:
            raise NotDer()
        tbs = children(self.der, parts[0][1], parts[0][2])
        if tbs and tbs[0][0] == VERSION_TAG:
            tbs = tbs[1:]
        # serial, signature algorithm, issuer, validity, subject, public key, extensions...
        if len(tbs) < 6 or [t[0] for t in tbs[:6]] != [INTEGER, SEQUENCE, SEQUENCE, SEQUENCE, SEQUENCE, SEQUENCE]:
            raise NotDer()
        validity = children(self.der, tbs[3][1], tbs[3][2])
        if len(validity) != 2 or any(v[0] not in (UTC_TIME, GENERALIZED_TIME) for v in validity):
            raise NotDer()
        self.subject = self.name_text(tbs[4][1], tbs[4][2])
        self.public_key = self.der[tbs[5][3]:tbs[5][2]]
        self.thumbprint = hashlib.sha1(self.der).hexdigest().upper()

    def name_text(self, start, end):
        """The name as "CN=..., O=...", in the order the certificate holds its parts."""
        parts = []
        for rdn in children(self.der, start, end):
            if rdn[0] != SET:
                raise NotDer()
            values = []
            for attribute in children(self.der, rdn[1], rdn[2]):
                pair = children(self.der, attribute[1], attribute[2]) if attribute[0] == SEQUENCE else []
                if len(pair) != 2 or pair[0][0] != OID:
                    raise NotDer()
                oid = oid_text(self.der[pair[0][1]:pair[0][2]])
                raw = self.der[pair[1][1]:pair[1][2]]
                codec = STRING_CODECS.get(pair[1][0])
                value = raw.decode(codec, "replace") if codec else "#" + raw.hex()
                values.append("%s=%s" % (ATTRIBUTE_NAMES.get(oid, oid), value))
            parts.append(" + ".join(values))
        return one_line(", ".join(parts))

    def description(self):
        return '"%s" (SHA-1 %s)' % (self.subject, self.thumbprint)


def oid_text(raw):
    numbers, value = [], 0
    for byte in raw:
        value = value << 7 | byte & 0x7F
        if not byte & 0x80:
            numbers.append(value)
            value = 0
    if not numbers:
        return ""
    first = min(numbers[0] // 40, 2)
    return ".".join(str(n) for n in [first, numbers[0] - 40 * first] + numbers[1:])


PEM_BLOCK = rb"-----BEGIN ([A-Z0-9 ]+)-----\s*(.*?)\s*-----END \1-----"


def pem_blocks(data, label):
    """The DER contents of the PEM blocks of that label, in file order."""
    # Imported here: only PEM files need them, and an unsigned run would spend a tenth of
    # its time loading them.
    import base64
    import re
    found = []
    for match in re.finditer(PEM_BLOCK, data, re.S):
        if match.group(1).decode() == label:
            body = b"".join(line for line in match.group(2).split() if b":" not in line)
            found.append(base64.b64decode(body))
    return found


def read_certificates(data):
    """The certificates of a DER file (one) or a PEM file (each CERTIFICATE block)."""
    ders = [data] if data[:1] == bytes([SEQUENCE]) else pem_blocks(data, "CERTIFICATE")
    return [Certificate(der) for der in ders]


def load_certificates(path, what):
    """The certificates of a file the user names, refused when it holds none."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        raise Refusal("cannot read %s '%s': %s" % (what, one_line(path), e.strerror))
    try:
        found = read_certificates(data)
    except (NotDer, ValueError):
        found = []
    if not found:
        raise Refusal("%s '%s' holds no certificate (PEM or DER)" % (what, one_line(path)))
    return found


# A certificate is one SEQUENCE long enough to take a two- or three-byte length.
CERTIFICATE_STARTS = (bytes([SEQUENCE, 0x82]), bytes([SEQUENCE, 0x83]))


def certificate_starts(data):
    """The offsets in DATA where a certificate may start, in order."""
    pos = data.find(SEQUENCE)
    while pos >= 0:
        if data[pos:pos + 2] in CERTIFICATE_STARTS:
            yield pos
        pos = data.find(SEQUENCE, pos + 1)


def publisher_certificates(image):
    """The certificates compiled into the stub's data, in the order they lie there.

    The stub is stripped, so no symbol tells where its certificate table lies, and the
    linker places it where it likes. A certificate is found by its own structure instead:
    every SEQUENCE in the sections that hold data (not code, not resources) is read as a
    certificate, and only one whose nested lengths all end exactly where they must and
    whose parts have the tags of a certificate is taken. Bytes that happen to look like the
    start of one fail within a few reads, and data built by chance to pass every check of
    the outer structure is not something a compiler emits."""
    found, seen = [], set()
    rsrc = image.section_of(image.dirs[DIR_RESOURCE][0]) if image.dirs[DIR_RESOURCE][0] else None
    for section in image.sections:
        if section is rsrc or section.characteristics & (SCN_CNT_CODE | SCN_MEM_EXECUTE) or not section.rawsize:
            continue
        data = image.data[section.rawptr:section.rawptr + section.rawsize]
        end = 0
        for start in certificate_starts(data):
            if start < end:
                continue
            try:
                _, _, end_of_element = element(data, start, len(data))
                certificate = Certificate(data[start:end_of_element])
            except NotDer:
                continue
            if certificate.thumbprint not in seen:
                seen.add(certificate.thumbprint)
                found.append(certificate)
            end = end_of_element
    return found
