/* The read/write semaphore's write side, over a critical section that guards its counters,
 * a single-release event that wakes one waiting writer and a multiple-release event that
 * lets readers in while no writer holds it. */
#include "rt/semaphore.h"
#include "rt/critsect.h"
#include "rt/atomic.h"
#include "rt/mem.h"
#include "internal/thread.h"

namespace {

constexpr uint32_t RTSEMRW_MAGIC     = 0x19640707;
constexpr uint32_t RTSEMRW_MAGIC_DEAD = ~RTSEMRW_MAGIC;
constexpr uint32_t RTSEMRW_NO_WRITER  = UINT32_MAX;

} /* namespace */

struct RTSEMRWINTERNAL
{
    uint32_t        u32Magic;
    uint32_t        u32Filler;         /**< 0xA5A55A5A */
    RTCRITSECT      CritSect;          /**< guards every field below */
    uint32_t        cReaders;          /**< all ones once destroyed */
    uint32_t        cWriterNesting;
    uint32_t        cWriterReads;      /**< reads taken by the writer */
    uint32_t        cWaitingWriters;
    uint32_t        idWriter;          /**< native thread id, all ones when none */
    RTSEMEVENTMULTI hReadersEvent;
    RTSEMEVENT      hWriterEvent;
    bool            fReadersEventSet;
};

static bool rtSemRWIsAlive(const RTSEMRWINTERNAL *pThis)
{
    return RT_VALID_PTR(pThis) && RTAtomicReadU32(&pThis->u32Magic) == RTSEMRW_MAGIC;
}

/** Checks the handle and enters the section that guards the counters. */
static RTSTATUS rtSemRWEnter(RTSEMRWINTERNAL *pThis)
{
    if (!rtSemRWIsAlive(pThis))
        return ERR_BAD_HANDLE;
    return RTCritSectAcquire(&pThis->CritSect);
}

RTSTATUS RTSemRWMake(RTSEMRW *phRW, uint32_t fFlags, RTLOCKCLASS hClass, uint32_t uSubClass, const char *pszName)
{
    if (!RT_VALID_PTR(phRW))
        return ERR_BAD_POINTER;
    *phRW = nullptr;
    if (fFlags & ~RTSEMRW_F_NO_VALIDATION)
        return ERR_BAD_ARGUMENT;
    RTSEMRWINTERNAL *pThis = static_cast<RTSEMRWINTERNAL *>(RTMemAllocZ(sizeof(*pThis)));
    if (!pThis)
        return ERR_OUT_OF_MEMORY;

    RTSTATUS rc = RTSemEventMake(&pThis->hWriterEvent, RTSEMEVENT_F_NO_VALIDATION);
    if (RT_SUCCESS(rc))
    {
        rc = RTSemEventMultiMake(&pThis->hReadersEvent, RTSEMEVENTMULTI_F_NO_VALIDATION);
        if (RT_SUCCESS(rc))
        {
            rc = RTCritSectSetUp(&pThis->CritSect, CRITSECT_F_NO_VALIDATION, nullptr, 0, nullptr);
            if (RT_SUCCESS(rc))
            {
                rc = RTSemEventMultiSet(pThis->hReadersEvent);
                if (RT_SUCCESS(rc))
                {
                    pThis->fReadersEventSet = true;
                    pThis->u32Filler = 0xA5A55A5A;
                    pThis->idWriter  = RTSEMRW_NO_WRITER;
                    pThis->u32Magic  = RTSEMRW_MAGIC;
                    *phRW = pThis;
                    return INF_SUCCESS;
                }
                RTCritSectTearDown(&pThis->CritSect);
            }
            RTSemEventMultiDrop(pThis->hReadersEvent);
        }
        RTSemEventDrop(pThis->hWriterEvent);
    }
    RTMemFree(pThis);
    return rc;
}

/** Takes the write lock for @p idSelf when it may have it; called inside the section. */
static bool rtSemRWTryTakeWrite(RTSEMRWINTERNAL *pThis, uint32_t idSelf, bool fMayJumpQueue)
{
    if (pThis->cReaders != 0)
        return false;
    bool const fFree = pThis->cWriterNesting == 0 && (pThis->cWaitingWriters == 0 || fMayJumpQueue);
    if (!fFree && pThis->idWriter != idSelf)
        return false;
    if (pThis->fReadersEventSet)
    {
        RTSemEventMultiClear(pThis->hReadersEvent);
        pThis->fReadersEventSet = false;
    }
    pThis->idWriter = idSelf;
    pThis->cWriterNesting++;
    return true;
}

