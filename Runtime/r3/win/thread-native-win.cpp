/* The calling thread on Windows: its native id, its record's thread-local slot, sleep and
 * yield. */
#include <windows.h>
#include <intrin.h>
#include "../../common/misc/thread-internal.h"

uint32_t g_iRTThreadTls = TLS_OUT_OF_INDEXES;

uint32_t RTThreadNativeSelf(void)
{
    return GetCurrentThreadId();
}

RTTHREADINT *RTThreadCurrentRecord(void)
{
    uint32_t const iTls = g_iRTThreadTls;
    if (iTls == TLS_OUT_OF_INDEXES)
        return nullptr;
    return static_cast<RTTHREADINT *>(TlsGetValue(iTls));
}

RTSTATUS RTThreadSleepMs(uint32_t cMs)
{
    Sleep(cMs);
    return INF_SUCCESS;
}

bool RTThreadYieldNow(void)
{
    /* Sleep(0) returns at once when nothing else is ready to run; the time-stamp counter
     * tells the two cases apart. */
    uint64_t const uStart = __rdtsc();
    Sleep(0);
    return __rdtsc() - uStart > 1500;
}
