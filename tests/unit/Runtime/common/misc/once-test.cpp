/* Once-initialisation: exactly one run under a race with every caller seeing its result
 * (with and without a wake-up event), the clean-up list run from the termination
 * callbacks, forgetting, and broken records. */
#include <gtest/gtest.h>
#include <windows.h>
#include <atomic>
#include <thread>
#include <vector>
#include "rt/once.h"
#include "rt/term.h"
#include "rt/mem.h"

namespace {

struct Racer
{
    std::atomic<int> cRuns { 0 };
    RTSTATUS rcToReturn = INF_SUCCESS;
    DWORD cMsInside = 40;
};

RTSTATUS SlowInit(void *pvUser)
{
    Racer *pRacer = static_cast<Racer *>(pvUser);
    pRacer->cRuns++;
    Sleep(pRacer->cMsInside);
    return pRacer->rcToReturn;
}

/** Starts @p cThreads threads at once on RTOnceRun and collects what each got. */
std::vector<RTSTATUS> Race(RTONCEREC *pOnce, Racer *pRacer, int cThreads)
{
    std::vector<RTSTATUS> results(cThreads, ERR_INTERNAL_FAULT);
    std::atomic<int> cReady { 0 };
    std::vector<std::thread> threads;
    for (int i = 0; i < cThreads; i++)
        threads.emplace_back([&, i]() {
            cReady++;
            while (cReady.load() < cThreads)
                SwitchToThread();
            results[i] = RTOnceRun(pOnce, SlowInit, nullptr, pRacer);
        });
    for (auto &t : threads)
        t.join();
    return results;
}

struct CleanUpLog
{
    int cCalls = 0;
    bool fMayLeave = false;
};

void LogCleanUp(void *pvUser, bool fMayLeave)
{
    CleanUpLog *pLog = static_cast<CleanUpLog *>(pvUser);
    pLog->cCalls++;
    pLog->fMayLeave = fMayLeave;
}

RTSTATUS InitOk(void *)
{
    return INF_SUCCESS;
}

} /* namespace */

TEST(Once, RacingCallersRunTheInitialiserOnceAndShareItsStatus)
{
    for (RTSTATUS rcInit : { INF_SUCCESS, static_cast<RTSTATUS>(WRN_TRAILING_CHARS), ERR_ITEM_NOT_FOUND })
    {
        for (int iRound = 0; iRound < 3; iRound++)
        {
            RTONCEREC once = RTONCEREC_INITIALISER;
            Racer racer;
            racer.rcToReturn = rcInit;
            for (RTSTATUS rc : Race(&once, &racer, 6))
                EXPECT_EQ(rc, rcInit);
            EXPECT_EQ(racer.cRuns.load(), 1);
            EXPECT_EQ(once.enmState, RTONCESTATE_DONE);
            EXPECT_EQ(once.hEvent, nullptr) << "the last waiter destroys the event";
            EXPECT_EQ(once.cEventUsers, 0);
            /* Later callers get the stored result without running anything. */
            EXPECT_EQ(RTOnceRun(&once, SlowInit, nullptr, &racer), rcInit);
            EXPECT_EQ(racer.cRuns.load(), 1);
        }
    }
}

TEST(Once, EventIsMadeOnlyWhenSomebodyWaits)
{
    static std::atomic<int> s_cAllocs;
    s_cAllocs = 0;
    g_pfnRTMemAllocHook = [](size_t) { s_cAllocs++; return true; };
    RTONCEREC once = RTONCEREC_INITIALISER;
    Racer racer;
    EXPECT_EQ(RTOnceRun(&once, SlowInit, nullptr, &racer), INF_SUCCESS);
    int const cAllocsAlone = s_cAllocs.load();
    RTONCEREC onceRaced = RTONCEREC_INITIALISER;
    Race(&onceRaced, &racer, 4);
    g_pfnRTMemAllocHook = nullptr;
    EXPECT_EQ(cAllocsAlone, 0);
    EXPECT_GE(s_cAllocs.load(), 1);
    EXPECT_EQ(onceRaced.hEvent, nullptr);
}

TEST(Once, WaitersPollWhenNoEventCanBeMade)
{
    RTONCEREC once = RTONCEREC_INITIALISER;
    Racer racer;
    racer.cMsInside = 80;
    g_pfnRTMemAllocHook = [](size_t) { return false; };
    std::vector<RTSTATUS> const results = Race(&once, &racer, 4);
    g_pfnRTMemAllocHook = nullptr;
    for (RTSTATUS rc : results)
        EXPECT_EQ(rc, INF_SUCCESS);
    EXPECT_EQ(racer.cRuns.load(), 1);
    EXPECT_EQ(once.enmState, RTONCESTATE_DONE);
    EXPECT_EQ(once.hEvent, nullptr);
}

