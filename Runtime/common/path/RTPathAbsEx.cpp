/* Making a path absolute against a base path, the current directory or the current drive
 * (RTPathAbsEx, RTPathAbsolute). Results are normalised: "." and ".." are resolved, runs of
 * separators collapse to one, and the style's separator is written. */
#include "internal/path.h"
#include "internal/path-build.h"
#include "rt/mem.h"
#include "rt/string.h"
#include <string.h>

namespace {

/** A parsed path in a record on the stack, moved to the heap when the path has more
 *  components than the stack record holds. */
class RTPATHPARSED
{
public:
    RTPATHPARSED() = default;
    RTPATHPARSED(const RTPATHPARSED &) = delete;
    RTPATHPARSED &operator=(const RTPATHPARSED &) = delete;
    ~RTPATHPARSED() { release(); }

    RTSTATUS parse(const char *psz, uint32_t fStyle)
    {
        release();
        RTSTATUS rc = RTPathParseComps(psz, &m_Stack.Comps, sizeof(m_Stack), fStyle);
        if (rc != ERR_BUFFER_TOO_SMALL)
            return rc;
        size_t const cb = RTPATHCOMPS_SIZE(m_Stack.Comps.cComps) + 8;
        RTPATHCOMPS *pComps = static_cast<RTPATHCOMPS *>(RTMemAlloc(cb));
        if (!pComps)
            return ERR_SCRATCH_ALLOC_FAILED;
        rc = RTPathParseComps(psz, pComps, cb, fStyle);
        if (RT_FAILURE(rc))
        {
            RTMemFree(pComps);
            return rc;
        }
        m_pComps = pComps;
        return rc;
    }

    RTPATHCOMPS *operator->() { return m_pComps; }
    RTPATHCOMPS *get() { return m_pComps; }

private:
    void release()
    {
        if (m_pComps != &m_Stack.Comps)
            RTMemFree(m_pComps);
        m_pComps = &m_Stack.Comps;
    }

    RTPATHCOMPS *m_pComps = &m_Stack.Comps;
    /* Last: the record's components run to the end of the storage. */
    union
    {
        RTPATHCOMPS Comps;
        uint8_t     ab[1024];
    } m_Stack;
};

inline bool rtPathIsDot(const char *psz, const RTPATHCOMP &Comp)
{
    return Comp.cch == 1 && psz[Comp.off] == '.';
}

inline bool rtPathIsDotDot(const char *psz, const RTPATHCOMP &Comp)
{
    return Comp.cch == 2 && psz[Comp.off] == '.' && psz[Comp.off + 1] == '.';
}

/** The leading components ".." may never remove: the root, and the share of a plain UNC
 *  path. */
size_t rtPathProtectedCount(const RTPATHCOMPS *pComps)
{
    size_t c = pComps->fProps & RTPPROP_HAS_ROOT ? 1 : 0;
    if ((pComps->fProps & (RTPPROP_UNC | RTPPROP_SPECIAL_UNC)) == RTPPROP_UNC && pComps->cComps > 1)
        c++;
    return c;
}

/** Drops the last kept component of @a pComps before @a iEnd, not going below @a iFirst;
 *  false when none is left. */
bool rtPathDropLastKept(RTPATHCOMPS *pComps, size_t iFirst, size_t iEnd)
{
    for (size_t j = iEnd; j-- > iFirst;)
        if (pComps->aComps[j].cch)
        {
            pComps->aComps[j].cch = 0;
            return true;
        }
    return false;
}

/** Drops "." components, and ".." together with the nearest earlier kept component, from
 *  component @a iFirst on. When no earlier component is left, ".." takes the last kept
 *  component of @a pOuter (from @a iOuterFirst on) instead, if one is given. */
void rtPathDropDots(const char *psz, RTPATHCOMPS *pComps, size_t iFirst,
                    RTPATHCOMPS *pOuter = nullptr, size_t iOuterFirst = 0)
{
    for (size_t i = iFirst; i < pComps->cComps; i++)
    {
        RTPATHCOMP &Comp = pComps->aComps[i];
        if (rtPathIsDot(psz, Comp))
            Comp.cch = 0;
        else if (rtPathIsDotDot(psz, Comp))
        {
            Comp.cch = 0;
            if (!rtPathDropLastKept(pComps, iFirst, i) && pOuter)
                rtPathDropLastKept(pOuter, iOuterFirst, pOuter->cComps);
        }
    }
}

bool rtPathAnyKept(const RTPATHCOMPS *pComps, size_t iFirst)
{
    for (size_t i = iFirst; i < pComps->cComps; i++)
        if (pComps->aComps[i].cch)
            return true;
    return false;
}

void rtPathUpperDrive(char *psz, uint16_t fProps)
{
    if ((fProps & RTPPROP_VOLUME) && psz[0] && psz[1] == ':')
        psz[0] = rtPathUpper(psz[0]);
}

size_t rtPathMeasure(const char *psz, const RTPATHCOMPS *pComps, uint32_t fStyle)
{
    size_t cch;
    rtPathBuild(psz, pComps, fStyle, nullptr, 0, &cch);
    return cch;
}

/** What every resolution needs: the style, the caller's flags and the output. */
struct RTPATHABSOUT
{
    uint32_t fStyle;
    uint32_t fFlags;
    char    *pszDst;
    size_t   cbDst;
    size_t  *pcbDst;

