/* The native side of directory handles: opening a directory through NtCreateFile (with
 * symbolic links refused on request and junctions followed), NT object directories for
 * literal NT names, and the upper-case mapping the name filters use. */
#include "internal/file-win.h"
#include "internal/dir.h"
#include "rt/err.h"
#include "internal/pathint-win.h"

extern "C" WCHAR NTAPI RtlUpcaseUnicodeChar(WCHAR wc);

/* Whether the file system accepts opening a directory without following reparse points:
   -1 unknown, 0 no, 1 yes. Concurrent first opens may both probe, with the same outcome. */
static volatile int g_iDirReparseOk = -1;

namespace {

constexpr ACCESS_MASK RTDIR_ACCESS  = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr ULONG       RTDIR_SHARE   = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ULONG       RTDIR_OPTIONS = FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT;
static_assert(RTDIR_ACCESS == 0x1000A1 && RTDIR_OPTIONS == 0x4021, "directory open rights and options");

} /* namespace */

RTUNICP rtDirCpToUpper(RTUNICP uc)
{
    return uc < 0x10000 ? RtlUpcaseUnicodeChar(static_cast<WCHAR>(uc)) : uc;
}

static RTSTATUS rtDirOpenOnce(RTDIROBJ *pDir, ACCESS_MASK fAccess, ULONG fOptions, HANDLE *phDir)
{
    return RTNtOpenByPath(pDir->pszPath, fAccess, RTDIR_SHARE, fOptions, OBJ_CASE_INSENSITIVE, phDir, &pDir->fIsObjDir);
}

/* Opens with the given options, retrying without traverse when only that is refused. */
static RTSTATUS rtDirOpenWithOptions(RTDIROBJ *pDir, ULONG fOptions, HANDLE *phDir)
{
    RTSTATUS rc = rtDirOpenOnce(pDir, RTDIR_ACCESS, fOptions, phDir);
    if (rc == ERR_ACCESS_REFUSED)
        rc = rtDirOpenOnce(pDir, RTDIR_ACCESS & ~FILE_TRAVERSE, fOptions, phDir);
    return rc;
}

RTSTATUS rtDirNativeOpen(RTDIROBJ *pDir)
{
    ULONG fOptions = RTDIR_OPTIONS;
    if ((pDir->fFlags & RTDIROPEN_NO_SYMLINKS) && !pDir->fDirSlash && g_iDirReparseOk != 0)
        fOptions |= FILE_OPEN_REPARSE_POINT;

    HANDLE hDir = INVALID_HANDLE_VALUE;
    RTSTATUS rc = rtDirOpenWithOptions(pDir, fOptions, &hDir);
    if (fOptions & FILE_OPEN_REPARSE_POINT)
    {
        if (rc == ERR_BAD_ARGUMENT)
        {
            /* The file system refuses the option: links cannot be told apart here. */
            if (g_iDirReparseOk == -1)
                g_iDirReparseOk = 0;
            rc = rtDirOpenWithOptions(pDir, RTDIR_OPTIONS, &hDir);
        }
        else if (RT_SUCCESS(rc))
        {
            if (g_iDirReparseOk == -1)
                g_iDirReparseOk = 1;
            FILE_ATTRIBUTE_TAG_INFORMATION TagInfo = {};
            IO_STATUS_BLOCK Ios = {};
            if (   !pDir->fIsObjDir
                && NT_SUCCESS(NtQueryInformationFile(hDir, &Ios, &TagInfo, sizeof(TagInfo),
                                                     FileAttributeTagInformation))
                && (TagInfo.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            {
                NtClose(hDir);
                hDir = INVALID_HANDLE_VALUE;
                if (TagInfo.ReparseTag == IO_REPARSE_TAG_SYMLINK)
                    rc = ERR_IS_REPARSE_POINT;
                else /* a junction or mount point is followed */
                    rc = rtDirOpenWithOptions(pDir, RTDIR_OPTIONS, &hDir);
            }
        }
    }
    if (RT_SUCCESS(rc))
        pDir->hDir = reinterpret_cast<intptr_t>(hDir);
    return rc;
}

void rtDirNativeClose(RTDIROBJ *pDir)
{
    if (pDir->hDir != -1)
        NtClose(reinterpret_cast<HANDLE>(pDir->hDir));
    pDir->hDir = -1;
}
