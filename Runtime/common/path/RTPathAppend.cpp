/* Appending a component to a path in a caller buffer (RTPathAppendStr, RTPathAppendStrEx,
 * RTPathJoinInto): exactly one separator ends up between the two parts. */
#include "internal/path.h"
#include "rt/string.h"
#include <string.h>

/** Length of the root that trimming trailing separators must not cut into: a drive root
 *  with its separator, a UNC root through the separator after the share, a leading '/'. */
static size_t rtPathAppendRootLength(const char *psz, uint32_t fStyle)
{
    if ((fStyle & RTPSTYLE_MASK) == RTPSTYLE_UNIX)
        return psz[0] == '/' ? 1 : 0;
    if (rtPathHasDrive(psz) && rtPathIsSep(psz[2], fStyle))
        return 3;
    if (!rtPathIsSep(psz[0], fStyle) || !rtPathIsSep(psz[1], fStyle))
        return 0;
    size_t off = 2;
    for (int iPart = 0; iPart < 2; iPart++) /* the server, then the share */
    {
        while (psz[off] && !rtPathIsSep(psz[off], fStyle))
            off++;
        if (rtPathIsSep(psz[off], fStyle))
            off++;
    }
    return off;
}

RTSTATUS RTPathAppendStrEx(char *pszPath, size_t cbPath, const char *pszAppend, size_t cchAppendMax,
                           uint32_t fStyle)
{
    if (!RT_VALID_PTR(pszPath))
        return ERR_BAD_POINTER;
    if ((fStyle & ~RTPSTYLE_MASK) || !rtPathStyleValid(fStyle))
        return ERR_BAD_FLAGS;
    size_t cchPath = 0;
    while (cchPath < cbPath && pszPath[cchPath])
        cchPath++;
    if (cchPath >= cbPath)
        return ERR_BAD_ARGUMENT;
    if (!pszAppend)
        return INF_SUCCESS;
    if (!RT_VALID_PTR(pszAppend))
        return ERR_BAD_POINTER;
    size_t cchAppend = 0;
    while (cchAppend < cchAppendMax && pszAppend[cchAppend])
        cchAppend++;
    if (!cchAppend)
        return INF_SUCCESS;

    size_t cchKeep = cchPath;
    char   chSep = '\0';
    if (cchPath)
    {
        if (rtPathIsSep(pszPath[cchPath - 1], fStyle))
        {
            while (cchAppend && rtPathIsSep(*pszAppend, fStyle))
                pszAppend++, cchAppend--;
            while (cchKeep >= 2 && rtPathIsSep(pszPath[cchKeep - 2], fStyle))
                cchKeep--;
            size_t const cchRoot = rtPathAppendRootLength(pszPath, fStyle);
            if (cchKeep < cchRoot)
                cchKeep = cchRoot;
        }
        else if (rtPathIsSep(*pszAppend, fStyle))
        {
            while (cchAppend >= 2 && rtPathIsSep(pszAppend[1], fStyle))
                pszAppend++, cchAppend--;
        }
        else if (!(   (fStyle & RTPSTYLE_MASK) != RTPSTYLE_UNIX
                   && cchPath == 2 && rtPathHasDrive(pszPath)))
            chSep = rtPathSlash(fStyle);
    }

    size_t const cchNew = cchKeep + (chSep ? 1 : 0) + cchAppend;
    if (cchNew >= cbPath)
        return ERR_BUFFER_TOO_SMALL;
    if (chSep)
        pszPath[cchKeep++] = chSep;
    memmove(pszPath + cchKeep, pszAppend, cchAppend);
    pszPath[cchNew] = '\0';
    return INF_SUCCESS;
}

RTSTATUS RTPathAppendStr(char *pszPath, size_t cbPath, const char *pszAppend)
{
    return RTPathAppendStrEx(pszPath, cbPath, pszAppend, RTSTR_MAX, RTPSTYLE_HOST);
}

RTSTATUS RTPathJoinInto(char *pszDst, size_t cbDst, const char *pszFirst, const char *pszSecond)
{
    if (!RT_VALID_PTR(pszDst) || !RT_VALID_PTR(pszFirst))
        return ERR_BAD_POINTER;
    size_t const cchFirst = strlen(pszFirst);
    if (cchFirst >= cbDst)
        return ERR_BUFFER_TOO_SMALL;
    memmove(pszDst, pszFirst, cchFirst + 1);
    return RTPathAppendStr(pszDst, cbDst, pszSecond);
}
