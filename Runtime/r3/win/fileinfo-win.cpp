/* File information on Windows: the information record of an open handle (console handles
 * included), the mode word built from native attributes, and the file-system kind. */
#include "internal/file-win.h"
#include "rt/err.h"
#include "internal/pathint-win.h"

namespace {

/* The attribute bits the stats keep: every one up to and including FILE_ATTRIBUTE_ENCRYPTED. */
constexpr ULONG RTFILE_DOS_ATTRIBUTES_MASK = (FILE_ATTRIBUTE_ENCRYPTED << 1) - 1;
static_assert(RTFILE_DOS_ATTRIBUTES_MASK == 0x7FFF);

/* The all-information class fills this much when the name does not fit, which is all that
   is read from it. */
constexpr ULONG RTFILE_ALL_INFO_SIZE = 104;
static_assert(sizeof(FILE_ALL_INFORMATION) == RTFILE_ALL_INFO_SIZE, "all-information layout");

/* What RTFileModeFromAttributes makes of the device attribute alone with an empty name: a
   file that everyone may read and write. */
constexpr uint32_t RTFILE_MODE_DEVICE = RTFS_DOS_DEVICE | RTFS_TYPE_FILE | 0666;
static_assert(RTFILE_MODE_DEVICE == 0x4081B6, "the mode of a console or other device");

} /* namespace */

uint32_t RTFileModeFromAttributes(uint32_t fAttrs, const char *pszName, size_t cchName,
                                  uint32_t uReparseTag, uint32_t fTypeHint)
{
    uint32_t fMode = fAttrs & RTFS_DOS_MASK;
    if (fTypeHint == RTFS_TYPE_DIRECTORY)
        fMode |= RTFS_DOS_DIRECTORY;

    if (fMode & RTFS_DOS_DIRECTORY)
        fMode |= RTFS_TYPE_DIRECTORY | 0555;
    else
    {
        fMode |= RTFS_TYPE_FILE | 0444;
        if (pszName)
        {
            if (!cchName)
                while (pszName[cchName])
                    cchName++;
            if (cchName >= 4 && pszName[cchName - 4] == '.')
            {
                /* Executable suffixes, compared in lower case. */
                char achSuffix[3];
                for (unsigned i = 0; i < 3; i++)
                {
                    char const ch = pszName[cchName - 3 + i];
                    achSuffix[i] = ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + ('a' - 'A')) : ch;
                }
                static const char s_aszExec[][4] = { "exe", "bat", "com", "cmd", "btm" };
                for (const char *pszExec : s_aszExec)
                    if (achSuffix[0] == pszExec[0] && achSuffix[1] == pszExec[1] && achSuffix[2] == pszExec[2])
                        fMode |= 0111;
            }
        }
    }

    if ((fMode & RTFS_DOS_REPARSE_POINT) && uReparseTag == IO_REPARSE_TAG_SYMLINK)
        fMode = (fMode & ~RTFS_TYPE_MASK) | RTFS_TYPE_SYMLINK;

    if (!(fMode & RTFS_DOS_READONLY) || (fMode & RTFS_DOS_DIRECTORY))
        fMode |= 0222;
    return fMode;
}

void rtFileStatsSetAttrKind(RTFILESTATS *pStats, uint32_t enmAttr)
{
    pStats->enmAttr = enmAttr;
    switch (enmAttr)
    {
        case RTFATTR_UNIX:
            pStats->u.Unix.uid         = UINT32_MAX;
            pStats->u.Unix.gid         = UINT32_MAX;
            pStats->u.Unix.cHardLinks  = 1;
            pStats->u.Unix.idVolume    = 0;
            pStats->u.Unix.idFile      = 0;
            pStats->u.Unix.fFlags      = 0;
            pStats->u.Unix.uGeneration = 0;
            pStats->u.Unix.uDevice     = 0;
            break;
        case RTFATTR_UNIX_OWNER:
        case RTFATTR_UNIX_GROUP:
            pStats->u.UnixOwner.id        = UINT32_MAX;
            pStats->u.UnixOwner.szName[0] = '\0';
            break;
        case RTFATTR_EA_SIZE:
            pStats->u.EASize.cb = 0;
            break;
        default:
            break;
    }
}

