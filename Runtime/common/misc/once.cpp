/* Once-initialisation. The record's state moves only by compare-and-swap or exchange; a
 * multiple-release event is made only when a second thread actually has to wait, and the
 * last of its users destroys it. Clean-ups of successful initialisations sit on a list that
 * a termination callback runs. */
#include "rt/once.h"
#include "rt/atomic.h"
#include "rt/critsect.h"
#include "rt/term.h"
#include "rt/thread.h"

namespace {

RTONCEREC  g_CleanUpListOnce = RTONCEREC_INITIALISER;
RTCRITSECT g_CleanUpListCritSect;
RTONCEREC *g_pCleanUpHead;           /**< newest first */

uint32_t rtOnceState(const RTONCEREC *pOnce)
{
    return RTAtomicReadU32(&pOnce->enmState);
}

bool rtOnceMoveState(RTONCEREC *pOnce, uint32_t enmNew, uint32_t enmOld)
{
    return RTAtomicCmpXchgU32(&pOnce->enmState, enmNew, enmOld);
}

void rtOnceReset(RTONCEREC *pOnce)
{
    RTAtomicXchgS32(&pOnce->rc, ERR_INTERNAL_FAULT);
    RTAtomicXchgU32(&pOnce->enmState, RTONCESTATE_NOT_RUN);
}

bool rtOnceIsListed(const RTONCEREC *pOnce)
{
    return pOnce->pPrev != nullptr || g_pCleanUpHead == pOnce;
}

void rtOnceUnlink(RTONCEREC *pOnce)
{
    if (pOnce->pPrev)
        pOnce->pPrev->pNext = pOnce->pNext;
    else
        g_pCleanUpHead = pOnce->pNext;
    if (pOnce->pNext)
        pOnce->pNext->pPrev = pOnce->pPrev;
    pOnce->pNext = pOnce->pPrev = nullptr;
}

/** The clean-up list's termination callback. */
void rtOnceRunCleanUps(uint32_t enmReason, void *)
{
    bool const fUnload = enmReason == RTTERMREASON_UNLOAD;
    RTCritSectAcquire(&g_CleanUpListCritSect);
    while (RTONCEREC *const pOnce = g_pCleanUpHead)
    {
        rtOnceUnlink(pOnce);
        PFNRTONCECLEANUP const pfnCleanUp = pOnce->pfnCleanUp;
        void *const pvUser = pOnce->pvCleanUpUser;
        pOnce->pfnCleanUp = nullptr;
        pOnce->pvCleanUpUser = nullptr;
        RTAtomicXchgS32(&pOnce->rc, ERR_WRONG_STATE);
        if (pfnCleanUp)
            pfnCleanUp(pvUser, !fUnload);
        if (fUnload)
            rtOnceReset(pOnce);
    }
    RTCritSectLeave(&g_CleanUpListCritSect);
    if (fUnload)
    {
        RTCritSectTearDown(&g_CleanUpListCritSect);
        rtOnceReset(&g_CleanUpListOnce);
    }
}

RTSTATUS rtOnceInitCleanUpList(void *)
{
    RTSTATUS rc = RTCritSectSetUpDefault(&g_CleanUpListCritSect);
    if (RT_SUCCESS(rc))
    {
        rc = RTTermAddCallback(rtOnceRunCleanUps, nullptr);
        if (RT_FAILURE(rc))
            RTCritSectTearDown(&g_CleanUpListCritSect);
    }
    return rc;
}

/** Sleeps on the record's event while the initialiser is still running; a failure of the
 *  wait itself is returned. */
RTSTATUS rtOnceSleep(RTONCEREC *pOnce, RTSEMEVENTMULTI hEvent)
{
    do
    {
        RTSTATUS const rc = RTSemEventMultiWaitFlags(hEvent, SEMWAIT_INDEFINITE | SEMWAIT_NORESUME, 0);
        if (RT_FAILURE(rc) && rc != ERR_CALL_INTERRUPTED)
            return rc;
    } while (rtOnceState(pOnce) == RTONCESTATE_BUSY_HAVE_EVENT);
    return INF_SUCCESS;
}

/** Waits for another thread's initialiser. @p phEvent receives the event when this
 *  waiter became one of its users (and must drop that use). Every case that does not end
 *  the wait or sleep goes round again at once; those that sleep share the sleep below. */
RTSTATUS rtOnceWaitForOther(RTONCEREC *pOnce, RTSEMEVENTMULTI *phEvent)
{
    RTSEMEVENTMULTI hEvent = nullptr;
    uint32_t cBackOff = 0;
    for (;;)
    {
        switch (rtOnceState(pOnce))
        {
            case RTONCESTATE_BUSY:
            {
                if (!rtOnceMoveState(pOnce, RTONCESTATE_BUSY_MAKING_EVENT, RTONCESTATE_BUSY))
                    continue;
                RTSEMEVENTMULTI hNew;
                if (RT_SUCCESS(RTSemEventMultiMake(&hNew, RTSEMEVENTMULTI_F_NO_VALIDATION)))
                {
                    RTAtomicXchgPtr(&pOnce->hEvent, hNew);
                    RTAtomicIncS32(&pOnce->cEventUsers);
                    if (rtOnceMoveState(pOnce, RTONCESTATE_BUSY_HAVE_EVENT, RTONCESTATE_BUSY_MAKING_EVENT))
                    {
                        hEvent = *phEvent = hNew;
                        break;
                    }
                    /* The initialiser finished while the event was being made. */
                    if (!rtOnceMoveState(pOnce, RTONCESTATE_DONE, RTONCESTATE_DONE_MAKING_EVENT))
                        return ERR_INTERNAL_FAULT_5;
                    RTAtomicXchgPtr(&pOnce->hEvent, static_cast<RTSEMEVENTMULTI>(nullptr));
                    RTAtomicDecS32(&pOnce->cEventUsers);
                    RTSemEventMultiDrop(hNew);
                    return INF_SUCCESS;
                }
                if (   !rtOnceMoveState(pOnce, RTONCESTATE_BUSY_POLLING, RTONCESTATE_BUSY_MAKING_EVENT)
                    && !rtOnceMoveState(pOnce, RTONCESTATE_DONE, RTONCESTATE_DONE_MAKING_EVENT))
                    return ERR_INTERNAL_FAULT_4;
                continue;
            }

            case RTONCESTATE_BUSY_MAKING_EVENT:
            case RTONCESTATE_BUSY_POLLING:
                cBackOff += 2;
                if (cBackOff % 8)
                    RTThreadYieldNow();
                else
                    RTThreadSleepMs(1);
                continue;

            case RTONCESTATE_BUSY_HAVE_EVENT:
                if (!hEvent)
                {
                    /* Become a user only while the event is certain to live: the state
                     * still says so and somebody else still uses it. */
                    bool fUser = false;
                    for (;;)
                    {
                        int32_t const cUsers = RTAtomicReadS32(&pOnce->cEventUsers);
                        if (rtOnceState(pOnce) != RTONCESTATE_BUSY_HAVE_EVENT || cUsers <= 0)
                            break;
                        if (RTAtomicCmpXchgS32(&pOnce->cEventUsers, cUsers + 1, cUsers))
                        {
                            fUser = true;
                            break;
                        }
                        RTAtomicPause();
                    }
                    if (!fUser)
                        continue;
                    hEvent = RTAtomicReadPtr(&pOnce->hEvent);
                    if (!hEvent)
                    {
                        RTAtomicDecS32(&pOnce->cEventUsers);
                        return ERR_INTERNAL_FAULT_2;
                    }
                    *phEvent = hEvent;
                }
                break;

            case RTONCESTATE_DONE_MAKING_EVENT:
            case RTONCESTATE_DONE:
                return INF_SUCCESS;

            case RTONCESTATE_DONE_HAVE_EVENT:
                if (!hEvent)
                    return INF_SUCCESS;
                break;

            default:
                return ERR_INTERNAL_FAULT_3;
        }

        RTSTATUS const rc = rtOnceSleep(pOnce, hEvent);
        if (RT_FAILURE(rc))
            return rc;
    }
}

/** Drops this thread's use of the record's event; the last user destroys it. Out of line:
 *  every way out of a wait ends here. */
RT_NOINLINE void rtOnceDropEventUse(RTONCEREC *pOnce, RTSEMEVENTMULTI hEvent)
{
    if (RTAtomicDecS32(&pOnce->cEventUsers) == 0)
    {
        RTAtomicCmpXchgPtr(&pOnce->hEvent, static_cast<RTSEMEVENTMULTI>(nullptr), hEvent);
        rtOnceMoveState(pOnce, RTONCESTATE_DONE, RTONCESTATE_DONE_HAVE_EVENT);
        RTSemEventMultiDrop(hEvent);
    }
}

} /* namespace */

