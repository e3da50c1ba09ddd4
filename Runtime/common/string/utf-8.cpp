/* UTF-8 rules of the runtime: strict validation, lenient decoding of one code point,
 * stepping back, encoding, and the conversions from UTF-8 to UTF-16 and to arrays of code
 * points. Conversions measure first and convert second, so they make at most one
 * allocation; the measuring pass has done all validation, so the converting pass trusts
 * its input. Validation reads a word at a time and checks a whole sequence with one
 * compare; the converting pass takes runs of ASCII, where most text spends its time, a
 * word at a time. */
#include "rt/string.h"
#include "internal/utf.h"

namespace {

/** The high bit of each byte that is not ASCII or is zero; the lowest one set is exact
 *  (a borrow only runs upwards from a zero byte). */
inline uint32_t rtUtf8AsciiStops(uint32_t u)
{
    return (u | ((u - 0x01010101u) & ~u)) & 0x80808080u;
}

/** The first address at which no word may be read: from there the word would pass uEnd or
 *  leave pb's page. */
inline uintptr_t rtUtf8WordStop(const uint8_t *pb, uintptr_t uEnd)
{
    uintptr_t const uPageStop = (reinterpret_cast<uintptr_t>(pb) | (RTUTF_PAGE_SIZE - 1)) - 2;
    uintptr_t const uLimitStop = uEnd - 3;
    return uPageStop < uLimitStop ? uPageStop : uLimitStop;
}

inline bool rtUtf8IsCont(uint8_t b)
{
    return (b & 0xc0) == 0x80;
}

/** Sequence length announced by a lead byte of 0x80 or more; 0 if it is no lead byte. */
inline unsigned rtUtf8SeqLen(uint8_t b)
{
    if (b < 0xc0)
        return 0;
    if (b < 0xe0)
        return 2;
    if (b < 0xf0)
        return 3;
    if (b < 0xf8)
        return 4;
    if (b < 0xfc)
        return 5;
    if (b < 0xfe)
        return 6;
    return 0;
}

/**
 * Decodes the multi-byte sequence at pb (whose first byte is 0x80 or more) with at most
 * cbLeft bytes available. fStrict gives the validation rules, where nothing above U+10FFFF
 * is allowed; otherwise 4-byte values up to 0x1FFFFF and 5- and 6-byte forms pass.
 * A zero byte is never a continuation byte, so an unlimited call stops at the terminator.
 * One copy serves both: validation only comes here for what its word-wise walk leaves.
 */
RT_NOINLINE RTSTATUS rtUtf8DecodeSeq(const uint8_t *pb, size_t cbLeft, RTUNICP *pCp, unsigned *pcb, bool fStrict)
{
    uint8_t const b0 = pb[0];
    unsigned const cb = rtUtf8SeqLen(b0);
    if (!cb || cbLeft < cb)
        return ERR_UTF8_MALFORMED;

    RTUNICP cp = b0 & (0x7fu >> cb);
    for (unsigned i = 1; i < cb; i++)
    {
        uint8_t const b = pb[i];
        if (!rtUtf8IsCont(b))
            return ERR_UTF8_MALFORMED;
        cp = (cp << 6) | (b & 0x3f);
    }

    /* The smallest value each length may carry; shorter forms are overlong. */
    static constexpr RTUNICP s_aMin[7] = { 0, 0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000 };
    if (cp < s_aMin[cb])
        return ERR_UTF8_MALFORMED;
    if (cb == 3)
    {
        if (cp >= 0xfffe)
            return ERR_CODEPOINT_NONCHARACTER;
        if (cp - 0xd800u < 0x800u)
            return ERR_UTF8_SURROGATE;
    }
    else if (fStrict && cb >= 4 && (cb > 4 || cp > 0x10ffff))
        return ERR_CODEPOINT_TOO_LARGE;

    *pCp = cp;
    *pcb = cb;
    return INF_SUCCESS;
}

/** What a strict scan found: bytes before the terminator or limit, code points, and how
 *  many of those need a surrogate pair in UTF-16. */
struct RTUTF8SCAN
{
    size_t cb;
    size_t cCps;
    size_t cSupplementary;
};

/**
 * The hot part of strict validation: walks ASCII and valid two-, three- and four-byte
 * sequences a word at a time and returns where it stopped: at the terminator, where no
 * word may be read (the last three bytes before uEnd or a page's end), or at anything
 * else, which the caller passes to the full rules (to report the error). Adds the bytes
 * beyond the first of each sequence to *pcbExtra and the four-byte sequences to *pcSupp.
 * A leaf without calls, so that its variables stay in registers.
 *
 * One masked compare checks a sequence's lead and continuation bytes together. With the
 * bytes of a well-formed sequence in reading order (a byte swap of the word), the order of
 * the numbers is the order of the code points, so the overlong forms, the surrogates, the
 * noncharacters and the values above U+10FFFF are plain ranges of that number.
 */
RT_NOINLINE const uint8_t *rtUtf8ScanCommon(const uint8_t *pb, uintptr_t uEnd, size_t *pcbExtra, size_t *pcSupp)
{
    size_t cbExtra = 0;
    size_t cSupp = 0;
    uintptr_t uStop;
    while (reinterpret_cast<uintptr_t>(pb) < (uStop = rtUtf8WordStop(pb, uEnd)))
    {
        do
        {
            uint32_t const u = *reinterpret_cast<const RTU32UNALIGNED *>(pb);
            if (!(u & 0x80))
            {
                /* ASCII up to the first other byte; a zero first byte ends the string. */
                uint32_t const fStops = rtUtf8AsciiStops(u);
                if (!fStops)
                    pb += 4;
                else if (fStops & 0x80)
                    goto done;
                else
                    pb += static_cast<unsigned>(__builtin_ctz(fStops)) / 8;
            }
            else if ((u & 0xc0e0u) == 0x80c0u)
            {
                /* C0 and C1 lead only overlong forms. */
                if (!(u & 0x1eu))
                    goto done;
                pb += 2;
                cbExtra += 1;
            }
            else if ((u & 0xc0c0f0u) == 0x8080e0u)
            {
                /* Scripts written in three-byte sequences use little else: stay with them. */
                uint32_t uNext = u;
                do
                {
                    uint32_t const v = __builtin_bswap32(uNext) >> 8;
                    if (  (v - 0xe0a080u > 0xefbfbdu - 0xe0a080u)     /* below U+0800, U+FFFE and U+FFFF */
                        | (v - 0xeda080u <= 0xedbfbfu - 0xeda080u))   /* U+D800 to U+DFFF */
                        goto done;
                    pb += 3;
                    cbExtra += 2;
                    if (reinterpret_cast<uintptr_t>(pb) >= uStop)
                        break;
                    uNext = *reinterpret_cast<const RTU32UNALIGNED *>(pb);
                } while ((uNext & 0xc0c0f0u) == 0x8080e0u);
            }
            else if ((u & 0xc0c0c0f8u) == 0x808080f0u)
            {
                if (__builtin_bswap32(u) - 0xf0908080u > 0xf48fbfbfu - 0xf0908080u) /* U+10000 to U+10FFFF */
                    goto done;
                pb += 4;
                cbExtra += 3;
                cSupp++;
            }
            else
                goto done;
        } while (reinterpret_cast<uintptr_t>(pb) < uStop);
    }
done:
    *pcbExtra += cbExtra;
    *pcSupp += cSupp;
    return pb;
}

/** Strict validation of a whole string, up to its terminator or cchMax bytes. */
RTSTATUS rtUtf8Scan(const char *psz, size_t cchMax, RTUTF8SCAN *pScan)
{
    /* A cursor and an end address rather than offsets; without a limit the end is the top
       of the address space. */
    const uint8_t *const pbStart = reinterpret_cast<const uint8_t *>(psz);
    uintptr_t const uStart = reinterpret_cast<uintptr_t>(pbStart);
    uintptr_t const uEnd = cchMax < UINTPTR_MAX - uStart ? uStart + cchMax : UINTPTR_MAX;
    const uint8_t *pb = pbStart;
    size_t cbExtra = 0;
    size_t cSupp = 0;
    for (;;)
    {
        /* What the word-wise walk leaves, a character at a time: errors, and the last few
           bytes before the limit or a page's end. */
        pb = rtUtf8ScanCommon(pb, uEnd, &cbExtra, &cSupp);
        if (reinterpret_cast<uintptr_t>(pb) >= uEnd || !*pb)
            break;
        if (*pb < 0x80)
        {
            pb++;
            continue;
        }
        RTUNICP cp;
        unsigned cb;
        RTSTATUS const rc = rtUtf8DecodeSeq(pb, uEnd - reinterpret_cast<uintptr_t>(pb), &cp, &cb, true);
        if (RT_FAILURE(rc))
            return rc;
        pb += cb;
        cbExtra += cb - 1;
        cSupp += cb == 4;
    }
    size_t const cb = static_cast<size_t>(pb - pbStart);
    pScan->cb = cb;
    pScan->cCps = cb - cbExtra;
    pScan->cSupplementary = cSupp;
    return INF_SUCCESS;
}

/** Stores a code point as one element (a UTF-16 unit when it is below U+10000). */
template <typename TOut>
inline TOut *rtPutOne(TOut *pOut, RTUNICP cp)
{
    *pOut = static_cast<TOut>(cp);
    return pOut + 1;
}

/**
 * Decodes a run of accepted cb-byte sequences, the first of which has its lead byte in b:
 * text in one script is mostly such runs. A sequence's value is the sum of its bytes at
 * their places less the marker bits, which are known once the length is. Returns true
 * after the last code point; otherwise the next lead byte is in b.
 */
template <unsigned cb, typename TOut, typename FnPut>
inline __attribute__((always_inline))
bool rtUtf8DecodeRun(const uint8_t *&pb, TOut *&pOut, size_t &cCps, uint32_t &b, FnPut pfnPut)
{
    static_assert(cb >= 2 && cb <= 4, "validation allows two- to four-byte sequences");
    constexpr uint32_t bLead = (0xff00u >> cb) & 0xffu;
    constexpr uint32_t cLeads = 0x40u >> (cb - 1);
    constexpr uint32_t uMarkers = []() {
        uint32_t u = bLead;
        for (unsigned i = 1; i < cb; i++)
            u = (u << 6) + 0x80u;
        return u;
    }();
    static_assert(cb != 3 || (bLead == 0xe0 && cLeads == 0x10 && uMarkers == 0xe2080), "three-byte form");
    do
    {
        uint32_t cp = (b << (6 * (cb - 1))) - uMarkers;
        for (unsigned i = 1; i < cb; i++)
            cp += static_cast<uint32_t>(pb[i]) << (6 * (cb - 1 - i));
        pOut = pfnPut(pOut, cp);
        pb += cb;
        if (!--cCps)
            return true;
        b = *pb;
    } while (b - bLead < cLeads);
    return false;
}

/**
 * Decodes a string that a strict scan has accepted, up to cCps code points. Code points
 * below U+10000 are stored as they are, others through pfnPutSupp; ASCII runs go through
 * pfnPutAscii4 four bytes at a time.
 */
template <typename TOut, typename FnSupp, typename FnAscii4>
inline __attribute__((always_inline))
TOut *rtUtf8DecodeTrusted(const char *psz, size_t cCps, TOut *pOut, FnSupp pfnPutSupp, FnAscii4 pfnPutAscii4)
{
    const uint8_t *pb = reinterpret_cast<const uint8_t *>(psz);
    if (!cCps)
        return pOut;
    /* Each branch leaves with the next lead byte in b, or returns after the last code point. */
    uint32_t b = *pb;
    for (;;)
    {
        if (b < 0x80)
        {
            *pOut++ = static_cast<TOut>(b);
            pb++;
            cCps--;
            /* Every code point takes at least one byte, so four remaining code points mean
               four readable bytes of the accepted string. */
            while (cCps >= 4)
            {
                uint32_t const u = *reinterpret_cast<const RTU32UNALIGNED *>(pb);
                uint32_t const fHigh = u & 0x80808080u;
                if (fHigh)
                {
                    /* The ASCII bytes before the first other one, so that it comes next. */
                    for (unsigned cAscii = static_cast<unsigned>(__builtin_ctz(fHigh)) / 8; cAscii; cAscii--)
                    {
                        *pOut++ = *pb++;
                        cCps--;
                    }
                    break;
                }
                pOut = pfnPutAscii4(pOut, u);
                pb += 4;
                cCps -= 4;
            }
            if (!cCps)
                return pOut;
            b = *pb;
        }
        /* Validation allowed nothing longer than four bytes. */
        else if (b < 0xe0)
        {
            if (rtUtf8DecodeRun<2>(pb, pOut, cCps, b, rtPutOne<TOut>))
                return pOut;
        }
        else if (b < 0xf0)
        {
            if (rtUtf8DecodeRun<3>(pb, pOut, cCps, b, rtPutOne<TOut>))
                return pOut;
        }
        else if (rtUtf8DecodeRun<4>(pb, pOut, cCps, b, pfnPutSupp))
            return pOut;
    }
}

/** A code point from U+10000 up as a surrogate pair. */
inline RTUTF16 *rtUtf16PutSupp(RTUTF16 *pwc, RTUNICP cp)
{
    cp -= 0x10000;
    pwc[0] = static_cast<RTUTF16>(0xd800 | (cp >> 10));
    pwc[1] = static_cast<RTUTF16>(0xdc00 | (cp & 0x3ff));
    return pwc + 2;
}

inline RTUTF16 *rtUtf16PutAscii4(RTUTF16 *pwc, uint32_t u)
{
    pwc[0] = static_cast<RTUTF16>(u & 0xff);
    pwc[1] = static_cast<RTUTF16>((u >> 8) & 0xff);
    pwc[2] = static_cast<RTUTF16>((u >> 16) & 0xff);
    pwc[3] = static_cast<RTUTF16>(u >> 24);
    return pwc + 4;
}

inline RTUNICP *rtCpPutAscii4(RTUNICP *pCp, uint32_t u)
{
    pCp[0] = u & 0xff;
    pCp[1] = (u >> 8) & 0xff;
    pCp[2] = (u >> 16) & 0xff;
    pCp[3] = u >> 24;
    return pCp + 4;
}

/**
 * The UTF-8 conversions: validate and count the elements (UTF-16 units or code points),
 * pick or allocate the buffer, decode into it and terminate.
 */
template <typename T, typename FnSupp, typename FnAscii4>
RTSTATUS rtUtf8ConvertTo(const char *psz, size_t cchMax, T **ppOut, size_t cElems, size_t *pcElems,
                         RTSTATUS rcAllocFailed, FnSupp pfnPutSupp, FnAscii4 pfnPutAscii4)
{
    if (!RT_VALID_PTR(psz) || !RT_VALID_PTR(ppOut))
        return ERR_BAD_POINTER;
    RTUTF8SCAN Scan;
    RTSTATUS rc = rtUtf8Scan(psz, cchMax, &Scan);
    if (RT_FAILURE(rc))
        return rc;
    /* A supplementary code point takes two UTF-16 units. */
    size_t const cNeeded = sizeof(T) == sizeof(RTUTF16) ? Scan.cCps + Scan.cSupplementary : Scan.cCps;
    if (pcElems)
        *pcElems = cNeeded;

    T *pOut = rtStrConvBuffer(ppOut, cElems, cNeeded, rcAllocFailed, &rc);
    if (!pOut)
        return rc;
    *rtUtf8DecodeTrusted(psz, Scan.cCps, pOut, pfnPutSupp, pfnPutAscii4) = 0;
    *ppOut = pOut;
    return INF_SUCCESS;
}

} /* anonymous namespace */


