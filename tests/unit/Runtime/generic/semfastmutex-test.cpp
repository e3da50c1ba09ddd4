/* The fast mutex: a non-nesting lock in its own block. */
#include <gtest/gtest.h>
#include <atomic>
#include <thread>
#include "rt/semaphore.h"
#include "rt/mem.h"

TEST(SemFastMutex, ExcludesOthersAndRefusesNesting)
{
    RTSEMFASTMUTEX hMtx;
    ASSERT_EQ(RTSemFastMutexMake(&hMtx), INF_SUCCESS);
    ASSERT_EQ(RTSemFastMutexAcquire(hMtx), INF_SUCCESS);
    EXPECT_EQ(RTSemFastMutexAcquire(hMtx), ERR_SEM_NESTED);
    std::atomic<bool> fInside { false };
    std::thread other([&]() {
        EXPECT_EQ(RTSemFastMutexAcquire(hMtx), INF_SUCCESS);
        fInside = true;
        EXPECT_EQ(RTSemFastMutexRelease(hMtx), INF_SUCCESS);
    });
    EXPECT_FALSE(fInside.load());
    EXPECT_EQ(RTSemFastMutexRelease(hMtx), INF_SUCCESS);
    other.join();
    EXPECT_TRUE(fInside.load());
    EXPECT_EQ(RTSemFastMutexDrop(hMtx), INF_SUCCESS);

    EXPECT_EQ(RTSemFastMutexDrop(nullptr), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTSemFastMutexAcquire(nullptr), ERR_BAD_POINTER);
    EXPECT_EQ(RTSemFastMutexMake(nullptr), ERR_BAD_POINTER);
    g_pfnRTMemAllocHook = [](size_t) { return false; };
    EXPECT_EQ(RTSemFastMutexMake(&hMtx), ERR_OUT_OF_MEMORY);
    g_pfnRTMemAllocHook = nullptr;
    EXPECT_EQ(hMtx, nullptr);
}
