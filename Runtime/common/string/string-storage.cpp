/* Allocation, copying, resizing and release of UTF-8 and UTF-16 strings on the runtime
 * heap. Allocated strings belong to the caller. */
#include "rt/string.h"
#include "rt/mem.h"

namespace {

/** Bytes before the terminator, looking at no more than cchMax bytes. */
size_t rtStrLenMax(const char *psz, size_t cchMax)
{
    size_t cch = 0;
    while (cch < cchMax && psz[cch])
        cch++;
    return cch;
}

/** Rounds a UTF-16 size in bytes up to whole units; false when that overflows. */
bool rtUtf16RoundSize(size_t cb, size_t *pcbRounded)
{
    if (cb > RTSTR_MAX - 1)
        return false;
    *pcbRounded = (cb + 1) & ~static_cast<size_t>(1);
    return true;
}

/**
 * Resizes a string block to cb bytes (already a whole number of elements): 0 frees it and
 * stores null; otherwise it is reallocated, or made new with pfnNew when there is none, and
 * its last element zeroed. On failure the old block stays.
 */
template <typename T>
RTSTATUS rtStrResizeBlock(T **pp, size_t cb, T *(*pfnNew)(size_t), RTSTATUS rcAllocFailed)
{
    if (!cb)
    {
        RTMemFree(*pp);
        *pp = nullptr;
        return INF_SUCCESS;
    }
    T *p = *pp ? static_cast<T *>(RTMemRealloc(*pp, cb)) : pfnNew(cb);
    if (!p)
        return rcAllocFailed;
    p[cb / sizeof(T) - 1] = 0;
    *pp = p;
    return INF_SUCCESS;
}

} /* namespace */


char *RTStrNew(size_t cb)
{
    char *psz = static_cast<char *>(RTMemAlloc(cb ? cb : 1));
    if (psz)
        psz[0] = '\0';
    return psz;
}

char *RTStrCloneN(const char *psz, size_t cchMax)
{
    if (!RT_VALID_PTR(psz))
        return nullptr;
    size_t const cch = rtStrLenMax(psz, cchMax);
    char *pszCopy = static_cast<char *>(RTMemAlloc(cch + 1));
    if (pszCopy)
    {
        __builtin_memcpy(pszCopy, psz, cch);
        pszCopy[cch] = '\0';
    }
    return pszCopy;
}

char *RTStrClone(const char *psz)
{
    return RTStrCloneN(psz, RTSTR_MAX);
}

RTSTATUS RTStrCloneMax(char **ppszResult, const char *psz, size_t cchMax)
{
    if (!RT_VALID_PTR(ppszResult))
        return ERR_BAD_POINTER;
    *ppszResult = nullptr;
    if (!RT_VALID_PTR(psz))
        return ERR_BAD_POINTER;
    *ppszResult = RTStrCloneN(psz, cchMax);
    return *ppszResult ? INF_SUCCESS : ERR_STRING_ALLOC_FAILED;
}

RTSTATUS RTStrResize(char **ppsz, size_t cbNew)
{
    if (!RT_VALID_PTR(ppsz))
        return ERR_BAD_POINTER;
    return rtStrResizeBlock(ppsz, cbNew, RTStrNew, ERR_STRING_ALLOC_FAILED);
}

void RTStrRelease(char *psz)
{
    RTMemFree(psz);
}

RTUTF16 *RTUtf16New(size_t cb)
{
    size_t cbRounded;
    if (!rtUtf16RoundSize(cb, &cbRounded))
        return nullptr;
    RTUTF16 *pwsz = static_cast<RTUTF16 *>(RTMemAlloc(cbRounded < 2 ? 2 : cbRounded));
    if (pwsz)
        pwsz[0] = 0;
    return pwsz;
}

size_t RTUtf16Length(const RTUTF16 *pwsz)
{
    if (!RT_VALID_PTR(pwsz))
        return 0;
    size_t cwc = 0;
    while (pwsz[cwc])
        cwc++;
    return cwc;
}

RTUTF16 *RTUtf16Clone(const RTUTF16 *pwsz)
{
    if (!RT_VALID_PTR(pwsz))
        return nullptr;
    size_t const cb = (RTUtf16Length(pwsz) + 1) * sizeof(RTUTF16);
    RTUTF16 *pwszCopy = static_cast<RTUTF16 *>(RTMemAlloc(cb));
    if (pwszCopy)
        __builtin_memcpy(pwszCopy, pwsz, cb);
    return pwszCopy;
}

RTSTATUS RTUtf16Resize(RTUTF16 **ppwsz, size_t cbNew)
{
    if (!RT_VALID_PTR(ppwsz))
        return ERR_BAD_POINTER;
    size_t cbRounded;
    if (!rtUtf16RoundSize(cbNew, &cbRounded))
        return ERR_UTF16_ALLOC_FAILED;
    return rtStrResizeBlock(ppwsz, cbRounded, RTUtf16New, ERR_UTF16_ALLOC_FAILED);
}

void RTUtf16Release(RTUTF16 *pwsz)
{
    RTMemFree(pwsz);
}
