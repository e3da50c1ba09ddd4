/* The typed-directive dispatcher (%R...) and its table of fixed-size types: integers,
 * fixed-width hexadecimal values, booleans, selector:offset pairs, and the address, UUID
 * and error-information types that take a pointer. */
#include "format-rtype-internal.h"
#include "rt/format-types.h"
#include "rt/uuid.h"
#include "sorted-search.h"

namespace {

/** How a type-table entry prints its argument. */
enum class RTFMTKIND : uint8_t
{
    Number,         /**< RTFmtNumber with the entry's base */
    FixedHex,       /**< zero-filled to twice the size unless a width is given */
    Bool,
    FarPtr,         /**< selector:offset */
    IPv4,           /**< the address by value */
    IPv6,           /**< pointer arguments from here on */
    Mac,
    NetAddr,
    Uuid,
    ErrInfoFull,
    ErrInfoMsg,
};

struct RTFMTTYPE
{
    uint8_t   cchName;
    char      achName[11];
    uint8_t   cbArg;
    uint8_t   uBase;
    RTFMTKIND enmKind;
    uint32_t  fFlags;       /**< added to the caller's flags */
};

template <size_t N>
constexpr RTFMTTYPE rtFmtType(const char (&szName)[N], uint8_t cbArg, uint8_t uBase, RTFMTKIND enmKind,
                              uint32_t fFlags = 0)
{
    static_assert(N - 1 <= 10, "type names have at most 10 characters");
    RTFMTTYPE Type{};
    Type.cchName = static_cast<uint8_t>(N - 1);
    for (size_t i = 0; i < N - 1; i++)
        Type.achName[i] = szName[i];
    Type.cbArg   = cbArg;
    Type.uBase   = uBase;
    Type.enmKind = enmKind;
    Type.fFlags  = fFlags;
    return Type;
}

using K = RTFMTKIND;
constexpr uint32_t S = FMT_SIGNED;
constexpr uint32_t Z = FMT_ZERO_FILL;

/** Sorted by name (byte order); looked up by binary search. */
constexpr RTFMTTYPE g_aFmtTypes[] =
{
    rtFmtType("Ci",      4, 10, K::Number, S),
    rtFmtType("Cp",      8, 16, K::FixedHex),
    rtFmtType("Cr",      4, 16, K::FixedHex),
    rtFmtType("Cu",      4, 10, K::Number),
    rtFmtType("Cv",      4, 16, K::FixedHex),
    rtFmtType("Cx",      4, 16, K::Number),
    rtFmtType("Gi",      8, 10, K::Number, S),
    rtFmtType("Gp",      8, 16, K::FixedHex),
    rtFmtType("Gr",      8, 16, K::FixedHex),
    rtFmtType("Gu",      8, 10, K::Number),
    rtFmtType("Gv",      8, 16, K::FixedHex),
    rtFmtType("Gx",      8, 16, K::Number),
    rtFmtType("Hi",      4, 10, K::Number, S),
    rtFmtType("Hp",      8, 16, K::FixedHex),
    rtFmtType("Hr",      4, 16, K::FixedHex),
    rtFmtType("Hu",      4, 10, K::Number),
    rtFmtType("Hv",      4, 16, K::FixedHex),
    rtFmtType("Hx",      4, 16, K::Number),
    rtFmtType("I16",     2, 10, K::Number, S),
    rtFmtType("I32",     4, 10, K::Number, S),
    rtFmtType("I64",     8, 10, K::Number, S),
    rtFmtType("I8",      1, 10, K::Number, S),
    rtFmtType("Kv",      4, 16, K::Number),
    rtFmtType("Rv",      4, 16, K::FixedHex),
    rtFmtType("Tbool",   1, 10, K::Bool),
    rtFmtType("Teic",    4, 16, K::ErrInfoFull),
    rtFmtType("Teim",    4, 16, K::ErrInfoMsg),
    rtFmtType("Tfile",   4, 10, K::Number),
    rtFmtType("Tfmode",  4, 16, K::FixedHex),
    rtFmtType("Tfoff",   8, 10, K::Number, S),
    rtFmtType("Tfp16",   4, 16, K::FarPtr, Z),
    rtFmtType("Tfp32",   6, 16, K::FarPtr, Z),
    rtFmtType("Tfp64",  10, 16, K::FarPtr, Z),
    rtFmtType("Tgid",    4, 10, K::Number, S),
    rtFmtType("Tino",    8, 16, K::FixedHex),
    rtFmtType("Tint",    4, 10, K::Number, S),
    rtFmtType("Tiop",    2, 16, K::FixedHex),
    rtFmtType("Tldrm",   4, 16, K::FixedHex),
    rtFmtType("Tmac",    4, 16, K::Mac),
    rtFmtType("Tnaddr",  4, 10, K::NetAddr),
    rtFmtType("Tnaipv4", 4, 10, K::IPv4),
    rtFmtType("Tnaipv6", 4, 16, K::IPv6),
    rtFmtType("Tnthrd",  4, 16, K::FixedHex),
    rtFmtType("Tproc",   4, 16, K::FixedHex),
    rtFmtType("Tptr",    8, 16, K::FixedHex),
    rtFmtType("Treg",    4, 16, K::FixedHex),
    rtFmtType("Tsel",    2, 16, K::FixedHex),
    rtFmtType("Tsem",    4, 16, K::FixedHex),
    rtFmtType("Tsock",   4, 10, K::Number),
    rtFmtType("Tthrd",   4, 16, K::FixedHex),
    rtFmtType("Tuid",    4, 10, K::Number, S),
    rtFmtType("Tuint",   4, 10, K::Number),
    rtFmtType("Tunicp",  4, 16, K::FixedHex, Z),
    rtFmtType("Tutf16",  2, 16, K::FixedHex, Z),
    rtFmtType("Tuuid",   4, 16, K::Uuid),
    rtFmtType("Txint",   4, 16, K::Number),
    rtFmtType("U16",     2, 10, K::Number),
    rtFmtType("U32",     4, 10, K::Number),
    rtFmtType("U64",     8, 10, K::Number),
    rtFmtType("U8",      1, 10, K::Number),
    rtFmtType("X16",     2, 16, K::Number),
    rtFmtType("X32",     4, 16, K::Number),
    rtFmtType("X64",     8, 16, K::Number),
    rtFmtType("X8",      1, 16, K::Number),
};
static_assert(RT_ELEMENTS(g_aFmtTypes) == 64, "the type table has 64 entries");

constexpr bool rtFmtTypesSorted()
{
    for (size_t i = 1; i < RT_ELEMENTS(g_aFmtTypes); i++)
    {
        RTFMTTYPE const &A = g_aFmtTypes[i - 1];
        RTFMTTYPE const &B = g_aFmtTypes[i];
        size_t j = 0;
        while (j < A.cchName && j < B.cchName && A.achName[j] == B.achName[j])
            j++;
        /* A name that is a prefix of another would make the prefix lookup ambiguous. */
        if (j == A.cchName || j == B.cchName)
            return false;
        if (static_cast<unsigned char>(A.achName[j]) >= static_cast<unsigned char>(B.achName[j]))
            return false;
    }
    return true;
}
static_assert(rtFmtTypesSorted(), "the type table is sorted, and no name is a prefix of another");

RTFMTTYPE const *rtFmtTypeLookup(const char *pszType)
{
    ptrdiff_t const iType = rtSortedSearch(RT_ELEMENTS(g_aFmtTypes), [pszType](size_t i) {
        return rtFmtNameCompare(pszType, g_aFmtTypes[i].achName, g_aFmtTypes[i].cchName);
    });
    return iType >= 0 ? &g_aFmtTypes[iType] : nullptr;
}

/** Reads an integer argument of the entry's size; adds the matching width flag. */
uint64_t rtFmtTypeReadInt(RTFMTTYPE const *pType, va_list *pArgs, uint32_t *pfFlags)
{
    bool const fSigned = (pType->fFlags & FMT_SIGNED) != 0;
    switch (pType->cbArg)
    {
        case 1:
        {
            *pfFlags |= FMT_8BIT;
            unsigned const u = va_arg(*pArgs, unsigned);
            return fSigned ? static_cast<uint64_t>(static_cast<int64_t>(static_cast<int8_t>(u))) : static_cast<uint8_t>(u);
        }
        case 2:
        {
            *pfFlags |= FMT_16BIT;
            unsigned const u = va_arg(*pArgs, unsigned);
            return fSigned ? static_cast<uint64_t>(static_cast<int64_t>(static_cast<int16_t>(u))) : static_cast<uint16_t>(u);
        }
        case 4:
        {
            *pfFlags |= FMT_32BIT;
            uint32_t const u = va_arg(*pArgs, uint32_t);
            return fSigned ? static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(u))) : u;
        }
        default:
            *pfFlags |= FMT_64BIT;
            return va_arg(*pArgs, uint64_t);
    }
}

