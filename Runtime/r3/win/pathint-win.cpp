/* UTF-8 paths as UTF-16 paths for the Win32 file functions: the path as given while the
 * platform's classic length limit allows, else the "\\?\" long form of its NT name. */
#include "internal/pathint-win.h"
#include "rt/string.h"
#include "internal/path.h"
#include <windows.h>

namespace {

/* The longest short forms, in UTF-16 units without terminator. The limits leave room for
 * what the Win32 layer adds to each kind before the classic 260-unit limit applies (a
 * separator and an 8.3 name for directory operations, the current directory, the UNC
 * decoration). */
constexpr size_t RTPATH_WIN32_SHORT_MAX     = 243;
constexpr size_t RTPATH_WIN32_ROOTED_MAX    = 241;
constexpr size_t RTPATH_WIN32_UNC_MAX       = 240;
constexpr size_t RTPATH_WIN32_RELATIVE_MAX  = 242;
constexpr DWORD  RTPATH_WIN32_FULL_UNITS    = 261;


inline bool rtPathWIsLetter(RTUTF16 wc)
{
    return (wc >= L'A' && wc <= L'Z') || (wc >= L'a' && wc <= L'z');
}

/** Whether the converted path @a *ppwsz of @a cwc units may be used as it is; a
 *  drive-relative path is replaced by its full path when that is short. */
bool rtPathWin32ShortForm(RTUTF16 **ppwsz, size_t cwc)
{
    if (cwc > RTPATH_WIN32_SHORT_MAX)
        return false;
    RTUTF16 const *pwsz = *ppwsz;
    if (rtPathWIsLetter(pwsz[0]) && pwsz[1] == L':')
    {
        if (rtPathIsAnySep(pwsz[2]))
            return true;
        /* Drive-relative: the drive's own current directory decides the length. A failed
         * query leaves the buffer unusable, and the long form is taken instead. */
        RTUTF16 wszFull[RTPATH_WIN32_FULL_UNITS];
        DWORD const cwcFull = GetFullPathNameW(pwsz, RTPATH_WIN32_FULL_UNITS, wszFull, nullptr);
        if (!cwcFull || cwcFull > RTPATH_WIN32_SHORT_MAX)
            return false;
        RTUTF16 *pwszFull = RTUtf16Clone(wszFull);
        if (!pwszFull)
            return false;
        RTUtf16Release(*ppwsz);
        *ppwsz = pwszFull;
        return true;
    }
    if (rtPathIsAnySep(pwsz[0]))
    {
        if (!rtPathIsAnySep(pwsz[1]) || !pwsz[2] || rtPathIsAnySep(pwsz[2]))
            return cwc <= RTPATH_WIN32_ROOTED_MAX;
        if (pwsz[2] == L'?' && !rtPathIsAnySep(pwsz[3]))
            return true;
        return cwc <= RTPATH_WIN32_UNC_MAX;
    }
    return cwc + GetCurrentDirectoryW(0, nullptr) <= RTPATH_WIN32_RELATIVE_MAX;
}

} /* namespace */

RTSTATUS RTPathToWin32Wide(RTUTF16 **ppwszPath, const char *pszPath)
{
    if (!RT_VALID_PTR(ppwszPath))
        return ERR_BAD_POINTER;
    *ppwszPath = nullptr;
    if (!RT_VALID_PTR(pszPath))
        return ERR_BAD_POINTER;

    RTUTF16 *pwsz = nullptr;
    size_t   cwc;
    RTSTATUS rc = RTStrToUtf16Ex(pszPath, RTSTR_MAX, &pwsz, 0, &cwc);
    if (RT_FAILURE(rc))
        return rc;
    if (rtPathWin32ShortForm(&pwsz, cwc))
    {
        *ppwszPath = pwsz;
        return INF_SUCCESS;
    }
    RTUtf16Release(pwsz);

    UNICODE_STRING NtName;
    HANDLE hRootDir;
    rc = RTPathToNtName(&NtName, &hRootDir, pszPath);
    if (RT_FAILURE(rc))
        return rc;
    /* "\??\" becomes "\\?\"; any other NT name (a literal object name) has no Win32 form. */
    size_t const cwcName = NtName.Length / sizeof(RTUTF16);
    RTUTF16 *pwszName = NtName.Buffer;
    if (   hRootDir
        || cwcName < 4
        || pwszName[0] != L'\\' || pwszName[1] != L'?' || pwszName[2] != L'?' || pwszName[3] != L'\\'
        || pwszName[cwcName] != L'\0')
    {
        RTPathNtNameFree(&NtName, &hRootDir);
        return ERR_BAD_NAME;
    }
    pwszName[1] = L'\\';
    *ppwszPath = pwszName;
    return INF_SUCCESS;
}

void RTPathWin32WideFree(RTUTF16 *pwszPath)
{
    RTUtf16Release(pwszPath);
}
