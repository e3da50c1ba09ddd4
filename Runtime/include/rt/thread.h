/* Threads: the calling thread's native identity, sleep and yield. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

RT_C_DECLS_BEGIN

/** The native id of the calling thread. */
uint32_t RTThreadNativeSelf(void);

RTSTATUS RTThreadSleepMs(uint32_t cMs);
/** Gives up the processor; true when another thread ran meanwhile. */
bool RTThreadYieldNow(void);

RT_C_DECLS_END
