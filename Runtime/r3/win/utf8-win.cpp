/* Conversion of UTF-8 text to the active ANSI code page, for consoles that do not take
 * UTF-8. */
#include <windows.h>
#include "rt/string.h"
#include "rt/mem.h"
#include "rt/err.h"

/** The platform's last error as a status; a failure that left no error code must not turn
 *  into success. */
static RTSTATUS rtStrLastConversionError(void)
{
    RTSTATUS const rc = RTErrConvertFromWinError(GetLastError());
    return RT_FAILURE(rc) ? rc : ERR_UNMAPPED_NATIVE_ERROR;
}

RTSTATUS RTStrUtf8ToCodePageEx(char **ppszResult, const char *psz, unsigned uCodePage)
{
    if (!RT_VALID_PTR(ppszResult))
        return ERR_BAD_POINTER;
    *ppszResult = nullptr;
    if (!RT_VALID_PTR(psz))
        return ERR_BAD_POINTER;

    if (!*psz)
    {
        *ppszResult = RTStrNew(1);
        return *ppszResult ? INF_SUCCESS : ERR_STRING_ALLOC_FAILED;
    }

    RTSTATUS rc;
    if (uCodePage == CP_UTF8)
    {
        rc = RTStrCheckEncoding(psz, RTSTR_MAX, 0);
        if (RT_FAILURE(rc))
            return rc;
        return RTStrCloneMax(ppszResult, psz, RTSTR_MAX);
    }

    RTUTF16 *pwsz = nullptr;
    rc = RTStrToUtf16Ex(psz, RTSTR_MAX, &pwsz, 0, nullptr);
    if (RT_FAILURE(rc))
        return rc;

    /* Characters the code page lacks become its default character, as consoles expect. */
    char *pszResult = nullptr;
    int cb = WideCharToMultiByte(uCodePage, 0, pwsz, -1, nullptr, 0, nullptr, nullptr);
    if (cb > 0)
    {
        pszResult = static_cast<char *>(RTMemAlloc(static_cast<size_t>(cb)));
        if (!pszResult)
            rc = ERR_SCRATCH_ALLOC_FAILED;
        else
            cb = WideCharToMultiByte(uCodePage, 0, pwsz, -1, pszResult, cb, nullptr, nullptr);
    }
    /* Either call failing: its error, taken before anything else can replace it. */
    if (cb <= 0)
    {
        rc = rtStrLastConversionError();
        RTMemFree(pszResult);
        pszResult = nullptr;
    }
    RTUtf16Release(pwsz);
    *ppszResult = pszResult;
    return rc;
}

RTSTATUS RTStrUtf8ToCodePage(char **ppszResult, const char *psz)
{
    return RTStrUtf8ToCodePageEx(ppszResult, psz, GetACP());
}