uint32_t rtFileVolumeSerial(HANDLE hFile)
{
    union
    {
        FILE_FS_VOLUME_INFORMATION Info;
        uint8_t                    ab[2048];
    } Buf;
    IO_STATUS_BLOCK Ios = {};
    NTSTATUS const rcNt = NtQueryVolumeInformationFile(hFile, &Ios, &Buf, sizeof(Buf), FileFsVolumeInformation);
    if (NT_SUCCESS(rcNt) || rcNt == STATUS_BUFFER_OVERFLOW)
        return Buf.Info.VolumeSerialNumber;
    return 0;
}

void rtFileStatsFill(RTFILESTATS *pStats, const LARGE_INTEGER *paTimes, int64_t cbObject, int64_t cbAllocated,
                     uint32_t fAttrs, const char *pszName, uint32_t uReparseTag, uint32_t enmAttr)
{
    pStats->cbObject         = cbObject;
    pStats->cbAllocated      = cbAllocated;
    /* The native times in their order, converted in one loop rather than four inlined
       copies of the 64-bit arithmetic. */
    static constexpr int64_t RTFILESTATS::*s_apTimes[4] =
    {
        &RTFILESTATS::BirthTime, &RTFILESTATS::AccessTime, &RTFILESTATS::ModificationTime, &RTFILESTATS::ChangeTime,
    };
    for (unsigned i = 0; i < RT_ELEMENTS(s_apTimes); i++)
        pStats->*s_apTimes[i] = rtFileNtTimeToNs(paTimes[i].QuadPart);
    pStats->fMode = RTFileModeFromAttributes(fAttrs << RTFS_DOS_SHIFT, pszName, 0, uReparseTag, 0);
    rtFileStatsSetAttrKind(pStats, enmAttr);
}

RTSTATUS rtFileStatsFromHandle(HANDLE hFile, RTFILESTATS *pStats, uint32_t enmAttr, uint32_t uReparseTag)
{
    FILE_ALL_INFORMATION AllInfo;
    IO_STATUS_BLOCK Ios = {};
    NTSTATUS const rcNt = NtQueryInformationFile(hFile, &Ios, &AllInfo, RTFILE_ALL_INFO_SIZE,
                                                 FileAllInformation);
    if (!NT_SUCCESS(rcNt) && rcNt != STATUS_BUFFER_OVERFLOW)
        return RTErrConvertFromNtStatus(rcNt);

    rtFileStatsFill(pStats, &AllInfo.BasicInformation.CreationTime, AllInfo.StandardInformation.EndOfFile.QuadPart,
                    AllInfo.StandardInformation.AllocationSize.QuadPart, AllInfo.BasicInformation.FileAttributes & RTFILE_DOS_ATTRIBUTES_MASK,
                    nullptr, uReparseTag, enmAttr);
    if (enmAttr == RTFATTR_UNIX)
    {
        ULONG const cLinks = AllInfo.StandardInformation.NumberOfLinks;
        pStats->u.Unix.cHardLinks = cLinks ? cLinks : 1;
        pStats->u.Unix.idFile     = static_cast<uint64_t>(AllInfo.InternalInformation.IndexNumber.QuadPart);
        pStats->u.Unix.idVolume   = rtFileVolumeSerial(hFile);
    }
    return INF_SUCCESS;
}

typedef BOOL (WINAPI *PFNVERIFYCONSOLEIOHANDLE)(HANDLE);
/* Looked up on first need; the sentinel says "not looked up yet". */
static PFNVERIFYCONSOLEIOHANDLE volatile g_pfnVerifyConsoleIoHandle = reinterpret_cast<PFNVERIFYCONSOLEIOHANDLE>(1);

