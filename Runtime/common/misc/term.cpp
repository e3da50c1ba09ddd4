/* Termination callbacks: a list, newest first, guarded by a fast mutex that is made on the
 * first registration. */
#include "rt/term.h"
#include "rt/once.h"
#include "rt/mem.h"

namespace {

struct RTTERMCALLBACKREC
{
    RTTERMCALLBACKREC *pNext;
    PFNRTTERMCALLBACK  pfnCallback;
    void              *pvUser;
};

RTONCEREC          g_TermInitOnce = RTONCEREC_INITIALISER;
RTSEMFASTMUTEX     g_hTermMutex;
RTTERMCALLBACKREC *g_pTermHead;
uint32_t           g_cTermCallbacks;

RTSTATUS rtTermInitOnce(void *)
{
    return RTSemFastMutexMake(&g_hTermMutex);
}

} /* namespace */

RTSTATUS RTTermAddCallback(PFNRTTERMCALLBACK pfnCallback, void *pvUser)
{
    if (!RT_VALID_PTR(reinterpret_cast<void *>(pfnCallback)))
        return ERR_BAD_POINTER;
    RTSTATUS rc = RTOnceRun(&g_TermInitOnce, rtTermInitOnce, nullptr, nullptr);
    if (RT_FAILURE(rc))
        return rc;
    RTTERMCALLBACKREC *pRec = static_cast<RTTERMCALLBACKREC *>(RTMemAlloc(sizeof(*pRec)));
    if (!pRec)
        return ERR_OUT_OF_MEMORY;
    pRec->pfnCallback = pfnCallback;
    pRec->pvUser = pvUser;
    rc = RTSemFastMutexAcquire(g_hTermMutex);
    if (RT_FAILURE(rc))
    {
        RTMemFree(pRec);
        return rc;
    }
    pRec->pNext = g_pTermHead;
    g_pTermHead = pRec;
    g_cTermCallbacks++;
    RTSemFastMutexRelease(g_hTermMutex);
    return INF_SUCCESS;
}

void RTTermRunCallbacks(uint32_t enmReason)
{
    if (__atomic_load_n(&g_TermInitOnce.enmState, __ATOMIC_SEQ_CST) != RTONCESTATE_DONE
        || RT_FAILURE(g_TermInitOnce.rc))
        return;
    /* One at a time and outside the mutex: a callback may register another. */
    for (;;)
    {
        if (RT_FAILURE(RTSemFastMutexAcquire(g_hTermMutex)))
            return;
        RTTERMCALLBACKREC *const pRec = g_pTermHead;
        if (pRec)
        {
            g_pTermHead = pRec->pNext;
            g_cTermCallbacks--;
        }
        RTSemFastMutexRelease(g_hTermMutex);
        if (!pRec)
            return;
        pRec->pfnCallback(enmReason, pRec->pvUser);
        RTMemFree(pRec);
    }
}
