/* Critical sections in heap blocks of their own, the form the spin and fast mutexes are
 * built on. */
#pragma once
#include "rt/critsect.h"

RT_C_DECLS_BEGIN

/** A critical section in a heap block of its own, as the mutexes use it. */
RTSTATUS rtCritSectMakeBlock(RTCRITSECT **ppCritSect, uint32_t fFlags, const char *pszName);
/** Tears the block's section down and frees it; ERR_BAD_ARGUMENT for null. */
RTSTATUS rtCritSectDropBlock(RTCRITSECT *pCritSect);

RT_C_DECLS_END
