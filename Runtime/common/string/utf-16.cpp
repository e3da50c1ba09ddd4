/* UTF-16 rules of the runtime: measuring a UTF-16 string's UTF-8 length, the conversion
 * to UTF-8, and decoding one code point in either byte order. The conversion measures
 * first and converts second, as the UTF-8 ones do; both passes take runs of ASCII two
 * units at a time. */
#include "rt/string.h"
#include "internal/utf.h"

namespace {

/** True when both units are below 0x80 and neither is zero. */
inline bool rtUtf16IsAsciiPair(uint32_t u)
{
    return ((u | ((u - 0x00010001u) & ~u)) & 0xff80ff80u) == 0;
}

/** True when a high surrogate at off is followed by a low one inside the limit. */
inline bool rtUtf16IsPairAt(const RTUTF16 *pwsz, size_t off, size_t cwcMax)
{
    return    cwcMax - off >= 2
           && static_cast<uint16_t>(pwsz[off]) - 0xd800u < 0x400u
           && static_cast<uint16_t>(pwsz[off + 1]) - 0xdc00u < 0x400u;
}

/** Counts the UTF-8 bytes of a UTF-16 string up to its terminator or cwcMax units, stopping
 *  at the first unit that cannot be converted; *pcch holds the bytes and *pcwc the units
 *  accepted so far. */
RTSTATUS rtUtf16Measure(const RTUTF16 *pwsz, size_t cwcMax, size_t *pcch, size_t *pcwc)
{
    size_t off = 0;
    size_t cch = 0;
    RTSTATUS rc = INF_SUCCESS;
    while (off < cwcMax)
    {
        uint16_t const wc = static_cast<uint16_t>(pwsz[off]);
        if (wc < 0x80)
        {
            if (!wc)
                break;
            cch++;
            off++;
            /* Two units per aligned word: the word cannot straddle a page (see RTUTF_PAGE_SIZE). */
            if ((reinterpret_cast<uintptr_t>(pwsz + off) & 3) == 0)
                while (cwcMax - off >= 2 && rtUtf16IsAsciiPair(*reinterpret_cast<const RTU32ALIGNED *>(pwsz + off)))
                {
                    off += 2;
                    cch += 2;
                }
        }
        else if ((wc - 0xd800u >= 0x800u) & (wc < 0xfffe))
        {
            /* Neither surrogate nor noncharacter: two bytes below U+0800, else three. One
               branch for both, since text in one script mixes them freely. */
            cch += 2 + (wc >= 0x800);
            off++;
        }
        else if (wc >= 0xfffe)
        {
            rc = ERR_CODEPOINT_NONCHARACTER;
            break;
        }
        else if (rtUtf16IsPairAt(pwsz, off, cwcMax))
        {
            /* Characters from U+10000 up come in runs (emoji, historic scripts). */
            do
            {
                cch += 4;
                off += 2;
            } while (rtUtf16IsPairAt(pwsz, off, cwcMax));
        }
        else
        {
            rc = ERR_UTF16_MALFORMED;
            break;
        }
    }
    *pcch = cch;
    *pcwc = off;
    return rc;
}

/** Encodes cwc units of a measured UTF-16 string. */
char *rtUtf16EncodeTrusted(const RTUTF16 *pwsz, size_t cwc, char *psz)
{
    uint8_t *pb = reinterpret_cast<uint8_t *>(psz);
    const RTUTF16 *const pwcEnd = pwsz + cwc;
    while (pwsz < pwcEnd)
    {
        uint32_t const wc = static_cast<uint16_t>(*pwsz++);
        if (wc < 0x80)
        {
            *pb++ = static_cast<uint8_t>(wc);
            while (pwcEnd - pwsz >= 2)
            {
                uint32_t const u = *reinterpret_cast<const RTU32UNALIGNED *>(pwsz);
                if (u & 0xff80ff80u)
                    break;
                pb[0] = static_cast<uint8_t>(u);
                pb[1] = static_cast<uint8_t>(u >> 16);
                pb += 2;
                pwsz += 2;
            }
        }
        else if (wc < 0x800)
        {
            pb[0] = static_cast<uint8_t>(0xc0 | (wc >> 6));
            pb[1] = static_cast<uint8_t>(0x80 | (wc & 0x3f));
            pb += 2;
        }
        else if (wc - 0xd800u >= 0x800u)
        {
            /* One word store; its fourth byte lands where the next character or the
               terminator goes, which the buffer always has room for. */
            *reinterpret_cast<RTU32UNALIGNED *>(pb) = (0xe0 | (wc >> 12))
                                                    | ((0x80 | ((wc >> 6) & 0x3f)) << 8)
                                                    | ((0x80 | (wc & 0x3f)) << 16);
            pb += 3;
        }
        else
        {
            RTUNICP const cp = 0x10000 + (((wc & 0x3ff) << 10) | (static_cast<uint16_t>(*pwsz++) & 0x3ff));
            *reinterpret_cast<RTU32UNALIGNED *>(pb) = (0xf0 | (cp >> 18))
                                                    | ((0x80 | ((cp >> 12) & 0x3f)) << 8)
                                                    | ((0x80 | ((cp >> 6) & 0x3f)) << 16)
                                                    | ((0x80 | (cp & 0x3f)) << 24);
            pb += 4;
        }
    }
    return reinterpret_cast<char *>(pb);
}

/** One code point from UTF-16 units, read through fnUnit (which puts a unit in machine order). */
template <typename FnUnit>
RTSTATUS rtUtf16DecodeCp(const RTUTF16 **ppwsz, RTUNICP *pCp, FnUnit fnUnit)
{
    if (!RT_VALID_PTR(ppwsz) || !RT_VALID_PTR(pCp) || !RT_VALID_PTR(*ppwsz))
        return ERR_BAD_POINTER;
    const RTUTF16 *pwc = *ppwsz;
    RTUNICP const wc = fnUnit(pwc[0]);
    if (wc - 0xd800u >= 0x800u)
    {
        if (wc < 0xfffe)
        {
            *pCp = wc;
            *ppwsz = pwc + 1;
            return INF_SUCCESS;
        }
        *pCp = CODEPOINT_BAD;
        *ppwsz = pwc + 1;
        return ERR_CODEPOINT_NONCHARACTER;
    }
    if (wc < 0xdc00)
    {
        RTUNICP const wc2 = fnUnit(pwc[1]);
        if (wc2 - 0xdc00u < 0x400u)
        {
            *pCp = (((wc & 0x3ff) << 10) | (wc2 & 0x3ff)) + 0x10000;
            *ppwsz = pwc + 2;
            return INF_SUCCESS;
        }
    }
    *pCp = CODEPOINT_BAD;
    *ppwsz = pwc + 1;
    return ERR_UTF16_MALFORMED;
}

} /* anonymous namespace */


