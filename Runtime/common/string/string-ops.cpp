/* The plain string operations: bounded copy and append, and the comparisons used for file
 * extensions and sorting. */
#include "rt/string.h"

RTSTATUS RTStrCopyBounded(char *pszDst, size_t cbDst, const char *pszSrc)
{
    if (!RT_VALID_PTR(pszSrc) || (cbDst && !RT_VALID_PTR(pszDst)))
        return ERR_BAD_POINTER;
    size_t const cchSrc = __builtin_strlen(pszSrc);
    if (cchSrc < cbDst)
    {
        __builtin_memcpy(pszDst, pszSrc, cchSrc + 1);
        return INF_SUCCESS;
    }
    if (cbDst)
    {
        __builtin_memcpy(pszDst, pszSrc, cbDst - 1);
        pszDst[cbDst - 1] = '\0';
    }
    return ERR_BUFFER_TOO_SMALL;
}

RTSTATUS RTStrAppendBounded(char *pszDst, size_t cbDst, const char *pszSrc)
{
    if (!RT_VALID_PTR(pszSrc) || (cbDst && !RT_VALID_PTR(pszDst)))
        return ERR_BAD_POINTER;
    size_t off = 0;
    while (off < cbDst && pszDst[off])
        off++;
    if (off >= cbDst)
        return ERR_BAD_ARGUMENT;
    return RTStrCopyBounded(pszDst + off, cbDst - off, pszSrc);
}

/** The order of two strings when either is null or both are the same: true with the
 *  result in *piOrder; false when the texts must be compared. */
static bool rtStrCompareTrivially(const char *psz1, const char *psz2, int *piOrder)
{
    *piOrder = psz1 == psz2 ? 0 : !psz1 ? -1 : 1;
    return psz1 == psz2 || !psz1 || !psz2;
}

int RTStrCompareNullSafe(const char *psz1, const char *psz2)
{
    int iOrder;
    if (rtStrCompareTrivially(psz1, psz2, &iOrder))
        return iOrder;
    const unsigned char *pb1 = reinterpret_cast<const unsigned char *>(psz1);
    const unsigned char *pb2 = reinterpret_cast<const unsigned char *>(psz2);
    while (*pb1 == *pb2 && *pb1)
    {
        pb1++;
        pb2++;
    }
    return static_cast<int>(*pb1) - static_cast<int>(*pb2);
}

int RTStrCompareAsciiNoCase(const char *psz1, const char *pszAscii)
{
    int iOrder;
    if (rtStrCompareTrivially(psz1, pszAscii, &iOrder))
        return iOrder;
    for (;;)
    {
        const char *const pszBad = psz1;
        RTUNICP c;
        if (RT_FAILURE(RTStrDecodeCp(&psz1, &c)))
            return RTStrCompareNullSafe(pszBad, pszAscii);
        RTUNICP const b = static_cast<unsigned char>(*pszAscii++);
        if (c != b)
        {
            if (c >= 0x80)
                return 1;
            RTUNICP const cLower = c - 'A' < 26u ? c + ('a' - 'A') : c;
            RTUNICP const bLower = b - 'A' < 26u ? b + ('a' - 'A') : b;
            if (cLower != bLower)
                return static_cast<int>(cLower) - static_cast<int>(bLower);
        }
        if (!b)
            return 0;
    }
}
