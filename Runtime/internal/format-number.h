/* Internal pieces of the number and float formatters shared with the engine: the digit
 * writer, and the hand-over of a text built in a local area to a caller's buffer. */
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

/** Writes the digits of a value in base 2..16, ending just before pchEnd (at most 64 of
 *  them); returns the first digit. */
char *rtFmtDigits(char *pchEnd, uint64_t u64, unsigned uBase, bool fUpper);
