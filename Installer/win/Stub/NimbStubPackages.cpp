/* Package resources and extraction: the payload lookup, the header and digest checks, the
 * host test, and the write-then-verify of every package. */
#include "NimbStubPackages.h"
#include "NimbStubDirAccess.h"
#include "rt/crc32.h"
#include "rt/dir.h"
#include "rt/format.h"
#include "rt/path.h"
#include "rt/string.h"
#include <string.h>

static_assert(PAYLOAD_DIGEST_CHECK_VALUE == RTCRC32_CHECK_VALUE, "the packer records the checksum the runtime computes");

PayloadCalls g_PayloadCalls = { nullptr, GetProcAddress, RTFileRead, RTFileQueryInfo };

namespace {

/** Size of the path buffers extraction builds names in, terminator included. */
constexpr size_t EXTRACT_PATH_SIZE = PATH_FIELD_SIZE;
/** No record for the extraction directory, one made now or one that was there before. */
constexpr char g_szNoDirRecord[] = "Failed to add cleanup record for %sdir '%s'";

/** Finds and locks a raw-data resource of the payload module by its UTF-16 name. */
RTSTATUS loadResourceW(const RTUTF16 *pwszName, const void **ppvData, uint32_t *pcbData)
{
    HRSRC const hRsrc = FindResourceExW(g_PayloadCalls.hModule, MAKEINTRESOURCEW(PAYLOAD_RESOURCE_TYPE),
                                        reinterpret_cast<LPCWSTR>(pwszName), PAYLOAD_LOOKUP_LANGUAGE);
    if (!hRsrc)
        return ERR_DEVICE_FAILURE;
    DWORD const cbData = SizeofResource(g_PayloadCalls.hModule, hRsrc);
    if (!cbData)
        return ERR_NO_DATA_AVAILABLE;
    if (pcbData)
        *pcbData = cbData;
    HGLOBAL const hGlobal = LoadResource(g_PayloadCalls.hModule, hRsrc);
    if (!hGlobal)
        return ERR_DEVICE_FAILURE;
    const void *pvData = LockResource(hGlobal);
    if (!pvData)
        return ERR_DEVICE_FAILURE;
    *ppvData = pvData;
    return INF_SUCCESS;
}

/** Whether a zero-padded field holds its terminator. */
bool isTerminated(const char *pchField, size_t cbField)
{
    return __builtin_memchr(pchField, '\0', cbField) != nullptr;
}

/** Compares two ASCII texts of @p cch characters, ignoring case. */
bool equalsAsciiNoCase(const char *pch1, const char *pchUpper, size_t cch)
{
    for (size_t i = 0; i < cch; i++)
    {
        char const ch = pch1[i] >= 'a' && pch1[i] <= 'z' ? static_cast<char>(pch1[i] - ('a' - 'A')) : pch1[i];
        if (ch != pchUpper[i])
            return false;
    }
    return true;
}

/** Whether @p pszName, up to its first dot, is one of the names that open a device. */
bool isDeviceName(const char *pszName)
{
    size_t cchBase = 0;
    while (pszName[cchBase] && pszName[cchBase] != '.')
        cchBase++;
    /* Trailing spaces before the suffix are dropped by the platform too. */
    while (cchBase && pszName[cchBase - 1] == ' ')
        cchBase--;
    static const char s_aszDevices[][8] = { "CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$" };
    for (const char *pszDevice : s_aszDevices)
        if (cchBase == __builtin_strlen(pszDevice) && equalsAsciiNoCase(pszName, pszDevice, cchBase))
            return true;
    /* COM1-COM9 and LPT1-LPT9. */
    if (cchBase == 4 && pszName[3] >= '1' && pszName[3] <= '9'
        && (equalsAsciiNoCase(pszName, "COM", 3) || equalsAsciiNoCase(pszName, "LPT", 3)))
        return true;
    return false;
}

/** What is wrong with header @p pHeader of @p cbHeader bytes, or null when nothing is. */
const char *headerFault(const PackageHeader *pHeader, uint32_t cbHeader)
{
    if (cbHeader < sizeof(PackageHeader))
        return "header too short";
    if (!isTerminated(pHeader->resourceName, sizeof(pHeader->resourceName)))
        return "resource name not terminated";
    if (!isTerminated(pHeader->fileName, sizeof(pHeader->fileName)))
        return "file name not terminated";
    if (!IsPlainFileName(pHeader->fileName))
        return "file name not a plain file name";
    return nullptr;
}

/** Re-reads the written file through @p hFile and compares it with @p pbBlob; with a
 *  digest, also checks the checksum of what it read against it. */
RTSTATUS compareWithBlob(RTFILE hFile, const uint8_t *pbBlob, uint32_t cbBlob, const char *pszPath, uint32_t index,
                         const uint32_t *puDigest)
{
    uint8_t abBlock[EXTRACT_VERIFY_BLOCK];
    uint32_t uCrc = RTCRC32_INITIAL;
    for (uint32_t off = 0; off < cbBlob; )
    {
        size_t const cbBlock = cbBlob - off < EXTRACT_VERIFY_BLOCK ? cbBlob - off : EXTRACT_VERIFY_BLOCK;
        RTSTATUS const rc = g_PayloadCalls.pfnFileRead(hFile, abBlock, cbBlock, nullptr);
        if (RT_FAILURE(rc))
            return ConsoleErrorRc(rc, "#%u: RTFileRead failed on '%s' at offset %#RX32: %Rrc", index, pszPath, off, rc);
        if (memcmp(abBlock, pbBlob + off, cbBlock) != 0)
            return ConsoleErrorRc(ERR_CONTENT_MISMATCH, "#%u: File '%s' has change (mismatch in %#zx byte block at %#RX32)",
                                  index, pszPath, cbBlock, off);
        if (puDigest)
            uCrc = RTCrc32Add(uCrc, abBlock, cbBlock);
        off += static_cast<uint32_t>(cbBlock);
    }
    /* The caller names the package in its report. */
    if (puDigest && uCrc != *puDigest)
        return ERR_IMAGE_HASH_REJECTED;
    return INF_SUCCESS;
}

/** Queries the package file @p hFile holds, found at @p pszPath, and checks that it is still
 *  the file written, by its identity @p idWritten. */
RTSTATUS querySameFile(RTFILE hFile, RTFILESTATS *pStats, uint64_t idWritten, const char *pszPath, uint32_t index)
{
    RTSTATUS const rc = g_PayloadCalls.pfnFileQueryInfo(hFile, pStats, RTFATTR_UNIX);
    if (RT_FAILURE(rc))
        return ConsoleErrorRc(rc, "#%u: RTFileQueryInfo failed on '%s': %Rrc", index, pszPath, rc);
    if (pStats->u.Unix.idFile != idWritten)
        return ConsoleErrorRc(ERR_CONTENT_MISMATCH, "#%u: File ID of '%s' changed: %#RX64, expected %#RX64",
                              index, pszPath, pStats->u.Unix.idFile, idWritten);
    return INF_SUCCESS;
}

/** The second re-opening, which holds the verified file until clean-up. One that is to
 *  move to its stored name also carries the right to rename the file. */
RTSTATUS openHold(const char *pszPath, bool fRenamable, RTFILE *phFile)
{
    return fRenamable ? RTFileOpenMovable(phFile, pszPath) : RTFileOpenNamed(phFile, pszPath, EXTRACT_OPEN_SECOND);
}

/** Trades the renaming hold of a moved package for the second re-opening's, which Windows
 *  Installer can open the package beside: a reader that still denies writes takes over
 *  first, then the final reader is opened by the stored name and must find the same file. */
RTSTATUS handOverHold(CleanupRecord *pRecord, uint64_t idFile, uint32_t index)
{
    RTFILE hHandover = NIL_RTFILE;
    RTSTATUS rc = RTFileOpenNamed(&hHandover, pRecord->path, EXTRACT_OPEN_HANDOVER);
    if (RT_FAILURE(rc))
        return ConsoleErrorRc(rc, "#%u: Second re-opening of '%s' failed: %Rrc", index, pRecord->path, rc);
    RTFileClose(pRecord->handle.hFile);
    pRecord->handle.hFile = hHandover;

    RTFILE hHold = NIL_RTFILE;
    rc = RTFileOpenNamed(&hHold, pRecord->path, EXTRACT_OPEN_SECOND);
    if (RT_FAILURE(rc))
        return ConsoleErrorRc(rc, "#%u: Second re-opening of '%s' failed: %Rrc", index, pRecord->path, rc);
    RTFILESTATS Stats;
    rc = querySameFile(hHold, &Stats, idFile, pRecord->path, index);
    if (rc == ERR_CONTENT_MISMATCH)
    {
        /* Someone else's file has taken the name: it is not ours to delete at clean-up. */
        RTFileClose(hHold);
        pRecord->keepOnDisk = true;
        return rc;
    }
    pRecord->handle.hFile = hHold;
    RTFileClose(hHandover);
    return rc;
}

/** Moves the verified package @p index, held under its unique name, onto @p pszStoredPath
 *  through its hold; its record follows it, made before the move so that nothing can fail
 *  between the two. A file that fails to move is discarded. */
RTSTATUS moveToStoredName(uint32_t index, const char *pszStoredPath)
{
    CleanupRecord *const pUnique = FindPackageCleanupRecord(static_cast<int32_t>(index));
    RTFILESTATS Stats;
    RTSTATUS rc = g_PayloadCalls.pfnFileQueryInfo(pUnique->handle.hFile, &Stats, RTFATTR_UNIX);
    if (RT_FAILURE(rc))
        rc = ConsoleErrorRc(rc, "#%u: RTFileQueryInfo failed on '%s': %Rrc", index, pUnique->path, rc);
    else if (CleanupRecord *const pStored = AddCleanupRecord(pszStoredPath, true /*isFile*/))
    {
        rc = RTFileRenameByHandle(pUnique->handle.hFile, pszStoredPath, RTFRENAME_REPLACE);
        if (RT_SUCCESS(rc))
        {
            /* The new record took the head of the list, where the old one was. */
            pStored->packageIndex = pUnique->packageIndex;
            pStored->handle.hFile = pUnique->handle.hFile;
            FreeCleanupRecord(pUnique);
            return handOverHold(pStored, Stats.u.Unix.idFile, index);
        }
        FreeCleanupRecord(pStored);
        /* In full, so that a name another process holds says so in words
         * (ERR_SHARING_CONFLICT: "The file is in use by another process"). */
        ConsoleErrorRc(rc, "#%u: Failed to create/replace '%s' for writing: %Rra", index, pszStoredPath, rc);
    }
    else
        rc = ERR_OUT_OF_MEMORY;
    CleanupItemNow(pUnique);
    return rc;
}

/** Reports that @p pszWhat, a package or the digests, does not pass its check. @returns 1. */
int reportDamaged(const char *pszWhat)
{
    return ReportError("The installer is damaged: %s failed its check. Please download it again.", pszWhat);
}

/** The recorded digests of the @p count packages, or null in an installer packed before
 *  digests were. @returns 0, or 1 after reporting a damaged digests resource. */
int loadPackageDigests(uint32_t count, const uint32_t **ppauDigests)
{
    *ppauDigests = nullptr;
    const void *pvDigests = nullptr;
    uint32_t cbDigests = 0;
    RTSTATUS const rc = LoadEmbeddedResource(PAYLOAD_DIGESTS_NAME, &pvDigests, &cbDigests);
    if (rc == ERR_DEVICE_FAILURE)       /* none at all: packed before digests */
        return 0;
    auto const *pau32 = static_cast<const uint32_t *>(pvDigests);
    if (RT_FAILURE(rc) || cbDigests != PayloadDigestsSize(count) || pau32[0] != count)
        return reportDamaged("the digest table");
    *ppauDigests = pau32 + PAYLOAD_DIGESTS_HEADER_SIZE / sizeof(uint32_t);
    return 0;
}

} /* namespace */

