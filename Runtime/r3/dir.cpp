/* Directories: the existence test, the checks before creation, and directory handles that
 * keep a directory in place, with their file-name filters (wildcard and exact matching).
 * Creation and removal themselves are the Windows layer's (r3/win/dir-win.cpp). */
#include "internal/dir.h"
#include "internal/path.h"
#include "rt/err.h"
#include "rt/file.h"
#include "rt/mem.h"
#include "rt/path.h"

bool RTDirExists(const char *pszPath)
{
    RTFILESTATS Stats;
    return RT_SUCCESS(RTPathQueryStats(pszPath, &Stats, RTFATTR_NONE, RTPATHQ_FOLLOW_LINK))
        && (Stats.fMode & RTFS_TYPE_MASK) == RTFS_TYPE_DIRECTORY;
}

RTSTATUS RTDirMake(const char *pszPath, uint32_t fMode, uint32_t fCreate)
{
    /* The mode is not applied here, but one that cannot describe a directory is refused. */
    uint32_t const fType = fMode & RTFS_TYPE_MASK;
    if (fType && fType != RTFS_TYPE_DIRECTORY && (fMode & RTFS_DOS_DIRECTORY))
        return ERR_BAD_MODE;
    if (!(fMode & RTFS_UNIX_MASK) && (fMode & RTFS_DOS_REPARSE_POINT))
        return ERR_BAD_MODE;
    return rtDirNativeMake(pszPath, fCreate);
}


/*
 * Filters.
 */

static bool rtDirIsWildcard(RTUNICP uc)
{
    return uc == '*' || uc == '?' || uc == '<' || uc == '>' || uc == '"';
}

/* Steps over one character of a name; false at the end or on a broken encoding. */
static bool rtDirNextCp(const char **ppsz, RTUNICP *puc)
{
    if (!**ppsz)
        return false;
    return RT_SUCCESS(RTStrDecodeCp(ppsz, puc));
}

namespace {

/* Deeper recursion than this counts as no match: a pathological pattern must not exhaust
   the stack. */
constexpr unsigned RTDIR_MATCH_MAX_DEPTH = 256;
/* Nor may it take forever: several variable-length wildcards against a long name try a
   number of splits that grows with the power of their count. Past this many attempts the
   name counts as not matching; real filters need a few thousand at most. */
constexpr uint32_t RTDIR_MATCH_MAX_STEPS = UINT32_C(1) << 20;

} /* namespace */

static bool rtDirWildMatch(const RTUNICP *puszPattern, const char *pszName, unsigned cDepth, uint32_t *pcStepsLeft)
{
    if (cDepth > RTDIR_MATCH_MAX_DEPTH || !*pcStepsLeft)
        return false;
    --*pcStepsLeft;
    for (;;)
    {
        RTUNICP const ucPat = *puszPattern++;
        RTUNICP uc;
        switch (ucPat)
        {
            case 0:
                return *pszName == '\0';

            case '*':
                for (;;)
                {
                    if (rtDirWildMatch(puszPattern, pszName, cDepth + 1, pcStepsLeft))
                        return true;
                    if (!rtDirNextCp(&pszName, &uc))
                        return false;
                }

            case '<':
            {
                /* Any run up to the name's last dot (the whole rest when it has none). */
                const char *pszLastDot = nullptr;
                for (const char *psz = pszName; *psz; psz++)
                    if (*psz == '.')
                        pszLastDot = psz;
                for (;;)
                {
                    if (rtDirWildMatch(puszPattern, pszName, cDepth + 1, pcStepsLeft))
                        return true;
                    if (pszName == pszLastDot || !rtDirNextCp(&pszName, &uc))
                        return false;
                }
            }

            case '>':
                /* One character, or nothing at the end or before a dot. */
                if (*pszName && *pszName != '.' && !rtDirNextCp(&pszName, &uc))
                    return false;
                break;

            case '"':
                /* A dot, or nothing at the end. */
                if (*pszName == '.')
                    pszName++;
                else if (*pszName)
                    return false;
                break;

            case '?':
                if (!rtDirNextCp(&pszName, &uc))
                    return false;
                break;

            default:
                if (!rtDirNextCp(&pszName, &uc) || rtDirCpToUpper(uc) != ucPat)
                    return false;
                break;
        }
    }
}

