/* Heap memory for the runtime: every allocation comes from the process heap. */
#pragma once
#include "rt/types.h"

RT_C_DECLS_BEGIN

void *RTMemAlloc(size_t cb);
/** Zero-filled allocation. */
void *RTMemAllocZ(size_t cb);
/** Grows or shrinks a block; a null block allocates. On failure the old block stays. */
void *RTMemRealloc(void *pv, size_t cbNew);
/** Frees a block; null is allowed. */
void  RTMemFree(void *pv);

/** Test seam: when set, every allocation and reallocation asks it first and fails when it
 *  returns false, so callers' failure paths can be exercised on purpose. */
typedef bool (*PFNRTMEMALLOCHOOK)(size_t cb);
extern PFNRTMEMALLOCHOOK g_pfnRTMemAllocHook;

RT_C_DECLS_END
