/* The option value families: integers of every width and pairs of them, the boolean
 * words, and the network and UUID forms. Each converts only the types it names; the
 * parser takes strings itself. */
#include "internal/getopt.h"
#include "rt/strconv.h"

namespace {

struct RTGETOPTBOOLWORD
{
    const char *pszWord;
    const char *pszMask;    /**< '+' where the prefix ending there is accepted */
    bool        fValue;
};

constexpr RTGETOPTBOOLWORD g_aBoolWords[] =
{
    { "true",     "+--+",     true  },
    { "yes",      "+-+",      true  },
    { "enabled",  "++---++",  true  },
    { "on",       "-+",       true  },
    { "1",        "+",        true  },
    { "false",    "+---+",    false },
    { "no",       "++",       false },
    { "disabled", "+-+---++", false },
    { "off",      "--+",      false },
    { "0",        "+",        false },
};

bool rtGetOptBoolWord(const char *psz, bool *pf)
{
    for (const RTGETOPTBOOLWORD &Word : g_aBoolWords)
    {
        size_t i = 0;
        while (psz[i] && Word.pszWord[i] && rtGetOptFold(psz[i]) == Word.pszWord[i])
            i++;
        if (i && !psz[i] && Word.pszMask[i - 1] == '+')
        {
            *pf = Word.fValue;
            return true;
        }
    }
    return false;
}

bool rtGetOptHasHexPrefix(const char *psz)
{
    return psz[0] == '0' && (psz[1] == 'x' || psz[1] == 'X')
        && ((psz[2] >= '0' && psz[2] <= '9') || (rtGetOptFold(psz[2]) >= 'a' && rtGetOptFold(psz[2]) <= 'f'));
}

/** The base of an integer option: 16, 8 or 10 from the flags; 0 means "decimal, or
 *  hexadecimal when the text says 0x". */
unsigned rtGetOptIntBase(uint32_t fKind)
{
    return fKind & OPTF_HEX ? 16 : fKind & OPTF_OCT ? 8 : fKind & OPTF_DEC ? 10 : 0;
}

template <typename T, typename Parse>
RTSTATUS rtGetOptConvertInt(const char *psz, unsigned uBase, T *pOut, Parse pfnParse)
{
    RTSTATUS rc = pfnParse(psz, uBase ? uBase : 10, pOut);
    if (rc != INF_SUCCESS && !uBase && rtGetOptHasHexPrefix(psz))
        rc = pfnParse(psz, 16, pOut);
    return rc == INF_SUCCESS ? INF_SUCCESS : ERR_OPTION_VALUE_MALFORMED;
}

unsigned rtGetOptPairBase(const char *psz, uint32_t fKind)
{
    if ((fKind & OPTF_HEX) || rtGetOptHasHexPrefix(psz))
        return 16;
    return fKind & OPTF_OCT ? 8 : 10;
}

template <typename T>
RTSTATUS rtGetOptConvertPair(const char *psz, uint32_t fKind, bool fSecondOptional, T *puFirst, T *puSecond)
{
    uint64_t uFirst = 0, uSecond = 0;
    char *pszNext = nullptr;
    RTSTATUS rc = RTStrParseU64(psz, &pszNext, rtGetOptPairBase(psz, fKind), &uFirst);
    if (RT_FAILURE(rc) || rc == WRN_NUMBER_OUT_OF_RANGE || rc == WRN_NEGATIVE_UNSIGNED
        || static_cast<T>(uFirst) != uFirst)
        return ERR_OPTION_VALUE_MALFORMED;

    const char *pszSecond = pszNext;
    while (*pszSecond == ' ' || *pszSecond == '\t')
        pszSecond++;
    if (*pszSecond == '/' || *pszSecond == ':' || *pszSecond == '|')
        for (pszSecond++; *pszSecond == ' ' || *pszSecond == '\t'; pszSecond++)
            ;
    if (pszSecond != pszNext)
    {
        rc = RTStrParseU64Strict(pszSecond, rtGetOptPairBase(pszSecond, fKind), &uSecond);
        if (rc != INF_SUCCESS || static_cast<T>(uSecond) != uSecond)
            return ERR_OPTION_VALUE_MALFORMED;
    }
    else if (fSecondOptional)
        uSecond = static_cast<T>(~static_cast<T>(0));
    else
        return ERR_OPTION_VALUE_MALFORMED;
    *puFirst = static_cast<T>(uFirst);
    *puSecond = static_cast<T>(uSecond);
    return INF_SUCCESS;
}

RTSTATUS rtGetOptConvertNumber(uint32_t fKind, const char *pszValue, RTOPTVALUE *pValue)
{
    unsigned const uBase = rtGetOptIntBase(fKind);
    switch (fKind & OPTVAL_TYPE_MASK)
    {
        case OPTVAL_I8:  return rtGetOptConvertInt(pszValue, uBase, &pValue->i8,  RTStrParseI8Strict);
        case OPTVAL_U8:  return rtGetOptConvertInt(pszValue, uBase, &pValue->u8,  RTStrParseU8Strict);
        case OPTVAL_I16: return rtGetOptConvertInt(pszValue, uBase, &pValue->i16, RTStrParseI16Strict);
        case OPTVAL_U16: return rtGetOptConvertInt(pszValue, uBase, &pValue->u16, RTStrParseU16Strict);
        case OPTVAL_I32: return rtGetOptConvertInt(pszValue, uBase, &pValue->i32, RTStrParseI32Strict);
        case OPTVAL_U32: return rtGetOptConvertInt(pszValue, uBase, &pValue->u32, RTStrParseU32Strict);
        case OPTVAL_I64: return rtGetOptConvertInt(pszValue, uBase, &pValue->i64, RTStrParseI64Strict);
        case OPTVAL_U64: return rtGetOptConvertInt(pszValue, uBase, &pValue->u64, RTStrParseU64Strict);
        case OPTVAL_PAIR_U32:
        case OPTVAL_PAIR_U32_OPT:
            return rtGetOptConvertPair(pszValue, fKind, (fKind & OPTVAL_TYPE_MASK) == OPTVAL_PAIR_U32_OPT,
                                       &pValue->PairU32.uFirst, &pValue->PairU32.uSecond);
        default:
            return rtGetOptConvertPair(pszValue, fKind, (fKind & OPTVAL_TYPE_MASK) == OPTVAL_PAIR_U64_OPT,
                                       &pValue->PairU64.uFirst, &pValue->PairU64.uSecond);
    }
}

RTSTATUS rtGetOptConvertWord(uint32_t fKind, const char *pszValue, RTOPTVALUE *pValue)
{
    bool fAccepted;
    if ((fKind & OPTVAL_TYPE_MASK) == OPTVAL_BOOL)
        fAccepted = rtGetOptBoolWord(pszValue, &pValue->f);
    else
    {
        fAccepted = true;
        if (rtGetOptMatch("on", pszValue, ~static_cast<size_t>(0), true) >= 0)
            pValue->f = true;
        else if (rtGetOptMatch("off", pszValue, ~static_cast<size_t>(0), true) >= 0)
            pValue->f = false;
        else
            fAccepted = false;
    }
    return fAccepted ? INF_SUCCESS : ERR_OPTION_UNKNOWN;
}

RTSTATUS rtGetOptConvertNet(uint32_t fKind, const char *pszValue, RTOPTVALUE *pValue)
{
    RTSTATUS rc;
    switch (fKind & OPTVAL_TYPE_MASK)
    {
        case OPTVAL_IPV4:      rc = RTNetParseIPv4(pszValue, pValue->abIPv4); break;
        case OPTVAL_IPV4_CIDR: rc = RTNetParseIPv4Cidr(pszValue, &pValue->CidrIPv4.uAddr, &pValue->CidrIPv4.uMask); break;
        case OPTVAL_MAC:       rc = RTNetParseMac(pszValue, pValue->abMac); break;
        default:               rc = RTUuidParse(pValue->abUuid, pszValue); break;
    }
    return rc == INF_SUCCESS ? INF_SUCCESS : ERR_OPTION_VALUE_MALFORMED;
}

} /* namespace */

