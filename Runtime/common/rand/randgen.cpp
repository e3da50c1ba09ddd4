/* Generator methods: each checks the object, then calls the entry of its kind. */
#include "internal/rand.h"

static bool rtRandGenIsAlive(RTRANDGEN hRand)
{
    return RT_VALID_PTR(hRand) && hRand->u32Magic == RTRANDGENINT_MAGIC;
}

void RTRandGenBytes(RTRANDGEN hRand, void *pv, size_t cb)
{
    if (rtRandGenIsAlive(hRand))
        hRand->pfnGetBytes(hRand, static_cast<uint8_t *>(pv), cb);
}

uint32_t RTRandGenRangeU32(RTRANDGEN hRand, uint32_t uFirst, uint32_t uLast)
{
    return rtRandGenIsAlive(hRand) ? hRand->pfnGetU32(hRand, uFirst, uLast) : UINT32_MAX;
}

uint64_t RTRandGenRangeU64(RTRANDGEN hRand, uint64_t uFirst, uint64_t uLast)
{
    return rtRandGenIsAlive(hRand) ? hRand->pfnGetU64(hRand, uFirst, uLast) : UINT64_MAX;
}

RTSTATUS RTRandGenSeed(RTRANDGEN hRand, uint64_t uSeed)
{
    return rtRandGenIsAlive(hRand) ? hRand->pfnSeed(hRand, uSeed) : ERR_BAD_HANDLE;
}

RTSTATUS RTRandGenSaveState(RTRANDGEN hRand, char *pszState, size_t *pcbState)
{
    if (!rtRandGenIsAlive(hRand))
        return ERR_BAD_HANDLE;
    if (!RT_VALID_PTR(pcbState) || (*pcbState && !RT_VALID_PTR(pszState)))
        return ERR_BAD_POINTER;
    if (!hRand->pfnSaveState)
        return ERR_NOT_IMPLEMENTED;
    return hRand->pfnSaveState(hRand, pszState, pcbState);
}

RTSTATUS RTRandGenRestoreState(RTRANDGEN hRand, const char *pszState)
{
    if (!rtRandGenIsAlive(hRand))
        return ERR_BAD_HANDLE;
    if (!RT_VALID_PTR(pszState))
        return ERR_BAD_POINTER;
    if (!hRand->pfnRestoreState)
        return ERR_NOT_IMPLEMENTED;
    return hRand->pfnRestoreState(hRand, pszState);
}

RTSTATUS RTRandGenDestroy(RTRANDGEN hRand)
{
    if (!hRand)
        return INF_SUCCESS;
    return rtRandGenIsAlive(hRand) ? hRand->pfnDestroy(hRand) : ERR_BAD_HANDLE;
}
