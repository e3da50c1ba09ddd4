/* The Park-Miller minimal standard generator: state' = state * 16807 mod (2^31 - 1). Each
 * step gives 31 bits at best, so draws over wide ranges take extra bits from a kept spare
 * step. Its saved state (a fixed-width text) lives apart, in randparkmiller-state.cpp. */
#include "internal/rand.h"
#include "rt/mem.h"

namespace {

constexpr uint32_t RTRANDPM_MODULUS    = 0x7FFFFFFF;      /* 2^31 - 1 */
static_assert(RTRANDPM_MODULUS == (UINT32_C(1) << 31) - 1, "the step folds the product at bit 31");
constexpr uint32_t RTRANDPM_MULTIPLIER = 16807;
/** Replaces a zero state, which the step could never leave; also the creation state. */
constexpr uint32_t RTRANDPM_ZERO_STATE  = 20080806;
constexpr uint32_t RTRANDPM_INIT_STATE  = 0x20080806;
/** A whole step holds 30 usable spare bits (it is below 2^31 - 1 and above 0). */
constexpr uint32_t RTRANDPM_SPARE_BITS  = 30;
/** The largest span that one step covers: results lie in 1 .. 2^31 - 2. */
constexpr uint32_t RTRANDPM_STEP_SPAN   = 0x7FFFFFFE;
/** Spans below this take the shifted step modulo the range. */
constexpr uint32_t RTRANDPM_SMALL_SPAN  = 0x7FFFFFF;

} /* namespace */

static uint32_t rtRandPmStep(RTRANDGENINT *pThis)
{
    uint32_t u32State = pThis->u32State;
    if (!u32State)
        u32State = RTRANDPM_ZERO_STATE;
    /* Modulo 2^31 - 1 without a division: 2^31 is 1 modulo 2^31 - 1, so the product's bits
     * above 31 add to its low 31 bits. The product is below 2^47, so the sum is below
     * 2 * (2^31 - 1) and one subtraction finishes it. */
    uint64_t const u64Product = static_cast<uint64_t>(u32State) * RTRANDPM_MULTIPLIER;
    u32State = static_cast<uint32_t>(u64Product & RTRANDPM_MODULUS) + static_cast<uint32_t>(u64Product >> 31);
    if (u32State >= RTRANDPM_MODULUS)
        u32State -= RTRANDPM_MODULUS;
    pThis->u32State = u32State;
    return u32State;
}

/** @p uValue modulo @p uDivisor (not 0), one bit at a time: the draws that need a 64-bit
 *  remainder are rare, and this keeps the library's 64-bit division out of the generator. */
RT_NOINLINE static uint64_t rtRandPmModU64(uint64_t uValue, uint64_t uDivisor)
{
    uint64_t uRem = 0;
    for (int iBit = 63; iBit >= 0; iBit--)
    {
        bool const fCarry = (uRem >> 63) != 0;
        uRem = (uRem << 1) | ((uValue >> iBit) & 1);
        if (fCarry || uRem >= uDivisor)
            uRem -= uDivisor;
    }
    return uRem;
}

/** Takes @p cBits spare bits, refilling the spare word from a fresh step when too few are left. */
static uint32_t rtRandPmTakeSpare(RTRANDGENINT *pThis, unsigned cBits)
{
    if (pThis->cBits < cBits)
    {
        pThis->u32Bits = rtRandPmStep(pThis);
        pThis->cBits = RTRANDPM_SPARE_BITS;
    }
    uint32_t const uBits = pThis->u32Bits & ((UINT32_C(1) << cBits) - 1);
    pThis->u32Bits >>= cBits;
    pThis->cBits -= cBits;
    return uBits;
}