RTSTATUS LoadEmbeddedResource(const char *pszName, const void **ppvData, uint32_t *pcbData)
{
    if (!pszName)
        return ERR_BAD_ARGUMENT;
    RTUTF16 *pwszName = nullptr;
    RTSTATUS rc = RTStrToUtf16(pszName, &pwszName);
    if (RT_FAILURE(rc))
        return rc;
    rc = loadResourceW(pwszName, ppvData, pcbData);
    RTUtf16Release(pwszName);
    return rc;
}

bool IsPlainFileName(const char *pszName)
{
    if (!*pszName)
        return false;
    for (const char *pch = pszName; *pch; pch++)
    {
        unsigned char const ch = static_cast<unsigned char>(*pch);
        if (ch < 0x20)
            return false;
        for (const char *pchBad = "\\/:*?\"<>|"; *pchBad; pchBad++)
            if (ch == static_cast<unsigned char>(*pchBad))
                return false;
    }
    /* "." and "..", and any name the platform would shorten by its trailing dots or
     * spaces into another name. */
    char const chLast = pszName[__builtin_strlen(pszName) - 1];
    if (chLast == '.' || chLast == ' ')
        return false;
    return !isDeviceName(pszName);
}

const PackageHeader *LoadPackageHeader(uint32_t index)
{
    char szName[PAYLOAD_RESOURCE_NAME_BUFFER];
    RTStrPrintBuf(szName, sizeof(szName), PAYLOAD_HEADER_NAME_FORMAT, index);
    const void *pvHeader = nullptr;
    uint32_t cbHeader = 0;
    RTSTATUS const rc = LoadEmbeddedResource(szName, &pvHeader, &cbHeader);
    if (RT_FAILURE(rc))
    {
        ReportError("Internal error: Could not find package header #%u: %Rrc", index, rc);
        return nullptr;
    }
    auto const *pHeader = static_cast<const PackageHeader *>(pvHeader);
    if (const char *pszFault = headerFault(pHeader, cbHeader))
    {
        ReportError("Internal package error: Package header #%u is malformed (%s)", index, pszFault);
        return nullptr;
    }
    return pHeader;
}

