/* Thread records: the run state that blocking waits record in them. */
#include "thread-internal.h"
#include "rt/atomic.h"

void rtThreadSetBlocked(RTTHREADINT *pThread, uint32_t enmState, bool fSleeping)
{
    if (!pThread)
        return;
    RTAtomicCmpXchgU32(&pThread->enmState, enmState, THREAD_STATE_RUN);
    __atomic_exchange_n(&pThread->fSleeping, static_cast<uint8_t>(fSleeping), __ATOMIC_SEQ_CST);
}

void rtThreadSetUnblocked(RTTHREADINT *pThread, uint32_t enmState)
{
    if (!pThread)
        return;
    __atomic_exchange_n(&pThread->fSleeping, static_cast<uint8_t>(0), __ATOMIC_SEQ_CST);
    RTAtomicCmpXchgU32(&pThread->enmState, THREAD_STATE_RUN, enmState);
}
