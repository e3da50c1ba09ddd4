/* Heap memory on the process heap. */
#include "rt/mem.h"
#include <windows.h>

PFNRTMEMALLOCHOOK g_pfnRTMemAllocHook = nullptr;

static inline bool rtMemAllowed(size_t cb)
{
    PFNRTMEMALLOCHOOK const pfn = g_pfnRTMemAllocHook;
    return !pfn || pfn(cb);
}

/** Both allocations, which differ only in the heap flag that zero-fills the block. */
RT_NOINLINE static void *rtMemAllocFlags(size_t cb, DWORD fHeapFlags)
{
    if (!rtMemAllowed(cb))
        return nullptr;
    return HeapAlloc(GetProcessHeap(), fHeapFlags, cb ? cb : 1);
}

void *RTMemAlloc(size_t cb)
{
    return rtMemAllocFlags(cb, 0);
}

void *RTMemAllocZ(size_t cb)
{
    return rtMemAllocFlags(cb, HEAP_ZERO_MEMORY);
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
