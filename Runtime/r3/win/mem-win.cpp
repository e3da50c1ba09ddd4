/* Heap memory on the process heap. */
#include "rt/mem.h"
#include <windows.h>

PFNRTMEMALLOCHOOK g_pfnRTMemAllocHook = nullptr;

static inline bool rtMemAllowed(size_t cb)
{
    PFNRTMEMALLOCHOOK const pfn = g_pfnRTMemAllocHook;
    return !pfn || pfn(cb);
}

void *RTMemAlloc(size_t cb)
{
    if (!rtMemAllowed(cb))
        return nullptr;
    return HeapAlloc(GetProcessHeap(), 0, cb ? cb : 1);
}

void *RTMemAllocZ(size_t cb)
{
    if (!rtMemAllowed(cb))
        return nullptr;
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cb ? cb : 1);
}

void *RTMemRealloc(void *pv, size_t cbNew)
{
    if (!pv)
        return RTMemAlloc(cbNew);
    if (!rtMemAllowed(cbNew))
        return nullptr;
    return HeapReAlloc(GetProcessHeap(), 0, pv, cbNew ? cbNew : 1);
}

void RTMemFree(void *pv)
{
    if (pv)
        HeapFree(GetProcessHeap(), 0, pv);
}
