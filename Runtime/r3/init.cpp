/* Runtime initialisation: the process-wide facts it records. */
#include "win/internal-r3-win.h"
#include "rt/atomic.h"
#include "rt/init.h"

uint32_t g_enmWinVer = 0;
HMODULE g_hModNtDll = nullptr;
PFNGETSYSTEMTIMEASFILETIME g_pfnGetSystemTimeAsFileTime = nullptr;

/** Initialisation calls so far, not counting a failed first one. */
int32_t volatile g_cRTR3InitCalls = 0;
/** Set while the first initialisation runs. */
uint32_t volatile g_fRTR3Initialising = 0;

bool RTR3InitIsInitialized(void)
{
    return RTAtomicReadS32(&g_cRTR3InitCalls) > 0 && !RTAtomicReadU32(&g_fRTR3Initialising);
}
