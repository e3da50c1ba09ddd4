/* Saving and restoring the Park-Miller generator's state as a fixed-width text. Apart from
 * the generator, so that a program that never does either (and says so through
 * g_pRTRandPmStateOps) links none of it. */
#include "internal/rand.h"
#include "rt/format.h"
#include "rt/strconv.h"

namespace {

/** The state and the spare bits in upper-case digits, the count in lower-case. The typed
 *  %RX32 prints lower-case digits, so the plain %X (an unsigned int is 32 bits here) does
 *  the upper-case fields. */
constexpr char g_szStateFormat[] = "PM:%08X,%08X,%02x;";
static_assert(sizeof(unsigned) == sizeof(uint32_t), "the state's fields print as unsigned int");
static_assert(sizeof("PM:20080806,00000000,00;") - 1 == RTRAND_PM_STATE_LEN, "the saved state has a fixed width");

} /* namespace */

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

extern const RTRANDPMSTATEOPS g_RTRandPmStateText = { rtRandPmSaveState, rtRandPmRestoreState };