bool HostIs64Bit()
{
    typedef BOOL (WINAPI *PFNISWOW64PROCESS)(HANDLE hProcess, PBOOL pfWow64);
    auto const pfnIsWow64Process = reinterpret_cast<PFNISWOW64PROCESS>(reinterpret_cast<void *>(
        g_PayloadCalls.pfnGetProcAddress(GetModuleHandleA("kernel32"), "IsWow64Process")));
    /* Every Windows that runs 32-bit programs on a 64-bit system has this function. */
    if (!pfnIsWow64Process)
        return false;
    BOOL fWow64 = FALSE;
    if (!pfnIsWow64Process(GetCurrentProcess(), &fWow64))
        return false;
    return fWow64 != FALSE;
}

bool PackageSuitsHost(const PackageHeader *pHeader, bool fHost64)
{
    return pHeader->architecture == PACKAGE_ARCH_ANY
        || pHeader->architecture == (fHost64 ? PACKAGE_ARCH_AMD64 : PACKAGE_ARCH_X86);
}

RTSTATUS WritePackageFile(const char *pszResourceName, const char *pszPath, RTFILE hFile, uint32_t index,
                          bool fRenamable, const uint32_t *puDigest)
{
    CleanupRecord *pRecord = AddCleanupRecord(pszPath, true /*isFile*/);
    if (!pRecord)
    {
        /* Unlisted, the file would outlive the run: nothing could close or delete it. */
        RTFileClose(hFile);
        RTFileRemove(pszPath);
        return ERR_OUT_OF_MEMORY;
    }
    pRecord->packageIndex = static_cast<int32_t>(index);
    pRecord->handle.hFile = hFile;

    const void *pvBlob = nullptr;
    uint32_t cbBlob = 0;
    RTSTATUS rc = LoadEmbeddedResource(pszResourceName, &pvBlob, &cbBlob);
    if (RT_FAILURE(rc))
        return ConsoleErrorRc(rc, "#%u: Failed to locate resource '%s': %Rrc", index, pszResourceName, rc);

    rc = RTFileWrite(hFile, pvBlob, cbBlob, nullptr);
    if (RT_FAILURE(rc))
        return ConsoleErrorRc(rc, "#%u: RTFileWrite('%s',, %#x,) failed: %Rrc", index, pszPath, cbBlob, rc);

    RTFILESTATS Stats;
    rc = g_PayloadCalls.pfnFileQueryInfo(hFile, &Stats, RTFATTR_UNIX);
    if (RT_FAILURE(rc))
        return ConsoleErrorRc(rc, "#%u: RTFileQueryInfo failed on '%s': %Rrc", index, pszPath, rc);
    uint64_t const idFileWritten = Stats.u.Unix.idFile;

    RTFILE hFirst = NIL_RTFILE;
    rc = RTFileOpenNamed(&hFirst, pszPath, EXTRACT_OPEN_FIRST);
    if (RT_FAILURE(rc))
        return ConsoleErrorRc(rc, "#%u: First re-opening of '%s' failed: %Rrc", index, pszPath, rc);

    rc = RTFileClose(hFile);
    if (RT_FAILURE(rc))
    {
        /* The failed close has used up the handle: clean-up must not close it again. */
        pRecord->handle.hFile = NIL_RTFILE;
        RTFileClose(hFirst);
        return ConsoleErrorRc(rc, "#%u: RTFileClose('%s') failed: %Rrc", index, pszPath, rc);
    }
    pRecord->handle.hFile = hFirst;

    RTFILE hSecond = NIL_RTFILE;
    rc = openHold(pszPath, fRenamable, &hSecond);
    if (RT_FAILURE(rc))
        return ConsoleErrorRc(rc, "#%u: Second re-opening of '%s' failed: %Rrc", index, pszPath, rc);
    pRecord->handle.hFile = hSecond;
    rc = RTFileClose(hFirst);
    if (RT_FAILURE(rc))
        ConsoleErrorLen("#%u: Failed to close 2nd handle to '%s': %Rrc", index, pszPath, rc);   /* and go on */

    rc = querySameFile(hSecond, &Stats, idFileWritten, pszPath, index);
    if (RT_FAILURE(rc))
        return rc;
    if (static_cast<uint64_t>(Stats.cbObject) != cbBlob)
        return ConsoleErrorRc(ERR_CONTENT_MISMATCH, "#%u: File size of '%s' changed: %'RU64, expected %'RU32",
                              index, pszPath, static_cast<uint64_t>(Stats.cbObject), cbBlob);

    return compareWithBlob(hSecond, static_cast<const uint8_t *>(pvBlob), cbBlob, pszPath, index, puDigest);
}

