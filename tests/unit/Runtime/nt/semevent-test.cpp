/* Both event semaphores: signalling semantics, timeouts, interruption by a user APC,
 * destruction under a waiter, and the statuses for bad handles, flags and pointers. */
#include <gtest/gtest.h>
#include <windows.h>
#include <atomic>
#include <thread>
#include "rt/semaphore.h"
#include "internal/semevent-nt.h"
#include "rt/time.h"
#include "rt/mem.h"

namespace {

uint64_t MsSince(uint64_t uStartNs)
{
    return (RTTimeMonoNs() - uStartNs) / 1000000;
}

void CALLBACK NoOpApc(ULONG_PTR)
{
}

/** A thread whose native handle can receive user APCs. */
class ApcTarget
{
public:
    template <typename F> explicit ApcTarget(F &&fn)
        : m_thread([this, fn]() { m_idThread = GetCurrentThreadId(); fn(); }) {}
    ~ApcTarget() { if (m_thread.joinable()) m_thread.join(); }
    /** Queues an APC once the thread has run for @p cMsDelay. */
    void Interrupt(DWORD cMsDelay)
    {
        while (!m_idThread)
            Sleep(1);
        Sleep(cMsDelay);
        HANDLE hThread = OpenThread(THREAD_SET_CONTEXT, FALSE, m_idThread);
        ASSERT_NE(hThread, nullptr);
        ASSERT_NE(QueueUserAPC(NoOpApc, hThread, 0), 0u);
        CloseHandle(hThread);
    }
    void Join() { m_thread.join(); }
private:
    std::atomic<DWORD> m_idThread { 0 };
    std::thread m_thread;
};

/** A block that is not an event: right size, wrong magic. */
uint32_t g_auNotAnEvent[4] = { 0x12345678, 1, 0, 0 };

} /* namespace */

TEST(SemWaitFlags, ValidCombinations)
{
    const struct { uint32_t f; bool fValid; } aCases[] =
    {
        { SEMWAIT_INDEFINITE | SEMWAIT_RESUME, true },
        { SEMWAIT_INDEFINITE | SEMWAIT_NORESUME, true },
        { SEMWAIT_RELATIVE | SEMWAIT_MILLISECS | SEMWAIT_RESUME, true },
        { SEMWAIT_ABSOLUTE | SEMWAIT_NANOSECS | SEMWAIT_NORESUME, true },
        { SEMWAIT_INDEFINITE, false },
        { SEMWAIT_INDEFINITE | SEMWAIT_RESUME | SEMWAIT_NORESUME, false },
        { SEMWAIT_RELATIVE | SEMWAIT_ABSOLUTE | SEMWAIT_MILLISECS | SEMWAIT_RESUME, false },
        { SEMWAIT_RELATIVE | SEMWAIT_MILLISECS | SEMWAIT_NANOSECS | SEMWAIT_RESUME, false },
        { SEMWAIT_RELATIVE | SEMWAIT_MILLISECS, false },
        { SEMWAIT_MILLISECS | SEMWAIT_RESUME, false },
        { SEMWAIT_RELATIVE | SEMWAIT_MILLISECS | SEMWAIT_RESUME | 0x80, false },
        { 0, false },
    };
    for (auto const &c : aCases)
        EXPECT_EQ(SEMWAIT_ARE_FLAGS_VALID(c.f), c.fValid) << std::hex << c.f;
}

TEST(SemEvent, EachSignalReleasesOneWait)
{
    RTSEMEVENT hEvent;
    ASSERT_EQ(RTSemEventMake(&hEvent, 0), INF_SUCCESS);
    EXPECT_EQ(RTSemEventWaitMs(hEvent, 0), ERR_TIMED_OUT);
    EXPECT_EQ(RTSemEventSignal(hEvent), INF_SUCCESS);
    EXPECT_EQ(RTSemEventWaitMs(hEvent, 0), INF_SUCCESS);
    EXPECT_EQ(RTSemEventWaitMs(hEvent, 0), ERR_TIMED_OUT);

    uint64_t const uStart = RTTimeMonoNs();
    EXPECT_EQ(RTSemEventWaitMs(hEvent, 60), ERR_TIMED_OUT);
    EXPECT_GE(MsSince(uStart), 45u);

    /* A deadline on the monotonic clock: one in the past expires at once. */
    EXPECT_EQ(RTSemEventWaitFlags(hEvent, SEMWAIT_ABSOLUTE | SEMWAIT_NANOSECS | SEMWAIT_NORESUME,
                                  RTTimeMonoNs() - 1), ERR_TIMED_OUT);
    uint64_t const uDeadline = RTTimeMonoNs() + 50000000;
    EXPECT_EQ(RTSemEventWaitFlags(hEvent, SEMWAIT_ABSOLUTE | SEMWAIT_NANOSECS | SEMWAIT_RESUME, uDeadline),
              ERR_TIMED_OUT);
    EXPECT_GE(RTTimeMonoNs() + 32000000, uDeadline);  /* the clock may tick coarsely */
    EXPECT_EQ(RTSemEventDrop(hEvent), INF_SUCCESS);
}

