/* The single-release event semaphore: an auto-reset kernel event, one waiter per signal. */
#include "internal/semevent-nt.h"
#include "internal/thread.h"

namespace {

constexpr uint32_t RTSEMEVENT_MAGIC = 0x19601110;

} /* namespace */

struct RTSEMEVENTINTERNAL : RTSEMNTEVENT
{
};

RTSTATUS RTSemEventMake(RTSEMEVENT *phEvent, uint32_t fFlags)
{
    return rtSemNtEventMakeHandle(phEvent, fFlags, RTSEMEVENT_F_NO_VALIDATION | RTSEMEVENT_F_EARLY, RTSEMEVENT_MAGIC,
                                  RTNTEVENT_SYNCHRONIZATION);
}

RTSTATUS RTSemEventSignal(RTSEMEVENT hEvent)
{
    if (!rtSemNtEventIsAlive(hEvent, RTSEMEVENT_MAGIC))
        return ERR_BAD_HANDLE;
    return rtSemNtEventSignal(hEvent, true);
}

RTSTATUS RTSemEventWaitFlags(RTSEMEVENT hEvent, uint32_t fFlags, uint64_t uTimeout)
{
    if (!hEvent)
        return ERR_BAD_ARGUMENT;
    if (!rtSemNtEventIsAlive(hEvent, RTSEMEVENT_MAGIC))
        return ERR_BAD_HANDLE;
    if (!SEMWAIT_ARE_FLAGS_VALID(fFlags))
        return ERR_BAD_FLAGS;
    return rtSemNtEventWait(hEvent, RTSEMEVENT_MAGIC, fFlags, uTimeout, THREAD_STATE_WAIT_EVENT);
}

RTSTATUS RTSemEventWaitMs(RTSEMEVENT hEvent, uint32_t cMs)
{
    return RTSemEventWaitFlags(hEvent, rtSemNtWaitMsFlags(cMs, SEMWAIT_RESUME), cMs);
}

RTSTATUS RTSemEventDrop(RTSEMEVENT hEvent)
{
    if (!hEvent)
        return INF_SUCCESS;
    return rtSemNtEventDestroy(hEvent, RTSEMEVENT_MAGIC) ? INF_SUCCESS : ERR_BAD_HANDLE;
}
