/* The critical section over a single-release event: an atomic add decides ownership, and
 * only contention reaches the event, which releases exactly one waiter per release. */
#include "internal/critsect.h"
#include "internal/assert.h"
#include "rt/atomic.h"
#include "rt/mem.h"
#include "internal/thread.h"

namespace {

constexpr uint32_t RTCRITSECT_NO_OWNER = UINT32_MAX;

} /* namespace */

/** A release that cannot wake the next owner would leave it asleep forever: report it as a
 *  broken invariant and stop here, even when a debugger continues past the report's trap. */
RT_NORETURN static void rtCritSectLeaveSignalFailed(RTSTATUS rc)
{
    rtAssertFatal("RT_SUCCESS_NP(rc)", __LINE__, __FILE__, "int __cdecl RTCritSectLeave(struct RTCRITSECT *)",
                  "RTSemEventSignal -> %Rrc\n", rc);
    for (;;)
        __asm__ __volatile__("int3");
}

RTSTATUS RTCritSectSetUp(RTCRITSECT *pCritSect, uint32_t fFlags, RTLOCKCLASS hClass,
                         uint32_t uSubClass, const char *pszName)
{
    if (!RT_VALID_PTR(pCritSect))
        return ERR_BAD_POINTER;
    if (fFlags & ~CRITSECT_F_VALID_MASK)
        return ERR_BAD_ARGUMENT;
    pCritSect->u32Magic    = RTCRITSECT_MAGIC;
    pCritSect->fFlags      = fFlags;
    pCritSect->cNesting    = 0;
    pCritSect->cLockers    = -1;
    pCritSect->idOwner     = RTCRITSECT_NO_OWNER;
    pCritSect->u32Reserved = 0;
    RTSTATUS const rc = RTSemEventMake(&pCritSect->hWakeEvent,
                                       (fFlags & CRITSECT_F_EARLY) | RTSEMEVENT_F_NO_VALIDATION);
    if (RT_FAILURE(rc))
    {
        pCritSect->hWakeEvent = nullptr;
        pCritSect->u32Magic = static_cast<uint32_t>(rc);
    }
    return rc;
}

RTSTATUS RTCritSectSetUpDefault(RTCRITSECT *pCritSect)
{
    return RTCritSectSetUp(pCritSect, 0, nullptr, 1, "RTCritSect");
}

static void rtCritSectTakeOwnership(RTCRITSECT *pCritSect, uint32_t idSelf)
{
    pCritSect->cNesting = 1;
    RTAtomicXchgU32(&pCritSect->idOwner, idSelf);
}

/** Whether the section may be entered: a status to return at once, or INF_SUCCESS with
 *  @p pfLock telling whether there is any locking to do (none for a no-op section). A
 *  torn-down section looks free, so the magic is checked before anything else. */
static RTSTATUS rtCritSectCheck(const RTCRITSECT *pCritSect, bool *pfLock)
{
    *pfLock = false;
    if (!RT_VALID_PTR(pCritSect))
        return ERR_BAD_POINTER;
    if (RTAtomicReadU32(&pCritSect->u32Magic) != RTCRITSECT_MAGIC)
        return ERR_SEM_DESTROYED;
    *pfLock = !(pCritSect->fFlags & CRITSECT_F_NOP);
    return INF_SUCCESS;
}

/** The owner enters again; @p fCounted tells whether it already counted itself among
 *  the lockers. */
static RTSTATUS rtCritSectNest(RTCRITSECT *pCritSect, bool fCounted)
{
    if (pCritSect->fFlags & CRITSECT_F_NO_NESTING)
    {
        if (fCounted)
            RTAtomicDecS32(&pCritSect->cLockers);
        return ERR_SEM_NESTED;
    }
    if (!fCounted)
        RTAtomicIncS32(&pCritSect->cLockers);
    pCritSect->cNesting++;
    return INF_SUCCESS;
}

