/* Renaming a file through the handle that holds it open: the entry at the new name, a link
 * included, is replaced itself and never followed, and a replacement the platform refuses
 * because another process has that file open says so. */
#define WIN32_NO_STATUS
#include <windows.h>
#undef WIN32_NO_STATUS
#include <winternl.h>
#include <ntstatus.h>
#include "rt/file.h"
#include "rt/err.h"
#include "rt/mem.h"
#include "internal/pathint-win.h"

/** The cause of a refused replacement of @p pszPath. The platform answers "access denied"
 *  both for an entry that may not be replaced at all and for a file another process holds
 *  open; opening the entry itself (not what a link there leads to) with the right that
 *  replacing it takes tells the second apart. */
static RTSTATUS rtFileReplaceRefusal(const char *pszPath, RTSTATUS rcRename)
{
    HANDLE hEntry;
    RTSTATUS const rc = RTNtOpenByPath(pszPath, DELETE | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, OBJ_CASE_INSENSITIVE,
                                       &hEntry, nullptr);
    if (RT_SUCCESS(rc))
        RTNtCloseHandle(hEntry);
    return rc == ERR_SHARING_CONFLICT ? rc : rcRename;
}

RTSTATUS RTFileOpenMovable(RTFILE *phFile, const char *pszPath)
{
    if (!RT_VALID_PTR(phFile))
        return ERR_BAD_POINTER;
    /* A failed open leaves the invalid handle, which is NIL_RTFILE. */
    HANDLE hNative;
    RTSTATUS const rc = RTNtOpenByPath(pszPath, FILE_GENERIC_READ | DELETE, FILE_SHARE_READ,
                                       FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, OBJ_CASE_INSENSITIVE,
                                       &hNative, nullptr);
    *phFile = reinterpret_cast<RTFILE>(hNative);
    return rc;
}

RTSTATUS RTFileRenameByHandle(RTFILE hFile, const char *pszNewPath, uint32_t fRename)
{
    if (!RT_VALID_PTR(pszNewPath) || (fRename & ~RTFRENAME_REPLACE))
        return ERR_BAD_ARGUMENT;
    UNICODE_STRING NtName;
    HANDLE hRootDir;
    RTSTATUS rc = RTPathToNtName(&NtName, &hRootDir, pszNewPath);
    if (RT_FAILURE(rc))
        return rc;

    /* The record ends in the name, which runs past its one declared character. */
    ULONG const cbInfo = offsetof(FILE_RENAME_INFORMATION, FileName) + NtName.Length;
    auto *pInfo = static_cast<FILE_RENAME_INFORMATION *>(RTMemAllocZ(cbInfo + sizeof(WCHAR)));
    if (!pInfo)
        rc = ERR_OUT_OF_MEMORY;
    else
    {
        pInfo->ReplaceIfExists = (fRename & RTFRENAME_REPLACE) != 0;
        pInfo->RootDirectory = hRootDir;
        pInfo->FileNameLength = NtName.Length;
        __builtin_memcpy(pInfo->FileName, NtName.Buffer, NtName.Length);
        IO_STATUS_BLOCK Ios = {};
        NTSTATUS const rcNt = NtSetInformationFile(reinterpret_cast<HANDLE>(hFile), &Ios, pInfo, cbInfo,
                                                   FileRenameInformation);
        RTMemFree(pInfo);
        if (!NT_SUCCESS(rcNt))
        {
            rc = RTErrConvertFromNtStatus(rcNt);
            if (rcNt == STATUS_ACCESS_DENIED && (fRename & RTFRENAME_REPLACE))
                rc = rtFileReplaceRefusal(pszNewPath, rc);
        }
    }
    RTPathNtNameFree(&NtName, &hRootDir);
    return rc;
}
