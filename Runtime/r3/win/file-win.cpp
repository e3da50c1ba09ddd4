/* Files on Windows: the open-flag word and its translation to CreateFileW, opening,
 * adopting and closing handles, positions, size, flushing and the usability test. */
#include "internal/file-win.h"
#include "rt/err.h"
#include "internal/pathint-win.h"
#include <winioctl.h>

namespace {

/* Native share mode for each share code, 0x00 to 0x80 (0 has already become 0x80). */
constexpr DWORD g_afShareModes[9] =
{
    0,                                                           /* unused */
    FILE_SHARE_WRITE,                                            /* deny read */
    FILE_SHARE_READ,                                             /* deny write */
    0,                                                           /* deny both */
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,      /* share delete */
    FILE_SHARE_WRITE | FILE_SHARE_DELETE,                        /* deny read, share delete */
    FILE_SHARE_READ | FILE_SHARE_DELETE,                         /* deny write, share delete */
    FILE_SHARE_DELETE,                                           /* deny both, share delete */
    FILE_SHARE_READ | FILE_SHARE_WRITE,                          /* deny none */
};

/* Desired access for each data access (none, read, write, both), without and with append:
 * an appending writer may add data but not overwrite it. */
constexpr DWORD RTFILE_APPEND_ONLY_WRITE = FILE_GENERIC_WRITE & ~FILE_WRITE_DATA;
constexpr DWORD g_afDataAccess[4][2] =
{
    { 0,                                      0 },
    { FILE_GENERIC_READ,                      FILE_GENERIC_READ },
    { FILE_GENERIC_WRITE,                     RTFILE_APPEND_ONLY_WRITE },
    { FILE_GENERIC_READ | FILE_GENERIC_WRITE, FILE_GENERIC_READ | RTFILE_APPEND_ONLY_WRITE },
};
static_assert(g_afDataAccess[1][0] == 0x120089 && g_afDataAccess[2][0] == 0x120116 && g_afDataAccess[2][1] == 0x120114
              && g_afDataAccess[3][0] == 0x12019F && g_afDataAccess[3][1] == 0x12019D, "the rights the open flags stand for");

/* Attribute rights for each attribute access (none, read, write, both). */
constexpr DWORD g_afAttrAccess[4] =
{
    0,
    SYNCHRONIZE | FILE_READ_ATTRIBUTES,
    SYNCHRONIZE | FILE_WRITE_ATTRIBUTES,
    SYNCHRONIZE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
};
static_assert(g_afAttrAccess[3] == 0x100180, "the rights the attribute flags stand for");

} /* namespace */

/* The flag constants are as wide as the flag word, but only its low half means anything:
   testing on 32 bits spares the compiler from carrying an always-zero high half. */
static constexpr uint32_t rtFileOpenBits(uint32_t fOpen, uint64_t fMask)
{
    return fOpen & static_cast<uint32_t>(fMask);
}

RTSTATUS rtFileValidateOpenFlags(uint64_t fOpenIn, uint32_t *pfOpen)
{
    uint32_t fOpen = static_cast<uint32_t>(fOpenIn);
    if (!rtFileOpenBits(fOpen, RTFOPEN_ACCESS_MASK | RTFOPEN_ATTR_MASK))
        return ERR_BAD_ARGUMENT;
    if (rtFileOpenBits(fOpen, RTFOPEN_RESERVED_MASK))
        return ERR_BAD_ARGUMENT;
    if (rtFileOpenBits(fOpen, RTFOPEN_TRUNCATE) && !rtFileOpenBits(fOpen, RTFOPEN_WRITE))
        return ERR_BAD_ARGUMENT;

    uint32_t const fAction = rtFileOpenBits(fOpen, RTFOPEN_ACTION_MASK);
    if (fAction == 0)
        fOpen |= RTFOPEN_OPEN;
    else if (fAction > RTFOPEN_CREATE_REPLACE && fAction < RTFOPEN_OPEN)
        return ERR_BAD_ARGUMENT;    /* the action values no flag names */
    if (rtFileOpenBits(fOpen, RTFOPEN_ACTION_MASK) == RTFOPEN_OPEN && rtFileOpenBits(fOpen, RTFOPEN_NOT_CONTENT_INDEXED))
        return ERR_BAD_ARGUMENT;

    uint32_t const fShare = rtFileOpenBits(fOpen, RTFOPEN_SHARE_MASK);
    if (fShare == 0)
        fOpen |= RTFOPEN_DENY_NONE;
    else if (fShare > RTFOPEN_DENY_NONE)
        return ERR_BAD_ARGUMENT;

    *pfOpen = fOpen;
    return INF_SUCCESS;
}

