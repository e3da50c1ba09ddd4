/* The spin mutex: a non-nesting lock in its own block, with its creation flags checked. */
#include <gtest/gtest.h>
#include <thread>
#include "rt/semaphore.h"
#include "rt/critsect.h"

TEST(SemSpinMutex, ExcludesOthersAndRefusesNesting)
{
    RTSEMSPINMUTEX hMtx;
    EXPECT_EQ(RTSemSpinMutexMake(&hMtx, 2), ERR_BAD_ARGUMENT);
    EXPECT_EQ(hMtx, nullptr);
    EXPECT_EQ(RTSemSpinMutexMake(nullptr, 0), ERR_BAD_POINTER);
    ASSERT_EQ(RTSemSpinMutexMake(&hMtx, RTSEMSPINMUTEX_F_INTERRUPT_SAFE), INF_SUCCESS);
    EXPECT_EQ(reinterpret_cast<RTCRITSECT *>(hMtx)->fFlags, CRITSECT_F_NO_NESTING | CRITSECT_F_NO_VALIDATION);

    ASSERT_EQ(RTSemSpinMutexAcquire(hMtx), INF_SUCCESS);
    EXPECT_EQ(RTSemSpinMutexAcquire(hMtx), ERR_SEM_NESTED);
    RTSTATUS rcOther = ERR_INTERNAL_FAULT;
    std::thread other([&]() { rcOther = RTSemSpinMutexAcquire(hMtx); RTSemSpinMutexRelease(hMtx); });
    EXPECT_EQ(RTSemSpinMutexRelease(hMtx), INF_SUCCESS);
    other.join();
    EXPECT_EQ(rcOther, INF_SUCCESS);
    EXPECT_EQ(RTSemSpinMutexDrop(hMtx), INF_SUCCESS);
    EXPECT_EQ(RTSemSpinMutexDrop(nullptr), ERR_BAD_ARGUMENT);
}
