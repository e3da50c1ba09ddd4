/* Native module records: loading by full path or by system library name, symbol lookup
 * and release. */
#include "internal/ldr.h"
#include "internal/path.h"
#include "rt/mem.h"
#include "rt/path.h"

static bool rtldrIsValid(const RTLDRMODINTERNAL *pMod)
{
    return RT_VALID_PTR(pMod) && pMod->u32Magic == RTLDRMOD_MAGIC;
}

RTSTATUS RTLdrLoadNative(const char *pszFilename, RTLDRMOD *phMod, uint32_t fFlags, RTERRINFO *pErrInfo)
{
    RTErrInfoReset(pErrInfo);
    if (!RT_VALID_PTR(phMod))
        return ERR_BAD_POINTER;
    *phMod = nullptr;
    if (!RT_VALID_PTR(pszFilename))
        return ERR_BAD_POINTER;
    if (fFlags & ~RTLDRF_VALID_MASK)
        return ERR_BAD_ARGUMENT;

    RTLDRMODINTERNAL *pMod = static_cast<RTLDRMODINTERNAL *>(RTMemAlloc(sizeof(*pMod)));
    if (!pMod)
        return RTErrInfoStoreF(pErrInfo, ERR_OUT_OF_MEMORY, "Failed to allocate %zu bytes for the module handle",
                               sizeof(*pMod));
    pMod->u32Magic  = RTLDRMOD_MAGIC;
    pMod->enmState  = RTLDRMOD_STATE_OPEN;
    pMod->pOps      = &g_rtldrNativeOps;
    pMod->pReader   = nullptr;
    pMod->enmFormat = 1;
    pMod->enmType   = 6;
    pMod->enmEndian = 1;
    pMod->enmArch   = 4;
    pMod->hNative   = RTLDR_NATIVE_NIL;
    pMod->fFlags    = fFlags;

    RTSTATUS const rc = rtldrNativeLoad(pszFilename, &pMod->hNative, fFlags, pErrInfo);
    if (RT_FAILURE(rc))
    {
        RTMemFree(pMod);
        return rc;
    }
    *phMod = pMod;
    return rc;
}

RTSTATUS RTLdrLoadSystemEx(const char *pszName, uint32_t fFlags, RTLDRMOD *phMod)
{
    if (!RT_VALID_PTR(phMod))
        return ERR_BAD_ARGUMENT;
    *phMod = nullptr;
    if (!RT_VALID_PTR(pszName))
        return ERR_BAD_ARGUMENT;
    /* A bare name only: anything that could leave the system directory is refused before
     * the file system is asked. */
    size_t cch = 0;
    for (; pszName[cch]; cch++)
    {
        char const ch = pszName[cch];
        if (rtPathIsSepOrColon(ch) || cch + 1 >= RTLDR_SYSTEM_NAME_MAX)
            return ERR_BAD_ARGUMENT;
    }
    if (fFlags & 0xFF0)
        return ERR_BAD_FLAGS;
    return rtldrNativeLoadSystem(pszName, RTPathSuffix(pszName) ? nullptr : ".DLL", fFlags, phMod);
}

RTSTATUS RTLdrLoadSystemLib(const char *pszName, bool fKeepLoaded, RTLDRMOD *phMod)
{
    return RTLdrLoadSystemEx(pszName, fKeepLoaded ? RTLDRF_KEEP_LOADED : 0, phMod);
}

RTSTATUS RTLdrLookupSymbol(RTLDRMOD hMod, const char *pszSymbol, void **ppvValue)
{
    if (!rtldrIsValid(hMod))
        return ERR_BAD_HANDLE;
    if (!pszSymbol)
        return ERR_BAD_ARGUMENT;
    if (!RT_VALID_PTR(ppvValue) || !RT_VALID_PTR(pszSymbol))
        return ERR_BAD_POINTER;
    return hMod->pOps->pfnGetSymbol(hMod, pszSymbol, ppvValue);
}

RTSTATUS RTLdrRelease(RTLDRMOD hMod)
{
    if (!hMod)
        return INF_SUCCESS;
    if (!rtldrIsValid(hMod))
        return ERR_BAD_HANDLE;
    RTSTATUS const rc = hMod->pOps->pfnClose(hMod);
    hMod->u32Magic++;
    hMod->enmState = 0;
    hMod->pReader = nullptr;
    RTMemFree(hMod);
    return rc;
}

RTLDRNATIVEHANDLE RTLdrNativeHandleOf(RTLDRMOD hMod)
{
    if (rtldrIsValid(hMod) && hMod->pOps == &g_rtldrNativeOps)
        return hMod->hNative;
    return RTLDR_NATIVE_NIL;
}

void *RTLdrSystemSymbol(const char *pszName, const char *pszSymbol)
{
    RTLDRMOD hMod;
    if (RT_FAILURE(RTLdrLoadSystemEx(pszName, RTLDRF_KEEP_LOADED, &hMod)))
        return nullptr;
    void *pvValue = nullptr;
    RTLdrLookupSymbol(hMod, pszSymbol, &pvValue);
    RTLdrRelease(hMod);
    return pvValue;
}