RTSTATUS RTOnceRun(RTONCEREC *pOnce, PFNRTONCE pfnInit, PFNRTONCECLEANUP pfnCleanUp, void *pvUser)
{
    if (!RT_VALID_PTR(pOnce) || !RT_VALID_PTR(reinterpret_cast<void *>(pfnInit)))
        return ERR_BAD_POINTER;
    if (pfnCleanUp && !RT_VALID_PTR(reinterpret_cast<void *>(pfnCleanUp)))
        return ERR_BAD_POINTER;

    uint32_t const enmState = rtOnceState(pOnce);
    switch (enmState)
    {
        case RTONCESTATE_DONE_MAKING_EVENT:
        case RTONCESTATE_DONE_HAVE_EVENT:
        case RTONCESTATE_DONE:
            return RTAtomicReadS32(&pOnce->rc);
        case RTONCESTATE_NOT_RUN:
        case RTONCESTATE_BUSY:
        case RTONCESTATE_BUSY_MAKING_EVENT:
        case RTONCESTATE_BUSY_HAVE_EVENT:
        case RTONCESTATE_BUSY_POLLING:
            break;
        default:
            return ERR_INTERNAL_FAULT;
    }

    if (pfnCleanUp)
    {
        RTSTATUS const rc = RTOnceRun(&g_CleanUpListOnce, rtOnceInitCleanUpList, nullptr, nullptr);
        if (RT_FAILURE(rc))
            return rc;
    }

    if (enmState == RTONCESTATE_NOT_RUN && rtOnceMoveState(pOnce, RTONCESTATE_BUSY, RTONCESTATE_NOT_RUN))
    {
        RTSTATUS const rc = pfnInit(pvUser);
        RTAtomicXchgS32(&pOnce->rc, rc);
        if (pfnCleanUp && RT_SUCCESS(rc))
        {
            RTCritSectAcquire(&g_CleanUpListCritSect);
            pOnce->pfnCleanUp = pfnCleanUp;
            pOnce->pvCleanUpUser = pvUser;
            pOnce->pPrev = nullptr;
            pOnce->pNext = g_pCleanUpHead;
            if (g_pCleanUpHead)
                g_pCleanUpHead->pPrev = pOnce;
            g_pCleanUpHead = pOnce;
            RTCritSectLeave(&g_CleanUpListCritSect);
        }

        if (   rtOnceMoveState(pOnce, RTONCESTATE_DONE, RTONCESTATE_BUSY)
            || rtOnceMoveState(pOnce, RTONCESTATE_DONE, RTONCESTATE_BUSY_POLLING)
            || rtOnceMoveState(pOnce, RTONCESTATE_DONE_MAKING_EVENT, RTONCESTATE_BUSY_MAKING_EVENT))
            return rc;
        if (!rtOnceMoveState(pOnce, RTONCESTATE_DONE_HAVE_EVENT, RTONCESTATE_BUSY_HAVE_EVENT))
            return ERR_INTERNAL_FAULT_2;
        /* Waiters sleep on the event: hold a use of it while waking them. */
        RTAtomicIncS32(&pOnce->cEventUsers);
        RTSEMEVENTMULTI const hEvent = RTAtomicReadPtr(&pOnce->hEvent);
        RTAtomicXchgU32(&pOnce->enmState, RTONCESTATE_DONE);
        RTSemEventMultiSet(hEvent);
        rtOnceDropEventUse(pOnce, hEvent);
        return rc;
    }

    RTSEMEVENTMULTI hEvent = nullptr;
    RTSTATUS const rcWait = rtOnceWaitForOther(pOnce, &hEvent);
    if (hEvent)
        rtOnceDropEventUse(pOnce, hEvent);
    if (RT_FAILURE(rcWait))
        return rcWait;
    return RTAtomicReadS32(&pOnce->rc);
}

void RTOnceForget(RTONCEREC *pOnce)
{
    if (!RT_VALID_PTR(pOnce))
        return;
    if (pOnce->pfnCleanUp || rtOnceIsListed(pOnce))
    {
        RTCritSectAcquire(&g_CleanUpListCritSect);
        if (rtOnceIsListed(pOnce))
            rtOnceUnlink(pOnce);
        pOnce->pfnCleanUp = nullptr;
        pOnce->pvCleanUpUser = nullptr;
        RTCritSectLeave(&g_CleanUpListCritSect);
    }
    rtOnceReset(pOnce);
}