static uint32_t rtRandPmGetU32(RTRANDGENINT *pThis, uint32_t uFirst, uint32_t uLast)
{
    uint32_t const uSpan = uLast - uFirst;
    if (uSpan == RTRANDPM_STEP_SPAN)
        return uFirst + rtRandPmStep(pThis);
    if (uSpan < RTRANDPM_SMALL_SPAN)
        return uFirst + (rtRandPmStep(pThis) >> 1) % (uSpan + 1);
    /* Wider spans put spare bits above a step's upper 30: 2 for the whole range, which is
     * then exactly covered, 6 for the others, whose 36 bits are taken modulo the span. */
    bool const fWhole = uSpan == UINT32_MAX;
    uint32_t const r = rtRandPmStep(pThis);
    uint64_t const uBits = (static_cast<uint64_t>(rtRandPmTakeSpare(pThis, fWhole ? 2 : 6)) << 30) | (r >> 1);
    if (fWhole)
        return static_cast<uint32_t>(uBits);
    return uFirst + static_cast<uint32_t>(rtRandPmModU64(uBits, static_cast<uint64_t>(uSpan) + 1));
}

static uint64_t rtRandPmGetU64(RTRANDGENINT *pThis, uint64_t uFirst, uint64_t uLast)
{
    uint64_t const uHi = rtRandPmGetU32(pThis, 0, UINT32_MAX);
    uint64_t const uValue = (uHi << 32) | rtRandPmGetU32(pThis, 0, UINT32_MAX);
    uint64_t const uSpan = uLast - uFirst;
    return uSpan == UINT64_MAX ? uValue : uFirst + rtRandPmModU64(uValue, uSpan + 1);
}

static void rtRandPmGetBytes(RTRANDGENINT *pThis, uint8_t *pb, size_t cb)
{
    while (cb > 0)
    {
        uint32_t u = rtRandPmGetU32(pThis, 0, UINT32_MAX);
        size_t const cbChunk = cb < 4 ? cb : 4;
        for (size_t i = 0; i < cbChunk; i++, u >>= 8)
            *pb++ = static_cast<uint8_t>(u);
        cb -= cbChunk;
    }
}

static RTSTATUS rtRandPmSeed(RTRANDGENINT *pThis, uint64_t uSeed)
{
    pThis->u32State = static_cast<uint32_t>(uSeed);
    pThis->u32Bits = 0;
    pThis->cBits = 0;
    return INF_SUCCESS;
}

static RTSTATUS rtRandPmDestroyHeap(RTRANDGENINT *pThis)
{
    pThis->u32Magic = RTRANDGENINT_MAGIC_DEAD;
    RTMemFree(pThis);
    return INF_SUCCESS;
}

static RTSTATUS rtRandPmDestroyStatic(RTRANDGENINT *pThis)
{
    pThis->u32Magic = RTRANDGENINT_MAGIC_DEAD;
    return INF_SUCCESS;
}

/** Out of line: the heap and the static set-up share one copy of the method table's stores. */
RT_NOINLINE static void rtRandPmInit(RTRANDGENINT *pThis, RTSTATUS (*pfnDestroy)(RTRANDGENINT *))
{
    pThis->pfnGetBytes = rtRandPmGetBytes;
    pThis->pfnGetU32 = rtRandPmGetU32;
    pThis->pfnGetU64 = rtRandPmGetU64;
    pThis->pfnSeed = rtRandPmSeed;
    const RTRANDPMSTATEOPS *const pStateOps = g_pRTRandPmStateOps;
    pThis->pfnSaveState = pStateOps ? pStateOps->pfnSave : nullptr;
    pThis->pfnRestoreState = pStateOps ? pStateOps->pfnRestore : nullptr;
    pThis->pfnDestroy = pfnDestroy;
    pThis->u32State = RTRANDPM_INIT_STATE;
    pThis->u32Bits = 0;
    pThis->cBits = 0;
    pThis->u32Magic = RTRANDGENINT_MAGIC;
}

void rtRandParkMillerInitStatic(RTRANDGENINT *pThis)
{
    rtRandPmInit(pThis, rtRandPmDestroyStatic);
}

RTSTATUS RTRandParkMillerCreate(RTRANDGEN *phRand)
{
    *phRand = nullptr;
    RTRANDGENINT *const pThis = static_cast<RTRANDGENINT *>(RTMemAlloc(sizeof(*pThis)));
    if (!pThis)
        return ERR_OUT_OF_MEMORY;
    rtRandPmInit(pThis, rtRandPmDestroyHeap);
    *phRand = pThis;
    return INF_SUCCESS;
}