RTSTATUS RTCritSectAcquire(RTCRITSECT *pCritSect)
{
    bool fLock;
    RTSTATUS const rcCheck = rtCritSectCheck(pCritSect, &fLock);
    if (!fLock)
        return rcCheck;

    uint32_t const idSelf = RTThreadNativeSelf();
    if (RTAtomicIncS32(&pCritSect->cLockers) > 0)
    {
        if (RTAtomicReadU32(&pCritSect->idOwner) == idSelf)
            return rtCritSectNest(pCritSect, true);

        /* Counted among the lockers before sleeping: a release from now on leaves the
         * event signalled for us, so no wake-up is lost. */
        RTTHREADINT *const pThread = RTThreadCurrentRecord();
        for (;;)
        {
            rtThreadSetBlocked(pThread, THREAD_STATE_WAIT_CRITSECT, false);
            RTSTATUS const rc = RTSemEventWaitMs(pCritSect->hWakeEvent, RTSEM_INDEFINITE_WAIT);
            rtThreadSetUnblocked(pThread, THREAD_STATE_WAIT_CRITSECT);
            if (RTAtomicReadU32(&pCritSect->u32Magic) != RTCRITSECT_MAGIC)
                return ERR_SEM_DESTROYED;
            if (RT_SUCCESS(rc))
                break;
        }
    }
    rtCritSectTakeOwnership(pCritSect, idSelf);
    return INF_SUCCESS;
}

RTSTATUS RTCritSectTryAcquire(RTCRITSECT *pCritSect)
{
    bool fLock;
    RTSTATUS const rcCheck = rtCritSectCheck(pCritSect, &fLock);
    if (!fLock)
        return rcCheck;

    uint32_t const idSelf = RTThreadNativeSelf();
    if (RTAtomicCmpXchgS32(&pCritSect->cLockers, 0, -1))
    {
        rtCritSectTakeOwnership(pCritSect, idSelf);
        return INF_SUCCESS;
    }
    if (RTAtomicReadU32(&pCritSect->idOwner) == idSelf)
        return rtCritSectNest(pCritSect, false);
    return ERR_SEM_BUSY;
}

RTSTATUS RTCritSectLeave(RTCRITSECT *pCritSect)
{
    if (!RT_VALID_PTR(pCritSect))
        return ERR_BAD_POINTER;
    if (pCritSect->fFlags & CRITSECT_F_NOP)
        return INF_SUCCESS;
    if (--pCritSect->cNesting == 0)
    {
        RTAtomicXchgU32(&pCritSect->idOwner, RTCRITSECT_NO_OWNER);
        if (RTAtomicDecS32(&pCritSect->cLockers) >= 0)
        {
            RTSTATUS const rc = RTSemEventSignal(pCritSect->hWakeEvent);
            if (RT_FAILURE(rc))
                rtCritSectLeaveSignalFailed(rc);
        }
    }
    else
        RTAtomicDecS32(&pCritSect->cLockers);
    return INF_SUCCESS;
}

RTSTATUS RTCritSectTearDown(RTCRITSECT *pCritSect)
{
    if (!RT_VALID_PTR(pCritSect))
        return ERR_BAD_POINTER;
    RTAtomicXchgU32(&pCritSect->u32Magic, RTCRITSECT_MAGIC_DEAD);
    RTSEMEVENT const hEvent = RTAtomicXchgPtr(&pCritSect->hWakeEvent, static_cast<RTSEMEVENT>(nullptr));
    pCritSect->fFlags   = 0;
    pCritSect->cNesting = 0;
    pCritSect->idOwner  = RTCRITSECT_NO_OWNER;
    /* Wake every counted waiter once; each sees the dead magic and gives up. */
    while (RTAtomicReadS32(&pCritSect->cLockers) >= 0)
    {
        RTAtomicDecS32(&pCritSect->cLockers);
        RTSemEventSignal(hEvent);
    }
    RTAtomicXchgS32(&pCritSect->cLockers, -1);
    return RTSemEventDrop(hEvent);
}

RTSTATUS rtCritSectMakeBlock(RTCRITSECT **ppCritSect, uint32_t fFlags, const char *pszName)
{
    RTCRITSECT *pCritSect = static_cast<RTCRITSECT *>(RTMemAlloc(sizeof(*pCritSect)));
    if (!pCritSect)
        return ERR_OUT_OF_MEMORY;
    RTSTATUS const rc = RTCritSectSetUp(pCritSect, fFlags, nullptr, 0, pszName);
    if (RT_FAILURE(rc))
    {
        RTMemFree(pCritSect);
        return rc;
    }
    *ppCritSect = pCritSect;
    return INF_SUCCESS;
}

RTSTATUS rtCritSectDropBlock(RTCRITSECT *pCritSect)
{
    if (!pCritSect)
        return ERR_BAD_ARGUMENT;
    RTSTATUS const rc = RTCritSectTearDown(pCritSect);
    RTMemFree(pCritSect);
    return rc;
}