RTSTATUS RTStrScanUtf8(const char *psz, size_t cchMax, size_t *pcCps, size_t *pcch)
{
    if (!RT_VALID_PTR(psz) || !RT_VALID_PTR(pcCps))
        return ERR_BAD_POINTER;
    *pcCps = 0;
    if (pcch)
        *pcch = 0;
    RTUTF8SCAN Scan;
    RTSTATUS const rc = rtUtf8Scan(psz, cchMax, &Scan);
    if (RT_SUCCESS(rc))
    {
        *pcCps = Scan.cCps;
        if (pcch)
            *pcch = Scan.cb;
    }
    return rc;
}

RTSTATUS RTStrUtf16Units(const char *psz, size_t cchMax, size_t *pcwc)
{
    if (!RT_VALID_PTR(psz) || !RT_VALID_PTR(pcwc))
        return ERR_BAD_POINTER;
    *pcwc = 0;
    RTUTF8SCAN Scan;
    RTSTATUS const rc = rtUtf8Scan(psz, cchMax, &Scan);
    if (RT_SUCCESS(rc))
        *pcwc = Scan.cCps + Scan.cSupplementary;
    return rc;
}

RTSTATUS RTStrCheckEncoding(const char *psz, size_t cchMax, uint32_t fFlags)
{
    if (fFlags & ~(STRCHECK_NEED_TERMINATOR | STRCHECK_EXACT_LENGTH))
        return ERR_BAD_ARGUMENT;
    if (!RT_VALID_PTR(psz))
        return ERR_BAD_POINTER;
    RTUTF8SCAN Scan;
    RTSTATUS const rc = rtUtf8Scan(psz, cchMax, &Scan);
    if (RT_FAILURE(rc))
        return rc;
    size_t const cbNeeded = Scan.cb + ((fFlags & STRCHECK_NEED_TERMINATOR) ? 1 : 0);
    if (fFlags & STRCHECK_EXACT_LENGTH)
    {
        if (cbNeeded < cchMax)
            return ERR_BUFFER_UNDERRUN;
        if (cbNeeded > cchMax)
            return ERR_BUFFER_TOO_SMALL;
    }
    else if ((fFlags & STRCHECK_NEED_TERMINATOR) && cbNeeded > cchMax)
        return ERR_BUFFER_TOO_SMALL;
    return rc;
}

