/* The family of typed directives whose argument is an object rather than a number: IPv4
 * addresses (by value), IPv6 and MAC addresses, network endpoints, UUIDs, error-information
 * records and nanosecond time spans (by pointer). Its "T" names share the first letter with
 * the number family, which is tried first: neither holds a prefix of the other's names. */
#include "internal/format-rtype.h"
#include "rt/uuid.h"

namespace {

using K = RTFMTKIND;

/** The names after their common first letter 'T'; sorted by name (byte order) and looked
 *  up by binary search. */
constexpr RTFMTTYPE g_aFmtObjectTypes[] =
{
    rtFmtType("eic",    4, 16, K::ErrInfoFull),
    rtFmtType("eim",    4, 16, K::ErrInfoMsg),
    rtFmtType("mac",    4, 16, K::Mac),
    rtFmtType("naddr",  4, 10, K::NetAddr),
    rtFmtType("naipv4", 4, 10, K::IPv4),
    rtFmtType("naipv6", 4, 16, K::IPv6),
    rtFmtType("uuid",   4, 16, K::Uuid),
};
static_assert(RT_ELEMENTS(g_aFmtObjectTypes) == 7, "the object table has 7 entries");
static_assert(rtFmtTypesSorted(g_aFmtObjectTypes), "the object table is sorted, and no name is a prefix of another");

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

size_t rtFmtRTypeObjects(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec)
{
    if (*pszType == 'D')
        return rtFmtRTypeTimeSpec(pSink, pszType, pSpec);
    RTFMTTYPE const *pType = *pszType == 'T' ? rtFmtTypeLookup(g_aFmtObjectTypes, pszType + 1) : nullptr;
    if (!pType)
        return 0;

    va_list *pArgs = pSpec->pArgs;
    switch (pType->Kind())
    {
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
            rtFmtErrInfo(pSink, va_arg(*pArgs, const void *), pType->Kind() == K::ErrInfoFull, pSpec);
            break;
        default:
            break;
    }
    return 1 + pType->NameLength();
}

extern const RTFMTRTYPEFAMILY g_RTFmtRTypeObjects = { "DT", rtFmtRTypeObjects };
