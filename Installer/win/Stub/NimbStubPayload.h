/* The payload an installer carries in its own resources: the manifest, one header per
 * package, the package blobs and their digests. The stub reads this layout and the packer
 * writes it, both from this one definition. No platform headers, so that host-side tools
 * can share it. */
#pragma once
#include <stddef.h>
#include <stdint.h>

/** Every payload resource is raw data (the platform's RT_RCDATA), stored in US English and
 *  looked up in the language-neutral form. */
inline constexpr uint16_t PAYLOAD_RESOURCE_TYPE     = 10;
inline constexpr uint16_t PAYLOAD_RESOURCE_LANGUAGE = 1033;
inline constexpr uint16_t PAYLOAD_LOOKUP_LANGUAGE   = 0;

/** Resource names: the manifest, and the formats of the header and blob names, which take
 *  the package index (0-based, at least two digits). */
inline constexpr char PAYLOAD_MANIFEST_NAME[]      = "MANIFEST";
inline constexpr char PAYLOAD_HEADER_NAME_FORMAT[] = "HDR_%02d";
inline constexpr char PAYLOAD_BLOB_NAME_FORMAT[]   = "BIN_%02d";
/** Size of the buffer a header name is formatted into, terminator included. */
inline constexpr size_t PAYLOAD_RESOURCE_NAME_BUFFER = 32;

/** The text at the start of the manifest; the rest of its 15 bytes are zero. */
inline constexpr char PAYLOAD_MAGIC[] = "NimbInstV1";

/** Which hosts a package is for. Any other value is never installed, only extracted. */
enum PackageArchitecture : uint32_t
{
    PACKAGE_ARCH_ANY   = 1,
    PACKAGE_ARCH_X86   = 2,
    PACKAGE_ARCH_AMD64 = 3,
};

/** Resource "MANIFEST": how many packages follow. */
struct PackageManifest
{
    char    magic[15];
    uint8_t packageCount;
};

/** Field sizes of a package header, terminators included. */
inline constexpr size_t PACKAGE_RESOURCE_NAME_SIZE = 28;
inline constexpr size_t PACKAGE_FILE_NAME_SIZE     = 224;

/** Resource "HDR_nn": one package's host, blob resource and file name. */
struct PackageHeader
{
    /** A PackageArchitecture value, little-endian. */
    uint32_t architecture;
    /** Name of the blob resource ("BIN_00", ...), NUL-terminated and zero-padded. */
    char     resourceName[PACKAGE_RESOURCE_NAME_SIZE];
    /** The package's file name with its ".msi" or ".cab" suffix, NUL-terminated and zero-padded. */
    char     fileName[PACKAGE_FILE_NAME_SIZE];
};

/** At most this many packages: the manifest counts them in one byte. */
inline constexpr uint32_t PAYLOAD_MAX_PACKAGES = 255;

/** Suffixes a package's file name may have, compared without regard to ASCII case. */
inline constexpr char PACKAGE_SUFFIX_MSI[] = ".msi";
inline constexpr char PACKAGE_SUFFIX_CAB[] = ".cab";

/** Resource "DIGESTS": a checksum of every package, recorded by the packer and checked by
 *  the stub as it reads each written package back, so that an installer damaged after
 *  packing (a bad download or disk, a copy cut short) never reaches Windows Installer.
 *
 *  Layout, little-endian: the package count (4 bytes, equal to the manifest's), then one
 *  PAYLOAD_DIGEST_SIZE checksum per package in index order; nothing else. A resource of
 *  another size or count is itself damage. An installer without it was packed before
 *  digests existed and is extracted as it always was.
 *
 *  The checksum is CRC-32 (the polynomial 0x04C11DB7 reflected, starting from all ones,
 *  inverted at the end; PAYLOAD_DIGEST_CHECK_VALUE is its value for "123456789"). It is
 *  there for accidental damage: it finds every error burst of up to 32 bits, every error
 *  of one to three bits in a package of up to 11 KiB, every one- or two-bit error in one of
 *  up to 512 MiB, and misses any other damage once in 2^32. Deliberate change is not its
 *  business: whoever can edit the payload can rewrite its checksum too, and that is what
 *  the signature is for. It was chosen over a cryptographic hash for speed on a 32-bit
 *  host, where the check is paid on every run: with eight tables made at run time (in
 *  zero-initialised storage, a few dozen bytes of code) it costs some four instructions a
 *  byte, against some nine for MD5 and thirty for SHA-256; and of what the packer's
 *  standard library computes at native speed, it is the fastest (zlib). */
inline constexpr char     PAYLOAD_DIGESTS_NAME[]          = "DIGESTS";
inline constexpr size_t   PAYLOAD_DIGESTS_HEADER_SIZE     = 4;
inline constexpr size_t   PAYLOAD_DIGEST_SIZE             = 4;
inline constexpr uint32_t PAYLOAD_DIGEST_CHECK_VALUE      = 0xCBF43926u;

/** The size of a digests resource for @p cPackages packages. */
inline constexpr size_t PayloadDigestsSize(uint32_t cPackages)
{
    return PAYLOAD_DIGESTS_HEADER_SIZE + size_t{cPackages} * PAYLOAD_DIGEST_SIZE;
}

/** The largest image the packer writes (exclusive): a 32-bit process without large-address
 *  awareness maps its image into 2 GiB of address space, so a bigger one can never load. */
inline constexpr uint32_t PAYLOAD_MAX_IMAGE_SIZE = 0x80000000u;

static_assert(sizeof(PackageManifest) == 16, "the manifest is 16 bytes");
static_assert(offsetof(PackageManifest, packageCount) == 15, "the count is the manifest's last byte");
static_assert(sizeof(PAYLOAD_MAGIC) <= sizeof(PackageManifest::magic), "the magic fits its field");
static_assert(sizeof(PackageHeader) == 256, "a package header is 256 bytes");
static_assert(offsetof(PackageHeader, architecture) == 0, "header layout");
static_assert(offsetof(PackageHeader, resourceName) == 4, "header layout");
static_assert(offsetof(PackageHeader, fileName) == 32, "header layout");
static_assert(PAYLOAD_MAX_PACKAGES == UINT8_MAX, "the count is one byte");
static_assert(PAYLOAD_DIGESTS_HEADER_SIZE == sizeof(uint32_t) && PAYLOAD_DIGEST_SIZE == sizeof(uint32_t),
              "a 32-bit count, then 32-bit checksums");
static_assert(PAYLOAD_MAX_IMAGE_SIZE == 2u * 1024 * 1024 * 1024, "2 GiB of user address space");
