/* Process-wide facts that runtime initialisation records for the rest of the runtime. */
#pragma once
#include "rt/types.h"

RT_C_DECLS_BEGIN

/** Windows version code naming the release (1 to 7: the 9x family; 100 and up: the NT
 *  family, 100 being NT 3.1); 0 until runtime initialisation has run. */
extern uint32_t g_enmWinVer;

RT_C_DECLS_END
