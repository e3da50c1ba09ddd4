/* Critical sections: nesting rules, contention between real threads, tear-down under a
 * waiter, the no-op kind, the statuses of misuse and a release that cannot wake a waiter. */
#include <gtest/gtest.h>
#include <windows.h>
#include <atomic>
#include <string>
#include <thread>
#include <vector>
#include "rt/assert.h"
#include "rt/critsect.h"
#include "rt/mem.h"

namespace {

/** Runs @p fn on another thread and returns its status. */
template <typename F> RTSTATUS OnOtherThread(F &&fn)
{
    RTSTATUS rc = ERR_INTERNAL_FAULT;
    std::thread t([&]() { rc = fn(); });
    t.join();
    return rc;
}

} /* namespace */

TEST(CritSect, SetUpChecksFlags)
{
    RTCRITSECT cs;
    EXPECT_EQ(RTCritSectSetUp(&cs, 16, nullptr, 0, "x"), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTCritSectSetUp(&cs, 0x80000000u, nullptr, 0, "x"), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTCritSectSetUp(nullptr, 0, nullptr, 0, "x"), ERR_BAD_POINTER);
    for (uint32_t f = 0; f <= 15; f++)
    {
        ASSERT_EQ(RTCritSectSetUp(&cs, f, nullptr, 0, nullptr), INF_SUCCESS) << f;
        EXPECT_EQ(cs.fFlags, f);
        EXPECT_EQ(cs.u32Magic, RTCRITSECT_MAGIC);
        EXPECT_EQ(cs.cLockers, -1);
        EXPECT_EQ(cs.idOwner, UINT32_MAX);
        EXPECT_EQ(RTCritSectTearDown(&cs), INF_SUCCESS);
        EXPECT_EQ(cs.u32Magic, RTCRITSECT_MAGIC_DEAD);
    }
}

TEST(CritSect, OwnerNestsOthersWait)
{
    RTCRITSECT cs;
    ASSERT_EQ(RTCritSectSetUpDefault(&cs), INF_SUCCESS);
    ASSERT_EQ(RTCritSectAcquire(&cs), INF_SUCCESS);
    ASSERT_EQ(RTCritSectAcquire(&cs), INF_SUCCESS);
    ASSERT_EQ(RTCritSectTryAcquire(&cs), INF_SUCCESS);
    EXPECT_EQ(cs.cNesting, 3u);
    EXPECT_EQ(cs.cLockers, 2);
    EXPECT_EQ(cs.idOwner, GetCurrentThreadId());
    EXPECT_EQ(OnOtherThread([&]() { return RTCritSectTryAcquire(&cs); }), ERR_SEM_BUSY);

    /* A waiter gets in only after the third leave. */
    std::atomic<bool> fEntered { false };
    std::thread waiter([&]() {
        EXPECT_EQ(RTCritSectAcquire(&cs), INF_SUCCESS);
        fEntered = true;
        EXPECT_EQ(RTCritSectLeave(&cs), INF_SUCCESS);
    });
    Sleep(30);
    EXPECT_EQ(RTCritSectLeave(&cs), INF_SUCCESS);
    EXPECT_EQ(RTCritSectLeave(&cs), INF_SUCCESS);
    Sleep(30);
    EXPECT_FALSE(fEntered.load());
    EXPECT_EQ(RTCritSectLeave(&cs), INF_SUCCESS);
    waiter.join();
    EXPECT_TRUE(fEntered.load());
    EXPECT_EQ(cs.cLockers, -1);
    EXPECT_EQ(cs.idOwner, UINT32_MAX);
    EXPECT_EQ(RTCritSectTearDown(&cs), INF_SUCCESS);
}

TEST(CritSect, NoNestingRefusesTheOwnerAndKeepsTheCount)
{
    RTCRITSECT cs;
    ASSERT_EQ(RTCritSectSetUp(&cs, CRITSECT_F_NO_NESTING, nullptr, 0, nullptr), INF_SUCCESS);
    ASSERT_EQ(RTCritSectAcquire(&cs), INF_SUCCESS);
    EXPECT_EQ(cs.cLockers, 0);
    EXPECT_EQ(RTCritSectAcquire(&cs), ERR_SEM_NESTED);
    EXPECT_EQ(cs.cLockers, 0);
    EXPECT_EQ(RTCritSectTryAcquire(&cs), ERR_SEM_NESTED);
    EXPECT_EQ(cs.cLockers, 0);
    EXPECT_EQ(RTCritSectLeave(&cs), INF_SUCCESS);
    EXPECT_EQ(cs.cLockers, -1);
    EXPECT_EQ(OnOtherThread([&]() {
        RTSTATUS rc = RTCritSectTryAcquire(&cs);
        RTCritSectLeave(&cs);
        return rc;
    }), INF_SUCCESS);
    EXPECT_EQ(RTCritSectTearDown(&cs), INF_SUCCESS);
}

