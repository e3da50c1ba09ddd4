/* The information record of a path without an open handle: the full-attributes query, a
 * short-lived handle, the parent directory's listing for files that cannot be opened, and
 * the NT object namespace for names the file system does not know. */
#include "internal/file-win.h"
#include "internal/r3-win.h"
#include "internal/path.h"
#include "rt/err.h"
#include "internal/pathint-win.h"

/* Whether the file system accepts the open-reparse-point option: -1 unknown, 0 no, 1 yes.
   Concurrent first probes reach the same value, so a plain integer serves. */
static volatile int g_iPathQueryReparseOk = -1;


static bool rtPathNtNameEquals(const UNICODE_STRING &Str, const WCHAR *pwc, size_t cwc)
{
    if (Str.Length != cwc * sizeof(WCHAR))
        return false;
    for (size_t i = 0; i < cwc; i++)
        if (Str.Buffer[i] != pwc[i])
            return false;
    return true;
}

static bool rtPathNtNameEqualsAscii(const UNICODE_STRING &Str, const char *psz)
{
    size_t i = 0;
    for (; psz[i]; i++)
        if (i >= Str.Length / sizeof(WCHAR) || Str.Buffer[i] != static_cast<WCHAR>(psz[i]))
            return false;
    return i == Str.Length / sizeof(WCHAR);
}

/* A record for something that has no file information: zero, with the native time 0 in
   all four times. Out of line: inlined, each caller would carry its own copy of the four
   64-bit stores. */
__attribute__((noinline)) static void rtPathSyntheticStats(RTFILESTATS *pStats, uint32_t fMode, uint32_t enmAttr)
{
    *pStats = RTFILESTATS{};
    pStats->AccessTime = pStats->ModificationTime = pStats->ChangeTime = pStats->BirthTime = rtFileNtTimeToNs(0);
    pStats->fMode = fMode;
    rtFileStatsSetAttrKind(pStats, enmAttr);
}

/* Splits an NT name into parent and final component, trailing separators dropped from
   both; returns the final component's offset (in units) and sets the lengths. A name
   without separator has no parent (length 0). */
static void rtPathNtSplit(const UNICODE_STRING &Name, USHORT *pcwcParent, USHORT *poffFinal, USHORT *pcwcFinal)
{
    USHORT cwc = Name.Length / sizeof(WCHAR);
    while (cwc > 1 && rtPathIsAnySep(Name.Buffer[cwc - 1]))
        cwc--;
    USHORT off = cwc;
    while (off > 0 && !rtPathIsAnySep(Name.Buffer[off - 1]))
        off--;
    *poffFinal = off;
    *pcwcFinal = cwc - off;
    USHORT cwcParent = off;
    while (cwcParent > 1 && rtPathIsAnySep(Name.Buffer[cwcParent - 1]))
        cwcParent--;
    *pcwcParent = cwcParent;
}

/* Looks a name up in the NT object namespace, for names the file system rejects. */
static RTSTATUS rtPathQueryObjectNamespace(HANDLE hRootDir, const UNICODE_STRING &Name, RTFILESTATS *pStats,
                                           uint32_t enmAttr, uint8_t *pbBuf)
{
    if (!hRootDir && Name.Length == sizeof(WCHAR) && Name.Buffer[0] == L'\\')
    {
        rtPathSyntheticStats(pStats, RTFS_DOS_DIRECTORY | RTFS_TYPE_DIRECTORY | 0777, enmAttr);
        return INF_SUCCESS;
    }

    USHORT cwcParent, offFinal, cwcFinal;
    rtPathNtSplit(Name, &cwcParent, &offFinal, &cwcFinal);
    UNICODE_STRING Parent;
    Parent.Buffer = Name.Buffer;
    Parent.Length = Parent.MaximumLength = static_cast<USHORT>(cwcParent * sizeof(WCHAR));
    OBJECT_ATTRIBUTES ObjAttr;
    InitializeObjectAttributes(&ObjAttr, &Parent, OBJ_CASE_INSENSITIVE, hRootDir, nullptr);
    HANDLE hDir = nullptr;
    NTSTATUS rcNt = NtOpenDirectoryObject(&hDir, 3 /* query, traverse */, &ObjAttr);
    if (!NT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);

    RTSTATUS rc = ERR_FILE_MISSING;
    ULONG uContext = 0;
    BOOLEAN fRestart = TRUE;
    for (;;)
    {
        ULONG cbRet = 0;
        rcNt = NtQueryDirectoryObject(hDir, pbBuf, RTPATHQ_LIST_BUF_SIZE, TRUE, fRestart, &uContext, &cbRet);
        fRestart = FALSE;
        if (rcNt == STATUS_NO_MORE_ENTRIES || rcNt == STATUS_NO_MORE_FILES || rcNt == STATUS_NO_SUCH_FILE)
            break;
        if (!NT_SUCCESS(rcNt))
        {
            rc = RTErrConvertFromNtStatus(rcNt);
            break;
        }
        RTNTOBJDIRINFO const *pEntry = reinterpret_cast<RTNTOBJDIRINFO const *>(pbBuf);
        if (rtPathNtNameEquals(pEntry->Name, &Name.Buffer[offFinal], cwcFinal))
        {
            uint32_t fMode;
            if (rtPathNtNameEqualsAscii(pEntry->TypeName, "Directory"))
                fMode = RTFS_DOS_DIRECTORY | RTFS_TYPE_DIRECTORY | 0777;
            else if (rtPathNtNameEqualsAscii(pEntry->TypeName, "SymbolicLink"))
                fMode = RTFS_DOS_REPARSE_POINT | RTFS_TYPE_SYMLINK | 0777;
            else if (rtPathNtNameEqualsAscii(pEntry->TypeName, "Device"))
                fMode = RTFS_DOS_DEVICE | RTFS_TYPE_DEV_CHAR | 0666;
            else
                fMode = RTFS_DOS_NORMAL | RTFS_TYPE_FILE | 0666;
            rtPathSyntheticStats(pStats, fMode, enmAttr);
            rc = INF_SUCCESS;
            break;
        }
    }
    NtClose(hDir);
    return rc;
}

