/* The typed-directive dispatcher (%R...), which hands each type to the families the
 * program links, and the family of fixed-size number types: integers, fixed-width
 * hexadecimal values, booleans and selector:offset pairs. */
#include "internal/format-rtype.h"
#include "rt/format-types.h"

namespace {

/** Sorted by name (byte order); looked up by binary search. */
constexpr RTFMTTYPE g_aFmtNumberTypes[] =
{
    rtFmtType("Ci",      4, 10, RTFMTKIND::Number, FMT_SIGNED),
    rtFmtType("Cp",      8, 16, RTFMTKIND::FixedHex),
    rtFmtType("Cr",      4, 16, RTFMTKIND::FixedHex),
    rtFmtType("Cu",      4, 10, RTFMTKIND::Number),
    rtFmtType("Cv",      4, 16, RTFMTKIND::FixedHex),
    rtFmtType("Cx",      4, 16, RTFMTKIND::Number),
    rtFmtType("Gi",      8, 10, RTFMTKIND::Number, FMT_SIGNED),
    rtFmtType("Gp",      8, 16, RTFMTKIND::FixedHex),
    rtFmtType("Gr",      8, 16, RTFMTKIND::FixedHex),
    rtFmtType("Gu",      8, 10, RTFMTKIND::Number),
    rtFmtType("Gv",      8, 16, RTFMTKIND::FixedHex),
    rtFmtType("Gx",      8, 16, RTFMTKIND::Number),
    rtFmtType("Hi",      4, 10, RTFMTKIND::Number, FMT_SIGNED),
    rtFmtType("Hp",      8, 16, RTFMTKIND::FixedHex),
    rtFmtType("Hr",      4, 16, RTFMTKIND::FixedHex),
    rtFmtType("Hu",      4, 10, RTFMTKIND::Number),
    rtFmtType("Hv",      4, 16, RTFMTKIND::FixedHex),
    rtFmtType("Hx",      4, 16, RTFMTKIND::Number),
    rtFmtType("I16",     2, 10, RTFMTKIND::Number, FMT_SIGNED),
    rtFmtType("I32",     4, 10, RTFMTKIND::Number, FMT_SIGNED),
    rtFmtType("I64",     8, 10, RTFMTKIND::Number, FMT_SIGNED),
    rtFmtType("I8",      1, 10, RTFMTKIND::Number, FMT_SIGNED),
    rtFmtType("Kv",      4, 16, RTFMTKIND::Number),
    rtFmtType("Rv",      4, 16, RTFMTKIND::FixedHex),
    rtFmtType("Tbool",   1, 10, RTFMTKIND::Bool),
    rtFmtType("Tfile",   4, 10, RTFMTKIND::Number),
    rtFmtType("Tfmode",  4, 16, RTFMTKIND::FixedHex),
    rtFmtType("Tfoff",   8, 10, RTFMTKIND::Number, FMT_SIGNED),
    rtFmtType("Tfp16",   4, 16, RTFMTKIND::FarPtr, FMT_ZERO_FILL),
    rtFmtType("Tfp32",   6, 16, RTFMTKIND::FarPtr, FMT_ZERO_FILL),
    rtFmtType("Tfp64",  10, 16, RTFMTKIND::FarPtr, FMT_ZERO_FILL),
    rtFmtType("Tgid",    4, 10, RTFMTKIND::Number, FMT_SIGNED),
    rtFmtType("Tino",    8, 16, RTFMTKIND::FixedHex),
    rtFmtType("Tint",    4, 10, RTFMTKIND::Number, FMT_SIGNED),
    rtFmtType("Tiop",    2, 16, RTFMTKIND::FixedHex),
    rtFmtType("Tldrm",   4, 16, RTFMTKIND::FixedHex),
    rtFmtType("Tnthrd",  4, 16, RTFMTKIND::FixedHex),
    rtFmtType("Tproc",   4, 16, RTFMTKIND::FixedHex),
    rtFmtType("Tptr",    8, 16, RTFMTKIND::FixedHex),
    rtFmtType("Treg",    4, 16, RTFMTKIND::FixedHex),
    rtFmtType("Tsel",    2, 16, RTFMTKIND::FixedHex),
    rtFmtType("Tsem",    4, 16, RTFMTKIND::FixedHex),
    rtFmtType("Tsock",   4, 10, RTFMTKIND::Number),
    rtFmtType("Tthrd",   4, 16, RTFMTKIND::FixedHex),
    rtFmtType("Tuid",    4, 10, RTFMTKIND::Number, FMT_SIGNED),
    rtFmtType("Tuint",   4, 10, RTFMTKIND::Number),
    rtFmtType("Tunicp",  4, 16, RTFMTKIND::FixedHex, FMT_ZERO_FILL),
    rtFmtType("Tutf16",  2, 16, RTFMTKIND::FixedHex, FMT_ZERO_FILL),
    rtFmtType("Txint",   4, 16, RTFMTKIND::Number),
    rtFmtType("U16",     2, 10, RTFMTKIND::Number),
    rtFmtType("U32",     4, 10, RTFMTKIND::Number),
    rtFmtType("U64",     8, 10, RTFMTKIND::Number),
    rtFmtType("U8",      1, 10, RTFMTKIND::Number),
    rtFmtType("X16",     2, 16, RTFMTKIND::Number),
    rtFmtType("X32",     4, 16, RTFMTKIND::Number),
    rtFmtType("X64",     8, 16, RTFMTKIND::Number),
    rtFmtType("X8",      1, 16, RTFMTKIND::Number),
};
static_assert(RT_ELEMENTS(g_aFmtNumberTypes) == 57, "the number table has 57 entries");
static_assert(rtFmtTypesSorted(g_aFmtNumberTypes), "the number table is sorted, and no name is a prefix of another");

/** Reads an integer argument of the entry's size (1, 2, 4 or 8 bytes); adds the matching
 *  width flag. The narrow sizes take the low bits of a 32-bit slot, sign-extended for a
 *  signed entry. */
uint64_t rtFmtTypeReadInt(RTFMTTYPE const *pType, va_list *pArgs, uint32_t *pfFlags)
{
    static_assert(FMT_16BIT == 2 * FMT_8BIT && FMT_32BIT == 4 * FMT_8BIT && FMT_64BIT == 8 * FMT_8BIT,
                  "the width flags scale with the argument size");
    unsigned const cbArg = pType->cbArg;
    *pfFlags |= FMT_8BIT * cbArg;
    if (cbArg == 8)
        return va_arg(*pArgs, uint64_t);
    unsigned const cShift = 32 - 8 * cbArg;
    uint32_t const u = va_arg(*pArgs, uint32_t) << cShift;
    if (pType->fSigned)
        return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(u) >> cShift));
    return u >> cShift;
}

