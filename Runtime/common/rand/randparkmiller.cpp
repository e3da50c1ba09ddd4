/* The Park-Miller minimal standard generator: state' = state * 16807 mod (2^31 - 1). Each
 * step gives 31 bits at best, so draws over wide ranges take extra bits from a kept spare
 * step. The saved state is a fixed-width text. */
#include "internal/rand.h"
#include "rt/format.h"
#include "rt/mem.h"
#include "rt/strconv.h"

static constexpr uint32_t RTRANDPM_MODULUS    = 0x7FFFFFFF;      /* 2^31 - 1 */
static constexpr uint32_t RTRANDPM_MULTIPLIER = 16807;
/** Replaces a zero state, which the step could never leave; also the creation state. */
static constexpr uint32_t RTRANDPM_ZERO_STATE  = 20080806;
static constexpr uint32_t RTRANDPM_INIT_STATE  = 0x20080806;
/** A whole step holds 30 usable spare bits (it is below 2^31 - 1 and above 0). */
static constexpr uint32_t RTRANDPM_SPARE_BITS  = 30;
/** The largest span that one step covers: results lie in 1 .. 2^31 - 2. */
static constexpr uint32_t RTRANDPM_STEP_SPAN   = 0x7FFFFFFE;
/** Spans below this take the shifted step modulo the range. */
static constexpr uint32_t RTRANDPM_SMALL_SPAN  = 0x7FFFFFF;

/** The state and the spare bits in upper-case digits, the count in lower-case. The typed
 *  %RX32 prints lower-case digits, so the plain %X (an unsigned int is 32 bits here) does
 *  the upper-case fields. */
static const char g_szStateFormat[] = "PM:%08X,%08X,%02x;";
static_assert(sizeof(unsigned) == sizeof(uint32_t), "the state's fields print as unsigned int");
static_assert(sizeof("PM:20080806,00000000,00;") - 1 == RTRAND_PM_STATE_LEN, "the saved state has a fixed width");

static uint32_t rtRandPmStep(RTRANDGENINT *pThis)
{
    uint32_t u32State = pThis->u32State;
    if (!u32State)
        u32State = RTRANDPM_ZERO_STATE;
    u32State = static_cast<uint32_t>(static_cast<uint64_t>(u32State) * RTRANDPM_MULTIPLIER % RTRANDPM_MODULUS);
    pThis->u32State = u32State;
    return u32State;
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
    if (uSpan == UINT32_MAX)
    {
        uint32_t const r = rtRandPmStep(pThis);
        return (rtRandPmTakeSpare(pThis, 2) << 30) | (r >> 1);
    }
    if (uSpan == RTRANDPM_STEP_SPAN)
        return uFirst + rtRandPmStep(pThis);
    if (uSpan < RTRANDPM_SMALL_SPAN)
        return uFirst + (rtRandPmStep(pThis) >> 1) % (uSpan + 1);
    uint32_t const r = rtRandPmStep(pThis);
    uint64_t const u36 = (static_cast<uint64_t>(rtRandPmTakeSpare(pThis, 6)) << 30) | (r >> 1);
    return uFirst + static_cast<uint32_t>(u36 % (static_cast<uint64_t>(uSpan) + 1));
}

static uint64_t rtRandPmGetU64(RTRANDGENINT *pThis, uint64_t uFirst, uint64_t uLast)
{
    uint64_t const uHi = rtRandPmGetU32(pThis, 0, UINT32_MAX);
    uint64_t const uValue = (uHi << 32) | rtRandPmGetU32(pThis, 0, UINT32_MAX);
    uint64_t const uSpan = uLast - uFirst;
    return uSpan == UINT64_MAX ? uValue : uFirst + uValue % (uSpan + 1);
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

static RTSTATUS rtRandPmSaveState(RTRANDGENINT *pThis, char *pszState, size_t *pcbState)
{
    if (*pcbState <= RTRAND_PM_STATE_LEN)
    {
        *pcbState = RTRAND_PM_STATE_LEN + 1;
        return ERR_BUFFER_TOO_SMALL;
    }
    RTStrPrintBuf(pszState, *pcbState, g_szStateFormat, static_cast<unsigned>(pThis->u32State),
                  static_cast<unsigned>(pThis->u32Bits), static_cast<unsigned>(pThis->cBits));
    return INF_SUCCESS;
}

/** Reads the @p cDigits hexadecimal digits at @p psz, which must be followed by @p chEnd;
 *  false for anything else. */
static bool rtRandPmParseField(const char *psz, size_t cDigits, char chEnd, uint32_t *pu)
{
    for (size_t i = 0; i < cDigits; i++)
    {
        char const ch = psz[i];
        if (!(   (ch >= '0' && ch <= '9')
              || (ch >= 'a' && ch <= 'f')
              || (ch >= 'A' && ch <= 'F')))
            return false;
    }
    if (psz[cDigits] != chEnd)
        return false;
    char *pszNext = nullptr;
    return RTStrParseU32(psz, &pszNext, 16, pu) == WRN_TRAILING_CHARS && pszNext == psz + cDigits;
}

static RTSTATUS rtRandPmRestoreState(RTRANDGENINT *pThis, const char *pszState)
{
    /* "PM:" 8 digits "," 8 digits "," 2 digits ";" and the end. */
    uint32_t u32State, u32Bits, cBits;
    if (   pszState[0] != 'P' || pszState[1] != 'M' || pszState[2] != ':'
        || !rtRandPmParseField(&pszState[3], 8, ',', &u32State)
        || !rtRandPmParseField(&pszState[12], 8, ',', &u32Bits)
        || !rtRandPmParseField(&pszState[21], 2, ';', &cBits)
        || pszState[RTRAND_PM_STATE_LEN] != '\0')
        return ERR_STATE_STRING_MALFORMED;
    pThis->u32State = u32State;
    pThis->u32Bits = u32Bits;
    pThis->cBits = cBits;
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

static void rtRandPmInit(RTRANDGENINT *pThis, RTSTATUS (*pfnDestroy)(RTRANDGENINT *))
{
    pThis->pfnGetBytes = rtRandPmGetBytes;
    pThis->pfnGetU32 = rtRandPmGetU32;
    pThis->pfnGetU64 = rtRandPmGetU64;
    pThis->pfnSeed = rtRandPmSeed;
    pThis->pfnSaveState = rtRandPmSaveState;
    pThis->pfnRestoreState = rtRandPmRestoreState;
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