size_t RTStrCountCodePoints(const char *psz)
{
    RTUTF8SCAN Scan;
    if (!RT_VALID_PTR(psz) || RT_FAILURE(rtUtf8Scan(psz, RTSTR_MAX, &Scan)))
        return 0;
    return Scan.cCps;
}

RTSTATUS RTStrDecodeCpN(const char **ppsz, size_t *pcch, RTUNICP *pCp)
{
    if (!RT_VALID_PTR(ppsz) || !RT_VALID_PTR(pcch) || !RT_VALID_PTR(pCp))
        return ERR_BAD_POINTER;
    *pCp = CODEPOINT_BAD;
    if (!*pcch)
        return ERR_END_OF_STRING;
    const uint8_t *pb = reinterpret_cast<const uint8_t *>(*ppsz);
    if (!RT_VALID_PTR(pb))
        return ERR_BAD_POINTER;

    RTUNICP cp = pb[0];
    unsigned cb = 1;
    RTSTATUS rc = INF_SUCCESS;
    if (cp >= 0x80)
    {
        rc = rtUtf8DecodeSeq(pb, *pcch, &cp, &cb, false);
        if (RT_FAILURE(rc))
        {
            cp = CODEPOINT_BAD;
            cb = 1;
        }
    }
    *ppsz += cb;
    *pcch -= cb;
    *pCp = cp;
    return rc;
}