TEST(SemEvent, PingPongBetweenThreadsLosesNoSignal)
{
    RTSEMEVENT hPing, hPong;
    ASSERT_EQ(RTSemEventMake(&hPing, RTSEMEVENT_F_NO_VALIDATION), INF_SUCCESS);
    ASSERT_EQ(RTSemEventMake(&hPong, RTSEMEVENT_F_EARLY), INF_SUCCESS);
    constexpr int kRounds = 5000;
    std::thread peer([&]() {
        for (int i = 0; i < kRounds; i++)
        {
            ASSERT_EQ(RTSemEventWaitMs(hPing, 10000), INF_SUCCESS);
            ASSERT_EQ(RTSemEventSignal(hPong), INF_SUCCESS);
        }
    });
    for (int i = 0; i < kRounds; i++)
    {
        ASSERT_EQ(RTSemEventSignal(hPing), INF_SUCCESS);
        ASSERT_EQ(RTSemEventWaitMs(hPong, 10000), INF_SUCCESS) << i;
    }
    peer.join();
    EXPECT_EQ(RTSemEventDrop(hPing), INF_SUCCESS);
    EXPECT_EQ(RTSemEventDrop(hPong), INF_SUCCESS);
}

TEST(SemEventMulti, SetReleasesEveryWaiterUntilCleared)
{
    RTSEMEVENTMULTI hEvent;
    ASSERT_EQ(RTSemEventMultiMake(&hEvent, 0), INF_SUCCESS);
    std::atomic<int> cPassed { 0 };
    std::thread aWaiters[4];
    for (auto &t : aWaiters)
        t = std::thread([&]() {
            if (RTSemEventMultiWaitMs(hEvent, 10000) == INF_SUCCESS)
                cPassed++;
        });
    Sleep(30);
    EXPECT_EQ(cPassed.load(), 0);
    EXPECT_EQ(RTSemEventMultiSet(hEvent), INF_SUCCESS);
    for (auto &t : aWaiters)
        t.join();
    EXPECT_EQ(cPassed.load(), 4);
    EXPECT_EQ(RTSemEventMultiWaitMs(hEvent, 0), INF_SUCCESS);
    EXPECT_EQ(RTSemEventMultiWaitMs(hEvent, 0), INF_SUCCESS);
    EXPECT_EQ(RTSemEventMultiClear(hEvent), INF_SUCCESS);
    EXPECT_EQ(RTSemEventMultiWaitMs(hEvent, 0), ERR_TIMED_OUT);
    EXPECT_EQ(RTSemEventMultiWaitMsNoResume(hEvent, 20), ERR_TIMED_OUT);
    EXPECT_EQ(RTSemEventMultiDrop(hEvent), INF_SUCCESS);
}

TEST(SemEventMulti, InterruptedWaitReturnsOrResumes)
{
    RTSEMEVENTMULTI hEvent;
    ASSERT_EQ(RTSemEventMultiMake(&hEvent, 0), INF_SUCCESS);

    /* Without resuming, a user APC ends the wait. */
    RTSTATUS rcNoResume = INF_SUCCESS;
    {
        ApcTarget waiter([&]() { rcNoResume = RTSemEventMultiWaitMsNoResume(hEvent, RTSEM_INDEFINITE_WAIT); });
        waiter.Interrupt(50);
    }
    EXPECT_EQ(rcNoResume, ERR_CALL_INTERRUPTED);

    /* Resuming forever: the APC is absorbed and only the set ends the wait. */
    RTSTATUS rcForever = ERR_INTERNAL_FAULT;
    std::atomic<bool> fReturned { false };
    {
        ApcTarget waiter([&]() { rcForever = RTSemEventMultiWaitMs(hEvent, RTSEM_INDEFINITE_WAIT); fReturned = true; });
        waiter.Interrupt(50);
        Sleep(50);
        EXPECT_FALSE(fReturned.load());
        EXPECT_EQ(RTSemEventMultiSet(hEvent), INF_SUCCESS);
    }
    EXPECT_EQ(rcForever, INF_SUCCESS);
    EXPECT_EQ(RTSemEventMultiClear(hEvent), INF_SUCCESS);

    /* Resuming with a timeout: the wait goes on with the time left, not the whole time. */
    RTSTATUS rcTimed = INF_SUCCESS;
    uint64_t cMsWaited = 0;
    {
        ApcTarget waiter([&]() {
            uint64_t const uStart = RTTimeMonoNs();
            rcTimed = RTSemEventMultiWaitMs(hEvent, 300);
            cMsWaited = MsSince(uStart);
        });
        waiter.Interrupt(150);
    }
    EXPECT_EQ(rcTimed, ERR_TIMED_OUT);
    EXPECT_GE(cMsWaited, 280u);
    EXPECT_LT(cMsWaited, 430u);
    EXPECT_EQ(RTSemEventMultiDrop(hEvent), INF_SUCCESS);
}

