/* The payload in the executable's own resources, the choice of the packages that suit the
 * host, and their extraction: each package written, re-opened, compared byte for byte
 * with the embedded copy and checked against its recorded digest, then held open against
 * change until clean-up. */
#pragma once
#include "NimbStub.h"
#include "NimbStubCleanup.h"
#include "NimbStubPayload.h"

/** Temporary-name template: a run of X that the unique-name operations replace. */
inline constexpr char EXTRACT_NAME_TEMPLATE[] = "XXXXXXXXXXXXXXXXXXXXXXXX";
static_assert(sizeof(EXTRACT_NAME_TEMPLATE) == 24 + 1, "24 random characters");

/** What could not be done to the extraction directory ("create", "protect", "open"), its
 *  path and the status. */
inline constexpr char EXTRACT_DIR_FAILURE[] = "Failed to %s extraction path '%s': %Rrc";

/** Verification reads the file back in blocks of this size. */
inline constexpr size_t EXTRACT_VERIFY_BLOCK = 65536;

/** Creation mode of everything extraction creates: only its owner may use it. */
inline constexpr uint32_t EXTRACT_CREATE_MODE = 0700;

/* File-open flags: the writer of a package, always under a unique name (a package that
 * keeps its stored name moves there once verified); the first re-opening (readers, writers
 * and deleters still allowed, so that the second may carry the right to rename the file);
 * the second (others may only read, so the verified file holds until clean-up); and the
 * hand-over reader of a moved package, which still denies writes while the renaming hold
 * gives way to the second. */
inline constexpr uint64_t EXTRACT_OPEN_UNIQUE   = RTFOPEN_WRITE | RTFOPEN_DENY_WRITE | RTFOPEN_CREATE
                                                | (uint64_t{EXTRACT_CREATE_MODE} << RTFOPEN_CREATE_MODE_SHIFT);
inline constexpr uint64_t EXTRACT_OPEN_FIRST    = RTFOPEN_READ | RTFOPEN_SHARE_DELETE | RTFOPEN_OPEN
                                                | (uint64_t{EXTRACT_CREATE_MODE} << RTFOPEN_CREATE_MODE_SHIFT);
inline constexpr uint64_t EXTRACT_OPEN_SECOND   = RTFOPEN_READ | RTFOPEN_DENY_WRITE | RTFOPEN_OPEN;
inline constexpr uint64_t EXTRACT_OPEN_HANDOVER = RTFOPEN_READ | RTFOPEN_DENY_WRITE | RTFOPEN_SHARE_DELETE | RTFOPEN_OPEN;
static_assert(EXTRACT_OPEN_UNIQUE == 0x1C000222, "the writer creates only");
static_assert(EXTRACT_OPEN_FIRST == 0x1C000741 && EXTRACT_OPEN_SECOND == 0x721 && EXTRACT_OPEN_HANDOVER == 0x761,
              "readers");

/** Finds resource @p pszName (raw data, language-neutral lookup) in the payload module.
 *  @param ppvData receives a pointer into the loaded image, never freed
 *  @param pcbData receives the size when not null
 *  @returns 0, ERR_BAD_ARGUMENT, a conversion failure, ERR_DEVICE_FAILURE (not found or
 *  not loadable) or ERR_NO_DATA_AVAILABLE (empty). */
RTSTATUS LoadEmbeddedResource(const char *pszName, const void **ppvData, uint32_t *pcbData);

/** Package @p index's header, checked: whole, both names terminated, the file name a plain
 *  name. @returns null after reporting what is wrong. */
const PackageHeader *LoadPackageHeader(uint32_t index);

/** Whether @p pszName can be used as a file name inside the extraction directory and
 *  nowhere else: not empty, no separators, no drive, no "." or "..", no device name. */
bool IsPlainFileName(const char *pszName);

/** Whether the host is 64-bit. */
bool HostIs64Bit();

/** Whether the package of @p pHeader is installed on this host. */
bool PackageSuitsHost(const PackageHeader *pHeader, bool fHost64);

/** Writes the packages that suit the host (all of them when @p onlyExtract) into @p pszDir,
 *  creating the directory when it does not exist.
 *  @param ppDirRecord in: the record of a directory the caller has just created, or null;
 *                     out: the record of the extraction directory
 *  @returns 0, or 1 after reporting. */
int ExtractPackages(uint32_t count, const char *pszDir, bool onlyExtract, CleanupRecord **ppDirRecord);

/** Writes blob @p pszResourceName into @p hFile, the file just created under the unique
 *  name @p pszPath, verifies it and leaves it open for reading, listed for clean-up. With
 *  @p fRenamable the handle that holds it also carries the right to rename the file, so
 *  that it can move to its stored name.
 *  @param puDigest the package's recorded digest, or null when the installer has none
 *  @returns 0; ERR_IMAGE_HASH_REJECTED, without a message, when what was read back does
 *  not match the digest; or another negative status after a console message. */
RTSTATUS WritePackageFile(const char *pszResourceName, const char *pszPath, RTFILE hFile, uint32_t index,
                          bool fRenamable, const uint32_t *puDigest);

/** Where the payload is read from (null: the executable itself), how kernel32's optional
 *  entry points are looked up, and the reads and queries of verification. Tests point
 *  them elsewhere. */
struct PayloadCalls
{
    HMODULE  hModule;
    FARPROC  (WINAPI *pfnGetProcAddress)(HMODULE hModule, LPCSTR pszName);
    RTSTATUS (*pfnFileRead)(RTFILE hFile, void *pvBuf, size_t cbToRead, size_t *pcbRead);
    RTSTATUS (*pfnFileQueryInfo)(RTFILE hFile, RTFILESTATS *pStats, uint32_t enmAttr);
};
extern PayloadCalls g_PayloadCalls;