namespace {

/* Creation disposition for each action (0x100 to 0x700, shifted down); the open action
 * becomes truncate-existing with RTFOPEN_TRUNCATE. */
constexpr uint8_t g_abDisposition[8] =
{
    0, OPEN_ALWAYS, CREATE_NEW, CREATE_ALWAYS, 0, 0, 0, OPEN_EXISTING
};
static_assert(RTFOPEN_ACTION_MASK >> 8 == RT_ELEMENTS(g_abDisposition) - 1 && RTFOPEN_OPEN_CREATE >> 8 == 1
              && RTFOPEN_CREATE >> 8 == 2 && RTFOPEN_CREATE_REPLACE >> 8 == 3 && RTFOPEN_OPEN >> 8 == 7,
              "one disposition per action value, at the action's index");

/* Action taken for each disposition (1 to 5) that succeeded: when the file was new, and when
 * the last error says it already existed (only creating and opening always tell). */
constexpr uint8_t g_abActionTaken[2][6] =
{
    { 0, RTFACTION_CREATED, RTFACTION_CREATED,  RTFACTION_OPENED, RTFACTION_CREATED, RTFACTION_TRUNCATED },
    { 0, RTFACTION_CREATED, RTFACTION_REPLACED, RTFACTION_OPENED, RTFACTION_OPENED,  RTFACTION_TRUNCATED },
};
static_assert(CREATE_NEW == 1 && CREATE_ALWAYS == 2 && OPEN_EXISTING == 3 && OPEN_ALWAYS == 4
              && TRUNCATE_EXISTING == 5, "dispositions index the action table");

} /* namespace */

