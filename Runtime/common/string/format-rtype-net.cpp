/* Network addresses for the typed directives: IPv4 dotted quads, IPv6 in its shortest
 * text form, MAC addresses and RTNETENDPOINT records. */
#include "internal/format-rtype.h"
#include "rt/format-types.h"
#include "rt/net.h"

void rtFmtIPv4(RTFMTSINK *pSink, const uint8_t *pab)
{
    for (unsigned i = 0; i < 4; i++)
    {
        if (i)
            pSink->Char('.');
        pSink->Dec(pab[i]);
    }
}

void rtFmtIPv6Sink(RTFMTSINK *pSink, const uint8_t *pab)
{
    static constexpr uint8_t s_abZero[8] = {};
    static constexpr uint8_t s_abMapped[4]     = { 0x00, 0x00, 0xff, 0xff };
    static constexpr uint8_t s_abTranslated[4] = { 0xff, 0xff, 0x00, 0x00 };
    static constexpr uint8_t s_abLoopTail[4]   = { 0, 0, 0, 1 };

    /* IPv4-mapped, -translated and -compatible addresses keep the IPv4 part dotted; :: and
       ::1 are not taken for compatible addresses. */
    bool fIPv4Tail = false;
    if (!memcmp(pab, s_abZero, 8))
    {
        if (!memcmp(&pab[8], s_abMapped, 4) || !memcmp(&pab[8], s_abTranslated, 4))
            fIPv4Tail = true;
        else if (!memcmp(&pab[8], s_abZero, 4))
            fIPv4Tail = memcmp(&pab[12], s_abZero, 4) && memcmp(&pab[12], s_abLoopTail, 4);
    }
    unsigned const cGroups = fIPv4Tail ? 6 : 8;

    /* The longest run of two or more zero groups becomes "::"; the first of equal runs wins. */
    unsigned iRun = cGroups;
    unsigned cRun = 1;
    for (unsigned i = 0; i < cGroups;)
    {
        unsigned j = i;
        while (j < cGroups && !pab[j * 2] && !pab[j * 2 + 1])
            j++;
        if (j - i > cRun)
        {
            iRun = i;
            cRun = j - i;
        }
        i = j > i ? j : i + 1;
    }

    bool fAfterRun = false;
    for (unsigned i = 0; i < cGroups; i++)
    {
        if (i == iRun)
        {
            pSink->Write("::", 2);
            i += cRun - 1;
            fAfterRun = true;
            continue;
        }
        if (i && !fAfterRun)
            pSink->Char(':');
        fAfterRun = false;
        pSink->Number(static_cast<unsigned>(pab[i * 2] << 8 | pab[i * 2 + 1]), 16, -1, -1, FMT_32BIT);
    }
    if (fIPv4Tail)
    {
        if (!fAfterRun)
            pSink->Char(':');
        rtFmtIPv4(pSink, &pab[12]);
    }
}

size_t RTFmtIPv6(RTFmtOutputFn pfnOutput, void *pvOutput, const uint8_t *pabAddr)
{
    RTFMTSINK Sink;
    rtFmtSinkInit(&Sink, pfnOutput, pvOutput);
    if (RT_VALID_PTR(pabAddr))
        rtFmtIPv6Sink(&Sink, pabAddr);
    else
        Sink.BadPtr(pabAddr, "!BadIPv6");
    return Sink.Done();
}

namespace {

void rtFmtMacBytes(RTFMTSINK *pSink, const uint8_t *pab)
{
    for (unsigned i = 0; i < 6; i++)
    {
        if (i)
            pSink->Char(':');
        pSink->Byte(pab[i]);
    }
}

void rtFmtPort(RTFMTSINK *pSink, uint32_t uPort)
{
    pSink->Char(':');
    pSink->Dec(uPort);
}

} /* namespace */

void rtFmtMac(RTFMTSINK *pSink, const void *pv)
{
    if (RT_VALID_PTR(pv))
        rtFmtMacBytes(pSink, static_cast<const uint8_t *>(pv));
    else
        pSink->BadPtr(pv, "!BadMac");
}

void rtFmtNetEndpoint(RTFMTSINK *pSink, const void *pv)
{
    if (!RT_VALID_PTR(pv))
    {
        pSink->BadPtr(pv, "!BadNetAddr");
        return;
    }
    RTNETENDPOINT const *pAddr = static_cast<RTNETENDPOINT const *>(pv);
    switch (pAddr->uType)
    {
        case RTNETADDR_TYPE_IPV4:
            rtFmtIPv4(pSink, pAddr->abAddr);
            if (pAddr->uPort != RTNETADDR_PORT_NONE)
                rtFmtPort(pSink, pAddr->uPort);
            break;
        case RTNETADDR_TYPE_IPV6:
            if (pAddr->uPort == RTNETADDR_PORT_NONE)
                rtFmtIPv6Sink(pSink, pAddr->abAddr);
            else
            {
                pSink->Char('[');
                rtFmtIPv6Sink(pSink, pAddr->abAddr);
                pSink->Char(']');
                rtFmtPort(pSink, pAddr->uPort);
            }
            break;
        case RTNETADDR_TYPE_MAC:
            rtFmtMacBytes(pSink, pAddr->abAddr);
            break;
        default:
            pSink->Str("unsupported-netaddr-type=");
            pSink->Dec(pAddr->uType);
            break;
    }
}
