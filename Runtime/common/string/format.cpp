/* The format engine: walks a printf-style format once and streams literal runs and
 * converted arguments to an output callback. It never assembles the whole text and
 * never touches the heap; numbers are built in a small stack area. */
#include "rt/format.h"
#include "rt/string.h"
#include "internal/format.h"
#include "internal/format-number.h"

namespace {

/** Size of the area a number or a float is built in. */
constexpr size_t RTFMT_NUM_AREA = 64;

/** Widths and precisions saturate here instead of overflowing while they are parsed. */
constexpr int RTFMT_WIDTH_MAX = 0x7fffffff / 10 - 1;

constexpr char g_szSpaces[] = "                                                                ";

/** Finds the end of a literal run: the next '%' or the terminator. Aligned words never
 *  straddle a page, so reading a whole word past the terminator stays on readable memory. */
inline const char *rtFmtScanLiteral(const char *psz)
{
    while (reinterpret_cast<uintptr_t>(psz) & 3)
    {
        if (*psz == '%' || !*psz)
            return psz;
        psz++;
    }
    for (;;)
    {
        uint32_t u;
        __builtin_memcpy(&u, psz, sizeof(u));
        if (rtFmtHasZeroByte(u) || rtFmtHasZeroByte(u ^ 0x25252525u))
            break;
        psz += 4;
    }
    while (*psz != '%' && *psz)
        psz++;
    return psz;
}

/** Everything one directive needs besides its argument. */
struct RTFMTSTATE
{
    RTFmtOutputFn   pfnOutput;
    void           *pvOutput;
};

size_t rtFmtSpaces(const RTFMTSTATE &St, size_t cch)
{
    size_t cchDone = 0;
    while (cch)
    {
        size_t const cchPiece = cch < sizeof(g_szSpaces) - 1 ? cch : sizeof(g_szSpaces) - 1;
        cchDone += St.pfnOutput(St.pvOutput, g_szSpaces, cchPiece);
        cch -= cchPiece;
    }
    return cchDone;
}

/** Spaces that pad a text of cchText characters (bytes or code points) to the width. */
inline size_t rtFmtPadding(int cchWidth, size_t cchText)
{
    return cchWidth > 0 && static_cast<size_t>(cchWidth) > cchText
         ? static_cast<size_t>(cchWidth) - cchText : 0;
}

/** Outputs what @a fnText writes, a text of cchText characters (bytes or code points),
 *  justified to the width. */
template <typename FnText>
inline size_t rtFmtPadded(const RTFMTSTATE &St, size_t cchText, int cchWidth, uint32_t fFlags, FnText fnText)
{
    size_t const cchPad = rtFmtPadding(cchWidth, cchText);
    size_t cchDone = 0;
    if (cchPad && !(fFlags & FMT_LEFT))
        cchDone += rtFmtSpaces(St, cchPad);
    cchDone += fnText();
    if (cchPad && (fFlags & FMT_LEFT))
        cchDone += rtFmtSpaces(St, cchPad);
    return cchDone;
}

/** Outputs a text justified to the width, in one call for the text itself. */
size_t rtFmtJustified(const RTFMTSTATE &St, const char *pch, size_t cch, int cchWidth, uint32_t fFlags)
{
    return rtFmtPadded(St, cch, cchWidth, fFlags,
                       [&]() -> size_t { return cch ? St.pfnOutput(St.pvOutput, pch, cch) : 0; });
}

/** The placeholder printed instead of a string behind an invalid pointer, justified. */
RT_NOINLINE size_t rtFmtBadPointer(const RTFMTSTATE &St, const void *pv, const char *pszTag,
                                   int cchWidth, uint32_t fFlags)
{
    char achText[RTFMT_BAD_POINTER_MAX];
    return rtFmtJustified(St, achText, rtFmtBadPointerText(achText, pv, pszTag), cchWidth, fFlags);
}

/** A UTF-8 string behind a valid pointer. */
inline size_t rtFmtUtf8(const RTFMTSTATE &St, const char *psz, int cchWidth, int cchPrecision, uint32_t fFlags)
{
    /* The precision bounds the read: the text need not be terminated within it. */
    size_t cch = 0;
    if (cchPrecision < 0)
        cch = rtFmtStrLen(psz);
    else
        while (cch < static_cast<size_t>(cchPrecision) && psz[cch])
            cch++;
    return rtFmtJustified(St, psz, cch, cchWidth, fFlags);
}

/** Decodes one code point of a UTF-16 string; false at the terminator or at a unit that
 *  does not decode. */
inline bool rtFmtUtf16Next(const RTUTF16 **ppwsz, RTUNICP *pCp)
{
    RTUTF16 const wc = **ppwsz;
    if (!wc)
        return false;
    if (wc < 0xd800 || (wc >= 0xe000 && wc <= 0xfffd))
    {
        *pCp = wc;
        (*ppwsz)++;
        return true;
    }
    return RT_SUCCESS(RTUtf16DecodeCp(ppwsz, pCp));
}

/** Outputs one code point as UTF-8. */
inline size_t rtFmtCodePoint(const RTFMTSTATE &St, RTUNICP Cp)
{
    char achUtf8[8];
    char const *pchEnd = RTStrEncodeCp(achUtf8, Cp);
    return St.pfnOutput(St.pvOutput, achUtf8, static_cast<size_t>(pchEnd - achUtf8));
}

/** Code points counted and printed stop at the precision when one was given. */
inline size_t rtFmtMaxCodePoints(int cchPrecision)
{
    return cchPrecision < 0 ? ~static_cast<size_t>(0) : static_cast<size_t>(cchPrecision);
}

/** The next code point of a UTF-16 string (fUtf16) or of a code-point string; false at the
 *  terminator and, in UTF-16, at a unit that does not decode. */
inline bool rtFmtWideNext(const void **ppv, bool fUtf16, RTUNICP *pCp)
{
    if (fUtf16)
        return rtFmtUtf16Next(reinterpret_cast<const RTUTF16 **>(ppv), pCp);
    const RTUNICP *pCur = static_cast<const RTUNICP *>(*ppv);
    if (!*pCur)
        return false;
    *pCp = *pCur;
    *ppv = pCur + 1;
    return true;
}

/** A UTF-16 or code-point string behind a valid pointer: justified by code points, each
 *  output as UTF-8. */
inline size_t rtFmtWide(const RTFMTSTATE &St, const void *pv, bool fUtf16, int cchWidth, int cchPrecision,
                        uint32_t fFlags)
{
    size_t const cMax = rtFmtMaxCodePoints(cchPrecision);
    size_t cCps = 0;
    RTUNICP Cp;
    for (const void *pvCur = pv; cCps < cMax && rtFmtWideNext(&pvCur, fUtf16, &Cp); )
        cCps++;

    return rtFmtPadded(St, cCps, cchWidth, fFlags, [&] {
        size_t cchDone = 0;
        for (size_t i = 0; i < cCps && rtFmtWideNext(&pv, fUtf16, &Cp); i++)
            cchDone += rtFmtCodePoint(St, Cp);
        return cchDone;
    });
}

/** A string argument: UTF-16 with the size letter 'l', code points with 'L', else UTF-8. */
size_t rtFmtString(const RTFMTSTATE &St, const void *pv, char chArgSize, int cchWidth, int cchPrecision,
                   uint32_t fFlags)
{
    bool const fUtf16 = chArgSize == 'l';
    bool const fWide = fUtf16 || chArgSize == 'L';
    if (!RT_VALID_PTR(pv))
        return rtFmtBadPointer(St, pv, !fWide ? "!BadStr" : fUtf16 ? "!BadStrW" : "!BadStrU", cchWidth, fFlags);
    if (fWide)
        return rtFmtWide(St, pv, fUtf16, cchWidth, cchPrecision, fFlags);
    return rtFmtUtf8(St, static_cast<const char *>(pv), cchWidth, cchPrecision, fFlags);
}

size_t rtFmtChar(const RTFMTSTATE &St, int iChar, int cchWidth, uint32_t fFlags)
{
    char const ch = static_cast<char>(iChar);
    return rtFmtJustified(St, &ch, 1, cchWidth, fFlags);
}

size_t rtFmtFloatArg(const RTFMTSTATE &St, va_list *pArgs)
{
#if defined(__i386__)
    /* An x87 load would quiet a signalling NaN, so the bits are taken as they were
       passed; a double and a 64-bit integer share the same argument slot here. */
    uint64_t const uBits = va_arg(*pArgs, uint64_t);
    double r64;
    __builtin_memcpy(&r64, &uBits, sizeof(r64));
#else
    double const r64 = va_arg(*pArgs, double);
#endif
    /* A program that left the conversion out prints nothing, the argument taken all the same. */
    if (!g_pfnRTFmtFloat)
        return 0;
    char szText[RTFMT_NUM_AREA];
    int const cch = g_pfnRTFmtFloat(szText, sizeof(szText), &r64, -1, -1, 0);
    return St.pfnOutput(St.pvOutput, szText, static_cast<size_t>(cch));
}

/** Lends the typed directive its scratch area, which only this path needs. */
RT_NOINLINE size_t rtFmtTyped(const RTFMTSTATE &St, const char **ppszFormat, va_list *pArgs,
                              int cchWidth, int cchPrecision, uint32_t fFlags, char chArgSize)
{
    char szScratch[RTFMT_SCRATCH_SIZE];
    return RTFmtRType(St.pfnOutput, St.pvOutput, ppszFormat, pArgs, cchWidth, cchPrecision, fFlags,
                      chArgSize, szScratch);
}

/** Parses decimal digits of a width or precision, saturating. */
inline int rtFmtParseCount(const char **ppsz)
{
    const char *psz = *ppsz;
    int iValue = 0;
    while (*psz >= '0' && *psz <= '9')
    {
        if (iValue < RTFMT_WIDTH_MAX)
            iValue = iValue * 10 + (*psz - '0');
        psz++;
    }
    *ppsz = psz;
    return iValue;
}

} /* namespace */

