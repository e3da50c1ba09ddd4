/* The multiple-release event semaphore: a manual-reset kernel event; once set, every
 * waiter passes until it is cleared. */
#include "internal/semevent-nt.h"
#include "internal/thread.h"

namespace {

constexpr uint32_t RTSEMEVENTMULTI_MAGIC = 0x19200102;

} /* namespace */

struct RTSEMEVENTMULTIINTERNAL : RTSEMNTEVENT
{
};

RTSTATUS RTSemEventMultiMake(RTSEMEVENTMULTI *phEvent, uint32_t fFlags)
{
    return rtSemNtEventMakeHandle(phEvent, fFlags, RTSEMEVENTMULTI_F_NO_VALIDATION, RTSEMEVENTMULTI_MAGIC, RTNTEVENT_NOTIFICATION);
}

RTSTATUS RTSemEventMultiSet(RTSEMEVENTMULTI hEvent)
{
    if (!rtSemNtEventIsAlive(hEvent, RTSEMEVENTMULTI_MAGIC))
        return ERR_BAD_ARGUMENT;
    return rtSemNtEventSignal(hEvent, true);
}

RTSTATUS RTSemEventMultiClear(RTSEMEVENTMULTI hEvent)
{
    if (!rtSemNtEventIsAlive(hEvent, RTSEMEVENTMULTI_MAGIC))
        return ERR_BAD_ARGUMENT;
    return rtSemNtEventSignal(hEvent, false);
}

RTSTATUS RTSemEventMultiWaitFlags(RTSEMEVENTMULTI hEvent, uint32_t fFlags, uint64_t uTimeout)
{
    if (!rtSemNtEventIsAlive(hEvent, RTSEMEVENTMULTI_MAGIC) || !SEMWAIT_ARE_FLAGS_VALID(fFlags))
        return ERR_BAD_ARGUMENT;
    return rtSemNtEventWait(hEvent, RTSEMEVENTMULTI_MAGIC, fFlags, uTimeout, THREAD_STATE_WAIT_EVENT_MULTI);
}

RTSTATUS RTSemEventMultiWaitMs(RTSEMEVENTMULTI hEvent, uint32_t cMs)
{
    return RTSemEventMultiWaitFlags(hEvent, rtSemNtWaitMsFlags(cMs, SEMWAIT_RESUME), cMs);
}

RTSTATUS RTSemEventMultiWaitMsNoResume(RTSEMEVENTMULTI hEvent, uint32_t cMs)
{
    return RTSemEventMultiWaitFlags(hEvent, rtSemNtWaitMsFlags(cMs, SEMWAIT_NORESUME), cMs);
}

RTSTATUS RTSemEventMultiDrop(RTSEMEVENTMULTI hEvent)
{
    if (!hEvent)
        return INF_SUCCESS;
    return rtSemNtEventDestroy(hEvent, RTSEMEVENTMULTI_MAGIC) ? INF_SUCCESS : ERR_BAD_ARGUMENT;
}