RTSTATUS RTFileOpenNamedEx(const char *pszPath, uint64_t fOpenIn, RTFILE *phFile, uint32_t *penmActionTaken)
{
    if (!RT_VALID_PTR(phFile) || !RT_VALID_PTR(pszPath) || (penmActionTaken && !RT_VALID_PTR(penmActionTaken)))
        return ERR_BAD_ARGUMENT;
    *phFile = NIL_RTFILE;
    if (penmActionTaken)
        *penmActionTaken = 0;
    uint32_t fOpen;
    RTSTATUS rc = rtFileValidateOpenFlags(fOpenIn, &fOpen);
    if (RT_FAILURE(rc))
        return rc;

    DWORD dwDisposition = g_abDisposition[rtFileOpenBits(fOpen, RTFOPEN_ACTION_MASK) >> 8];
    if (dwDisposition == OPEN_EXISTING && rtFileOpenBits(fOpen, RTFOPEN_TRUNCATE))
        dwDisposition = TRUNCATE_EXISTING;

    bool const fAppend = rtFileOpenBits(fOpen, RTFOPEN_APPEND) != 0;
    DWORD fAccess = g_afDataAccess[rtFileOpenBits(fOpen, RTFOPEN_ACCESS_MASK)][fAppend];
    uint32_t fAttr = rtFileOpenBits(fOpen, RTFOPEN_ATTR_MASK);
    if (!fAttr)
        fAttr = rtFileOpenBits(fOpen, RTFOPEN_ACCESS_MASK) << 16;
    fAccess |= g_afAttrAccess[fAttr >> 16];
    if (dwDisposition == TRUNCATE_EXISTING)
        fAccess |= GENERIC_WRITE;
    if (rtFileOpenBits(fOpen, RTFOPEN_NO_CACHE))
        fAccess &= ~FILE_APPEND_DATA;

    DWORD const fShare = g_afShareModes[rtFileOpenBits(fOpen, RTFOPEN_SHARE_MASK) >> 4];

    SECURITY_ATTRIBUTES SecAttr = { sizeof(SecAttr), nullptr, TRUE };
    DWORD fFlagsAndAttrs = rtFileOpenBits(fOpen, RTFOPEN_TEMPORARY) ? FILE_ATTRIBUTE_TEMPORARY : FILE_ATTRIBUTE_NORMAL;
    if (rtFileOpenBits(fOpen, RTFOPEN_WRITE_THROUGH))
        fFlagsAndAttrs |= FILE_FLAG_WRITE_THROUGH;
    if (rtFileOpenBits(fOpen, RTFOPEN_ASYNC_IO))
        fFlagsAndAttrs |= FILE_FLAG_OVERLAPPED;
    if (rtFileOpenBits(fOpen, RTFOPEN_NO_CACHE))
        fFlagsAndAttrs |= FILE_FLAG_NO_BUFFERING;

    RTUTF16 *pwszPath = nullptr;
    rc = RTPathToWin32Wide(&pwszPath, pszPath);
    if (RT_FAILURE(rc))
        return rc;

    HANDLE hFile = CreateFileW(pwszPath, fAccess, fShare, rtFileOpenBits(fOpen, RTFOPEN_INHERIT) ? &SecAttr : nullptr,
                               dwDisposition, fFlagsAndAttrs, nullptr);
    DWORD const dwErr = GetLastError();
    if (hFile == INVALID_HANDLE_VALUE)
    {
        if (dwDisposition == CREATE_NEW && dwErr == ERROR_FILE_EXISTS && penmActionTaken)
            *penmActionTaken = RTFACTION_EXISTED;
        RTPathWin32WideFree(pwszPath);
        return RTErrConvertFromWinError(dwErr);
    }

    uint32_t enmAction = g_abActionTaken[dwErr == ERROR_ALREADY_EXISTS][dwDisposition];
    bool fOk = true;
    if (rtFileOpenBits(fOpen, RTFOPEN_NOT_CONTENT_INDEXED) && (enmAction == RTFACTION_CREATED || enmAction == RTFACTION_REPLACED))
        fOk = SetFileAttributesW(pwszPath, FILE_ATTRIBUTE_NOT_CONTENT_INDEXED) != FALSE;
    else if (   rtFileOpenBits(fOpen, RTFOPEN_ACTION_MASK) == RTFOPEN_OPEN_CREATE
             && rtFileOpenBits(fOpen, RTFOPEN_TRUNCATE)
             && enmAction == RTFACTION_OPENED)
    {
        fOk = SetEndOfFile(hFile) != FALSE;
        enmAction = RTFACTION_TRUNCATED;
    }
    if (!fOk)
    {
        rc = RTErrConvertFromWinError(GetLastError());
        CloseHandle(hFile);
    }
    else
        *phFile = reinterpret_cast<RTFILE>(hFile);
    if (penmActionTaken)
        *penmActionTaken = enmAction;
    RTPathWin32WideFree(pwszPath);
    return rc;
}

RTSTATUS RTFileOpenNamed(RTFILE *phFile, const char *pszPath, uint64_t fOpen)
{
    return RTFileOpenNamedEx(pszPath, fOpen, phFile, nullptr);
}

RTSTATUS RTFileAdoptNative(RTFILE *phFile, intptr_t hNative)
{
    if (!RT_VALID_PTR(phFile))
        return ERR_BAD_POINTER;
    if (hNative == reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE))
        return ERR_BAD_HANDLE;
    *phFile = hNative;
    return INF_SUCCESS;
}

RTSTATUS RTFileClose(RTFILE hFile)
{
    if (hFile == NIL_RTFILE)
        return INF_SUCCESS;
    if (!CloseHandle(reinterpret_cast<HANDLE>(hFile)))
        return RTErrConvertFromWinError(GetLastError());
    return INF_SUCCESS;
}