static bool rtFileIsConsole(HANDLE hFile)
{
    PFNVERIFYCONSOLEIOHANDLE pfn = g_pfnVerifyConsoleIoHandle;
    if (pfn == reinterpret_cast<PFNVERIFYCONSOLEIOHANDLE>(1))
    {
        HMODULE const hMod = GetModuleHandleW(L"kernel32.dll");
        pfn = hMod ? reinterpret_cast<PFNVERIFYCONSOLEIOHANDLE>(
                         reinterpret_cast<void *>(GetProcAddress(hMod, "VerifyConsoleIoHandle")))
                   : nullptr;
        g_pfnVerifyConsoleIoHandle = pfn;
    }
    if (pfn)
        return pfn(hFile) != FALSE;
    SetLastError(NO_ERROR);
    return !(GetFileType(hFile) == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR);
}

RTSTATUS RTFileQueryInfo(RTFILE hFile, RTFILESTATS *pStats, uint32_t enmAttr)
{
    if (hFile == NIL_RTFILE || !RT_VALID_PTR(pStats) || enmAttr < RTFATTR_NONE || enmAttr > RTFATTR_EA_SIZE)
        return ERR_BAD_ARGUMENT;
    HANDLE const h = reinterpret_cast<HANDLE>(hFile);
    RTSTATUS const rc = rtFileStatsFromHandle(h, pStats, enmAttr, 0);
    if (RT_SUCCESS(rc))
        return rc;
    if (rc == ERR_BAD_HANDLE || rc == ERR_ACCESS_REFUSED || rc == ERR_WRONG_OBJECT_TYPE)
    {
        if (!rtFileIsConsole(h))
            return ERR_BAD_HANDLE;
    }
    else if (rc != ERR_BAD_FUNCTION && rc != ERR_DEVICE_COMMAND_INVALID)
        return rc;

    /* A console or another device without file information. */
    *pStats = RTFILESTATS{};
    rtFileStatsSetAttrKind(pStats, enmAttr);
    pStats->fMode = RTFILE_MODE_DEVICE;
    return INF_SUCCESS;
}

RTSTATUS RTFileFsKind(RTFILE hFile, uint32_t *penmKind)
{
    *penmKind = RTFSKIND_UNKNOWN;
    union
    {
        FILE_FS_ATTRIBUTE_INFORMATION Info;
        uint8_t                       ab[4112];
    } Buf;
    IO_STATUS_BLOCK Ios = {};
    NTSTATUS const rcNt = NtQueryVolumeInformationFile(reinterpret_cast<HANDLE>(hFile), &Ios, &Buf, sizeof(Buf),
                                                       FileFsAttributeInformation);
    if (!NT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);

    /* The names one after the other in one block, each ending with a NUL, and their kinds
       in the same order: a table without pointers, so without relocations. */
    static constexpr char s_achNames[] = "NTFS\0FAT\0FAT32\0exFAT\0UDF\0CDFS\0HPFS\0ReFS\0NimbSharedFolderFS";
    static constexpr uint8_t s_abKinds[] =
    {
        RTFSKIND_NTFS, RTFSKIND_FAT, RTFSKIND_FAT, RTFSKIND_EXFAT, RTFSKIND_UDF, RTFSKIND_ISO9660,
        RTFSKIND_HPFS, RTFSKIND_REFS, RTFSKIND_NIMBSF,
    };
    static_assert([] {
        size_t cNames = 0;
        for (char ch : s_achNames)
            cNames += ch == '\0';
        return cNames == RT_ELEMENTS(s_abKinds);
    }(), "one kind per name");
    size_t const cwcName = Buf.Info.FileSystemNameLength / sizeof(WCHAR);
    if (cwcName > (sizeof(Buf) - offsetof(FILE_FS_ATTRIBUTE_INFORMATION, FileSystemName)) / sizeof(WCHAR))
        return INF_SUCCESS;
    const char *pszName = s_achNames;
    for (uint8_t const enmKind : s_abKinds)
    {
        size_t i = 0;
        while (i < cwcName && pszName[i] && Buf.Info.FileSystemName[i] == static_cast<WCHAR>(pszName[i]))
            i++;
        if (i == cwcName && !pszName[i])
        {
            *penmKind = enmKind;
            break;
        }
        while (*pszName++)
        { /* to the next name */ }
    }
    return INF_SUCCESS;
}