RTSTATUS RTStrDecodeCp(const char **ppsz, RTUNICP *pCp)
{
    size_t cch = RTSTR_MAX;
    return RTStrDecodeCpN(ppsz, &cch, pCp);
}

RTUNICP RTStrPeekCp(const char *psz)
{
    RTUNICP cp = CODEPOINT_BAD;
    RTStrDecodeCp(&psz, &cp);
    return cp;
}

const char *RTStrStepBack(const char *pszStart, const char *psz)
{
    if (psz <= pszStart)
        return pszStart;
    const uint8_t *pb = reinterpret_cast<const uint8_t *>(psz) - 1;
    if (*pb < 0x80)
        return reinterpret_cast<const char *>(pb);
    if (!rtUtf8IsCont(*pb))
        return pszStart;

    /* After k continuation bytes only the lead of a (k + 1)-byte sequence fits. */
    const uint8_t *const pbStart = reinterpret_cast<const uint8_t *>(pszStart);
    for (unsigned cCont = 1; cCont <= 5 && pb > pbStart; )
    {
        pb--;
        if (rtUtf8IsCont(*pb))
        {
            cCont++;
            continue;
        }
        if (rtUtf8SeqLen(*pb) == cCont + 1)
            return reinterpret_cast<const char *>(pb);
        break;
    }
    return pszStart;
}