RTSTATUS RTFileSetPos(RTFILE hFile, int64_t offSeek, unsigned uMethod, uint64_t *poffActual)
{
    static_assert(RTFSEEK_BEGIN == FILE_BEGIN && RTFSEEK_CURRENT == FILE_CURRENT && RTFSEEK_END == FILE_END,
                  "seek methods map one to one");
    if (uMethod > RTFSEEK_END)
        return ERR_BAD_ARGUMENT;
    LONG offHigh = static_cast<LONG>(static_cast<uint64_t>(offSeek) >> 32);
    /* The invalid-position result is also a valid low half, so only a fresh last error
       tells a failure apart. */
    SetLastError(NO_ERROR);
    DWORD const offLow = SetFilePointer(reinterpret_cast<HANDLE>(hFile), static_cast<LONG>(offSeek), &offHigh, uMethod);
    if (offLow == INVALID_SET_FILE_POINTER)
    {
        DWORD const dwErr = GetLastError();
        if (dwErr != NO_ERROR)
            return RTErrConvertFromWinError(dwErr);
    }
    if (poffActual)
        *poffActual = (static_cast<uint64_t>(static_cast<DWORD>(offHigh)) << 32) | offLow;
    return INF_SUCCESS;
}

uint64_t RTFileGetPos(RTFILE hFile)
{
    uint64_t off = 0;
    if (RT_FAILURE(RTFileSetPos(hFile, 0, RTFSEEK_CURRENT, &off)))
        return UINT64_MAX;
    return off;
}

/* A disk or volume handle has no file size; its geometry or length information gives it. */
static bool rtFileDiskSize(HANDLE hFile, uint64_t *pcbSize)
{
    DISK_GEOMETRY Geometry;
    static_assert(sizeof(Geometry) == 24, "drive geometry result");
    DWORD cbRet = 0;
    if (!DeviceIoControl(hFile, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &Geometry, sizeof(Geometry), &cbRet, nullptr))
        return false;
    if (Geometry.MediaType != RemovableMedia && Geometry.MediaType != FixedMedia)
        return false;
    *pcbSize = static_cast<uint64_t>(Geometry.Cylinders.QuadPart) * Geometry.TracksPerCylinder
             * Geometry.SectorsPerTrack * Geometry.BytesPerSector;
    GET_LENGTH_INFORMATION Length;
    if (DeviceIoControl(hFile, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &Length, sizeof(Length), &cbRet, nullptr))
        *pcbSize = static_cast<uint64_t>(Length.Length.QuadPart);
    return true;
}

RTSTATUS RTFileSizeOf(RTFILE hFile, uint64_t *pcbSize)
{
    HANDLE const h = reinterpret_cast<HANDLE>(hFile);
    DWORD cbHigh = 0;
    SetLastError(NO_ERROR);
    DWORD const cbLow = GetFileSize(h, &cbHigh);
    DWORD const dwErr = cbLow == INVALID_FILE_SIZE ? GetLastError() : NO_ERROR;
    if (dwErr == NO_ERROR)
    {
        *pcbSize = (static_cast<uint64_t>(cbHigh) << 32) | cbLow;
        return INF_SUCCESS;
    }
    RTSTATUS const rc = RTErrConvertFromWinError(dwErr);
    return rtFileDiskSize(h, pcbSize) ? INF_SUCCESS : rc;
}

RTSTATUS RTFileSync(RTFILE hFile)
{
    if (!FlushFileBuffers(reinterpret_cast<HANDLE>(hFile)))
        return RTErrConvertFromWinError(GetLastError());
    return INF_SUCCESS;
}

bool RTFileHandleUsable(RTFILE hFile)
{
    if (hFile == NIL_RTFILE)
        return false;
    SetLastError(NO_ERROR);
    switch (GetFileType(reinterpret_cast<HANDLE>(hFile)))
    {
        case FILE_TYPE_DISK:
        case FILE_TYPE_CHAR:
        case FILE_TYPE_PIPE:
        case FILE_TYPE_REMOTE:
            return true;
        case FILE_TYPE_UNKNOWN:
            return GetLastError() == NO_ERROR;
        default:
            return false;
    }
}

