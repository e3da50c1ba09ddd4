/* The current directory queries, setting the current directory, and moving files and
 * directories, through the Win32 wide path form. */
#include "rt/path.h"
#include "internal/pathint-win.h"
#include "rt/fsmode.h"
#include "rt/err.h"
#include "rt/string.h"
#include "internal/path.h"
#include <windows.h>

namespace {

/** Room for a current directory, in UTF-16 units, terminator included. */
constexpr DWORD RTPATH_CWD_UNITS = 4100;

} /* namespace */

static RTSTATUS rtPathLastError()
{
    return RTErrConvertFromWinError(GetLastError());
}

/** A full path from GetCurrentDirectoryW or GetFullPathNameW: 0 is a failure, and a
 *  result that did not fit is refused rather than read from an unfilled buffer. */
static RTSTATUS rtPathCheckUnits(DWORD cwc)
{
    if (!cwc)
        return rtPathLastError();
    return cwc >= RTPATH_CWD_UNITS ? ERR_FILENAME_TOO_LONG : INF_SUCCESS;
}

/** The full path of @p pwszDir in UTF-8; with @p fUpperDrive a drive letter is turned to
 *  upper case. */
static RTSTATUS rtPathFullToUtf8(const RTUTF16 *pwszDir, bool fUpperDrive, char *pszPath, size_t cbPath)
{
    RTUTF16 wszFull[RTPATH_CWD_UNITS];
    RTSTATUS rc = rtPathCheckUnits(GetFullPathNameW(pwszDir, RTPATH_CWD_UNITS, wszFull, nullptr));
    if (RT_FAILURE(rc))
        return rc;
    if (fUpperDrive && wszFull[0] >= L'a' && wszFull[0] <= L'z' && wszFull[1] == L':')
        wszFull[0] = static_cast<RTUTF16>(wszFull[0] - L'a' + L'A');
    return RTUtf16ToUtf8Ex(wszFull, RTSTR_MAX, &pszPath, cbPath, nullptr);
}

RTSTATUS RTPathGetCurrentDir(char *pszPath, size_t cbPath)
{
    if (!cbPath)
        return ERR_BUFFER_TOO_SMALL;
    if (!RT_VALID_PTR(pszPath))
        return ERR_BAD_POINTER;
    RTUTF16 wszCwd[RTPATH_CWD_UNITS];
    RTSTATUS rc = rtPathCheckUnits(GetCurrentDirectoryW(RTPATH_CWD_UNITS, wszCwd));
    if (RT_FAILURE(rc))
        return rc;
    return rtPathFullToUtf8(wszCwd, true, pszPath, cbPath);
}

RTSTATUS RTPathGetDriveCurrentDir(char chDrive, char *pszPath, size_t cbPath)
{
    if (!cbPath)
        return ERR_BUFFER_TOO_SMALL;
    if (!RT_VALID_PTR(pszPath))
        return ERR_BAD_POINTER;
    if (!((chDrive >= 'A' && chDrive <= 'Z') || (chDrive >= 'a' && chDrive <= 'z')))
        return ERR_BAD_ARGUMENT;
    /* The full path of a bare "X:" is that drive's current directory; its letter keeps
     * the case the platform gives. */
    RTUTF16 wszDrive[3] = { static_cast<RTUTF16>(chDrive), L':', L'\0' };
    return rtPathFullToUtf8(wszDrive, false, pszPath, cbPath);
}

RTSTATUS RTPathSetCurrentDir(const char *pszPath)
{
    if (!RT_VALID_PTR(pszPath))
        return ERR_BAD_POINTER;
    if (!*pszPath)
        return ERR_BAD_ARGUMENT;
    RTUTF16 *pwszPath;
    RTSTATUS rc = RTPathToWin32Wide(&pwszPath, pszPath);
    if (RT_FAILURE(rc))
        return rc;
    /* A drive root keeps its separator: "C:" alone would mean that drive's own directory. */
    size_t const cwc = RTUtf16Length(pwszPath);
    if (   cwc > 1
        && rtPathIsAnySep(pwszPath[cwc - 1])
        && pwszPath[cwc - 2] != L':')
        pwszPath[cwc - 1] = L'\0';
    if (!SetCurrentDirectoryW(pwszPath))
        rc = rtPathLastError();
    RTPathWin32WideFree(pwszPath);
    return rc;
}

/** The checks and the move of RTPathMove, on converted paths. */
static RTSTATUS rtPathMoveWide(const RTUTF16 *pwszSrc, const RTUTF16 *pwszDst, uint32_t fMove,
                               uint32_t fRequiredType)
{
    uint32_t const fType = fRequiredType & RTFS_TYPE_MASK;
    if (fType)
    {
        DWORD const fAttr = GetFileAttributesW(pwszSrc);
        if (fAttr == INVALID_FILE_ATTRIBUTES)
            return rtPathLastError();
        bool const fIsDir = (fAttr & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (fType == RTFS_TYPE_DIRECTORY && !fIsDir)
            return ERR_NOT_DIRECTORY;
        if (fType != RTFS_TYPE_DIRECTORY && fIsDir)
            return ERR_IS_DIRECTORY;
    }
    if (!MoveFileExW(pwszSrc, pwszDst, fMove))
        return rtPathLastError();
    return INF_SUCCESS;
}

RTSTATUS RTPathMove(const char *pszSrc, const char *pszDst, uint32_t fMove, uint32_t fRequiredType)
{
    RTUTF16 *pwszSrc;
    RTSTATUS rc = RTPathToWin32Wide(&pwszSrc, pszSrc);
    if (RT_FAILURE(rc))
        return rc;
    RTUTF16 *pwszDst;
    rc = RTPathToWin32Wide(&pwszDst, pszDst);
    if (RT_SUCCESS(rc))
    {
        rc = rtPathMoveWide(pwszSrc, pwszDst, fMove, fRequiredType);
        RTPathWin32WideFree(pwszDst);
    }
    RTPathWin32WideFree(pwszSrc);
    return rc;
}

RTSTATUS RTFileMoveTo(const char *pszSrc, const char *pszDst, uint32_t fMove)
{
    if (!RT_VALID_PTR(pszSrc) || !RT_VALID_PTR(pszDst))
        return ERR_BAD_POINTER;
    if (fMove & ~RTFILEMOVE_F_REPLACE)
        return ERR_BAD_ARGUMENT;
    return RTPathMove(pszSrc, pszDst, fMove & RTFILEMOVE_F_REPLACE ? MOVEFILE_REPLACE_EXISTING : 0,
                      RTFS_TYPE_FILE);
}
