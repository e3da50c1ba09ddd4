"""The payload: the manifest, one header and one blob per package and the packages'
digests, added to the stub's resource tree. Everything the stub reads about its packages
is assembled here."""
import struct

from digests import add_digests

from refusals import Refusal
from resources import Blob

MANIFEST_SIZE = 16                                # PackageManifest


def add_payload(tree, packages, layout):
    """Adds the payload's resources to TREE: the manifest, then a header and a blob for
    each package, in the order the packages are installed."""
    rtype, lang = layout["PAYLOAD_RESOURCE_TYPE"], layout["PAYLOAD_RESOURCE_LANGUAGE"]
    raw = tree.setdefault(rtype, {})
    if layout["PAYLOAD_MANIFEST_NAME"] in raw:
        raise Refusal("the stub already carries packages: pack a stub fresh from the build")
    # The magic, zero-padded up to the count, which is the manifest's last byte.
    magic = layout["PAYLOAD_MAGIC"].encode("ascii").ljust(MANIFEST_SIZE - 1, b"\0")
    raw[layout["PAYLOAD_MANIFEST_NAME"]] = {lang: (magic + bytes([len(packages)]), 0)}
    for index, package in enumerate(packages):
        blob_name = layout["PAYLOAD_BLOB_NAME_FORMAT"] % index
        header = struct.pack("<I", package.architecture) \
            + blob_name.encode("ascii").ljust(layout["PACKAGE_RESOURCE_NAME_SIZE"], b"\0") \
            + package.name.encode("utf-8").ljust(layout["PACKAGE_FILE_NAME_SIZE"], b"\0")
        raw[layout["PAYLOAD_HEADER_NAME_FORMAT"] % index] = {lang: (header, 0)}
        raw[blob_name] = {lang: (Blob(package), 0)}
    add_digests(raw, packages, layout)