size_t RTFmtV(RTFmtOutputFn pfnOutput, void *pvOutput, RTFmtExtensionFn pfnExt, void *pvExt,
              const char *pszFormat, va_list argsIn)
{
    RTFMTSTATE const St = { pfnOutput, pvOutput };
    va_list args;
    va_copy(args, argsIn);
    size_t cchTotal = 0;

    if (!RT_VALID_PTR(pszFormat))
    {
        cchTotal = rtFmtBadPointer(St, pszFormat, "!BadStr", -1, 0);
        pszFormat = "";
    }

    const char *psz = pszFormat;
    const char *pszRun = psz;
    for (;;)
    {
        psz = rtFmtScanLiteral(psz);
        char const chLit = *psz;
        if (psz != pszRun)
            cchTotal += pfnOutput(pvOutput, pszRun, static_cast<size_t>(psz - pszRun));
        if (!chLit)
            break;
        psz++;
        if (*psz == '%')
        {
            /* The second '%' starts the next literal run. */
            pszRun = psz++;
            continue;
        }

        /* Flags. */
        uint32_t fFlags = 0;
        for (;;)
        {
            switch (*psz)
            {
                case ' ':  fFlags |= FMT_SHOW_BLANK; psz++; continue;
                case '#':  fFlags |= FMT_BASE_PREFIX; psz++; continue;
                case '\'': fFlags |= FMT_GROUP_DIGITS; psz++; continue;
                case '+':  fFlags |= FMT_SHOW_PLUS; psz++; continue;
                case '-':  fFlags |= FMT_LEFT; psz++; continue;
                case '0':  fFlags |= FMT_ZERO_FILL; psz++; continue;
                default:   break;
            }
            break;
        }

        /* Width. */
        int cchWidth = -1;
        if (*psz >= '0' && *psz <= '9')
        {
            cchWidth = rtFmtParseCount(&psz);
            fFlags |= FMT_WIDTH_GIVEN;
        }
        else if (*psz == '*')
        {
            psz++;
            int const iArg = va_arg(args, int);
            if (iArg < 0)
            {
                fFlags |= FMT_LEFT;
                cchWidth = iArg == INT32_MIN ? INT32_MAX : -iArg;
            }
            else
                cchWidth = iArg;
            fFlags |= FMT_WIDTH_GIVEN;
        }

        /* Precision. */
        int cchPrecision = -1;
        if (*psz == '.')
        {
            psz++;
            if (*psz == '*')
            {
                psz++;
                int const iArg = va_arg(args, int);
                cchPrecision = iArg < 0 ? 0 : iArg;
            }
            else
                cchPrecision = rtFmtParseCount(&psz);
            fFlags |= FMT_PRECISION_GIVEN;
        }

        /* Size. */
        bool f64 = false;
        char chArgSize = '\0';
        switch (*psz)
        {
            case 'I':
                if (psz[1] == '6' && psz[2] == '4')
                {
                    psz += 3;
                    f64 = true;
                    chArgSize = 'q';
                }
                else if (psz[1] == '3' && psz[2] == '2')
                    psz += 3;
                else
                {
                    psz++;
                    f64 = true;
                    chArgSize = 'j';
                }
                break;
            case 'L':
                psz++;
                f64 = true;
                chArgSize = 'L';
                break;
            case 'l':
                if (psz[1] == 'l')
                {
                    psz += 2;
                    f64 = true;
                    chArgSize = 'L';
                }
                else
                {
                    psz++;
                    chArgSize = 'l';
                }
                break;
            case 'q':
            case 'j':
                chArgSize = *psz++;
                f64 = true;
                break;
            case 'h':
                if (psz[1] == 'h')
                {
                    psz += 2;
                    fFlags |= FMT_8BIT;
                    chArgSize = 'H';
                }
                else
                {
                    psz++;
                    fFlags |= FMT_16BIT;
                    chArgSize = 'h';
                }
                break;
            case 'z':
            case 't':
                chArgSize = *psz++;
                break;
            default:
                break;
        }

        /* Conversion. */
        char const chConv = *psz;
        unsigned uBase = 10;
        switch (chConv)
        {
            case '\0':
                break;

            case 'd':
            case 'i':
                fFlags |= FMT_SIGNED;
                goto l_number;
            case 'o':
                uBase = 8;
                goto l_number;
            case 'X':
                fFlags |= FMT_UPPER;
                [[fallthrough]];
            case 'x':
                uBase = 16;
                [[fallthrough]];
            case 'u':
            l_number:
            {
                psz++;
                uint64_t u64;
                if (f64)
                {
                    u64 = va_arg(args, uint64_t);
                    fFlags |= FMT_64BIT;
                }
                else
                {
                    u64 = va_arg(args, uint32_t);
                    fFlags |= FMT_32BIT;
                }
                char szNum[RTFMT_NUM_AREA];
                const char *pchNum = szNum;
                size_t cchNum;
                if (!(fFlags & RTFMT_DECORATION_FLAGS))
                {
                    pchNum = rtFmtPlainNumber(&szNum[sizeof(szNum)], u64, uBase, fFlags);
                    cchNum = static_cast<size_t>(&szNum[sizeof(szNum)] - pchNum);
                }
                else
                    cchNum = static_cast<size_t>(RTFmtNumber(szNum, u64, uBase, cchWidth, cchPrecision, fFlags));
                cchTotal += pfnOutput(pvOutput, pchNum, cchNum);
                break;
            }

            case 'p':
                /* A pointer is an unsigned number in hexadecimal, zero-filled to its full
                   width unless a width was given. */
                if (!(fFlags & FMT_WIDTH_GIVEN))
                    cchWidth = static_cast<int>(sizeof(void *) * 2);
                fFlags |= FMT_ZERO_FILL;
                f64 = sizeof(void *) > 4;
                uBase = 16;
                goto l_number;

            case 'c':
                psz++;
                cchTotal += rtFmtChar(St, va_arg(args, int), cchWidth, fFlags);
                break;

            case 's':
            case 'S':
                psz++;
                cchTotal += rtFmtString(St, va_arg(args, const void *), chArgSize, cchWidth, cchPrecision, fFlags);
                break;

            case 'a': case 'A':
            case 'e': case 'E':
            case 'f': case 'F':
            case 'g': case 'G':
                psz++;
                cchTotal += rtFmtFloatArg(St, &args);
                break;

            case 'N':
            {
                psz++;
                const char *pszNested = va_arg(args, const char *);
                va_list *pNestedArgs = va_arg(args, va_list *);
                if (!RT_VALID_PTR(pszNested))
                    cchTotal += rtFmtBadPointer(St, pszNested, "!BadStr", cchWidth, fFlags);
                else if (!RT_VALID_PTR(pNestedArgs))
                    cchTotal += rtFmtBadPointer(St, pNestedArgs, "!BadArgs", cchWidth, fFlags);
                else
                {
                    /* A copy, so that neither argument list moves. */
                    va_list nestedArgs;
                    va_copy(nestedArgs, *pNestedArgs);
                    cchTotal += RTFmtV(pfnOutput, pvOutput, pfnExt, pvExt, pszNested, nestedArgs);
                    va_end(nestedArgs);
                }
                break;
            }

            case 'M':
            {
                const char *pszNew = va_arg(args, const char *);
                if (!RT_VALID_PTR(pszNew))
                {
                    cchTotal += rtFmtBadPointer(St, pszNew, "!BadStr", cchWidth, fFlags);
                    pszNew = "";
                }
                psz = pszNew;
                break;
            }

            case 'R':
                cchTotal += rtFmtTyped(St, &psz, &args, cchWidth, cchPrecision, fFlags, chArgSize);
                break;

            default:
                if (pfnExt)
                    cchTotal += pfnExt(pvExt, pfnOutput, pvOutput, &psz, &args, cchWidth, cchPrecision,
                                       fFlags, chArgSize);
                else
                    psz++;
                break;
        }
        if (chConv == '\0')
            break;
        pszRun = psz;
    }

    va_end(args);
    pfnOutput(pvOutput, nullptr, 0);
    return cchTotal;
}

size_t RTFmt(RTFmtOutputFn pfnOutput, void *pvOutput, RTFmtExtensionFn pfnExt, void *pvExt,
             const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    size_t const cch = RTFmtV(pfnOutput, pvOutput, pfnExt, pvExt, pszFormat, args);
    va_end(args);
    return cch;
}
