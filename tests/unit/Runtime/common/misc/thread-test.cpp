/* Thread records and the waits: a thread with a record shows each wait's kind while it
 * blocks and runs again afterwards; the marks leave a thread in another state alone. */
#include <gtest/gtest.h>
#include <windows.h>
#include <atomic>
#include <functional>
#include <thread>
#include "internal/thread.h"
#include "rt/critsect.h"
#include "rt/semaphore.h"

namespace {

/** Gives one thread a record in the thread-local slot while it runs @p fnWait, and
 *  reports the record's state and sleeping flag as seen from outside during the wait. */
void ObserveWait(const std::function<void()> &fnWait, const std::function<void()> &fnRelease,
                 uint32_t *penmDuring, uint8_t *pfSleepingDuring, uint32_t *penmAfter)
{
    DWORD const iTls = TlsAlloc();
    ASSERT_NE(iTls, TLS_OUT_OF_INDEXES);
    uint32_t const iTlsSaved = g_iRTThreadTls;
    g_iRTThreadTls = iTls;

    RTTHREADINT rec = {};
    rec.u32Magic = RTTHREADINT_MAGIC;
    rec.enmState = THREAD_STATE_RUN;
    std::atomic<bool> fDone { false };
    std::thread waiter([&]() {
        TlsSetValue(iTls, &rec);
        EXPECT_EQ(RTThreadCurrentRecord(), &rec);
        fnWait();
        fDone = true;
    });
    for (int i = 0; i < 2000 && __atomic_load_n(&rec.enmState, __ATOMIC_SEQ_CST) == THREAD_STATE_RUN; i++)
        Sleep(1);
    Sleep(20);
    *penmDuring = __atomic_load_n(&rec.enmState, __ATOMIC_SEQ_CST);
    *pfSleepingDuring = __atomic_load_n(&rec.fSleeping, __ATOMIC_SEQ_CST);
    EXPECT_FALSE(fDone.load());
    fnRelease();
    waiter.join();
    *penmAfter = rec.enmState;
    EXPECT_EQ(rec.fSleeping, 0);

    g_iRTThreadTls = iTlsSaved;
    TlsFree(iTls);
}

} /* namespace */

TEST(ThreadRecord, WaitsShowTheirKindWhileBlocked)
{
    uint32_t enmDuring = 0, enmAfter = 0;
    uint8_t fSleeping = 0;

    RTSEMEVENT hEvent;
    ASSERT_EQ(RTSemEventMake(&hEvent, 0), INF_SUCCESS);
    ObserveWait([&]() { EXPECT_EQ(RTSemEventWaitMs(hEvent, 10000), INF_SUCCESS); },
                [&]() { RTSemEventSignal(hEvent); }, &enmDuring, &fSleeping, &enmAfter);
    EXPECT_EQ(enmDuring, THREAD_STATE_WAIT_EVENT);
    EXPECT_EQ(fSleeping, 1);
    EXPECT_EQ(enmAfter, THREAD_STATE_RUN);
    RTSemEventDrop(hEvent);

    RTSEMEVENTMULTI hMulti;
    ASSERT_EQ(RTSemEventMultiMake(&hMulti, 0), INF_SUCCESS);
    ObserveWait([&]() { EXPECT_EQ(RTSemEventMultiWaitMs(hMulti, 10000), INF_SUCCESS); },
                [&]() { RTSemEventMultiSet(hMulti); }, &enmDuring, &fSleeping, &enmAfter);
    EXPECT_EQ(enmDuring, THREAD_STATE_WAIT_EVENT_MULTI);
    EXPECT_EQ(enmAfter, THREAD_STATE_RUN);
    RTSemEventMultiDrop(hMulti);

    RTCRITSECT cs;
    ASSERT_EQ(RTCritSectSetUpDefault(&cs), INF_SUCCESS);
    ASSERT_EQ(RTCritSectAcquire(&cs), INF_SUCCESS);
    ObserveWait([&]() { EXPECT_EQ(RTCritSectAcquire(&cs), INF_SUCCESS); RTCritSectLeave(&cs); },
                [&]() { RTCritSectLeave(&cs); }, &enmDuring, &fSleeping, &enmAfter);
    EXPECT_EQ(enmDuring, THREAD_STATE_WAIT_CRITSECT);
    EXPECT_EQ(enmAfter, THREAD_STATE_RUN);
    RTCritSectTearDown(&cs);

    RTSEMRW hRW;
    ASSERT_EQ(RTSemRWMake(&hRW, 0, nullptr, 0, nullptr), INF_SUCCESS);
    ASSERT_EQ(RTSemRWWriteAcquire(hRW, RTSEM_INDEFINITE_WAIT), INF_SUCCESS);
    ObserveWait([&]() { EXPECT_EQ(RTSemRWWriteAcquire(hRW, 10000), INF_SUCCESS); RTSemRWWriteRelease(hRW); },
                [&]() { RTSemRWWriteRelease(hRW); }, &enmDuring, &fSleeping, &enmAfter);
    EXPECT_EQ(enmDuring, THREAD_STATE_WAIT_RW_WRITE);
    EXPECT_EQ(enmAfter, THREAD_STATE_RUN);
    EXPECT_EQ(RTSemRWDrop(hRW), INF_SUCCESS);
}

TEST(ThreadRecord, MarksLeaveOtherStatesAlone)
{
    RTTHREADINT rec = {};
    rec.enmState = THREAD_STATE_INIT;
    rtThreadSetBlocked(&rec, THREAD_STATE_WAIT_EVENT, true);
    EXPECT_EQ(rec.enmState, THREAD_STATE_INIT);
    EXPECT_EQ(rec.fSleeping, 1);
    rtThreadSetUnblocked(&rec, THREAD_STATE_WAIT_EVENT);
    EXPECT_EQ(rec.enmState, THREAD_STATE_INIT);
    EXPECT_EQ(rec.fSleeping, 0);

    /* A thread already marked for an outer wait keeps that kind through an inner one. */
    rec.enmState = THREAD_STATE_WAIT_CRITSECT;
    rtThreadSetUnblocked(&rec, THREAD_STATE_WAIT_EVENT);
    EXPECT_EQ(rec.enmState, THREAD_STATE_WAIT_CRITSECT);
    rtThreadSetUnblocked(&rec, THREAD_STATE_WAIT_CRITSECT);
    EXPECT_EQ(rec.enmState, THREAD_STATE_RUN);
}
