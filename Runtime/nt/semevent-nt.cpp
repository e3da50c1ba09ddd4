/* The single-release event semaphore: an auto-reset kernel event, one waiter per signal. */
#include "semevent-internal-nt.h"
#include "rt/thread.h"

static constexpr uint32_t kMagic = 0x19601110;

struct RTSEMEVENTINTERNAL : RTSEMNTEVENT
{
};

RTSTATUS RTSemEventMake(RTSEMEVENT *phEvent, uint32_t fFlags)
{
    if (!RT_VALID_PTR(phEvent))
        return ERR_BAD_POINTER;
    *phEvent = nullptr;
    if (fFlags & ~(RTSEMEVENT_F_NO_VALIDATION | RTSEMEVENT_F_EARLY))
        return ERR_BAD_ARGUMENT;
    RTSEMNTEVENT *pThis;
    RTSTATUS const rc = rtSemNtEventMake(&pThis, kMagic, RTNTEVENT_SYNCHRONIZATION);
    if (RT_SUCCESS(rc))
        *phEvent = static_cast<RTSEMEVENT>(pThis);
    return rc;
}

RTSTATUS RTSemEventSignal(RTSEMEVENT hEvent)
{
    if (!rtSemNtEventIsAlive(hEvent, kMagic))
        return ERR_BAD_HANDLE;
    return rtSemNtEventSignal(hEvent, true);
}

RTSTATUS RTSemEventWaitFlags(RTSEMEVENT hEvent, uint32_t fFlags, uint64_t uTimeout)
{
    if (!hEvent)
        return ERR_BAD_ARGUMENT;
    if (!rtSemNtEventIsAlive(hEvent, kMagic))
        return ERR_BAD_HANDLE;
    if (!SEMWAIT_ARE_FLAGS_VALID(fFlags))
        return ERR_BAD_FLAGS;
    return rtSemNtEventWait(hEvent, kMagic, fFlags, uTimeout, THREAD_STATE_WAIT_EVENT);
}

RTSTATUS RTSemEventWaitMs(RTSEMEVENT hEvent, uint32_t cMs)
{
    if (cMs == RTSEM_INDEFINITE_WAIT)
        return RTSemEventWaitFlags(hEvent, SEMWAIT_INDEFINITE | SEMWAIT_RESUME, 0);
    return RTSemEventWaitFlags(hEvent, SEMWAIT_RELATIVE | SEMWAIT_MILLISECS | SEMWAIT_RESUME, cMs);
}

RTSTATUS RTSemEventDrop(RTSEMEVENT hEvent)
{
    if (!hEvent)
        return INF_SUCCESS;
    return rtSemNtEventDestroy(hEvent, kMagic) ? INF_SUCCESS : ERR_BAD_HANDLE;
}