static bool rtPathIsBadName(NTSTATUS rcNt)
{
    return rcNt == STATUS_OBJECT_NAME_INVALID || rcNt == STATUS_OBJECT_TYPE_MISMATCH;
}

static bool rtPathIsLocked(NTSTATUS rcNt)
{
    return rcNt == STATUS_ACCESS_DENIED || rcNt == STATUS_SHARING_VIOLATION;
}

/* Outcome of a method: done (with a status), or go on to the next. */
enum class RTPATHQNEXT { Done, HandleQuery, DirListing };

/* Opens an existing file or directory, sharing everything. */
static NTSTATUS rtPathQueryOpen(HANDLE hRootDir, UNICODE_STRING *pName, ACCESS_MASK fAccess, ULONG fOptions,
                                HANDLE *phFile)
{
    OBJECT_ATTRIBUTES ObjAttr;
    InitializeObjectAttributes(&ObjAttr, pName, OBJ_CASE_INSENSITIVE, hRootDir, nullptr);
    IO_STATUS_BLOCK Ios = {};
    *phFile = nullptr;
    return NtCreateFile(phFile, fAccess, &ObjAttr, &Ios, nullptr, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_VALID_FLAGS,
                        FILE_OPEN, fOptions, nullptr, 0);
}

namespace {

/* The access of the short-lived handle: its attributes only. */
constexpr ACCESS_MASK RTPATHQ_HANDLE_ACCESS = FILE_READ_ATTRIBUTES | SYNCHRONIZE;

} /* namespace */