TEST(Once, CleanUpsRunFromTheTerminationCallbacks)
{
    /* Unloading: the clean-up must release for real, and the record can run again. */
    RTONCEREC once = RTONCEREC_INITIALISER;
    CleanUpLog log;
    ASSERT_EQ(RTOnceRun(&once, InitOk, LogCleanUp, &log), INF_SUCCESS);
    RTTermRunCallbacks(RTTERMREASON_UNLOAD);
    EXPECT_EQ(log.cCalls, 1);
    EXPECT_FALSE(log.fMayLeave);
    EXPECT_EQ(once.enmState, RTONCESTATE_NOT_RUN);
    EXPECT_EQ(once.pfnCleanUp, nullptr);

    /* Ending the process: the clean-up may leave the object; the record answers
     * ERR_WRONG_STATE from then on. */
    ASSERT_EQ(RTOnceRun(&once, InitOk, LogCleanUp, &log), INF_SUCCESS);
    RTTermRunCallbacks(RTTERMREASON_EXIT);
    EXPECT_EQ(log.cCalls, 2);
    EXPECT_TRUE(log.fMayLeave);
    EXPECT_EQ(RTOnceRun(&once, InitOk, LogCleanUp, &log), ERR_WRONG_STATE);
    RTOnceForget(&once);

    /* A failed initialisation registers no clean-up; a forgotten record loses its own. */
    RTONCEREC onceFailed = RTONCEREC_INITIALISER;
    ASSERT_EQ(RTOnceRun(&onceFailed, [](void *) -> RTSTATUS { return ERR_ITEM_NOT_FOUND; }, LogCleanUp, &log),
              ERR_ITEM_NOT_FOUND);
    ASSERT_EQ(RTOnceRun(&once, InitOk, LogCleanUp, &log), INF_SUCCESS);
    RTOnceForget(&once);
    EXPECT_EQ(once.enmState, RTONCESTATE_NOT_RUN);
    EXPECT_EQ(once.rc, ERR_INTERNAL_FAULT);
    RTTermRunCallbacks(RTTERMREASON_UNLOAD);
    EXPECT_EQ(log.cCalls, 2);
}

TEST(Once, BrokenRecordsAndPointersAreRefused)
{
    RTONCEREC once = RTONCEREC_INITIALISER;
    for (uint32_t enmState : { 0u, 8u, 15u, 17u, 0xffffffffu })
    {
        once.enmState = enmState;
        EXPECT_EQ(RTOnceRun(&once, InitOk, nullptr, nullptr), ERR_INTERNAL_FAULT) << enmState;
    }
    once = RTONCEREC_INITIALISER;
    EXPECT_EQ(RTOnceRun(nullptr, InitOk, nullptr, nullptr), ERR_BAD_POINTER);
    EXPECT_EQ(RTOnceRun(&once, nullptr, nullptr, nullptr), ERR_BAD_POINTER);
    EXPECT_EQ(RTOnceRun(&once, InitOk, reinterpret_cast<PFNRTONCECLEANUP>(8), nullptr), ERR_BAD_POINTER);
    EXPECT_EQ(once.enmState, RTONCESTATE_NOT_RUN);
}

TEST(Term, CallbacksRunNewestFirstOnce)
{
    static std::vector<std::pair<uintptr_t, uint32_t>> s_calls;
    s_calls.clear();
    PFNRTTERMCALLBACK const pfn = [](uint32_t enmReason, void *pvUser) {
        s_calls.emplace_back(reinterpret_cast<uintptr_t>(pvUser), enmReason);
    };
    for (uintptr_t i = 1; i <= 3; i++)
        ASSERT_EQ(RTTermAddCallback(pfn, reinterpret_cast<void *>(i)), INF_SUCCESS);
    RTTermRunCallbacks(RTTERMREASON_EXIT);
    ASSERT_EQ(s_calls.size(), 3u);
    EXPECT_EQ(s_calls[0], std::make_pair(uintptr_t(3), RTTERMREASON_EXIT));
    EXPECT_EQ(s_calls[1], std::make_pair(uintptr_t(2), RTTERMREASON_EXIT));
    EXPECT_EQ(s_calls[2], std::make_pair(uintptr_t(1), RTTERMREASON_EXIT));
    RTTermRunCallbacks(RTTERMREASON_EXIT);
    EXPECT_EQ(s_calls.size(), 3u);

    EXPECT_EQ(RTTermAddCallback(nullptr, nullptr), ERR_BAD_POINTER);
    EXPECT_EQ(RTTermAddCallback(reinterpret_cast<PFNRTTERMCALLBACK>(0xfff), nullptr), ERR_BAD_POINTER);
    g_pfnRTMemAllocHook = [](size_t) { return false; };
    EXPECT_EQ(RTTermAddCallback(pfn, nullptr), ERR_OUT_OF_MEMORY);
    g_pfnRTMemAllocHook = nullptr;
    RTTermRunCallbacks(RTTERMREASON_EXIT);
    EXPECT_EQ(s_calls.size(), 3u);
}
