/* Human-readable size directives of the typed-directive family: byte counts (%Rhcb,
 * %RhcB, %Rhci) and plain counts (%Rhub, %RhuB, %Rhui) in binary or decimal units. */
#include "internal/format-rtype.h"

namespace {

struct RTFMTUNIT
{
    char     szName[3];
    uint8_t  cShift;      /**< binary units */
    uint64_t uDivisor;    /**< decimal units */
};

constexpr RTFMTUNIT g_aFmtBinaryUnits[] =
{
    { "Ei", 60, 0 }, { "Pi", 50, 0 }, { "Ti", 40, 0 }, { "Gi", 30, 0 }, { "Mi", 20, 0 }, { "Ki", 10, 0 },
};
constexpr RTFMTUNIT g_aFmtDecimalUnits[] =
{
    { "E", 0, UINT64_C(1000000000000000000) }, { "P", 0, UINT64_C(1000000000000000) },
    { "T", 0, UINT64_C(1000000000000) },       { "G", 0, UINT64_C(1000000000) },
    { "M", 0, UINT64_C(1000000) },             { "k", 0, UINT64_C(1000) },
};

constexpr uint64_t g_auFmtPow10[] = { 1, 10, 100, 1000 };

} /* namespace */

size_t rtFmtRTypeSize(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec)
{
    /* "hc" or "hu", then b, B or i. */
    char const chUnits = pszType[1] == 'c' || pszType[1] == 'u' ? pszType[2] : '\0';
    if (chUnits != 'b' && chUnits != 'B' && chUnits != 'i')
        return 0;
    bool const fBytes   = pszType[1] == 'c';
    bool const fDecimal = chUnits == 'i';
    uint64_t const uValue = va_arg(*pSpec->pArgs, uint64_t);
    unsigned const cDigits = pSpec->cchPrecision < 0 ? 1
                           : pSpec->cchPrecision > 3 ? 3 : static_cast<unsigned>(pSpec->cchPrecision);

    /* The largest unit that fits; without fraction digits it must fit twice over (binary)
       or by a hundredth more (decimal), so that rounding does not hide most of the value. */
    RTFMTUNIT const *paUnits = fDecimal ? g_aFmtDecimalUnits : g_aFmtBinaryUnits;
    RTFMTUNIT const *pUnit = nullptr;
    for (size_t i = 0; i < RT_ELEMENTS(g_aFmtBinaryUnits) && !pUnit; i++)
    {
        RTFMTUNIT const *pCand = &paUnits[i];
        uint64_t const uUnit = fDecimal ? pCand->uDivisor : UINT64_C(1) << pCand->cShift;
        uint64_t const uThreshold = cDigits ? uUnit : fDecimal ? uUnit + uUnit / 100 : uUnit * 2;
        if (uValue >= uThreshold)
            pUnit = pCand;
    }

    if (!pUnit)
        pSink->Dec(uValue);
    else
    {
        uint64_t uInt;
        uint64_t uFrac = 0;
        if (fDecimal)
        {
            uInt = uValue / pUnit->uDivisor;
            if (cDigits)
            {
                /* remainder * 10^d / unit rounded to nearest, without the product: the
                   unit is a power of ten at least as large as 10^d. */
                uint64_t const uStep = pUnit->uDivisor / g_auFmtPow10[cDigits];
                uFrac = (uValue % pUnit->uDivisor + uStep / 2) / uStep;
                if (uFrac == g_auFmtPow10[cDigits])
                {
                    uInt++;
                    uFrac = 0;
                }
            }
        }
        else
        {
            uInt = uValue >> pUnit->cShift;
            /* Digit by digit, truncating; the remainder times ten stays below 2^64. */
            uint64_t const fMask = (UINT64_C(1) << pUnit->cShift) - 1;
            uint64_t uRem = uValue & fMask;
            for (unsigned i = 0; i < cDigits; i++)
            {
                uRem *= 10;
                uFrac = uFrac * 10 + (uRem >> pUnit->cShift);
                uRem &= fMask;
            }
        }
        pSink->Dec(uInt);
        if (cDigits)
        {
            pSink->Char('.');
            pSink->Number(uFrac, 10, static_cast<int>(cDigits), -1, FMT_ZERO_FILL | FMT_64BIT);
        }
    }

    if ((pSpec->fFlags & FMT_SHOW_BLANK) && (pUnit || fBytes))
        pSink->Char(' ');
    if (pUnit)
    {
        pSink->Char(pUnit->szName[0]);
        if (pUnit->szName[1] && chUnits != 'B')
            pSink->Char(pUnit->szName[1]);
    }
    if (fBytes)
        pSink->Char('B');
    return 3;
}

extern const RTFMTRTYPEFAMILY g_RTFmtRTypeSize = { "h", rtFmtRTypeSize };
