/* Name directives of the typed-directive family: the base name of a path (%Rbn), the bare
 * name of a function signature (%Rfn) and counted big-endian UTF-16 strings (%lRbs). */
#include "internal/format-rtype.h"
#include "internal/path.h"
#include "rt/string.h"

namespace {


/** The part after the last run of separators that has something after it, so that a
 *  trailing separator stays with the last name. */
void rtFmtBaseName(RTFMTSINK *pSink, const char *psz)
{
    const char *pszName = psz;
    while (*psz)
    {
        if (!rtPathIsSepOrColon(*psz))
        {
            psz++;
            continue;
        }
        while (rtPathIsSepOrColon(*psz))
            psz++;
        if (*psz)
            pszName = psz;
    }
    pSink->Write(pszName, static_cast<size_t>(psz - pszName));
}

/** The name in a signature such as "int __cdecl f(int)": it starts after the last run of
 *  blanks outside template brackets (with any '(' glued to the run, as in "void (*f)(...)")
 *  and ends at the next '('. */
void rtFmtFunctionName(RTFMTSINK *pSink, const char *psz)
{
    const char *pszName = psz;
    int cNesting = 0;
    while (*psz && *psz != '(')
    {
        char const ch = *psz;
        if (ch == ' ' || ch == '\t')
        {
            while (*psz == ' ' || *psz == '\t')
                psz++;
            while (*psz == '(')
                psz++;
            if (cNesting == 0)
                pszName = psz;
            continue;
        }
        if (ch == '<')
            cNesting++;
        else if (ch == '>')
            cNesting--;
        psz++;
    }
    pSink->Write(pszName, static_cast<size_t>(psz - pszName));
}

/** Decodes the next code point of a counted big-endian UTF-16 string. Stops (false) at a
 *  zero unit, at the end of the count and at a unit that does not decode; a high surrogate
 *  in the last counted unit is not decoded, as its pair would lie outside the string. */
bool rtFmtBigUtf16Next(const RTUTF16 **ppwsz, const RTUTF16 *pwszEnd, RTUNICP *pCp)
{
    const RTUTF16 *pwsz = *ppwsz;
    if (pwsz >= pwszEnd || *pwsz == 0)
        return false;
    uint16_t const uUnit = static_cast<uint16_t>(*pwsz);
    uint16_t const uHost = static_cast<uint16_t>(uUnit >> 8 | uUnit << 8);
    if (uHost >= 0xd800 && uHost <= 0xdbff && pwszEnd - pwsz < 2)
        return false;
    return RT_SUCCESS(RTUtf16BigDecodeCp(ppwsz, pCp));
}

void rtFmtBigUtf16(RTFMTSINK *pSink, const RTUTF16 *pwsz, RTFMTSPEC const *pSpec)
{
    bool const fLeft = (pSpec->fFlags & FMT_LEFT) != 0;
    size_t const cchWidth = pSpec->cchWidth > 0 ? static_cast<size_t>(pSpec->cchWidth) : 0;
    if (!RT_VALID_PTR(pwsz))
    {
        static constexpr char s_szNull[] = "<NULL>";
        size_t const cchPad = cchWidth > sizeof(s_szNull) - 1 ? cchWidth - (sizeof(s_szNull) - 1) : 0;
        if (!fLeft)
            pSink->Repeat(' ', cchPad);
        pSink->Write(s_szNull, sizeof(s_szNull) - 1);
        if (fLeft)
            pSink->Repeat(' ', cchPad);
        return;
    }

    const RTUTF16 *pwszEnd = pwsz + (pSpec->cchPrecision > 0 ? pSpec->cchPrecision : 0);
    size_t cCps = 0;
    RTUNICP Cp;
    for (const RTUTF16 *pwszCur = pwsz; rtFmtBigUtf16Next(&pwszCur, pwszEnd, &Cp);)
        cCps++;

    size_t const cchPad = cchWidth > cCps ? cchWidth - cCps : 0;
    if (!fLeft)
        pSink->Repeat(' ', cchPad);
    for (const RTUTF16 *pwszCur = pwsz; rtFmtBigUtf16Next(&pwszCur, pwszEnd, &Cp);)
    {
        char achUtf8[8];
        pSink->Write(achUtf8, static_cast<size_t>(RTStrEncodeCp(achUtf8, Cp) - achUtf8));
    }
    if (fLeft)
        pSink->Repeat(' ', cchPad);
}

} /* namespace */

size_t rtFmtRTypeName(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec)
{
    if ((pszType[0] == 'b' || pszType[0] == 'f') && pszType[1] == 'n')
    {
        bool const fBaseName = pszType[0] == 'b';
        const char *psz = va_arg(*pSpec->pArgs, const char *);
        if (!RT_VALID_PTR(psz))
            pSink->BadPtr(psz, fBaseName ? "!BadBaseName" : "!BadFnNm");
        else if (fBaseName)
            rtFmtBaseName(pSink, psz);
        else
            rtFmtFunctionName(pSink, psz);
        return 2;
    }
    if (pszType[0] == 'b' && pszType[1] == 's' && pSpec->chArgSize == 'l')
    {
        rtFmtBigUtf16(pSink, va_arg(*pSpec->pArgs, const RTUTF16 *), pSpec);
        return 2;
    }
    return 0;
}

extern const RTFMTRTYPEFAMILY g_RTFmtRTypeName = { "bf", rtFmtRTypeName };