void rtFmtBool(RTFMTSINK *pSink, uint64_t uValue, uint32_t fFlags)
{
    if (uValue == 1)
        pSink->Str(fFlags & FMT_BASE_PREFIX ? "true " : "true");
    else if (uValue == 0)
        pSink->Str("false");
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
    pSink->Hex(uSel, 4);
    pSink->Char(':');
    pSink->Hex(off, cDigits);
}

void rtFmtUuid(RTFMTSINK *pSink, const void *pv)
{
    if (!RT_VALID_PTR(pv))
    {
        pSink->BadPtr(pv, "!BadUuid");
        return;
    }
    RTUUID const *pUuid = static_cast<RTUUID const *>(pv);
    pSink->Hex(pUuid->Gen.u32TimeLow, 8);
    pSink->Char('-');
    pSink->Hex(pUuid->Gen.u16TimeMid, 4);
    pSink->Char('-');
    pSink->Hex(pUuid->Gen.u16TimeHiAndVersion, 4);
    pSink->Char('-');
    pSink->Byte(pUuid->Gen.u8ClockSeqHiAndReserved);
    pSink->Byte(pUuid->Gen.u8ClockSeqLow);
    pSink->Char('-');
    for (uint8_t b : pUuid->Gen.au8Node)
        pSink->Byte(b);
}