RTSTATUS RTFileRemove(const char *pszPath)
{
    if (!RT_VALID_PTR(pszPath))
        return ERR_BAD_POINTER;
    UNICODE_STRING NtName;
    HANDLE hRootDir;
    RTSTATUS rc = RTPathToNtName(&NtName, &hRootDir, pszPath);
    if (RT_FAILURE(rc))
        return rc;

    /* Open the name itself, not what a link points to, so that a link is refused rather
       than its target deleted, and with the delete right. File systems without reparse
       points refuse the option: then once more without it. */
    OBJECT_ATTRIBUTES ObjAttr;
    InitializeObjectAttributes(&ObjAttr, &NtName, OBJ_CASE_INSENSITIVE, hRootDir, nullptr);
    ULONG fOptions = FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_NON_DIRECTORY_FILE
                   | FILE_SYNCHRONOUS_IO_NONALERT;
    HANDLE hFile = nullptr;
    NTSTATUS rcNt;
    for (;;)
    {
        IO_STATUS_BLOCK IosOpen = {};
        rcNt = NtCreateFile(&hFile, DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &ObjAttr, &IosOpen, nullptr,
                            FILE_ATTRIBUTE_NORMAL, FILE_SHARE_VALID_FLAGS, FILE_OPEN, fOptions, nullptr, 0);
        if (rcNt != STATUS_INVALID_PARAMETER || !(fOptions & FILE_OPEN_REPARSE_POINT))
            break;
        fOptions &= ~FILE_OPEN_REPARSE_POINT;
    }
    if (!NT_SUCCESS(rcNt))
    {
        RTPathNtNameFree(&NtName, &hRootDir);
        return RTErrConvertFromNtStatus(rcNt);
    }

    IO_STATUS_BLOCK Ios = {};
    if (fOptions & FILE_OPEN_REPARSE_POINT)
    {
        FILE_ATTRIBUTE_TAG_INFORMATION TagInfo = {};
        rcNt = NtQueryInformationFile(hFile, &Ios, &TagInfo, sizeof(TagInfo),
                                      FileAttributeTagInformation);
        if (NT_SUCCESS(rcNt))
        {
            if (TagInfo.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                rc = ERR_IS_REPARSE_POINT;
        }
        else if (rcNt != STATUS_NOT_IMPLEMENTED && rcNt != STATUS_INVALID_INFO_CLASS && rcNt != STATUS_INVALID_PARAMETER)
            rc = RTErrConvertFromNtStatus(rcNt);
    }

    NTSTATUS rcNtDelete = 0;
    if (RT_SUCCESS(rc))
    {
        FILE_BASIC_INFORMATION BasicInfo = {};
        rcNt = NtQueryInformationFile(hFile, &Ios, &BasicInfo, sizeof(BasicInfo),
                                      FileBasicInformation);
        if (!NT_SUCCESS(rcNt))
            rc = RTErrConvertFromNtStatus(rcNt);
        else if (BasicInfo.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            rc = ERR_IS_DIRECTORY;
        else if (BasicInfo.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            rc = ERR_IS_REPARSE_POINT;
        else
        {
            FILE_DISPOSITION_INFORMATION Disposition = { TRUE };
            rcNtDelete = NtSetInformationFile(hFile, &Ios, &Disposition, sizeof(Disposition),
                                              FileDispositionInformation);
        }
    }

    NTSTATUS const rcNtClose = NtClose(hFile);
    if (RT_SUCCESS(rc))
    {
        if (!NT_SUCCESS(rcNtDelete))
            rc = RTErrConvertFromNtStatus(rcNtDelete);
        else if (!NT_SUCCESS(rcNtClose))
            rc = RTErrConvertFromNtStatus(rcNtClose);
    }
    RTPathNtNameFree(&NtName, &hRootDir);
    return rc;
}