void rtFmtBool(RTFMTSINK *pSink, uint64_t uValue, uint32_t fFlags)
{
    /* With '#' a true value takes as many characters as a false one. */
    if (uValue == 1)
        pSink->Write("true ", fFlags & FMT_BASE_PREFIX ? 5 : 4);
    else if (uValue == 0)
        pSink->Write("false", 5);
    else
    {
        pSink->Char('!');
        pSink->Number(uValue, 10, -1, -1, FMT_SIGNED | FMT_64BIT);
        pSink->Char('!');
    }
}

void rtFmtFarPtr(RTFMTSINK *pSink, RTFMTTYPE const *pType, va_list *pArgs)
{
    uint16_t uSel;
    uint64_t off;
    int      cDigits;
    switch (pType->cbArg)
    {
        case 4:  { RTFAR16 const Far = va_arg(*pArgs, RTFAR16); uSel = Far.sel; off = Far.off; cDigits = 4;  break; }
        case 6:  { RTFAR32 const Far = va_arg(*pArgs, RTFAR32); uSel = Far.sel; off = Far.off; cDigits = 8;  break; }
        default: { RTFAR64 const Far = va_arg(*pArgs, RTFAR64); uSel = Far.sel; off = Far.off; cDigits = 16; break; }
    }
    /* Zero-filled hexadecimal fields; the caller's flags and width do not apply. */
    uint32_t const fFlags = FMT_ZERO_FILL | FMT_WIDTH_GIVEN | FMT_64BIT;
    pSink->Number(uSel, 16, 4, -1, fFlags);
    pSink->Char(':');
    pSink->Number(off, 16, cDigits, -1, fFlags);
}

} /* namespace */

size_t rtFmtRTypeNumbers(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec)
{
    RTFMTTYPE const *pType = rtFmtTypeLookup(g_aFmtNumberTypes, pszType);
    if (!pType)
        return 0;

    va_list *pArgs = pSpec->pArgs;
    RTFMTKIND const enmKind = pType->Kind();
    if (enmKind == RTFMTKIND::FarPtr)
        rtFmtFarPtr(pSink, pType, pArgs);
    else
    {
        uint32_t fFlags = pSpec->fFlags | pType->Flags();
        int cchWidth = pSpec->cchWidth;
        if (enmKind == RTFMTKIND::FixedHex && !(fFlags & FMT_WIDTH_GIVEN))
        {
            fFlags |= FMT_ZERO_FILL | FMT_WIDTH_GIVEN;
            cchWidth = pType->cbArg * 2 + (fFlags & FMT_BASE_PREFIX ? 2 : 0);
        }
        uint64_t const u = rtFmtTypeReadInt(pType, pArgs, &fFlags);
        if (enmKind == RTFMTKIND::Bool)
            rtFmtBool(pSink, u, fFlags);
        else
            pSink->Number(u, pType->Base(), cchWidth, pSpec->cchPrecision, fFlags);
    }
    return pType->NameLength();
}

extern const RTFMTRTYPEFAMILY g_RTFmtRTypeNumbers = { "CGHIKRTUX", rtFmtRTypeNumbers };

size_t RTFmtRType(RTFmtOutputFn pfnOutput, void *pvOutput, const char **ppszFormat,
                  va_list *pArgs, int cchWidth, int cchPrecision, uint32_t fFlags,
                  char chArgSize, char *pszScratch)
{
    RTFMTSINK Sink;
    rtFmtSinkInit(&Sink, pfnOutput, pvOutput);
    RTFMTSPEC const Spec = { pArgs, cchWidth, cchPrecision, fFlags, chArgSize, pszScratch };

    /* Each family the program links whose names may start with this letter gets a try;
       a family that does not know the name takes nothing. */
    const char *pszType = *ppszFormat + 1;    /* past the 'R' */
    size_t cchName = 0;
    if (*pszType)
        for (RTFMTRTYPEFAMILY const *const *ppFamily = g_apRTFmtRTypeFamilies; *ppFamily && !cchName; ppFamily++)
            if (memchr((*ppFamily)->szLetters, *pszType, sizeof((*ppFamily)->szLetters)))
                cchName = (*ppFamily)->pfnFormat(&Sink, pszType, &Spec);

    /* An unknown type prints nothing and skips only its first letter, so the rest of the
       name shows up in the output where the mistake is. */
    if (cchName)
        *ppszFormat = pszType + cchName;
    else
        *ppszFormat = *pszType ? pszType + 1 : pszType;
    return Sink.Done();
}
