/* Hexadecimal byte directives of the typed-directive family: hex strings (%Rhxs) and hex
 * dumps with (%RhxD) and without (%Rhxd) collapsing of repeated lines; the %RhX forms
 * take a display address of their own. */
#include "internal/format-rtype.h"

namespace {

struct RTFMTHEX
{
    const uint8_t *pb;
    size_t         cb;
    uint64_t       uAddr;          /**< display address of pb[0] */
    int            cAddrDigits;    /**< 8, or 16 when the addresses need more than 32 bits */
};

void rtFmtHexString(RTFMTSINK *pSink, RTFMTHEX const *pHex, bool fWithAddr, uint32_t fFlags)
{
    if (!pHex->cb)
        return;
    if (fWithAddr)
    {
        pSink->Hex(pHex->uAddr, pHex->cAddrDigits);
        pSink->Write(": ", 2);
    }
    char const chSep = fFlags & FMT_BASE_PREFIX ? '\0' : fFlags & FMT_GROUP_DIGITS ? ':' : ' ';
    pSink->Byte(pHex->pb[0]);
    for (size_t i = 1; i < pHex->cb; i++)
    {
        if (chSep)
            pSink->Char(chSep);
        pSink->Byte(pHex->pb[i]);
    }
}

void rtFmtHexLine(RTFMTSINK *pSink, RTFMTHEX const *pHex, size_t off, size_t cbLine)
{
    size_t const cb = pHex->cb - off < cbLine ? pHex->cb - off : cbLine;
    if (off)
        pSink->Char('\n');
    pSink->Hex(pHex->uAddr + off, pHex->cAddrDigits);
    pSink->Char('/');
    pSink->Hex(off, 4);
    pSink->Char(':');
    const uint8_t *pb = &pHex->pb[off];
    for (size_t i = 0; i < cb; i++)
    {
        pSink->Char(i && i % 8 == 0 ? '-' : ' ');
        pSink->Byte(pb[i]);
    }
    pSink->Repeat(' ', (cbLine - cb) * 3);
    pSink->Char(' ');
    for (size_t i = 0; i < cb; i++)
        pSink->Char(pb[i] >= 0x20 && pb[i] <= 0x7e ? static_cast<char>(pb[i]) : '.');
}

/** Dumps cbLine bytes per line. With fDitto, a run of two or more lines equal to the line
 *  before them is replaced by one line giving the count; the first and the last line are
 *  always shown. */
void rtFmtHexDump(RTFMTSINK *pSink, RTFMTHEX const *pHex, size_t cbLine, bool fDitto)
{
    size_t const cb = pHex->cb;
    unsigned cDitto = 0;
    for (size_t off = 0; off < cb; off += cbLine)
    {
        const uint8_t *pb = &pHex->pb[off];
        bool const fLast = cb - off <= cbLine;
        if (fDitto && off && !fLast && !memcmp(pb, pb - cbLine, cbLine))
        {
            if (cDitto)
            {
                cDitto++;
                continue;
            }
            /* A single repetition is cheaper to show than to report. */
            bool const fNextLast = cb - off - cbLine <= cbLine;
            if (!fNextLast && !memcmp(pb + cbLine, pb, cbLine))
            {
                cDitto = 1;
                continue;
            }
        }
        if (cDitto)
        {
            pSink->Char('\n');
            pSink->Repeat('*', static_cast<size_t>(pHex->cAddrDigits));
            pSink->Str(" ****  <ditto x ");
            pSink->Dec(cDitto);
            pSink->Char('>');
            cDitto = 0;
        }
        rtFmtHexLine(pSink, pHex, off, cbLine);
    }
}

} /* namespace */

size_t rtFmtRTypeHex(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec)
{
    /* "hx" or "hX", then D, d or s. */
    char const chAddr = pszType[1];
    char const chForm = chAddr ? pszType[2] : '\0';
    if ((chAddr != 'x' && chAddr != 'X') || (chForm != 'D' && chForm != 'd' && chForm != 's'))
        return 0;

    RTFMTHEX Hex;
    Hex.pb = va_arg(*pSpec->pArgs, const uint8_t *);
    Hex.cb = pSpec->cchPrecision >= 0 ? static_cast<size_t>(pSpec->cchPrecision) : 16;
    Hex.cAddrDigits = 8;
    if (chAddr == 'X')
    {
        Hex.uAddr = va_arg(*pSpec->pArgs, uint64_t);
        uint64_t const uLimit = UINT64_C(0x100000000);
        if (Hex.uAddr >= uLimit || Hex.cb > uLimit - Hex.uAddr)
            Hex.cAddrDigits = 16;
    }
    else
        Hex.uAddr = reinterpret_cast<uintptr_t>(Hex.pb);

    if (!RT_VALID_PTR(Hex.pb))
        pSink->Str("<null>");
    else if (chForm == 's')
        rtFmtHexString(pSink, &Hex, chAddr == 'X', pSpec->fFlags);
    else
        rtFmtHexDump(pSink, &Hex, pSpec->cchWidth > 0 ? static_cast<size_t>(pSpec->cchWidth) : 16,
                     chForm == 'D');
    return 3;
}

extern const RTFMTRTYPEFAMILY g_RTFmtRTypeHex = { "h", rtFmtRTypeHex };