/** "%RDtimespec": a signed nanosecond count, grouped by thousands. */
size_t rtFmtRTypeTimeSpec(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec)
{
    static constexpr char s_szName[] = "Dtimespec";
    if (rtFmtNameCompare(pszType, s_szName, sizeof(s_szName) - 1))
        return 0;
    const void *pv = va_arg(*pSpec->pArgs, const void *);
    if (!RT_VALID_PTR(pv))
        pSink->BadPtr(pv, "!BadRD");
    else
    {
        pSink->Number(static_cast<uint64_t>(*static_cast<const int64_t *>(pv)), 10, -1, -1,
                      FMT_SIGNED | FMT_GROUP_DIGITS | FMT_64BIT);
        pSink->Str(" ns");
    }
    return sizeof(s_szName) - 1;
}

} /* namespace */

size_t rtFmtRTypeTable(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec)
{
    RTFMTTYPE const *pType = rtFmtTypeLookup(pszType);
    if (!pType)
        return 0;

    va_list *pArgs = pSpec->pArgs;
    uint32_t fFlags = pSpec->fFlags | pType->fFlags;
    int cchWidth = pSpec->cchWidth;
    switch (pType->enmKind)
    {
        case K::FixedHex:
            if (!(fFlags & FMT_WIDTH_GIVEN))
            {
                fFlags |= FMT_ZERO_FILL | FMT_WIDTH_GIVEN;
                cchWidth = pType->cbArg * 2 + (fFlags & FMT_BASE_PREFIX ? 2 : 0);
            }
            [[fallthrough]];
        case K::Number:
        {
            uint64_t const u = rtFmtTypeReadInt(pType, pArgs, &fFlags);
            pSink->Number(u, pType->uBase, cchWidth, pSpec->cchPrecision, fFlags);
            break;
        }
        case K::Bool:
            rtFmtBool(pSink, rtFmtTypeReadInt(pType, pArgs, &fFlags), fFlags);
            break;
        case K::FarPtr:
            rtFmtFarPtr(pSink, pType, pArgs);
            break;
        case K::IPv4:
        {
            uint32_t const uAddr = va_arg(*pArgs, uint32_t);
            rtFmtIPv4(pSink, reinterpret_cast<const uint8_t *>(&uAddr));
            break;
        }
        case K::IPv6:
        {
            const uint8_t *pab = va_arg(*pArgs, const uint8_t *);
            if (RT_VALID_PTR(pab))
                rtFmtIPv6Sink(pSink, pab);
            else
                pSink->BadPtr(pab, "!BadIPv6");
            break;
        }
        case K::Mac:
            rtFmtMac(pSink, va_arg(*pArgs, const void *));
            break;
        case K::NetAddr:
            rtFmtNetEndpoint(pSink, va_arg(*pArgs, const void *));
            break;
        case K::Uuid:
            rtFmtUuid(pSink, va_arg(*pArgs, const void *));
            break;
        case K::ErrInfoFull:
        case K::ErrInfoMsg:
            rtFmtErrInfo(pSink, va_arg(*pArgs, const void *), pType->enmKind == K::ErrInfoFull, pSpec);
            break;
    }
    return pType->cchName;
}