int ExtractPackages(uint32_t count, const char *pszDir, bool onlyExtract, CleanupRecord **ppDirRecord)
{
    /* The payload is checked whole before anything is written: a header that would lead
     * outside the directory or past its resource must not leave half an extraction. */
    for (uint32_t index = 0; index < count; index++)
        if (!LoadPackageHeader(index))
            return 1;
    const uint32_t *pauDigests;
    if (int const rcDigests = loadPackageDigests(count, &pauDigests))
        return rcDigests;

    CleanupRecord *pDirRecord = *ppDirRecord;
    if (!RTDirExists(pszDir))
    {
        if (pDirRecord)
            return ReportError("RTDirExists failed on '%s' which we just created!", pszDir);
        RTSTATUS rc = RTDirMake(pszDir, EXTRACT_CREATE_MODE, 0);
        if (RT_FAILURE(rc))
            return ReportError(EXTRACT_DIR_FAILURE, "create", pszDir, rc);
        pDirRecord = AddCleanupRecord(pszDir, false /*isFile*/);
        if (!pDirRecord)
            return ConsoleError(g_szNoDirRecord, "", pszDir);
        *ppDirRecord = pDirRecord;
        rc = RestrictDirectoryAccess(pszDir);
        if (RT_FAILURE(rc))
            return ReportError(EXTRACT_DIR_FAILURE, "protect", pszDir, rc);
    }
    else if (!pDirRecord)
    {
        pDirRecord = AddCleanupRecord(pszDir, false /*isFile*/);
        if (!pDirRecord)
            return ConsoleError(g_szNoDirRecord, "existing ", pszDir);
        pDirRecord->keepOnDisk = true;
        *ppDirRecord = pDirRecord;
    }

    RTSTATUS rc = RTDirOpenPath(&pDirRecord->handle.hDir, pszDir);
    if (RT_FAILURE(rc))
        return ReportError(EXTRACT_DIR_FAILURE, "open", pszDir, rc);
    RTPathSetCurrentDir(pszDir);

    bool const fHost64 = HostIs64Bit();
    for (uint32_t index = 0; index < count; index++)
    {
        const PackageHeader *pHeader = LoadPackageHeader(index);
        if (!pHeader)
            return 1;
        if (!onlyExtract && !PackageSuitsHost(pHeader, fHost64))
            continue;

        /* Always under a unique name with the stored name's suffix; a package that keeps
         * its stored name moves there once verified. */
        bool const fOwnName = onlyExtract || pHeader->architecture == PACKAGE_ARCH_ANY;
        char szPath[EXTRACT_PATH_SIZE];
        char szStored[EXTRACT_PATH_SIZE];
        rc = RTPathJoinInto(szPath, sizeof(szPath), pszDir, EXTRACT_NAME_TEMPLATE);
        if (RT_SUCCESS(rc))
            if (const char *pszSuffix = RTPathSuffix(pHeader->fileName))
                rc = RTStrAppendBounded(szPath, sizeof(szPath), pszSuffix);
        if (RT_SUCCESS(rc) && fOwnName)
            rc = RTPathJoinInto(szStored, sizeof(szStored), pszDir, pHeader->fileName);
        if (RT_FAILURE(rc))
            return ReportError("Internal error: Build extraction file name failed: %Rrc", rc);
        RTFILE hFile = NIL_RTFILE;
        rc = RTFileMakeTemp(&hFile, szPath, EXTRACT_OPEN_UNIQUE);
        if (RT_FAILURE(rc))
            return ReportError("Failed to create unique filename for '%s' in '%s': %Rrc", pHeader->fileName, pszDir, rc);

        rc = WritePackageFile(pHeader->resourceName, szPath, hFile, index, fOwnName,
                              pauDigests ? &pauDigests[index] : nullptr);
        if (RT_FAILURE(rc))
        {
            /* A package that failed is no package: it goes at once, also where no clean-up
             * follows (extract-only runs). */
            if (CleanupRecord *pRecord = FindPackageCleanupRecord(static_cast<int32_t>(index)))
                CleanupItemNow(pRecord);
            if (rc == ERR_IMAGE_HASH_REJECTED)
                return reportDamaged(pHeader->fileName);
        }
        else if (fOwnName)
            rc = moveToStoredName(index, szStored);
        if (RT_FAILURE(rc))
            return ReportError("Error extracting package #%u (%s): %Rrc", index, pHeader->fileName, rc);
    }
    return 0;
}
