/* Looking up the calling thread's record by its native id among 1,000 registered threads:
 * the registry's tree against a linear search of the same records, side by side. */
#include <windows.h>
#include <stdio.h>
#include <algorithm>
#include <random>
#include <vector>
#include "rt/mem.h"
#include "rt/thread.h"
#include "internal/thread.h"
#include "bench-timer.h"

namespace {

constexpr int kThreads = 1000;
constexpr int kCalls = 1000000;
constexpr int kRounds = 5;

} /* namespace */

int main()
{
    /* Thread ids as the platform hands them out: multiples of 4, scattered; the calling
       thread's own among them at a random place. */
    uint32_t const uSelf = RTThreadNativeSelf();
    std::mt19937 rng(42);
    std::vector<uint32_t> aIds;
    while (aIds.size() < kThreads - 1)
    {
        uint32_t const uId = (rng() % 0x100000) * 4;
        if (uId != uSelf && std::find(aIds.begin(), aIds.end(), uId) == aIds.end())
            aIds.push_back(uId);
    }
    aIds.insert(aIds.begin() + rng() % kThreads, uSelf);

    std::vector<RTTHREADINT *> apRecs;
    for (uint32_t uId : aIds)
    {
        RTTHREADINT *p = static_cast<RTTHREADINT *>(RTMemAllocZ(sizeof(RTTHREADINT)));
        p->u32Magic = RTTHREADINT_MAGIC;
        p->cRefs = 1;
        p->enmState = THREAD_STATE_RUN;
        rtThreadInsert(p, uId);
        apRecs.push_back(p);
    }

    rtThreadLockRW();
    double rTree, rLinear;
    BenchBestOfPair(kRounds,
                    BenchLoop(kCalls, [](int) { return reinterpret_cast<uintptr_t>(rtThreadTreeGet(RTThreadNativeSelf())); }),
                    BenchLoop(kCalls, [&](int) {
                        uint32_t const uId = RTThreadNativeSelf();
                        for (RTTHREADINT *p : apRecs)
                            if (p->uKey == uId)
                                return reinterpret_cast<uintptr_t>(p);
                        return uintptr_t(0);
                    }),
                    &rTree, &rLinear);
    rtThreadUnLockRW();
    rTree *= 1e9 / kCalls;
    rLinear *= 1e9 / kCalls;
    printf("calling thread's record among %d: tree %7.2f ns/call   linear search %7.2f ns/call   ratio %.3f\n",
           kThreads, rTree, rLinear, rTree / rLinear);
    return 0;
}