    RTSTATUS tooSmall(size_t cbNeeded)
    {
        if (cbDst)
            pszDst[0] = '\0';
        *pcbDst = cbNeeded;
        return ERR_BUFFER_TOO_SMALL;
    }
};

/** Rebuilds the path after the @a cchHead bytes already in the buffer (a prefix or a base)
 *  and completes the result; the drive letter at the start is upper-cased when
 *  @a fPropsHead, the properties of what starts the result, say it is one. */
RTSTATUS rtPathAbsFinish(const char *pszPath, const RTPATHCOMPS *pPath, size_t cchHead, uint16_t fPropsHead,
                         RTPATHABSOUT &Out)
{
    size_t cchPath;
    if (RT_FAILURE(rtPathBuild(pszPath, pPath, Out.fStyle, Out.pszDst + cchHead, Out.cbDst - cchHead, &cchPath)))
        return Out.tooSmall(cchHead + cchPath + 1);
    rtPathUpperDrive(Out.pszDst, fPropsHead);
    *Out.pcbDst = cchHead + cchPath;
    return INF_SUCCESS;
}

RTSTATUS rtPathAbsAbsolute(const char *pszPath, RTPATHCOMPS *pPath, RTPATHABSOUT &Out)
{
    /* An absolute path has no "..": only "." goes. */
    rtPathDropDots(pszPath, pPath, 1);
    if ((Out.fFlags & RTABS_TRAILING_SLASH) && pPath->cComps > 1)
        pPath->fProps |= RTPPROP_DIR_SLASH;
    return rtPathAbsFinish(pszPath, pPath, 0, pPath->fProps, Out);
}

/** A size that surely holds the current drive and the path when the drive could not even be
 *  fetched into scratch. */
size_t rtPathDriveGuess(size_t cbDst, size_t cchPath)
{
    size_t const cbTwice = cbDst * 2;
    size_t const cbRoom  = cchPath + 196609;
    return cbTwice > cbRoom ? cbTwice : cbRoom;
}

/** Writes the prefix a rooted path without its own drive or server takes from the base:
 *  the base's drive, or its server and share. *pcchPrefix is 0 when the base has neither
 *  (the current drive then serves); *pfFits says whether the prefix was written. */
RTSTATUS rtPathBasePrefix(const char *pszBase, uint32_t fStyle, char *pszDst, size_t cbDst,
                          size_t *pcchPrefix, bool *pfFits)
{
    *pcchPrefix = 0;
    union
    {
        RTPATHCOMPS Comps;
        uint8_t     ab[RTPATHCOMPS_SIZE(2)];
    } Base;
    RTSTATUS rc = RTPathParseComps(pszBase, &Base.Comps, sizeof(Base), fStyle);
    if (RT_FAILURE(rc) && rc != ERR_BUFFER_TOO_SMALL)
        return rc;

    char        szDrive[2];
    const char *pszRoot = pszBase;
    size_t      cchRoot = 0;
    const char *pszShare = nullptr;
    size_t      cchShare = 0;
    if (Base.Comps.fProps & RTPPROP_VOLUME)
    {
        szDrive[0] = rtPathUpper(pszBase[0]);
        szDrive[1] = ':';
        pszRoot = szDrive;
        cchRoot = 2;
    }
    else if (Base.Comps.fProps & RTPPROP_UNC)
    {
        cchRoot = Base.Comps.aComps[0].cch;
        if (Base.Comps.cComps > 1 && !(Base.Comps.fProps & RTPPROP_SPECIAL_UNC))
        {
            pszShare = pszBase + Base.Comps.aComps[1].off;
            cchShare = Base.Comps.aComps[1].cch;
        }
        else if (Base.Comps.fProps & RTPPROP_ROOT_SLASH)
            cchRoot--;
    }
    else
        return INF_SUCCESS;

    size_t const cchPrefix = cchRoot + cchShare;
    *pcchPrefix = cchPrefix;
    *pfFits = cchPrefix < cbDst;
    if (*pfFits)
    {
        for (size_t off = 0; off < cchRoot; off++)
            pszDst[off] = pszRoot[off] == '/' ? '\\' : pszRoot[off];
        if (cchShare)
            memcpy(pszDst + cchRoot, pszShare, cchShare);
        pszDst[cchPrefix] = '\0';
    }
    return INF_SUCCESS;
}

/** A path rooted at a separator, or a rooted path with "..": resolved in place and put
 *  after the drive or server it lacks. */
RTSTATUS rtPathAbsRooted(const char *pszBase, const char *pszPath, RTPATHCOMPS *pPath, RTPATHABSOUT &Out)
{
    rtPathDropDots(pszPath, pPath, rtPathProtectedCount(pPath));
    if ((Out.fFlags & RTABS_TRAILING_SLASH) && rtPathAnyKept(pPath, 1))
        pPath->fProps |= RTPPROP_DIR_SLASH;

    size_t cchPrefix = 0;
    if (   (Out.fStyle & RTPSTYLE_MASK) != RTPSTYLE_UNIX
        && !(pPath->fProps & (RTPPROP_VOLUME | RTPPROP_UNC)))
    {
        bool fFits = false;
        if (pszBase)
        {
            RTSTATUS rc = rtPathBasePrefix(pszBase, Out.fStyle, Out.pszDst, Out.cbDst, &cchPrefix, &fFits);
            if (RT_FAILURE(rc))
                return rc;
        }
        if (cchPrefix && !fFits)
            return Out.tooSmall(cchPrefix + rtPathMeasure(pszPath, pPath, Out.fStyle) + 1);
        if (!cchPrefix)
        {
            RTSTATUS rc = Out.cbDst ? RTPathGetCurrentDrive(Out.pszDst, Out.cbDst) : ERR_BUFFER_TOO_SMALL;
            if (rc == ERR_BUFFER_TOO_SMALL)
            {
                size_t const cchPath = rtPathMeasure(pszPath, pPath, Out.fStyle);
                size_t       cbNeeded = rtPathDriveGuess(Out.cbDst, cchPath);
                size_t const cbScratch = 65536;
                char *pszScratch = static_cast<char *>(RTMemAlloc(cbScratch));
                if (pszScratch)
                {
                    if (RT_SUCCESS(RTPathGetCurrentDrive(pszScratch, cbScratch)))
                        cbNeeded = strlen(pszScratch) + cchPath + 1;
                    RTMemFree(pszScratch);
                }
                return Out.tooSmall(cbNeeded);
            }
            if (RT_FAILURE(rc))
                return rc;
            cchPrefix = strlen(Out.pszDst);
        }
    }

    return rtPathAbsFinish(pszPath, pPath, cchPrefix, pPath->fProps, Out);
}

/** Puts a relative path after an absolute base, both parsed; writes the result. */
RTSTATUS rtPathMerge(const char *pszBase, RTPATHCOMPS *pBase, const char *pszPath, RTPATHCOMPS *pPath,
                     bool fKeepBase, RTPATHABSOUT &Out)
{
    if (!pBase->cComps)
        return ERR_BAD_ARGUMENT;
    size_t const iBaseFirst = rtPathProtectedCount(pBase);
    rtPathDropDots(pszBase, pBase, iBaseFirst);

    if (pPath->fProps & RTPPROP_VOLUME)
        pPath->aComps[0].cch = 0;
    rtPathDropDots(pszPath, pPath, 0, fKeepBase ? nullptr : pBase, iBaseFirst);
    bool const fPathKept = rtPathAnyKept(pPath, 0);

    if (pBase->cComps > 1)
    {
        if (fPathKept || (pPath->fProps & RTPPROP_DIR_SLASH) || (Out.fFlags & RTABS_TRAILING_SLASH))
            pBase->fProps |= RTPPROP_DIR_SLASH;
        else
            pBase->fProps &= static_cast<uint16_t>(~RTPPROP_DIR_SLASH);
    }
    else if (!(pBase->fProps & RTPPROP_ROOT_SLASH))
        return ERR_PATH_ROOT_INCOMPLETE;
    if (fPathKept && (Out.fFlags & RTABS_TRAILING_SLASH))
        pPath->fProps |= RTPPROP_DIR_SLASH;

    size_t cchBase;
    if (RT_FAILURE(rtPathBuild(pszBase, pBase, Out.fStyle, Out.pszDst, Out.cbDst, &cchBase)))
        return Out.tooSmall(fPathKept ? cchBase + rtPathMeasure(pszPath, pPath, Out.fStyle) + 1 : cchBase + 1);
    return rtPathAbsFinish(pszPath, pPath, cchBase, pBase->fProps, Out);
}

RTSTATUS rtPathAbsWithBase(const char *pszBase, const char *pszPath, RTPATHCOMPS *pPath, RTPATHABSOUT &Out)
{
    RTPATHPARSED Base;
    RTSTATUS rc = Base.parse(pszBase, Out.fStyle);
    if (RT_FAILURE(rc))
        return rc;

    if (   !(Base->fProps & RTPPROP_ABSOLUTE)
        || (Base->fProps & (RTPPROP_EXTRA_SLASHES | RTPPROP_DOT)))
    {
        size_t cb = Out.cbDst;
        rc = RTPathAbsEx(nullptr, pszBase, Out.fFlags, Out.pszDst, &cb);
        if (rc == ERR_BUFFER_TOO_SMALL)
            return Out.tooSmall(cb + pPath->cchPath + 2);
        if (RT_FAILURE(rc))
            return rc;
        pszBase = Out.pszDst;
        rc = Base.parse(pszBase, Out.fStyle);
        if (RT_FAILURE(rc))
            return rc;
    }
    return rtPathMerge(pszBase, Base.get(), pszPath, pPath, (Out.fFlags & RTABS_KEEP_BASE) != 0, Out);
}

RTSTATUS rtPathFetchCwd(const char *pszPath, const RTPATHCOMPS *pPath, char *pszDst, size_t cbDst, uint32_t fStyle)
{
    if (!cbDst)
        return ERR_BUFFER_TOO_SMALL;
    if ((fStyle & RTPSTYLE_MASK) == RTPSTYLE_DOS && (pPath->fProps & RTPPROP_VOLUME))
        return RTPathGetDriveCurrentDir(pszPath[0], pszDst, cbDst);
    return RTPathGetCurrentDir(pszDst, cbDst);
}

RTSTATUS rtPathAbsWithCwd(const char *pszPath, RTPATHCOMPS *pPath, RTPATHABSOUT &Out)
{
    char *pszScratch = nullptr;
    const char *pszCwd = Out.pszDst;
    RTSTATUS rc = rtPathFetchCwd(pszPath, pPath, Out.pszDst, Out.cbDst, Out.fStyle);
    if (rc == ERR_BUFFER_TOO_SMALL)
    {
        size_t const cbScratch = Out.cbDst < 65536 / 4 ? 65536 : (Out.cbDst < RTSTR_MAX / 4 ? Out.cbDst * 4 : RTSTR_MAX);
        pszScratch = static_cast<char *>(RTMemAlloc(cbScratch));
        if (!pszScratch)
            return Out.tooSmall(pPath->cchPath + cbScratch + 2);
        rc = rtPathFetchCwd(pszPath, pPath, pszScratch, cbScratch, Out.fStyle);
        if (rc == ERR_BUFFER_TOO_SMALL)
            rc = ERR_FILENAME_TOO_LONG;
        pszCwd = pszScratch;
    }
    if (RT_SUCCESS(rc))
    {
        /* The directory is in the host's own notation whatever style the caller writes. */
        RTPATHPARSED Cwd;
        rc = Cwd.parse(pszCwd, RTPSTYLE_DOS);
        if (RT_SUCCESS(rc))
            rc = rtPathMerge(pszCwd, Cwd.get(), pszPath, pPath, (Out.fFlags & RTABS_KEEP_CWD) != 0, Out);
    }
    RTMemFree(pszScratch);
    return rc;
}

} /* namespace */