static bool rtDirFilterWildcard(RTDIROBJ *pDir, const char *pszName)
{
    uint32_t cStepsLeft = RTDIR_MATCH_MAX_STEPS;
    return rtDirWildMatch(pDir->puszFilter, pszName, 0, &cStepsLeft);
}

static bool rtDirFilterExact(RTDIROBJ *pDir, const char *pszName)
{
    for (const RTUNICP *puc = pDir->puszFilter;; puc++)
    {
        RTUNICP uc = 0;
        if (*pszName && !rtDirNextCp(&pszName, &uc))
            return false;
        if (rtDirCpToUpper(uc) != *puc)
            return false;
        if (!uc)
            return true;
    }
}

/* Compiles the filter in place: runs of '*' collapse to one, wildcards stay, everything
   else is upper-cased; picks the matcher; prepares the native layer's copy. */
static RTSTATUS rtDirCompileFilter(RTDIROBJ *pDir)
{
    bool const fMatchAll = (pDir->cucFilter == 1 && pDir->puszFilter[0] == '*')
                        || (pDir->cucFilter == 3 && pDir->puszFilter[0] == '<' && pDir->puszFilter[1] == '"'
                            && pDir->puszFilter[2] == '.')
                        || (pDir->cucFilter == 4 && pDir->puszFilter[0] == '<' && pDir->puszFilter[1] == '"'
                            && pDir->puszFilter[2] == '.' && pDir->puszFilter[3] == '>');
    if (!fMatchAll)
    {
        bool fWild = false;
        size_t iDst = 0;
        for (size_t iSrc = 0; iSrc < pDir->cucFilter; iSrc++)
        {
            RTUNICP const uc = pDir->puszFilter[iSrc];
            if (uc == '*' && iDst > 0 && pDir->puszFilter[iDst - 1] == '*')
                continue;
            if (rtDirIsWildcard(uc))
                fWild = true;
            pDir->puszFilter[iDst++] = rtDirIsWildcard(uc) ? uc : rtDirCpToUpper(uc);
        }
        pDir->puszFilter[iDst] = 0;
        pDir->cucFilter = iDst;
        pDir->pfnFilter = fWild ? rtDirFilterWildcard : rtDirFilterExact;
    }
    return RTStrToUtf16Ex(pDir->pszFilter, RTSTR_MAX, &pDir->pwszNtFilter, 0, &pDir->cwcNtFilter);
}

/* The directory part of an open request as a new string ending with a separator. */
static char *rtDirPathOf(const char *pszPath, const char *pszFilter, uint32_t fFlags)
{
    bool const fNoAbs = (fFlags & RTDIROPEN_NO_ABS_PATH) != 0;
    if (pszFilter == pszPath)
        return fNoAbs ? RTStrClone(".\\") : RTPathAbsExDup(nullptr, ".", RTABS_TRAILING_SLASH);

    size_t const cch = pszFilter ? static_cast<size_t>(pszFilter - pszPath) : __builtin_strlen(pszPath);
    if (!fNoAbs)
    {
        if (!pszFilter)
            return RTPathAbsExDup(nullptr, pszPath, RTABS_TRAILING_SLASH);
        char *pszDir = RTStrCloneN(pszPath, cch);
        char *pszAbs = pszDir ? RTPathAbsExDup(nullptr, pszDir, RTABS_TRAILING_SLASH) : nullptr;
        RTStrRelease(pszDir);
        return pszAbs;
    }

    char *pszDir = RTStrNew(cch + 2);
    if (!pszDir)
        return nullptr;
    __builtin_memcpy(pszDir, pszPath, cch);
    pszDir[cch] = '\0';
    if (pszFilter)
        RTPathEnsureTrailingSlash(pszDir, cch + 2);
    else if (!cch || (pszDir[cch - 1] != '\\' && pszDir[cch - 1] != '/'))
    {
        pszDir[cch] = '\\';
        pszDir[cch + 1] = '\0';
    }
    return pszDir;
}

static void rtDirFree(RTDIROBJ *pDir)
{
    RTUtf16Release(pDir->pwszNtFilter);
    RTMemFree(pDir->pvBuf);
    RTMemFree(pDir);
}

