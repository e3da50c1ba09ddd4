/* Runtime initialisation: the process-wide facts it records. */
#include "win/internal-r3-win.h"

uint32_t g_enmWinVer = 0;
HMODULE g_hModNtDll = nullptr;
PFNGETSYSTEMTIMEASFILETIME g_pfnGetSystemTimeAsFileTime = nullptr;