size_t RTFmtRType(RTFmtOutputFn pfnOutput, void *pvOutput, const char **ppszFormat,
                  va_list *pArgs, int cchWidth, int cchPrecision, uint32_t fFlags,
                  char chArgSize, char *pszScratch)
{
    RTFMTSINK Sink;
    rtFmtSinkInit(&Sink, pfnOutput, pvOutput);
    RTFMTSPEC const Spec = { pArgs, cchWidth, cchPrecision, fFlags, chArgSize, pszScratch };

    const char *pszType = *ppszFormat + 1;    /* past the 'R' */
    size_t cchName = 0;
    switch (*pszType)
    {
        case 'C': case 'G': case 'H': case 'I': case 'K': case 'R': case 'T': case 'U': case 'X':
            cchName = rtFmtRTypeTable(&Sink, pszType, &Spec);
            break;
        case 'r': case 'w':
            cchName = rtFmtRTypeStatus(&Sink, pszType, &Spec);
            break;
        case 'b': case 'f':
            cchName = rtFmtRTypeName(&Sink, pszType, &Spec);
            break;
        case 'h':
            cchName = pszType[1] == 'c' || pszType[1] == 'u'
                    ? rtFmtRTypeSize(&Sink, pszType, &Spec) : rtFmtRTypeHex(&Sink, pszType, &Spec);
            break;
        case 'M':
            cchName = rtFmtRTypeEscape(&Sink, pszType, &Spec);
            break;
        case 'D':
            cchName = rtFmtRTypeTimeSpec(&Sink, pszType, &Spec);
            break;
        case '[':
            cchName = rtFmtRTypeCustom(&Sink, pszType, &Spec);
            break;
        default:
            break;
    }

    /* An unknown type prints nothing and skips only its first letter, so the rest of the
       name shows up in the output where the mistake is. */
    if (cchName)
        *ppszFormat = pszType + cchName;
    else
        *ppszFormat = *pszType ? pszType + 1 : pszType;
    return Sink.Done();
}
