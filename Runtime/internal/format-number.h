/* Pieces the format engine, its number and float formatters and its typed directives
 * share: the digit writer and the plain-number path, the placeholder for a bad pointer,
 * a word-at-a-time strlen, and the hand-over of a text built in a local area to a
 * caller's buffer. */
#pragma once
#include "rt/format.h"
#include "rt/types.h"
#include "rt/status.h"

/** Flags that make an integer more than its digits and sign. */
inline constexpr uint32_t RTFMT_DECORATION_FLAGS = FMT_LEFT | FMT_ZERO_FILL | FMT_BASE_PREFIX | FMT_SHOW_PLUS
                                                 | FMT_SHOW_BLANK | FMT_WIDTH_GIVEN | FMT_PRECISION_GIVEN
                                                 | FMT_GROUP_DIGITS;

/** Room for the longest bad-pointer placeholder with a tag of up to 16 bytes. */
inline constexpr size_t RTFMT_BAD_POINTER_MAX = 1 + 16 + 16 + 1;

/** True when any byte of the word is zero. */
inline bool rtFmtHasZeroByte(uint32_t u)
{
    return ((u - 0x01010101u) & ~u & 0x80808080u) != 0;
}

/** strlen, a word at a time once aligned. Aligned words never straddle a page, so reading
 *  a whole word past the terminator stays on readable memory. */
inline size_t rtFmtStrLen(const char *psz)
{
    const char *pch = psz;
    while (reinterpret_cast<uintptr_t>(pch) & 3)
    {
        if (!*pch)
            return static_cast<size_t>(pch - psz);
        pch++;
    }
    for (;;)
    {
        uint32_t u;
        __builtin_memcpy(&u, pch, sizeof(u));
        if (rtFmtHasZeroByte(u))
            break;
        pch += 4;
    }
    while (*pch)
        pch++;
    return static_cast<size_t>(pch - psz);
}

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

/** A number with none of RTFMT_DECORATION_FLAGS, the usual case: its digits and at most a
 *  minus sign, ending just before pchEnd (the value is 32 bits wide with FMT_32BIT, else
 *  64). Returns the first character. */
char *rtFmtPlainNumber(char *pchEnd, uint64_t u, unsigned uBase, uint32_t fFlags);

/** The text printed instead of what an invalid pointer should have pointed at: "<NULL>",
 *  or "<" + the pointer in eight hexadecimal digits + @p pszTag + ">". Writes it to
 *  @p pchBuf (RTFMT_BAD_POINTER_MAX bytes) without a terminator and returns its length. */
size_t rtFmtBadPointerText(char *pchBuf, const void *pv, const char *pszTag);