RTSTATUS RTDirOpenFilteredPath(RTDIR *phDir, const char *pszPath, uint32_t enmFilter, uint32_t fFlags)
{
    if (!RT_VALID_PTR(phDir) || !RT_VALID_PTR(pszPath))
        return ERR_BAD_POINTER;
    *phDir = nullptr;
    if (enmFilter == 3 || enmFilter == 4)
        return ERR_NOT_IMPLEMENTED;
    if (enmFilter != RTDIRFILTER_NONE && enmFilter != RTDIRFILTER_WILDCARD)
        return ERR_BAD_ARGUMENT;
    if (fFlags & ~RTDIROPEN_VALID_MASK)
        return ERR_BAD_FLAGS;

    const char *pszFilter = nullptr;
    if (enmFilter == RTDIRFILTER_WILDCARD)
    {
        pszFilter = RTPathFileName(pszPath);
        if (!pszFilter)
            enmFilter = RTDIRFILTER_NONE;
    }

    char *pszDir = rtDirPathOf(pszPath, pszFilter, fFlags);
    if (!pszDir)
        return ERR_OUT_OF_MEMORY;
    size_t const cchDir = __builtin_strlen(pszDir);
    size_t const cchPath = __builtin_strlen(pszPath);
    size_t const cchFilter = pszFilter ? cchPath - static_cast<size_t>(pszFilter - pszPath) : 0;
    size_t cucFilter = 0;
    if (pszFilter)
    {
        RTSTATUS rc = RTStrScanUtf8(pszFilter, RTSTR_MAX, &cucFilter, nullptr);
        if (RT_FAILURE(rc))
        {
            RTStrRelease(pszDir);
            return rc;
        }
    }

    size_t const cbCps = (cucFilter + 1) * sizeof(RTUNICP);
    RTDIROBJ *pDir = static_cast<RTDIROBJ *>(RTMemAllocZ(sizeof(RTDIROBJ) + cbCps + cchFilter + 1 + cchDir + 1));
    if (!pDir)
    {
        RTStrRelease(pszDir);
        return ERR_OUT_OF_MEMORY;
    }
    uint8_t *pb = reinterpret_cast<uint8_t *>(pDir + 1);
    pDir->puszFilter = reinterpret_cast<RTUNICP *>(pb);
    pDir->cucFilter  = cucFilter;
    pb += cbCps;
    pDir->pszFilter  = reinterpret_cast<char *>(pb);
    pDir->cchFilter  = cchFilter;
    __builtin_memcpy(pDir->pszFilter, pszFilter ? pszFilter : "", cchFilter + 1);
    pb += cchFilter + 1;
    pDir->pszPath    = reinterpret_cast<char *>(pb);
    pDir->cchPath    = cchDir;
    __builtin_memcpy(pDir->pszPath, pszDir, cchDir + 1);
    RTStrRelease(pszDir);

    pDir->u32Magic   = RTDIR_MAGIC;
    pDir->enmFilter  = enmFilter;
    pDir->fFlags     = fFlags;
    pDir->fDirSlash  = pszFilter || (cchPath && rtPathIsAnySep(pszPath[cchPath - 1]));
    pDir->hDir       = -1;

    RTSTATUS rc = INF_SUCCESS;
    if (enmFilter == RTDIRFILTER_WILDCARD)
    {
        RTUNICP *puszFilter = pDir->puszFilter;
        rc = RTStrToCodePointsEx(pDir->pszFilter, RTSTR_MAX, &puszFilter, cucFilter + 1, nullptr);
        if (RT_SUCCESS(rc))
            rc = rtDirCompileFilter(pDir);
    }
    if (RT_SUCCESS(rc))
        rc = rtDirNativeOpen(pDir);
    if (RT_FAILURE(rc))
    {
        rtDirFree(pDir);
        return rc;
    }
    *phDir = pDir;
    return INF_SUCCESS;
}

RTSTATUS RTDirOpenPath(RTDIR *phDir, const char *pszPath)
{
    if (!RT_VALID_PTR(phDir) || !RT_VALID_PTR(pszPath))
        return ERR_BAD_POINTER;
    return RTDirOpenFilteredPath(phDir, pszPath, RTDIRFILTER_NONE, 0);
}

bool RTDirHandleValid(RTDIR hDir)
{
    return RT_VALID_PTR(hDir) && hDir->u32Magic == RTDIR_MAGIC;
}

RTSTATUS RTDirClose(RTDIR hDir)
{
    if (!RTDirHandleValid(hDir))
        return ERR_BAD_ARGUMENT;
    hDir->u32Magic = RTDIR_MAGIC_DEAD;
    rtDirNativeClose(hDir);
    rtDirFree(hDir);
    return INF_SUCCESS;
}
