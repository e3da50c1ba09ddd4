/* The read/write semaphore's write side: ownership and nesting, timeouts against another
 * writer, hand-over to waiting writers, and refusal to destroy a busy semaphore. */
#include <gtest/gtest.h>
#include <windows.h>
#include <atomic>
#include <thread>
#include <vector>
#include "rt/semaphore.h"
#include "rt/mem.h"
#include "rt/time.h"

TEST(SemRW, MakeChecksItsArguments)
{
    RTSEMRW hRW = reinterpret_cast<RTSEMRW>(1);
    EXPECT_EQ(RTSemRWMake(&hRW, 2, nullptr, 0, nullptr), ERR_BAD_ARGUMENT);
    EXPECT_EQ(hRW, nullptr);
    EXPECT_EQ(RTSemRWMake(nullptr, 0, nullptr, 0, nullptr), ERR_BAD_POINTER);

    /* Each allocation failing in turn: the failure comes back and nothing is half-made. */
    static int s_cAllowed;
    for (int cAllowed = 0; cAllowed < 3; cAllowed++)
    {
        s_cAllowed = cAllowed;
        g_pfnRTMemAllocHook = [](size_t) { return s_cAllowed-- > 0; };
        EXPECT_EQ(RTSemRWMake(&hRW, 0, nullptr, 0, nullptr), ERR_OUT_OF_MEMORY) << cAllowed;
        g_pfnRTMemAllocHook = nullptr;
        EXPECT_EQ(hRW, nullptr);
    }
    ASSERT_EQ(RTSemRWMake(&hRW, RTSEMRW_F_NO_VALIDATION, nullptr, 1, nullptr), INF_SUCCESS);
    EXPECT_EQ(RTSemRWDrop(hRW), INF_SUCCESS);
}

TEST(SemRW, WriterNestsAndOthersTimeOut)
{
    RTSEMRW hRW;
    ASSERT_EQ(RTSemRWMake(&hRW, 0, nullptr, 0, nullptr), INF_SUCCESS);
    ASSERT_EQ(RTSemRWWriteAcquire(hRW, RTSEM_INDEFINITE_WAIT), INF_SUCCESS);
    ASSERT_EQ(RTSemRWWriteAcquire(hRW, 0), INF_SUCCESS);

    RTSTATUS rcNoWait = INF_SUCCESS, rcTimed = INF_SUCCESS, rcRelease = INF_SUCCESS;
    uint64_t cMsTimed = 0;
    std::thread other([&]() {
        rcNoWait = RTSemRWWriteAcquire(hRW, 0);
        uint64_t const uStart = RTTimeMonoNs();
        rcTimed = RTSemRWWriteAcquire(hRW, 60);
        cMsTimed = (RTTimeMonoNs() - uStart) / 1000000;
        rcRelease = RTSemRWWriteRelease(hRW);
    });
    other.join();
    EXPECT_EQ(rcNoWait, ERR_TIMED_OUT);
    EXPECT_EQ(rcTimed, ERR_TIMED_OUT);
    EXPECT_GE(cMsTimed, 45u);
    EXPECT_EQ(rcRelease, ERR_NOT_THE_OWNER);

    EXPECT_EQ(RTSemRWDrop(hRW), ERR_SEM_BUSY);
    EXPECT_EQ(RTSemRWWriteRelease(hRW), INF_SUCCESS);
    EXPECT_EQ(RTSemRWDrop(hRW), ERR_SEM_BUSY);
    EXPECT_EQ(RTSemRWWriteRelease(hRW), INF_SUCCESS);
    EXPECT_EQ(RTSemRWWriteRelease(hRW), ERR_NOT_THE_OWNER);
    EXPECT_EQ(RTSemRWDrop(hRW), INF_SUCCESS);
}

TEST(SemRW, WaitingWriterGetsTheLockOnRelease)
{
    RTSEMRW hRW;
    ASSERT_EQ(RTSemRWMake(&hRW, 0, nullptr, 0, nullptr), INF_SUCCESS);
    ASSERT_EQ(RTSemRWWriteAcquire(hRW, RTSEM_INDEFINITE_WAIT), INF_SUCCESS);
    std::atomic<bool> fGot { false };
    RTSTATUS rc = ERR_INTERNAL_FAULT;
    std::thread waiter([&]() {
        rc = RTSemRWWriteAcquire(hRW, 10000);
        fGot = true;
        EXPECT_EQ(RTSemRWWriteRelease(hRW), INF_SUCCESS);
    });
    Sleep(50);
    EXPECT_FALSE(fGot.load());
    EXPECT_EQ(RTSemRWWriteRelease(hRW), INF_SUCCESS);
    waiter.join();
    EXPECT_EQ(rc, INF_SUCCESS);
    EXPECT_EQ(RTSemRWDrop(hRW), INF_SUCCESS);
}

TEST(SemRW, HammeredByWritersLosesNoUpdate)
{
    RTSEMRW hRW;
    ASSERT_EQ(RTSemRWMake(&hRW, 0, nullptr, 0, nullptr), INF_SUCCESS);
    constexpr int kThreads = 4, kRounds = 5000;
    volatile int cShared = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++)
        threads.emplace_back([&]() {
            for (int i = 0; i < kRounds; i++)
            {
                ASSERT_EQ(RTSemRWWriteAcquire(hRW, RTSEM_INDEFINITE_WAIT), INF_SUCCESS);
                int const c = cShared;
                if (i % 64 == 0)
                    SwitchToThread();
                cShared = c + 1;
                ASSERT_EQ(RTSemRWWriteRelease(hRW), INF_SUCCESS);
            }
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(cShared, kThreads * kRounds);
    EXPECT_EQ(RTSemRWDrop(hRW), INF_SUCCESS);
}

TEST(SemRW, BadHandlesAreRefused)
{
    uint32_t auNotASemaphore[16] = { 0x11111111 };
    RTSEMRW const hBad = reinterpret_cast<RTSEMRW>(auNotASemaphore);
    EXPECT_EQ(RTSemRWWriteAcquire(nullptr, 0), ERR_BAD_HANDLE);
    EXPECT_EQ(RTSemRWWriteAcquire(hBad, 0), ERR_BAD_HANDLE);
    EXPECT_EQ(RTSemRWWriteRelease(hBad), ERR_BAD_HANDLE);
    EXPECT_EQ(RTSemRWDrop(hBad), ERR_BAD_HANDLE);
    EXPECT_EQ(RTSemRWDrop(nullptr), INF_SUCCESS);
}