RTSTATUS RTPathAbsEx(const char *pszBase, const char *pszPath, uint32_t fFlags, char *pszAbsPath, size_t *pcbAbsPath)
{
    if (!RT_VALID_PTR(pszPath) || !RT_VALID_PTR(pcbAbsPath) || (pszBase && !RT_VALID_PTR(pszBase)))
        return ERR_BAD_POINTER;
    if (*pcbAbsPath && !RT_VALID_PTR(pszAbsPath))
        return ERR_BAD_POINTER;
    if (!*pszPath)
        return ERR_PATH_EMPTY;
    if ((fFlags & ~RTABS_VALID_MASK) || !rtPathStyleValid(fFlags))
        return ERR_BAD_FLAGS;
    if (pszBase && !*pszBase)
        pszBase = nullptr;

    uint32_t const fStyle = (fFlags & RTPSTYLE_MASK) == RTPSTYLE_HOST ? RTPSTYLE_DOS : fFlags & RTPSTYLE_MASK;
    RTPATHABSOUT Out = { fStyle, fFlags, pszAbsPath, *pcbAbsPath, pcbAbsPath };

    RTPATHPARSED Path;
    RTSTATUS rc = Path.parse(pszPath, fStyle);
    if (RT_FAILURE(rc))
        return rc;

    uint16_t const fProps = Path->fProps;
    if (fProps & RTPPROP_ABSOLUTE)
        return rtPathAbsAbsolute(pszPath, Path.get(), Out);
    if (fProps & RTPPROP_ROOT_SLASH)
        return rtPathAbsRooted(pszBase, pszPath, Path.get(), Out);

    /* A drive-relative path resolves against its own drive's directory unless the base is
     * on that drive. */
    bool const fOtherDrive = fStyle == RTPSTYLE_DOS
                          && (fProps & RTPPROP_VOLUME)
                          && !(   rtPathHasDrive(pszBase ? pszBase : "")
                               && rtPathUpper(pszBase[0]) == rtPathUpper(pszPath[0]));
    if (pszBase && !fOtherDrive)
        return rtPathAbsWithBase(pszBase, pszPath, Path.get(), Out);
    return rtPathAbsWithCwd(pszPath, Path.get(), Out);
}

RTSTATUS RTPathAbsolute(const char *pszPath, char *pszAbsPath, size_t cbAbsPath)
{
    size_t cb = cbAbsPath;
    return RTPathAbsEx(nullptr, pszPath, RTPSTYLE_HOST, pszAbsPath, &cb);
}