TEST(CritSect, HammeredByThreadsLosesNoUpdate)
{
    RTCRITSECT cs;
    ASSERT_EQ(RTCritSectSetUpDefault(&cs), INF_SUCCESS);
    constexpr int kThreads = 4, kRounds = 20000;
    volatile int cShared = 0;
    std::atomic<int> cInside { 0 }, cOverlaps { 0 };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++)
        threads.emplace_back([&, t]() {
            for (int i = 0; i < kRounds; i++)
            {
                RTSTATUS rc = (i + t) % 3 ? RTCritSectAcquire(&cs) : RTCritSectTryAcquire(&cs);
                if (rc == ERR_SEM_BUSY)
                    rc = RTCritSectAcquire(&cs);
                ASSERT_EQ(rc, INF_SUCCESS);
                if (cInside.fetch_add(1) != 0)
                    cOverlaps++;
                int const c = cShared;
                if (i % 64 == 0)
                    SwitchToThread();
                cShared = c + 1;
                cInside.fetch_sub(1);
                ASSERT_EQ(RTCritSectLeave(&cs), INF_SUCCESS);
            }
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(cShared, kThreads * kRounds);
    EXPECT_EQ(cOverlaps.load(), 0);
    EXPECT_EQ(cs.cLockers, -1);
    EXPECT_EQ(RTCritSectTearDown(&cs), INF_SUCCESS);
}

TEST(CritSect, TearDownWakesWaitersWithDestroyed)
{
    RTCRITSECT cs;
    ASSERT_EQ(RTCritSectSetUpDefault(&cs), INF_SUCCESS);
    ASSERT_EQ(RTCritSectAcquire(&cs), INF_SUCCESS);
    RTSTATUS arc[3] = { INF_SUCCESS, INF_SUCCESS, INF_SUCCESS };
    std::vector<std::thread> waiters;
    for (auto &rc : arc)
        waiters.emplace_back([&cs, &rc]() { rc = RTCritSectAcquire(&cs); });
    while (cs.cLockers < 3)
        Sleep(1);
    Sleep(20);
    EXPECT_EQ(RTCritSectTearDown(&cs), INF_SUCCESS);
    for (auto &t : waiters)
        t.join();
    for (RTSTATUS rc : arc)
        EXPECT_EQ(rc, ERR_SEM_DESTROYED);

    /* Late callers: a dead section is never taken. */
    EXPECT_EQ(RTCritSectAcquire(&cs), ERR_SEM_DESTROYED);
    EXPECT_EQ(RTCritSectTryAcquire(&cs), ERR_SEM_DESTROYED);
    EXPECT_EQ(cs.cLockers, -1);
}

TEST(CritSect, FailedSetUpLeavesAnUnusableSection)
{
    RTCRITSECT cs;
    g_pfnRTMemAllocHook = [](size_t) { return false; };
    EXPECT_EQ(RTCritSectSetUpDefault(&cs), ERR_OUT_OF_MEMORY);
    g_pfnRTMemAllocHook = nullptr;
    EXPECT_EQ(cs.u32Magic, static_cast<uint32_t>(ERR_OUT_OF_MEMORY));
    EXPECT_EQ(cs.hWakeEvent, nullptr);
    EXPECT_EQ(RTCritSectAcquire(&cs), ERR_SEM_DESTROYED);
    EXPECT_EQ(RTCritSectTearDown(&cs), INF_SUCCESS);
}

TEST(CritSect, NopSectionNeverLocks)
{
    RTCRITSECT cs;
    ASSERT_EQ(RTCritSectSetUp(&cs, CRITSECT_F_NOP | CRITSECT_F_NO_NESTING, nullptr, 0, nullptr), INF_SUCCESS);
    ASSERT_EQ(RTCritSectAcquire(&cs), INF_SUCCESS);
    EXPECT_EQ(RTCritSectAcquire(&cs), INF_SUCCESS);
    EXPECT_EQ(OnOtherThread([&]() { return RTCritSectTryAcquire(&cs); }), INF_SUCCESS);
    EXPECT_EQ(cs.cLockers, -1);
    EXPECT_EQ(RTCritSectLeave(&cs), INF_SUCCESS);
    EXPECT_EQ(RTCritSectTearDown(&cs), INF_SUCCESS);
}

TEST(CritSect, BadPointersAreRefused)
{
    RTCRITSECT *const apBad[] = { nullptr, reinterpret_cast<RTCRITSECT *>(0x10),
                                  reinterpret_cast<RTCRITSECT *>(-8) };
    for (RTCRITSECT *p : apBad)
    {
        EXPECT_EQ(RTCritSectAcquire(p), ERR_BAD_POINTER);
        EXPECT_EQ(RTCritSectTryAcquire(p), ERR_BAD_POINTER);
        EXPECT_EQ(RTCritSectLeave(p), ERR_BAD_POINTER);
        EXPECT_EQ(RTCritSectTearDown(p), ERR_BAD_POINTER);
    }
}

namespace {
std::string g_strReport;
DWORD g_idTrapped;

/** The releasing thread ends at the report's breakpoint trap instead of the process. */
LONG CALLBACK EndThreadAtTrap(EXCEPTION_POINTERS *pInfo)
{
    if (pInfo->ExceptionRecord->ExceptionCode == EXCEPTION_BREAKPOINT && GetCurrentThreadId() == g_idTrapped)
        ExitThread(EXCEPTION_BREAKPOINT);
    return EXCEPTION_CONTINUE_SEARCH;
}

DWORD WINAPI LeaveOnThread(LPVOID pvCritSect)
{
    RTCritSectLeave(static_cast<RTCRITSECT *>(pvCritSect));
    return 0;
}
} /* namespace */

TEST(CritSect, ReleaseThatCannotWakeAWaiterIsFatal)
{
    RTCRITSECT cs;
    ASSERT_EQ(RTCritSectSetUpDefault(&cs), INF_SUCCESS);
    ASSERT_EQ(RTCritSectAcquire(&cs), INF_SUCCESS);
    /* A waiter has arrived, and the wake event is no longer a live one. */
    RTSEMEVENT const hEvent = cs.hWakeEvent;
    alignas(8) static uint8_t s_abNotAnEvent[64];
    cs.hWakeEvent = reinterpret_cast<RTSEMEVENT>(s_abNotAnEvent);
    cs.cLockers++;

    g_strReport.clear();
    g_pfnAssertLocationHook = [](const char *, const char *pszExpr, const char *, int32_t, const char *pszFunction) {
        g_strReport += std::string(pszExpr) + "|" + pszFunction + "|";
    };
    g_pfnAssertDetailHook = [](const char *pszFormat, va_list args) {
        g_strReport += std::string(pszFormat) + "|" + std::to_string(va_arg(args, int));
    };
    PVOID const pvHandler = AddVectoredExceptionHandler(1, EndThreadAtTrap);
    HANDLE const hThread = CreateThread(nullptr, 0, LeaveOnThread, &cs, CREATE_SUSPENDED, &g_idTrapped);
    ASSERT_NE(hThread, nullptr);
    ResumeThread(hThread);
    EXPECT_EQ(WaitForSingleObject(hThread, 60000), WAIT_OBJECT_0);
    DWORD dwExit = 0;
    GetExitCodeThread(hThread, &dwExit);
    CloseHandle(hThread);
    RemoveVectoredExceptionHandler(pvHandler);
    g_pfnAssertLocationHook = nullptr;
    g_pfnAssertDetailHook = nullptr;

    EXPECT_EQ(dwExit, static_cast<DWORD>(EXCEPTION_BREAKPOINT));
    EXPECT_EQ(g_strReport, "RT_SUCCESS_NP(rc)|int __cdecl RTCritSectLeave(struct RTCRITSECT *)|"
                           "RTSemEventSignal -> %Rrc\n|" + std::to_string(ERR_BAD_HANDLE));
    cs.hWakeEvent = hEvent;
    cs.cLockers = -1;
    EXPECT_EQ(RTCritSectTearDown(&cs), INF_SUCCESS);
}