RTSTATUS RTUtf16MeasureUtf8(const RTUTF16 *pwsz, size_t cwcMax, size_t *pcch)
{
    if (!RT_VALID_PTR(pwsz) || !RT_VALID_PTR(pcch))
        return ERR_BAD_POINTER;
    size_t cwc;
    return rtUtf16Measure(pwsz, cwcMax, pcch, &cwc);
}

RTSTATUS RTUtf16Utf8Length(const RTUTF16 *pwsz, size_t cwcMax, size_t *pcch)
{
    if (!RT_VALID_PTR(pcch))
        return ERR_BAD_POINTER;
    RTSTATUS const rc = RTUtf16MeasureUtf8(pwsz, cwcMax, pcch);
    if (RT_FAILURE(rc))
        *pcch = RTSTR_MAX;
    return rc;
}

RTSTATUS RTUtf16ToUtf8Ex(const RTUTF16 *pwsz, size_t cwcMax, char **ppsz, size_t cch, size_t *pcch)
{
    if (!RT_VALID_PTR(pwsz) || !RT_VALID_PTR(ppsz))
        return ERR_BAD_POINTER;
    size_t cchNeeded, cwc;
    RTSTATUS rc = rtUtf16Measure(pwsz, cwcMax, &cchNeeded, &cwc);
    if (RT_FAILURE(rc))
        return rc;
    if (pcch)
        *pcch = cchNeeded;

    char *psz = rtStrConvBuffer(ppsz, cch, cchNeeded, ERR_STRING_ALLOC_FAILED, &rc);
    if (!psz)
        return rc;
    *rtUtf16EncodeTrusted(pwsz, cwc, psz) = '\0';
    *ppsz = psz;
    return INF_SUCCESS;
}

RTSTATUS RTUtf16DecodeCp(const RTUTF16 **ppwsz, RTUNICP *pCp)
{
    return rtUtf16DecodeCp(ppwsz, pCp, [](RTUTF16 wc) -> RTUNICP { return static_cast<uint16_t>(wc); });
}

RTSTATUS RTUtf16BigDecodeCp(const RTUTF16 **ppwsz, RTUNICP *pCp)
{
    return rtUtf16DecodeCp(ppwsz, pCp, [](RTUTF16 wc) -> RTUNICP {
        uint16_t const u = static_cast<uint16_t>(wc);
        return static_cast<uint16_t>((u >> 8) | (u << 8));
    });
}