TEST(SemEvent, DropWakesWaitersWithDestroyed)
{
    RTSEMEVENT hEvent;
    RTSEMEVENTMULTI hMulti;
    ASSERT_EQ(RTSemEventMake(&hEvent, 0), INF_SUCCESS);
    ASSERT_EQ(RTSemEventMultiMake(&hMulti, 0), INF_SUCCESS);
    RTSTATUS rcEvent = INF_SUCCESS, rcMulti = INF_SUCCESS;
    std::thread t1([&]() { rcEvent = RTSemEventWaitMs(hEvent, 10000); });
    std::thread t2([&]() { rcMulti = RTSemEventMultiWaitMs(hMulti, 10000); });
    /* Drop only once both waiters hold their reference: a waiter that arrives after the drop
     * is refused outright, which is another case (on a loaded machine a fixed pause is not
     * enough for the threads to get there). */
    for (void *pv : { static_cast<void *>(hEvent), static_cast<void *>(hMulti) })
        for (int i = 0; i < 10000 && __atomic_load_n(&static_cast<RTSEMNTEVENT *>(pv)->cRefs, __ATOMIC_SEQ_CST) < 2; i++)
            Sleep(1);
    EXPECT_EQ(RTSemEventDrop(hEvent), INF_SUCCESS);
    EXPECT_EQ(RTSemEventMultiDrop(hMulti), INF_SUCCESS);
    t1.join();
    t2.join();
    EXPECT_EQ(rcEvent, ERR_SEM_DESTROYED);
    EXPECT_EQ(rcMulti, ERR_SEM_DESTROYED);
}

TEST(SemEvent, BadArgumentsGetTheirStatuses)
{
    RTSEMEVENT hEvent = reinterpret_cast<RTSEMEVENT>(g_auNotAnEvent);
    RTSEMEVENTMULTI hMulti = reinterpret_cast<RTSEMEVENTMULTI>(g_auNotAnEvent);
    RTSEMEVENT hOut = hEvent;
    RTSEMEVENTMULTI hOutMulti = hMulti;
    uint32_t const fWait = SEMWAIT_INDEFINITE | SEMWAIT_RESUME;

    EXPECT_EQ(RTSemEventMake(&hOut, 0x2), ERR_BAD_ARGUMENT);
    EXPECT_EQ(hOut, nullptr);
    EXPECT_EQ(RTSemEventMake(nullptr, 0), ERR_BAD_POINTER);
    EXPECT_EQ(RTSemEventSignal(nullptr), ERR_BAD_HANDLE);
    EXPECT_EQ(RTSemEventSignal(hEvent), ERR_BAD_HANDLE);
    EXPECT_EQ(RTSemEventWaitFlags(nullptr, fWait, 0), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTSemEventWaitFlags(hEvent, fWait, 0), ERR_BAD_HANDLE);
    EXPECT_EQ(RTSemEventDrop(nullptr), INF_SUCCESS);
    EXPECT_EQ(RTSemEventDrop(hEvent), ERR_BAD_HANDLE);

    EXPECT_EQ(RTSemEventMultiMake(&hOutMulti, 0x2), ERR_BAD_ARGUMENT);
    EXPECT_EQ(hOutMulti, nullptr);
    EXPECT_EQ(RTSemEventMultiSet(hMulti), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTSemEventMultiClear(nullptr), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTSemEventMultiWaitFlags(nullptr, fWait, 0), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTSemEventMultiWaitFlags(hMulti, fWait, 0), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTSemEventMultiDrop(nullptr), INF_SUCCESS);
    EXPECT_EQ(RTSemEventMultiDrop(hMulti), ERR_BAD_ARGUMENT);

    /* Bad wait flags on live events; and a live event is not taken for the other kind. */
    ASSERT_EQ(RTSemEventMake(&hOut, 0), INF_SUCCESS);
    ASSERT_EQ(RTSemEventMultiMake(&hOutMulti, 0), INF_SUCCESS);
    EXPECT_EQ(RTSemEventWaitFlags(hOut, SEMWAIT_INDEFINITE, 0), ERR_BAD_FLAGS);
    EXPECT_EQ(RTSemEventWaitFlags(hOut, 0x80 | fWait, 0), ERR_BAD_FLAGS);
    EXPECT_EQ(RTSemEventMultiWaitFlags(hOutMulti, SEMWAIT_RELATIVE | SEMWAIT_RESUME, 0), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTSemEventMultiSet(reinterpret_cast<RTSEMEVENTMULTI>(hOut)), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTSemEventSignal(reinterpret_cast<RTSEMEVENT>(hOutMulti)), ERR_BAD_HANDLE);
    EXPECT_EQ(RTSemEventDrop(hOut), INF_SUCCESS);
    EXPECT_EQ(RTSemEventMultiDrop(hOutMulti), INF_SUCCESS);

    /* Out of memory. */
    g_pfnRTMemAllocHook = [](size_t) { return false; };
    EXPECT_EQ(RTSemEventMake(&hOut, 0), ERR_OUT_OF_MEMORY);
    EXPECT_EQ(RTSemEventMultiMake(&hOutMulti, 0), ERR_OUT_OF_MEMORY);
    g_pfnRTMemAllocHook = nullptr;
    EXPECT_EQ(hOut, nullptr);
    EXPECT_EQ(hOutMulti, nullptr);
}