char *RTStrEncodeCp(char *psz, RTUNICP Cp)
{
    uint8_t *pb = reinterpret_cast<uint8_t *>(psz);
    if (Cp < 0x80)
        *pb++ = static_cast<uint8_t>(Cp);
    else if (Cp & 0x80000000u)
        *pb++ = 0x7f;
    else
    {
        unsigned const cb = Cp < 0x800 ? 2 : Cp < 0x10000 ? 3 : Cp < 0x200000 ? 4 : Cp < 0x4000000 ? 5 : 6;
        /* The lead byte's marker bits, by sequence length. */
        static constexpr uint8_t s_abLead[7] = { 0, 0, 0xc0, 0xe0, 0xf0, 0xf8, 0xfc };
        for (unsigned i = cb - 1; i > 0; i--)
        {
            pb[i] = static_cast<uint8_t>(0x80 | (Cp & 0x3f));
            Cp >>= 6;
        }
        pb[0] = static_cast<uint8_t>(s_abLead[cb] | Cp);
        pb += cb;
    }
    return reinterpret_cast<char *>(pb);
}

RTSTATUS RTStrToUtf16Ex(const char *psz, size_t cchMax, RTUTF16 **ppwsz, size_t cwc, size_t *pcwc)
{
    return rtUtf8ConvertTo(psz, cchMax, ppwsz, cwc, pcwc, ERR_UTF16_ALLOC_FAILED, rtUtf16PutSupp, rtUtf16PutAscii4);
}

RTSTATUS RTStrToUtf16(const char *psz, RTUTF16 **ppwsz)
{
    if (!RT_VALID_PTR(ppwsz))
        return ERR_BAD_POINTER;
    *ppwsz = nullptr;
    return RTStrToUtf16Ex(psz, RTSTR_MAX, ppwsz, 0, nullptr);
}

RTSTATUS RTStrToCodePointsEx(const char *psz, size_t cchMax, RTUNICP **ppaCps, size_t cCps, size_t *pcCps)
{
    return rtUtf8ConvertTo(psz, cchMax, ppaCps, cCps, pcCps, ERR_CODEPOINT_ALLOC_FAILED, rtPutOne<RTUNICP>, rtCpPutAscii4);
}
