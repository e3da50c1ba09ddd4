/* The at-exit registry. The registry is process-wide and its blocks stay allocated once
 * made, so the tests that need missing blocks come first in this file. */
#include <gtest/gtest.h>
#include "internal/startup.h"
#include "rt/mem.h"
#include <atomic>
#include <thread>
#include <vector>

namespace {

std::vector<uint32_t> g_aRunOrder;

/** Records which entry it was called as: the counter names it during the walk. */
void RecordEntry(void)
{
    g_aRunOrder.push_back(uint32_t(g_cAtExitEntries));
}

TEST(AtExit, FailedBlockAllocationRefusesAndIsSkipped)
{
    static unsigned s_cAllocs;
    s_cAllocs = 0;
    g_pfnRTMemAllocHook = [](size_t) { s_cAllocs++; return false; };
    EXPECT_EQ(rtAtExitRegister(RecordEntry), -1);
    g_pfnRTMemAllocHook = nullptr;
    ASSERT_EQ(s_cAllocs, 1u) << "the first block must not exist yet: run this test first";
    /* The slot stays counted but empty; the walk skips the missing block. */
    EXPECT_EQ(g_cAtExitEntries, 1u);
    g_aRunOrder.clear();
    rtAtExitRun();
    EXPECT_TRUE(g_aRunOrder.empty());
    EXPECT_EQ(g_cAtExitEntries, 0u);
}

std::atomic<unsigned> g_cCalls;
void CountCall(void) { g_cCalls++; }

/* Comes before the other tests fill the registry so that threads race to install blocks. */
TEST(AtExit, ConcurrentRegistrationsAllRunOnce)
{
    constexpr unsigned cThreads = 4, cPerThread = 2000;
    std::vector<std::thread> threads;
    std::atomic<unsigned> cFailed{0};
    for (unsigned t = 0; t < cThreads; t++)
        threads.emplace_back([&] {
            for (unsigned i = 0; i < cPerThread; i++)
                if (rtAtExitRegister(CountCall) != 0)
                    cFailed++;
        });
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(cFailed, 0u);
    EXPECT_EQ(g_cAtExitEntries, cThreads * cPerThread);
    g_cCalls = 0;
    rtAtExitRun();
    EXPECT_EQ(g_cCalls, cThreads * cPerThread);
}

TEST(AtExit, FullRegistryRefusesTheNextAndRunsAllNewestFirst)
{
    for (uint32_t i = 0; i < RTATEXIT_MAX_ENTRIES; i++)
        ASSERT_EQ(rtAtExitRegister(RecordEntry), 0) << i;
    EXPECT_EQ(rtAtExitRegister(RecordEntry), -1);
    EXPECT_EQ(g_cAtExitEntries, RTATEXIT_MAX_ENTRIES);

    g_aRunOrder.clear();
    rtAtExitRun();
    ASSERT_EQ(g_aRunOrder.size(), RTATEXIT_MAX_ENTRIES);
    for (uint32_t i = 0; i < RTATEXIT_MAX_ENTRIES; i++)
        ASSERT_EQ(g_aRunOrder[i], RTATEXIT_MAX_ENTRIES - 1 - i);
    EXPECT_EQ(g_cAtExitEntries, 0u);

    /* Everything was cleared: a second run calls nothing, and the registry is usable again. */
    g_aRunOrder.clear();
    rtAtExitRun();
    EXPECT_TRUE(g_aRunOrder.empty());
    EXPECT_EQ(rtAtExitRegister(RecordEntry), 0);
    rtAtExitRun();
    EXPECT_EQ(g_aRunOrder, std::vector<uint32_t>{ 0 });
}

std::vector<const char *> g_aNames;
void Inner(void) { g_aNames.push_back("inner"); }
void Outer(void) { g_aNames.push_back("outer"); rtAtExitRegister(Inner); }
void First(void) { g_aNames.push_back("first"); }

TEST(AtExit, CallbackRegisteredDuringTheRunRunsNext)
{
    g_aNames.clear();
    ASSERT_EQ(rtAtExitRegister(First), 0);
    ASSERT_EQ(rtAtExitRegister(Outer), 0);
    rtAtExitRun();
    EXPECT_EQ(g_aNames, (std::vector<const char *>{ "outer", "inner", "first" }));
    EXPECT_EQ(g_cAtExitEntries, 0u);
}

} /* namespace */
