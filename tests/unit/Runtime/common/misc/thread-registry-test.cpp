/* The thread registry: adoption of threads, names, references, and the tree that keys the
 * records by native thread id under inserts, replacements and removals in any order. */
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>
#include "rt/mem.h"
#include "internal/thread.h"

namespace {

/** A record as the registry sees it, made without a thread: not adopted, so replacing it
 *  does not drop a reference the test still holds. */
RTTHREADINT *MakeRecord()
{
    RTTHREADINT *p = static_cast<RTTHREADINT *>(RTMemAllocZ(sizeof(RTTHREADINT)));
    p->u32Magic = RTTHREADINT_MAGIC;
    p->cRefs = 1;
    p->enmState = THREAD_STATE_RUN;
    return p;
}

} /* namespace */

TEST(ThreadRegistry, TreeFindsEveryRecordThroughInsertsAndRemovals)
{
    rtThreadLockRW();               /* sets the registry up if no one has */
    rtThreadUnLockRW();

    std::mt19937 rng(1234);
    std::vector<uint32_t> aIds;
    for (uint32_t i = 0; i < 600; i++)
        aIds.push_back(0x40000000u + i * 7);
    std::shuffle(aIds.begin(), aIds.end(), rng);

    std::vector<RTTHREADINT *> apRecs;
    for (uint32_t id : aIds)
    {
        apRecs.push_back(MakeRecord());
        rtThreadInsert(apRecs.back(), id);
        ASSERT_TRUE(apRecs.back()->fIntFlags & THREAD_IFLAG_IN_TREE);
    }

    /* Ascending and descending runs make every kind of rotation. */
    std::vector<RTTHREADINT *> apRuns;
    for (uint32_t i = 0; i < 200; i++)
    {
        apRuns.push_back(MakeRecord());
        rtThreadInsert(apRuns.back(), i < 100 ? 0x10000000u + i : 0x20000000u - i);
    }

    rtThreadLockRW();
    for (size_t i = 0; i < aIds.size(); i++)
        ASSERT_EQ(rtThreadTreeGet(aIds[i]), apRecs[i]) << i;
    EXPECT_EQ(rtThreadTreeGet(0x40000001u), nullptr);
    rtThreadUnLockRW();

    /* Remove every other record, in random order; the rest stay findable. */
    std::vector<size_t> aOrder(aIds.size());
    for (size_t i = 0; i < aOrder.size(); i++)
        aOrder[i] = i;
    std::shuffle(aOrder.begin(), aOrder.end(), rng);
    for (size_t i : aOrder)
        if (i % 2)
        {
            rtThreadRemove(apRecs[i]);
            EXPECT_FALSE(apRecs[i]->fIntFlags & THREAD_IFLAG_IN_TREE);
        }
    rtThreadLockRW();
    for (size_t i = 0; i < aIds.size(); i++)
        ASSERT_EQ(rtThreadTreeGet(aIds[i]), i % 2 ? nullptr : apRecs[i]) << i;
    /* Every node in the tree keeps the height and balance of an AVL tree. */
    unsigned cMaxHeight = 0;
    for (const auto *paRecs : { &apRecs, &apRuns })
        for (RTTHREADINT *p : *paRecs)
        {
            if (!(p->fIntFlags & THREAD_IFLAG_IN_TREE))
                continue;
            int const cLeft = p->pLeft ? p->pLeft->cHeight : 0;
            int const cRight = p->pRight ? p->pRight->cHeight : 0;
            ASSERT_EQ(p->cHeight, std::max(cLeft, cRight) + 1);
            ASSERT_LE(std::abs(cLeft - cRight), 1);
            if (p->pLeft)
                ASSERT_LT(p->pLeft->uKey, p->uKey);
            if (p->pRight)
                ASSERT_GT(p->pRight->uKey, p->uKey);
            cMaxHeight = std::max<unsigned>(cMaxHeight, p->cHeight);
        }
    EXPECT_LE(cMaxHeight, 13u) << "500 records or so";
    rtThreadUnLockRW();

    /* A second insert of the same record changes nothing; a record found under the id of a
     * new one is replaced by it. */
    rtThreadInsert(apRecs[0], aIds[0]);
    RTTHREADINT *pNew = MakeRecord();
    rtThreadInsert(pNew, aIds[0]);
    EXPECT_FALSE(apRecs[0]->fIntFlags & THREAD_IFLAG_IN_TREE);
    EXPECT_TRUE(pNew->fIntFlags & THREAD_IFLAG_IN_TREE);
    rtThreadLockRW();
    EXPECT_EQ(rtThreadTreeGet(aIds[0]), pNew);
    rtThreadUnLockRW();

    /* A dead record is not inserted. */
    RTTHREADINT *pDead = MakeRecord();
    pDead->enmState = THREAD_STATE_DEAD;
    rtThreadInsert(pDead, 0x7FFFFFFF);
    EXPECT_FALSE(pDead->fIntFlags & THREAD_IFLAG_IN_TREE);

    for (auto *p : apRecs)
        rtThreadRemove(p);
    for (auto *p : apRuns)
        rtThreadRemove(p);
    rtThreadRemove(pNew);
    rtThreadLockRW();
    EXPECT_EQ(rtThreadTreeGet(aIds[2]), nullptr);
    rtThreadUnLockRW();
    for (auto *p : apRecs)
        RTMemFree(p);
    for (auto *p : apRuns)
        RTMemFree(p);
    RTMemFree(pNew);
    RTMemFree(pDead);
}

