/* The calling thread: its native id, no record before the registry knows it, sleep and
 * yield. */
#include <gtest/gtest.h>
#include <windows.h>
#include <thread>
#include "internal/thread.h"

TEST(ThreadNative, IdentityAndMissingRecord)
{
    EXPECT_EQ(RTThreadNativeSelf(), GetCurrentThreadId());
    uint32_t idOther = 0;
    RTTHREADINT *pOther = reinterpret_cast<RTTHREADINT *>(1);
    std::thread t([&]() { idOther = RTThreadNativeSelf(); pOther = RTThreadCurrentRecord(); });
    t.join();
    EXPECT_NE(idOther, RTThreadNativeSelf());
    EXPECT_EQ(pOther, nullptr);
    /* The blocked marks accept a thread without a record. */
    rtThreadSetBlocked(nullptr, THREAD_STATE_WAIT_EVENT, true);
    rtThreadSetUnblocked(nullptr, THREAD_STATE_WAIT_EVENT);
}

TEST(ThreadNative, SleepAndYield)
{
    LARGE_INTEGER liFreq, liStart, liEnd;
    QueryPerformanceFrequency(&liFreq);
    QueryPerformanceCounter(&liStart);
    EXPECT_EQ(RTThreadSleepMs(30), INF_SUCCESS);
    QueryPerformanceCounter(&liEnd);
    EXPECT_GE((liEnd.QuadPart - liStart.QuadPart) * 1000 / liFreq.QuadPart, 25);
    /* Whether another thread ran depends on the machine; either answer is fine, but the
     * call must come back. */
    for (int i = 0; i < 100; i++)
        RTThreadYieldNow();
}
