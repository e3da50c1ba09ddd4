/* The process-wide generator behind RTRandRangeU32: made on the first draw, seeded from the
 * time-stamp counter, and left to the end of the process unless the runtime is unloaded.
 * Draws take no lock: concurrent draws only mix their state updates. */
#include "internal/rand.h"
#include "rt/atomic.h"
#include "rt/once.h"
#include <x86intrin.h>

static RTONCEREC     g_RandOnce = RTONCEREC_INITIALISER;
static RTRANDGEN     g_hRand = nullptr;
/** Used when the process-wide generator cannot be made, so that draws stay in range. */
static RTRANDGENINT  g_RandFallback;

namespace {

/** The counter's low bits change too fast to mean more than noise from call to call. */
constexpr unsigned RTRAND_TSC_SEED_SHIFT = 8;

} /* namespace */

/** Seeds a process-wide generator from the time-stamp counter. */
RT_NOINLINE static void rtRandSeedFromTsc(RTRANDGEN hRand)
{
    RTRandGenSeed(hRand, __rdtsc() >> RTRAND_TSC_SEED_SHIFT);
}

static RTSTATUS rtRandCreateProcessGen(void *)
{
    /* No faster system source exists on this platform. */
    RTRANDGEN hRand;
    RTSTATUS const rc = RTRandParkMillerCreate(&hRand);
    if (RT_FAILURE(rc))
        return rc;
    rtRandSeedFromTsc(hRand);
    RTAtomicXchgPtr(&g_hRand, hRand);
    return INF_SUCCESS;
}

static void rtRandDestroyProcessGen(void *, bool fMayLeave)
{
    if (fMayLeave)
        return;
    RTRandGenDestroy(RTAtomicXchgPtr(&g_hRand, static_cast<RTRANDGEN>(nullptr)));
}

static RTRANDGEN rtRandProcessGen(void)
{
    if (RT_SUCCESS(RTOnceRun(&g_RandOnce, rtRandCreateProcessGen, rtRandDestroyProcessGen, nullptr)))
    {
        RTRANDGEN const hRand = RTAtomicReadPtr(&g_hRand);
        if (hRand)
            return hRand;
    }
    if (g_RandFallback.u32Magic != RTRANDGENINT_MAGIC)
    {
        rtRandParkMillerInitStatic(&g_RandFallback);
        rtRandSeedFromTsc(&g_RandFallback);
    }
    return &g_RandFallback;
}

uint32_t RTRandRangeU32(uint32_t uFirst, uint32_t uLast)
{
    return RTRandGenRangeU32(rtRandProcessGen(), uFirst, uLast);
}