TEST(ThreadRegistry, AdoptionNamesAndReplacesOnTheSameThread)
{
    std::thread([] {
        EXPECT_EQ(RTThreadCurrentRecord(), nullptr);
        EXPECT_EQ(RTThreadCurrentName(), nullptr);

        ASSERT_EQ(RTThreadAdoptCurrent(2, 0x3, 0, "a-name-of-20-chars!!"), INF_SUCCESS);
        RTTHREADINT *const pFirst = RTThreadCurrentRecord();
        ASSERT_NE(pFirst, nullptr);
        EXPECT_STREQ(RTThreadCurrentName(), "a-name-of-20-ch");
        EXPECT_EQ(pFirst->fUserFlags, 0x2u) << "bit 0 is cleared";
        EXPECT_EQ(pFirst->fIntFlags, THREAD_IFLAG_ADOPTED | THREAD_IFLAG_IN_TREE);
        EXPECT_EQ(pFirst->enmState, THREAD_STATE_RUN);
        EXPECT_EQ(pFirst->cRefs, 1u);

        /* A reference keeps the first record alive to look at after it is replaced. */
        ASSERT_EQ(rtThreadRefAdd(pFirst), pFirst);
        ASSERT_EQ(RTThreadAdoptCurrent(2, 0, 0, "second"), INF_SUCCESS);
        RTTHREADINT *const pSecond = RTThreadCurrentRecord();
        EXPECT_NE(pSecond, pFirst);
        EXPECT_STREQ(RTThreadCurrentName(), "second");
        EXPECT_EQ(pFirst->cRefs, 1u) << "the registry's reference was dropped";
        EXPECT_FALSE(pFirst->fIntFlags & THREAD_IFLAG_IN_TREE);
        rtThreadLockRW();
        EXPECT_EQ(rtThreadTreeGet(GetCurrentThreadId()), pSecond);
        rtThreadUnLockRW();

        /* The last reference destroys the record; later calls see it unusable. */
        EXPECT_EQ(rtThreadRefDrop(pFirst), 0u);
        EXPECT_EQ(RTThreadCurrentRecord(), pSecond) << "the slot holds the newer record";

        rtThreadRemove(pSecond);
        EXPECT_EQ(rtThreadRefDrop(pSecond), 0u);
        EXPECT_EQ(RTThreadCurrentRecord(), nullptr) << "destruction cleared the slot";
        EXPECT_EQ(RTThreadCurrentName(), nullptr);
    }).join();
}

TEST(ThreadRegistry, ReferencesRefuseUnusableRecords)
{
    EXPECT_EQ(rtThreadRefAdd(nullptr), nullptr);
    EXPECT_EQ(rtThreadRefAdd(reinterpret_cast<RTTHREADINT *>(0x800)), nullptr);
    EXPECT_EQ(rtThreadRefDrop(nullptr), 0u);
    RTTHREADINT *p = MakeRecord();
    p->cRefs = 0;
    EXPECT_EQ(rtThreadRefAdd(p), nullptr) << "a record at 0 references is never revived";
    EXPECT_EQ(rtThreadRefDrop(p), 0u);
    p->u32Magic = RTTHREADINT_MAGIC_DEAD;
    p->cRefs = 1;
    EXPECT_EQ(rtThreadRefAdd(p), nullptr);
    RTMemFree(p);
}

TEST(ThreadRegistry, ManyThreadsAdoptAtOnce)
{
    /* Every thread registers, finds itself by name and by id while the others change the
       tree, and leaves; the registry lock keeps the tree whole throughout. */
    constexpr int kThreads = 48;
    std::vector<std::thread> threads;
    std::vector<int> aFailures(kThreads, 0);
    for (int i = 0; i < kThreads; i++)
        threads.emplace_back([i, &aFailures] {
            std::string const name = "worker-" + std::to_string(i);
            if (RTThreadAdoptCurrent(2, 0, 0, name.c_str()) != INF_SUCCESS)
            {
                aFailures[i]++;
                return;
            }
            RTTHREADINT *const pSelf = RTThreadCurrentRecord();
            for (int iRound = 0; iRound < 50; iRound++)
            {
                if (RTThreadCurrentName() != name)
                    aFailures[i]++;
                rtThreadLockRW();
                if (rtThreadTreeGet(GetCurrentThreadId()) != pSelf)
                    aFailures[i]++;
                rtThreadUnLockRW();
                Sleep(0);
            }
            rtThreadRemove(pSelf);
            rtThreadRefDrop(pSelf);
        });
    for (auto &t : threads)
        t.join();
    for (int i = 0; i < kThreads; i++)
        EXPECT_EQ(aFailures[i], 0) << i;
}
