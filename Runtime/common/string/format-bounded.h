/* Internal helper of the number and float formatters: hands a text built in a local
 * area to a caller's buffer of limited size. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

/** Copies cch bytes and a terminator when they fit and returns cch; otherwise stores
 *  cbBuf - 1 bytes and a terminator (nothing for size 0) and returns ERR_BUFFER_TOO_SMALL. */
inline int rtFmtCopyBounded(char *pszBuf, size_t cbBuf, const char *pchSrc, int cch)
{
    if (static_cast<size_t>(cch) < cbBuf)
    {
        __builtin_memcpy(pszBuf, pchSrc, static_cast<size_t>(cch));
        pszBuf[cch] = '\0';
        return cch;
    }
    if (cbBuf)
    {
        __builtin_memcpy(pszBuf, pchSrc, cbBuf - 1);
        pszBuf[cbBuf - 1] = '\0';
    }
    return ERR_BUFFER_TOO_SMALL;
}