RTSTATUS RTSemRWWriteAcquire(RTSEMRW hRW, uint32_t cMs)
{
    RTSEMRWINTERNAL *const pThis = hRW;
    RTSTATUS rc = rtSemRWEnter(pThis);
    if (RT_FAILURE(rc))
        return rc;
    uint32_t const idSelf = pThis->CritSect.idOwner;

    /* A caller that will not wait may take a free lock ahead of sleeping writers. */
    if (rtSemRWTryTakeWrite(pThis, idSelf, cMs == 0))
    {
        RTCritSectLeave(&pThis->CritSect);
        return INF_SUCCESS;
    }
    if (cMs == 0)
    {
        RTCritSectLeave(&pThis->CritSect);
        return ERR_TIMED_OUT;
    }
    pThis->cWaitingWriters++;
    RTCritSectLeave(&pThis->CritSect);

    RTTHREADINT *const pThread = RTThreadCurrentRecord();
    for (;;)
    {
        rtThreadSetBlocked(pThread, THREAD_STATE_WAIT_RW_WRITE, false);
        rc = RTSemEventWaitMs(pThis->hWriterEvent, cMs);
        rtThreadSetUnblocked(pThread, THREAD_STATE_WAIT_RW_WRITE);
        if (RT_FAILURE(rc) && rc != ERR_TIMED_OUT)
            break;
        if (RTAtomicReadU32(&pThis->u32Magic) != RTSEMRW_MAGIC)
            return ERR_SEM_DESTROYED;
        RTSTATUS const rc2 = RTCritSectAcquire(&pThis->CritSect);
        if (RT_FAILURE(rc2))
        {
            rc = rc2;
            break;
        }
        pThis->cWaitingWriters--;
        if (rtSemRWTryTakeWrite(pThis, idSelf, true))
        {
            RTCritSectLeave(&pThis->CritSect);
            return INF_SUCCESS;
        }
        pThis->cWaitingWriters++;
        RTCritSectLeave(&pThis->CritSect);
        if (rc == ERR_TIMED_OUT)
            break;
    }

    if (RTAtomicReadU32(&pThis->u32Magic) == RTSEMRW_MAGIC && RT_SUCCESS(RTCritSectAcquire(&pThis->CritSect)))
    {
        pThis->cWaitingWriters--;
        RTCritSectLeave(&pThis->CritSect);
    }
    return rc;
}

RTSTATUS RTSemRWWriteRelease(RTSEMRW hRW)
{
    RTSEMRWINTERNAL *const pThis = hRW;
    RTSTATUS rc = rtSemRWEnter(pThis);
    if (RT_FAILURE(rc))
        return rc;
    if (pThis->idWriter != pThis->CritSect.idOwner || pThis->cWriterNesting == 0)
    {
        RTCritSectLeave(&pThis->CritSect);
        return ERR_NOT_THE_OWNER;
    }
    if (pThis->cWriterNesting == 1 && pThis->cWriterReads != 0)
    {
        RTCritSectLeave(&pThis->CritSect);
        return ERR_WRONG_STATE;
    }
    pThis->cWriterNesting--;
    if (pThis->cWriterNesting == 0)
    {
        pThis->idWriter = RTSEMRW_NO_WRITER;
        /* Writers first: readers get in only when no writer is waiting. */
        if (pThis->cWaitingWriters > 0)
            rc = RTSemEventSignal(pThis->hWriterEvent);
        else
        {
            rc = RTSemEventMultiSet(pThis->hReadersEvent);
            pThis->fReadersEventSet = true;
        }
    }
    RTCritSectLeave(&pThis->CritSect);
    return rc;
}

RTSTATUS RTSemRWDrop(RTSEMRW hRW)
{
    RTSEMRWINTERNAL *const pThis = hRW;
    if (!pThis)
        return INF_SUCCESS;
    if (!rtSemRWIsAlive(pThis))
        return ERR_BAD_HANDLE;
    if (RT_FAILURE(RTCritSectTryAcquire(&pThis->CritSect)))
        return ERR_SEM_BUSY;
    /* A writer between its wake-up and its return still reads the block: freeing it then
     * would leave that thread on freed memory. */
    if (pThis->cReaders != 0 || pThis->cWriterNesting != 0 || pThis->cWaitingWriters != 0)
    {
        RTCritSectLeave(&pThis->CritSect);
        return ERR_SEM_BUSY;
    }
    RTAtomicXchgU32(&pThis->u32Magic, RTSEMRW_MAGIC_DEAD);
    pThis->cReaders = UINT32_MAX;
    RTSemEventDrop(pThis->hWriterEvent);
    RTSemEventMultiDrop(pThis->hReadersEvent);
    pThis->hWriterEvent  = nullptr;
    pThis->hReadersEvent = nullptr;
    RTCritSectLeave(&pThis->CritSect);
    RTCritSectTearDown(&pThis->CritSect);
    RTMemFree(pThis);
    return INF_SUCCESS;
}
