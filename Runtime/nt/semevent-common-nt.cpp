/* The kernel-event block and the wait loop shared by both event semaphores. */
#define WIN32_NO_STATUS
#include <windows.h>
#undef WIN32_NO_STATUS
#include <ntstatus.h>
#include "internal/semevent-nt.h"
#include "rt/atomic.h"
#include "rt/err.h"
#include "rt/mem.h"
#include "internal/thread.h"
#include "rt/time.h"

namespace {

/** Millisecond timeouts from here on would overflow as nanoseconds: they never expire. */
constexpr uint64_t RTSEMEVENT_MS_INDEFINITE = UINT64_C(0x10C6F7A0B5ED);

} /* namespace */

RTSEMNTEVENTMADE rtSemNtEventMake(uint32_t u32Magic, RTNTEVENTTYPE enmType)
{
    RTSEMNTEVENT *pThis = static_cast<RTSEMNTEVENT *>(RTMemAlloc(sizeof(*pThis)));
    if (!pThis)
        return { nullptr, ERR_OUT_OF_MEMORY };
    pThis->u32Magic = u32Magic;
    pThis->cRefs    = 1;
    pThis->hEvent   = nullptr;
    NTSTATUS const rcNt = NtCreateEvent(&pThis->hEvent, EVENT_ALL_ACCESS, nullptr, enmType, FALSE);
    if (!NT_SUCCESS(rcNt))
    {
        RTMemFree(pThis);
        return { nullptr, RTErrConvertFromNtStatus(rcNt) };
    }
    return { pThis, INF_SUCCESS };
}

void rtSemNtEventRetain(RTSEMNTEVENT *pThis)
{
    RTAtomicIncU32(&pThis->cRefs);
}

void rtSemNtEventRelease(RTSEMNTEVENT *pThis)
{
    if (RTAtomicDecU32(&pThis->cRefs) == 0)
    {
        NtClose(pThis->hEvent);
        pThis->hEvent = nullptr;
        RTMemFree(pThis);
    }
}

RTSTATUS rtSemNtEventSignal(RTSEMNTEVENT *pThis, bool fSet)
{
    rtSemNtEventRetain(pThis);
    NTSTATUS const rcNt = fSet ? NtSetEvent(pThis->hEvent, nullptr) : NtResetEvent(pThis->hEvent, nullptr);
    rtSemNtEventRelease(pThis);
    return NT_SUCCESS(rcNt) ? INF_SUCCESS : RTErrConvertFromNtStatus(rcNt);
}

RT_NOINLINE bool rtSemNtEventDestroy(RTSEMNTEVENT *pThis, uint32_t u32Magic)
{
    /* Compare-and-swap rather than a plain increment, so that two racing destroyers cannot
     * both drop the creation reference. */
    if (!RT_VALID_PTR(pThis) || !RTAtomicCmpXchgU32(&pThis->u32Magic, u32Magic + 1, u32Magic))
        return false;
    NtSetEvent(pThis->hEvent, nullptr);
    rtSemNtEventRelease(pThis);
    return true;
}

RTSTATUS rtSemNtEventWait(RTSEMNTEVENT *pThis, uint32_t u32Magic, uint32_t fFlags, uint64_t uTimeout,
                          uint32_t enmThreadState)
{
    rtSemNtEventRetain(pThis);

    bool fIndefinite = (fFlags & SEMWAIT_INDEFINITE) != 0;
    uint64_t cNsLeft = 0;
    if (!fIndefinite)
    {
        if (!(fFlags & SEMWAIT_MILLISECS))
            cNsLeft = uTimeout;
        else if (uTimeout >= RTSEMEVENT_MS_INDEFINITE)
            fIndefinite = true;
        else
            cNsLeft = uTimeout * 1000000;
        if (cNsLeft == UINT64_MAX)
            fIndefinite = true;
    }
    uint64_t uStart = 0;
    if (fFlags & (SEMWAIT_ABSOLUTE | SEMWAIT_RESUME))
    {
        uStart = RTTimeMonoNs();
        if (!fIndefinite && (fFlags & SEMWAIT_ABSOLUTE))
            cNsLeft = cNsLeft > uStart ? cNsLeft - uStart : 0;
    }

    RTTHREADINT *const pThread = RTThreadCurrentRecord();
    RTSTATUS rc;
    for (;;)
    {
        LARGE_INTEGER liTimeout;
        liTimeout.QuadPart = -static_cast<int64_t>(cNsLeft / 100);
        rtThreadSetBlocked(pThread, enmThreadState, true);
        NTSTATUS const rcNt = NtWaitForSingleObject(pThis->hEvent, TRUE, fIndefinite ? nullptr : &liTimeout);
        rtThreadSetUnblocked(pThread, enmThreadState);

        if (RTAtomicReadU32(&pThis->u32Magic) != u32Magic)
            rc = ERR_SEM_DESTROYED;
        else if (rcNt == STATUS_WAIT_0)
            rc = INF_SUCCESS;
        else if (rcNt == STATUS_ABANDONED_WAIT_0)
            rc = ERR_SEMAPHORE_OWNER_GONE;
        else if (rcNt == STATUS_TIMEOUT)
            rc = ERR_TIMED_OUT;
        else if (rcNt == STATUS_USER_APC || rcNt == STATUS_ALERTED)
        {
            if (!(fFlags & SEMWAIT_RESUME))
                rc = ERR_CALL_INTERRUPTED;
            else
            {
                if (!fIndefinite && cNsLeft)
                {
                    uint64_t const uNow = RTTimeMonoNs();
                    uint64_t const cNsElapsed = uNow - uStart;
                    cNsLeft = cNsElapsed < cNsLeft ? cNsLeft - cNsElapsed : 0;
                    uStart = uNow;
                }
                continue;
            }
        }
        else
            rc = ERR_INTERNAL_FAULT_4;
        break;
    }

    rtSemNtEventRelease(pThis);
    return rc;
}
