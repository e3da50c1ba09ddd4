/* Rebuilding a path from its parsed record (RTPathBuildFromComps). */
#include "internal/path.h"
#include "internal/path-build.h"
#include <string.h>

RTSTATUS rtPathBuild(const char *pszSrc, const RTPATHCOMPS *pComps, uint32_t fStyle,
                     char *pszDst, size_t cbDst, size_t *pcch)
{
    bool const   fRoot   = (pComps->fProps & RTPPROP_HAS_ROOT) != 0;
    size_t const iFirst  = fRoot ? 1 : 0;
    size_t const cchRoot = fRoot ? pComps->aComps[0].cch : 0;

    size_t cch = cchRoot;
    size_t cWritten = 0;
    for (size_t i = iFirst; i < pComps->cComps; i++)
        if (pComps->aComps[i].cch)
            cch += (cWritten++ ? 1 : 0) + pComps->aComps[i].cch;
    bool const fTrailing = cWritten && (pComps->fProps & RTPPROP_DIR_SLASH);
    cch += fTrailing;
    *pcch = cch;

    if (cch >= cbDst)
    {
        if (cbDst)
            *pszDst = '\0';
        return ERR_BUFFER_TOO_SMALL;
    }

    /* The destination may be the source's own storage: every piece lands at or before its
     * place in the source, so the pieces move front to back. */
    char const chSlash = rtPathSlash(fStyle);
    char *pszOut = pszDst;
    for (size_t off = 0; off < cchRoot; off++)
    {
        char const ch = pszSrc[off];
        *pszOut++ = rtPathIsAnySep(ch) ? chSlash : ch;
    }
    cWritten = 0;
    for (size_t i = iFirst; i < pComps->cComps; i++)
    {
        size_t const cchComp = pComps->aComps[i].cch;
        if (!cchComp)
            continue;
        if (cWritten++)
            *pszOut++ = chSlash;
        memmove(pszOut, pszSrc + pComps->aComps[i].off, cchComp);
        pszOut += cchComp;
    }
    if (fTrailing)
        *pszOut++ = chSlash;
    *pszOut = '\0';
    return INF_SUCCESS;
}

RTSTATUS RTPathBuildFromComps(const char *pszSrc, RTPATHCOMPS *pComps, uint32_t fStyle,
                              char *pszDst, size_t cbDst)
{
    if (!RT_VALID_PTR(pszSrc) || !RT_VALID_PTR(pComps) || (cbDst && !RT_VALID_PTR(pszDst)))
        return ERR_BAD_POINTER;
    if ((fStyle & ~RTPSTYLE_MASK) || !rtPathStyleValid(fStyle))
        return ERR_BAD_FLAGS;
    if (!pComps->cComps)
        return ERR_BAD_ARGUMENT;

    size_t cch;
    rtPathBuild(pszSrc, pComps, fStyle, nullptr, 0, &cch);
    if (cch > RTPATH_MAX_OFFSET)
        return ERR_FILENAME_TOO_LONG;
    pComps->cchPath = static_cast<uint16_t>(cch);
    return rtPathBuild(pszSrc, pComps, fStyle, pszDst, cbDst, &cch);
}
