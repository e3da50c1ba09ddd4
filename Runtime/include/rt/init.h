/* Process-wide facts that runtime initialisation records for the rest of the runtime. */
#pragma once
#include "rt/types.h"

RT_C_DECLS_BEGIN

/** Windows version code naming the release (1 to 7: the 9x family; 100 and up: the NT
 *  family, 100 being NT 3.1); 0 until runtime initialisation has run. */
extern uint32_t g_enmWinVer;

/** True once the first runtime initialisation has completed; false before it and while it
 *  runs (code that initialisation itself may call must then not rely on it). */
bool RTR3InitIsInitialized(void);

RT_C_DECLS_END
