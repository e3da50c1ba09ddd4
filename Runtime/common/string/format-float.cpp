/* RTFmtFloat: the exact rendering of a double's fields that the engine prints for every
 * floating-point directive. No decimal conversion, so no rounding and no tables. */
#include "rt/format.h"
#include "internal/format-number.h"

namespace {

constexpr uint64_t RTFLOAT_MANTISSA_MASK = (UINT64_C(1) << 52) - 1;
constexpr uint64_t RTFLOAT_QUIET_BIT     = UINT64_C(1) << 51;
constexpr unsigned RTFLOAT_EXP_MAX       = 0x7ff;
constexpr int      RTFLOAT_EXP_BIAS      = 1023;

inline char *rtFmtFloatPut(char *pch, const char *psz)
{
    while (*psz)
        *pch++ = *psz++;
    return pch;
}

/** "0x" and the 52-bit mantissa as 13 lower-case hexadecimal digits. */
char *rtFmtFloatMantissa(char *pch, uint64_t uMantissa)
{
    *pch++ = '0';
    *pch++ = 'x';
    for (int iShift = 48; iShift >= 0; iShift -= 4)
        *pch++ = "0123456789abcdef"[(uMantissa >> iShift) & 0xf];
    return pch;
}

} /* namespace */

int RTFmtFloat(char *pszBuf, size_t cbBuf, const double *pr64Value, int cchWidth,
               int cchPrecision, uint32_t fFlags)
{
    if (cbBuf && !RT_VALID_PTR(pszBuf))
        return ERR_BAD_POINTER;
    if (!RT_VALID_PTR(pr64Value))
    {
        if (cbBuf)
            *pszBuf = '\0';
        return ERR_BAD_POINTER;
    }

    uint64_t uBits;
    __builtin_memcpy(&uBits, pr64Value, sizeof(uBits));
    unsigned const uExp = static_cast<unsigned>(uBits >> 52) & RTFLOAT_EXP_MAX;
    uint64_t const uMantissa = uBits & RTFLOAT_MANTISSA_MASK;
    bool const fVerbose = (fFlags & RTFMTFLOAT_VERBOSE) != 0;

    char achText[64];
    char *pch = achText;
    *pch++ = (uBits >> 63) ? '-' : '+';
    if (uExp == 0 && uMantissa == 0)
        *pch++ = '0';
    else if (uExp == RTFLOAT_EXP_MAX && uMantissa == 0)
        pch = rtFmtFloatPut(pch, "Inf");
    else if (uExp == RTFLOAT_EXP_MAX)
    {
        pch = rtFmtFloatPut(pch, (uMantissa & RTFLOAT_QUIET_BIT) ? "QNan" : "SNan");
        if (fVerbose)
        {
            *pch++ = '[';
            pch = rtFmtFloatMantissa(pch, uMantissa);
            *pch++ = ']';
        }
    }
    else if (uExp == 0)
    {
        pch = rtFmtFloatPut(pch, "0m");
        pch = rtFmtFloatMantissa(pch, uMantissa);
        if (fVerbose)
            pch = rtFmtFloatPut(pch, "[SubN]");
    }
    else
    {
        pch = rtFmtFloatPut(pch, "1m");
        pch = rtFmtFloatMantissa(pch, uMantissa);
        *pch++ = '^';
        int iExp = static_cast<int>(uExp) - RTFLOAT_EXP_BIAS;
        if (iExp < 0)
        {
            *pch++ = '-';
            iExp = -iExp;
        }
        char achExp[4];
        int cchExp = 0;
        do
        {
            achExp[cchExp++] = static_cast<char>('0' + iExp % 10);
            iExp /= 10;
        } while (iExp);
        while (cchExp)
            *pch++ = achExp[--cchExp];
    }
    return rtFmtCopyBounded(pszBuf, cbBuf, achText, static_cast<int>(pch - achText));
}