/* Method 2: a short-lived handle with read-attributes access only. */
static RTPATHQNEXT rtPathQueryByHandle(HANDLE hRootDir, UNICODE_STRING *pName, RTFILESTATS *pStats, uint32_t enmAttr,
                                       uint32_t fFlags, uint8_t *pbBuf, RTSTATUS *prc)
{
    ULONG fOptions = FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT;
    if (g_iPathQueryReparseOk != 0 && !(fFlags & RTPATHQ_FOLLOW_LINK))
        fOptions |= FILE_OPEN_REPARSE_POINT;
    HANDLE hFile;
    NTSTATUS rcNt = rtPathQueryOpen(hRootDir, pName, RTPATHQ_HANDLE_ACCESS, fOptions, &hFile);
    if (   (rcNt == STATUS_INVALID_PARAMETER || rcNt == STATUS_INVALID_PARAMETER_9)
        && g_iPathQueryReparseOk == -1
        && (fOptions & FILE_OPEN_REPARSE_POINT))
    {
        fOptions &= ~FILE_OPEN_REPARSE_POINT;
        rcNt = rtPathQueryOpen(hRootDir, pName, RTPATHQ_HANDLE_ACCESS, fOptions, &hFile);
        if (rcNt != STATUS_INVALID_PARAMETER)
            g_iPathQueryReparseOk = 0;
    }
    if (!NT_SUCCESS(rcNt))
    {
        if (rtPathIsBadName(rcNt))
        {
            *prc = rtPathQueryObjectNamespace(hRootDir, *pName, pStats, enmAttr, pbBuf);
            return RTPATHQNEXT::Done;
        }
        if (rtPathIsLocked(rcNt))
            return RTPATHQNEXT::DirListing;
        *prc = RTErrConvertFromNtStatus(rcNt);
        return RTPATHQNEXT::Done;
    }

    FILE_ATTRIBUTE_TAG_INFORMATION TagInfo = {};
    IO_STATUS_BLOCK Ios = {};
    if (!NT_SUCCESS(NtQueryInformationFile(hFile, &Ios, &TagInfo, sizeof(TagInfo),
                                           FileAttributeTagInformation)))
        TagInfo = FILE_ATTRIBUTE_TAG_INFORMATION{};
    /* Junctions and mount points are traversed; only symbolic links are described as such. */
    if (   (TagInfo.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        && TagInfo.ReparseTag != IO_REPARSE_TAG_SYMLINK
        && (fOptions & FILE_OPEN_REPARSE_POINT))
    {
        HANDLE hTarget;
        if (NT_SUCCESS(rtPathQueryOpen(hRootDir, pName, RTPATHQ_HANDLE_ACCESS, fOptions & ~FILE_OPEN_REPARSE_POINT, &hTarget)))
        {
            NtClose(hFile);
            hFile = hTarget;
        }
    }
    RTSTATUS const rc = rtFileStatsFromHandle(hFile, pStats, enmAttr, TagInfo.ReparseTag);
    NtClose(hFile);
    if (RT_FAILURE(rc))
        return RTPATHQNEXT::DirListing;
    *prc = rc;
    return RTPATHQNEXT::Done;
}

/* Method 3: the entry in the parent directory's listing, for files that cannot be opened
   even for their attributes (locked or access-protected). */
RTSTATUS rtPathQueryByDirListing(HANDLE hRootDir, const UNICODE_STRING *pName, RTFILESTATS *pStats, uint32_t enmAttr,
                                 uint8_t *pbBuf)
{
    USHORT cwcParent, offFinal, cwcFinal;
    rtPathNtSplit(*pName, &cwcParent, &offFinal, &cwcFinal);
    static WCHAR s_wszDot[] = L".";
    UNICODE_STRING Parent;
    if (offFinal == 0)
    {
        Parent.Buffer = s_wszDot;
        Parent.Length = sizeof(WCHAR);
    }
    else
    {
        /* A volume's root keeps its separator: without it the name is the volume itself. */
        if (pName->Buffer[cwcParent - 1] == L':')
            cwcParent++;
        Parent.Buffer = pName->Buffer;
        Parent.Length = static_cast<USHORT>(cwcParent * sizeof(WCHAR));
    }
    Parent.MaximumLength = Parent.Length;

    HANDLE hDir;
    NTSTATUS rcNt = rtPathQueryOpen(hRootDir, &Parent, FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                    FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT, &hDir);
    if (!NT_SUCCESS(rcNt))
    {
        RTSTATUS const rcOpen = RTErrConvertFromNtStatus(rcNt);
        if (rtPathIsBadName(rcNt) && RT_SUCCESS(rtPathQueryObjectNamespace(hRootDir, *pName, pStats, enmAttr, pbBuf)))
            return INF_SUCCESS;
        return rcOpen;
    }

    UNICODE_STRING Final;
    Final.Buffer = &pName->Buffer[offFinal];
    Final.Length = Final.MaximumLength = static_cast<USHORT>(cwcFinal * sizeof(WCHAR));
    /* The class with file ids came with NT 5.1 (version code 105); before initialisation
       the system is taken to be a current one. */
    bool const fIdClass = g_enmWinVer == RTWINVER_UNKNOWN || g_enmWinVer >= RTWINVER_XP;
    IO_STATUS_BLOCK Ios = {};
    rcNt = NtQueryDirectoryFile(hDir, nullptr, nullptr, nullptr, &Ios, pbBuf, RTPATHQ_LIST_BUF_SIZE,
                                fIdClass ? FileIdBothDirectoryInformation : FileBothDirectoryInformation,
                                TRUE, &Final, TRUE);
    RTSTATUS rc = INF_SUCCESS;
    if (NT_SUCCESS(rcNt))
    {
        /* The two classes share their layout up to the short name; the file id follows it. */
        FILE_ID_BOTH_DIR_INFORMATION const *pEntry = reinterpret_cast<FILE_ID_BOTH_DIR_INFORMATION const *>(pbBuf);
        static_assert(offsetof(FILE_ID_BOTH_DIR_INFORMATION, ShortName) == offsetof(FILE_BOTH_DIR_INFORMATION, ShortName),
                      "shared directory entry layout");
        /* The EA-size field holds the reparse tag for reparse points. */
        rtFileStatsFill(pStats, &pEntry->CreationTime, pEntry->EndOfFile.QuadPart, pEntry->AllocationSize.QuadPart,
                        pEntry->FileAttributes, nullptr, pEntry->EaSize, enmAttr);
        if (enmAttr == RTFATTR_UNIX)
        {
            pStats->u.Unix.idFile   = fIdClass ? static_cast<uint64_t>(pEntry->FileId.QuadPart) : 0;
            pStats->u.Unix.idVolume = rtFileVolumeSerial(hDir);
        }
    }
    else
        rc = RTErrConvertFromNtStatus(rcNt);
    NtClose(hDir);
    return rc;
}

/* Method 1: the full-attributes query, which needs no handle. */
static RTPATHQNEXT rtPathQueryFullAttrs(HANDLE hRootDir, UNICODE_STRING *pName, const char *pszPath,
                                        RTFILESTATS *pStats, uint32_t enmAttr, uint8_t *pbBuf, RTSTATUS *prc)
{
    /* Found by runtime initialisation; absent on old systems and before initialisation. */
    PFNRTNTQUERYFULLATTRIBUTESFILE const pfn = g_pfnNtQueryFullAttributesFile;
    if (enmAttr == RTFATTR_UNIX || !pfn)
        return RTPATHQNEXT::HandleQuery;
    OBJECT_ATTRIBUTES ObjAttr;
    InitializeObjectAttributes(&ObjAttr, pName, OBJ_CASE_INSENSITIVE, hRootDir, nullptr);
    FILE_NETWORK_OPEN_INFORMATION Info = {};
    NTSTATUS const rcNt = pfn(&ObjAttr, &Info);
    if (NT_SUCCESS(rcNt))
    {
        if (Info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return RTPATHQNEXT::HandleQuery;
        rtFileStatsFill(pStats, &Info.CreationTime, Info.EndOfFile.QuadPart, Info.AllocationSize.QuadPart,
                        Info.FileAttributes, pszPath, 0, enmAttr);
        *prc = INF_SUCCESS;
        return RTPATHQNEXT::Done;
    }
    /* Some systems answer a bad device type for object-namespace names instead of a type
       mismatch. */
    if (rtPathIsBadName(rcNt) || rcNt == STATUS_INVALID_PARAMETER || rcNt == STATUS_BAD_DEVICE_TYPE)
    {
        *prc = rtPathQueryObjectNamespace(hRootDir, *pName, pStats, enmAttr, pbBuf);
        return RTPATHQNEXT::Done;
    }
    if (rtPathIsLocked(rcNt))
        return RTPATHQNEXT::HandleQuery;
    *prc = RTErrConvertFromNtStatus(rcNt);
    return RTPATHQNEXT::Done;
}

RTSTATUS RTPathQueryStats(const char *pszPath, RTFILESTATS *pStats, uint32_t enmAttr, uint32_t fFlags)
{
    if (!RT_VALID_PTR(pszPath) || !RT_VALID_PTR(pStats))
        return ERR_BAD_POINTER;
    if (!*pszPath || enmAttr < RTFATTR_NONE || enmAttr > RTFATTR_EA_SIZE)
        return ERR_BAD_ARGUMENT;
    uint32_t const fLink = fFlags & ~RTPATHQ_NO_AUTOMOUNT;
    if (fLink != RTPATHQ_ON_LINK && fLink != RTPATHQ_FOLLOW_LINK)
        return ERR_BAD_ARGUMENT;

    UNICODE_STRING NtName;
    HANDLE hRootDir;
    RTSTATUS rc = RTPathToNtName(&NtName, &hRootDir, pszPath);
    if (RT_FAILURE(rc))
        return rc;

    alignas(8) uint8_t abBuf[RTPATHQ_LIST_BUF_SIZE];
    RTPATHQNEXT enmNext = rtPathQueryFullAttrs(hRootDir, &NtName, pszPath, pStats, enmAttr, abBuf, &rc);
    if (enmNext == RTPATHQNEXT::HandleQuery)
        enmNext = rtPathQueryByHandle(hRootDir, &NtName, pStats, enmAttr, fFlags, abBuf, &rc);
    if (enmNext == RTPATHQNEXT::DirListing)
        rc = rtPathQueryByDirListing(hRootDir, &NtName, pStats, enmAttr, abBuf);

    RTPathNtNameFree(&NtName, &hRootDir);
    return rc;
}
