/* Text to integer conversions: the lenient 64-bit cores, the strict forms and the
 * range-checked narrow widths. */
#include "rt/strconv.h"
#include "internal/strtonum.h"

namespace {

/** What is left after the digits decides the remark: blanks only, or other text. */
RTSTATUS rtStrTrailingRemark(const char *psz, size_t cchLeft)
{
    while (cchLeft && (*psz == ' ' || *psz == '\t'))
        psz++, cchLeft--;
    return !cchLeft || !*psz ? WRN_TRAILING_SPACES : WRN_TRAILING_CHARS;
}

struct RTSTRNUMSCAN
{
    uint64_t    uValue;     /**< magnitude, low 64 bits */
    bool        fNegative;  /**< an odd number of '-' after the last '+' */
    bool        fOverflow;  /**< the magnitude did not fit 64 bits */
    bool        fDigits;    /**< at least one digit was read */
    const char *pszEnd;     /**< after the last digit */
    size_t      cchLeft;    /**< characters the limit still allows at pszEnd */
};

/** Reads signs, the base prefix and the digits; the callers apply the sign rules. */
void rtStrScanNumber(const char *psz, uint32_t uBaseAndMax, RTSTRNUMSCAN *pScan)
{
    size_t cchLeft = uBaseAndMax >> 8;
    if (!cchLeft)
        cchLeft = ~static_cast<size_t>(0);
    unsigned uBase = uBaseAndMax & 0xFF;

    bool fNegative = false;
    while (cchLeft && (*psz == '+' || *psz == '-'))
    {
        fNegative = *psz == '-' ? !fNegative : false;
        psz++, cchLeft--;
    }

    bool const fDetect = uBase < 2 || uBase >= 36;
    bool const fHexPrefix = cchLeft >= 3 && psz[0] == '0' && (psz[1] == 'x' || psz[1] == 'X')
                         && rtStrDigitValue(psz[2]) < 16;
    if (fDetect)
    {
        if (fHexPrefix)
            uBase = 16;
        else if (cchLeft >= 2 && psz[0] == '0' && rtStrDigitValue(psz[1]) < 8)
            uBase = 8;
        else
            uBase = 10;
    }
    if (uBase == 16 && fHexPrefix)
        psz += 2, cchLeft -= 2;

    uint64_t uValue = 0;
    bool fOverflow = false;
    const char *pszDigits = psz;
    for (unsigned uDigit; cchLeft && (uDigit = rtStrDigitValue(*psz)) < uBase; psz++, cchLeft--)
    {
        /* value * base + digit by 32-bit halves (the base is below 64), so that the carry
           out of the top half shows an overflow; the low 64 bits are kept either way. */
        uint64_t const uLow = static_cast<uint64_t>(static_cast<uint32_t>(uValue)) * uBase + uDigit;
        uint64_t const uHigh = static_cast<uint64_t>(static_cast<uint32_t>(uValue >> 32)) * uBase + (uLow >> 32);
        if (uHigh >> 32)
            fOverflow = true;
        uValue = (uHigh << 32) | static_cast<uint32_t>(uLow);
    }

    pScan->uValue = uValue;
    pScan->fNegative = fNegative;
    pScan->fOverflow = fOverflow;
    pScan->fDigits = psz != pszDigits;
    pScan->pszEnd = psz;
    pScan->cchLeft = cchLeft;
}

/** The common tail of both cores: no digits, the end pointer, trailing text. */
RTSTATUS rtStrFinishScan(const char *psz, const RTSTRNUMSCAN &Scan, RTSTATUS rc, char **ppszNext)
{
    if (!Scan.fDigits)
    {
        if (ppszNext)
            *ppszNext = const_cast<char *>(psz);
        return ERR_NO_DIGITS_FOUND;
    }
    if (ppszNext)
        *ppszNext = const_cast<char *>(Scan.pszEnd);
    if (rc == INF_SUCCESS && Scan.cchLeft && *Scan.pszEnd)
        rc = rtStrTrailingRemark(Scan.pszEnd, Scan.cchLeft);
    return rc;
}

/** Turns a lenient result into a strict one: the whole text must be the number. */
template <typename T, typename Core>
RTSTATUS rtStrStrict(const char *psz, uint32_t uBaseAndMax, T *pValue, Core pfnCore)
{
    char *pszNext = nullptr;
    RTSTATUS rc = pfnCore(psz, &pszNext, uBaseAndMax, pValue);
    if (RT_FAILURE(rc) || !*pszNext)
        return rc;
    if (rc == WRN_TRAILING_CHARS)
        return ERR_TRAILING_CHARS;
    if (rc == WRN_TRAILING_SPACES)
        return ERR_TRAILING_SPACES;

    /* Stopped before the terminator with a clean or out-of-range value: either the limit
       ended the scan (that is the caller's choice, not trailing text) or text follows. */
    size_t const cchMax = uBaseAndMax >> 8;
    if (cchMax && static_cast<size_t>(pszNext - psz) >= cchMax)
        return rc;
    size_t const cchLeft = cchMax ? cchMax - static_cast<size_t>(pszNext - psz) : ~static_cast<size_t>(0);
    return rtStrTrailingRemark(pszNext, cchLeft) == WRN_TRAILING_SPACES ? ERR_TRAILING_SPACES
                                                                         : ERR_TRAILING_CHARS;
}

/** Narrows a 64-bit result; a value that does not fit turns a success into a warning. */
template <typename TNarrow, typename TWide>
RTSTATUS rtStrNarrow(RTSTATUS rc, TWide Value, TNarrow *pOut)
{
    TNarrow const Narrow = static_cast<TNarrow>(Value);
    if (pOut)
        *pOut = Narrow;
    if (rc >= 0 && static_cast<TWide>(Narrow) != Value)
        rc = WRN_NUMBER_OUT_OF_RANGE;
    return rc;
}

template <typename TNarrow>
RTSTATUS rtStrParseNarrowStrict(const char *psz, uint32_t uBaseAndMax, TNarrow *pOut)
{
    if constexpr (static_cast<TNarrow>(-1) < 0)
    {
        int64_t i64 = 0;
        RTSTATUS rc = rtStrStrict(psz, uBaseAndMax, &i64, RTStrParseI64);
        return rtStrNarrow(rc, i64, pOut);
    }
    else
    {
        uint64_t u64 = 0;
        RTSTATUS rc = rtStrStrict(psz, uBaseAndMax, &u64, RTStrParseU64);
        return rtStrNarrow(rc, u64, pOut);
    }
}

} /* namespace */