const RTGETOPTVALFAMILY g_RTGetOptValNumbers =
{
    RTGETOPT_VALTYPE_BIT(OPTVAL_I8)  | RTGETOPT_VALTYPE_BIT(OPTVAL_U8)  | RTGETOPT_VALTYPE_BIT(OPTVAL_I16)
  | RTGETOPT_VALTYPE_BIT(OPTVAL_U16) | RTGETOPT_VALTYPE_BIT(OPTVAL_I32) | RTGETOPT_VALTYPE_BIT(OPTVAL_U32)
  | RTGETOPT_VALTYPE_BIT(OPTVAL_I64) | RTGETOPT_VALTYPE_BIT(OPTVAL_U64)
  | RTGETOPT_VALTYPE_BIT(OPTVAL_PAIR_U32) | RTGETOPT_VALTYPE_BIT(OPTVAL_PAIR_U32_OPT)
  | RTGETOPT_VALTYPE_BIT(OPTVAL_PAIR_U64) | RTGETOPT_VALTYPE_BIT(OPTVAL_PAIR_U64_OPT),
    rtGetOptConvertNumber,
};

const RTGETOPTVALFAMILY g_RTGetOptValWords =
{
    RTGETOPT_VALTYPE_BIT(OPTVAL_BOOL) | RTGETOPT_VALTYPE_BIT(OPTVAL_ONOFF),
    rtGetOptConvertWord,
};

const RTGETOPTVALFAMILY g_RTGetOptValNet =
{
    RTGETOPT_VALTYPE_BIT(OPTVAL_IPV4) | RTGETOPT_VALTYPE_BIT(OPTVAL_IPV4_CIDR) | RTGETOPT_VALTYPE_BIT(OPTVAL_MAC)
  | RTGETOPT_VALTYPE_BIT(OPTVAL_UUID),
    rtGetOptConvertNet,
};
