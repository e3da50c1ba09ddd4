/* Directories on Windows: creation and removal by path. */
#include "internal/dir.h"
#include "internal/pathint-win.h"
#include "rt/err.h"
#include <windows.h>

/* Creation and removal by name share the conversion of the name and of the error. With
   @a fMake the directory is created, and given the not-content-indexed attribute unless
   @a fCreate asks otherwise; without, it is removed. */
[[gnu::noinline]] static RTSTATUS rtDirMakeOrDelete(const char *pszPath, bool fMake, uint32_t fCreate)
{
    RTUTF16 *pwszPath;
    RTSTATUS rc = RTPathToWin32Wide(&pwszPath, pszPath);
    if (RT_FAILURE(rc))
        return rc;
    bool fOk;
    if (!fMake)
        fOk = RemoveDirectoryW(pwszPath) != FALSE;
    else
        fOk = CreateDirectoryW(pwszPath, nullptr)
           && (   (fCreate & RTDIRMAKE_KEEP_INDEXED)
               || SetFileAttributesW(pwszPath, FILE_ATTRIBUTE_NOT_CONTENT_INDEXED)
               || (fCreate & RTDIRMAKE_IGNORE_INDEX_FAILURE));
    if (!fOk)
        rc = RTErrConvertFromWinError(GetLastError());
    RTPathWin32WideFree(pwszPath);
    return rc;
}

RTSTATUS rtDirNativeMake(const char *pszPath, uint32_t fCreate)
{
    return rtDirMakeOrDelete(pszPath, true, fCreate);
}

RTSTATUS RTDirDelete(const char *pszPath)
{
    return rtDirMakeOrDelete(pszPath, false, 0);
}