RTSTATUS RTStrParseU64(const char *psz, char **ppszNext, uint32_t uBaseAndMax, uint64_t *pu64)
{
    RTSTRNUMSCAN Scan;
    rtStrScanNumber(psz, uBaseAndMax, &Scan);
    RTSTATUS rc = Scan.fOverflow ? WRN_NUMBER_OUT_OF_RANGE : INF_SUCCESS;
    uint64_t uValue = Scan.uValue;
    if (Scan.fNegative)
    {
        uValue = 0 - uValue;
        if (rc == INF_SUCCESS)
            rc = WRN_NEGATIVE_UNSIGNED;
    }
    rc = rtStrFinishScan(psz, Scan, rc, ppszNext);
    if (pu64)
        *pu64 = Scan.fDigits ? uValue : 0;
    return rc;
}

RTSTATUS RTStrParseI64(const char *psz, char **ppszNext, uint32_t uBaseAndMax, int64_t *pi64)
{
    RTSTRNUMSCAN Scan;
    rtStrScanNumber(psz, uBaseAndMax, &Scan);
    RTSTATUS rc = Scan.fOverflow ? WRN_NUMBER_OUT_OF_RANGE : INF_SUCCESS;
    uint64_t const uMin = UINT64_C(1) << 63;
    if ((Scan.uValue & uMin) && !(Scan.fNegative && Scan.uValue == uMin))
        rc = WRN_NUMBER_OUT_OF_RANGE;
    uint64_t const uValue = Scan.fNegative ? 0 - Scan.uValue : Scan.uValue;
    rc = rtStrFinishScan(psz, Scan, rc, ppszNext);
    if (pi64)
        *pi64 = Scan.fDigits ? static_cast<int64_t>(uValue) : 0;
    return rc;
}

RTSTATUS RTStrParseI64Strict(const char *psz, uint32_t uBaseAndMax, int64_t *pi64)
{
    return rtStrStrict(psz, uBaseAndMax, pi64, RTStrParseI64);
}

RTSTATUS RTStrParseU64Strict(const char *psz, uint32_t uBaseAndMax, uint64_t *pu64)
{
    return rtStrStrict(psz, uBaseAndMax, pu64, RTStrParseU64);
}

RTSTATUS RTStrParseI32Strict(const char *psz, uint32_t uBaseAndMax, int32_t *pi32)
{
    return rtStrParseNarrowStrict(psz, uBaseAndMax, pi32);
}

RTSTATUS RTStrParseU32Strict(const char *psz, uint32_t uBaseAndMax, uint32_t *pu32)
{
    return rtStrParseNarrowStrict(psz, uBaseAndMax, pu32);
}

RTSTATUS RTStrParseI16Strict(const char *psz, uint32_t uBaseAndMax, int16_t *pi16)
{
    return rtStrParseNarrowStrict(psz, uBaseAndMax, pi16);
}

RTSTATUS RTStrParseU16Strict(const char *psz, uint32_t uBaseAndMax, uint16_t *pu16)
{
    return rtStrParseNarrowStrict(psz, uBaseAndMax, pu16);
}

RTSTATUS RTStrParseI8Strict(const char *psz, uint32_t uBaseAndMax, int8_t *pi8)
{
    return rtStrParseNarrowStrict(psz, uBaseAndMax, pi8);
}

RTSTATUS RTStrParseU8Strict(const char *psz, uint32_t uBaseAndMax, uint8_t *pu8)
{
    return rtStrParseNarrowStrict(psz, uBaseAndMax, pu8);
}

RTSTATUS RTStrParseU32(const char *psz, char **ppszNext, uint32_t uBaseAndMax, uint32_t *pu32)
{
    uint64_t u64 = 0;
    RTSTATUS rc = RTStrParseU64(psz, ppszNext, uBaseAndMax, &u64);
    return rtStrNarrow(rc, u64, pu32);
}

RTSTATUS RTStrParseU8(const char *psz, char **ppszNext, uint32_t uBaseAndMax, uint8_t *pu8)
{
    uint64_t u64 = 0;
    RTSTATUS rc = RTStrParseU64(psz, ppszNext, uBaseAndMax, &u64);
    return rtStrNarrow(rc, u64, pu8);
}

int32_t RTStrToI32OrZero(const char *psz)
{
    int64_t i64 = 0;
    RTSTATUS rc = RTStrParseI64(psz, nullptr, 10, &i64);
    int32_t i32 = 0;
    rc = rtStrNarrow(rc, i64, &i32);
    return RT_SUCCESS(rc) && rc != WRN_NUMBER_OUT_OF_RANGE ? i32 : 0;
}
