/* Command-line splitting: the Windows rules that process start-up uses, and Bourne shell
 * rules. Unquoted text is never longer than its source, so arguments are written either
 * over the input itself or into one block of the input's size. */
#include "rt/getoptargv.h"
#include "rt/string.h"
#include "rt/mem.h"

namespace {

/** Array entries added at a time (the closing null pointer needs one more). */
constexpr int RTARGV_GROWTH = 32;

/** The read and write cursors of one split, with its separator set. */
struct RTARGVSPLIT
{
    const char *pszSrc;     /* next code point to read */
    char       *pszDst;     /* where the next byte of output goes, never after pszSrc */
    const char *pszSeps;
};

/** The code point at psz and its length in bytes; the input was checked beforehand. */
RTUNICP rtArgvPeek(const char *psz, size_t *pcb)
{
    const char *pszNext = psz;
    RTUNICP cp;
    RTStrDecodeCp(&pszNext, &cp);
    *pcb = static_cast<size_t>(pszNext - psz);
    return cp;
}

bool rtArgvIsSeparator(const char *pszSeps, RTUNICP cp)
{
    if (cp < 0x80)
    {
        for (const char *psz = pszSeps; *psz; psz++)
            if (static_cast<unsigned char>(*psz) == cp)
                return true;
        return false;
    }
    while (*pszSeps)
    {
        RTUNICP cpSep;
        RTStrDecodeCp(&pszSeps, &cpSep);
        if (cpSep == cp)
            return true;
    }
    return false;
}

/** Copies cb bytes from the read cursor to the write cursor (which may be the same string,
 *  the write cursor trailing). */
void rtArgvCopy(RTARGVSPLIT *pState, size_t cb)
{
    for (size_t i = 0; i < cb; i++)
        *pState->pszDst++ = *pState->pszSrc++;
}

void rtArgvPut(RTARGVSPLIT *pState, char ch)
{
    *pState->pszDst++ = ch;
}

/** One argument by the Windows rules; true when it ended at the end of the input. */
bool rtArgvWindowsArg(RTARGVSPLIT *pState)
{
    bool fInQuotes = false;
    for (;;)
    {
        size_t cb;
        RTUNICP const cp = rtArgvPeek(pState->pszSrc, &cb);
        if (!cp)
            return true;
        if (!fInQuotes && rtArgvIsSeparator(pState->pszSeps, cp))
        {
            pState->pszSrc += cb;
            return false;
        }
        if (cp == '"')
        {
            pState->pszSrc++;
            if (!fInQuotes)
                fInQuotes = true;
            else if (*pState->pszSrc == '"')
                rtArgvCopy(pState, 1);
            else
                fInQuotes = false;
        }
        else if (cp == '\\')
        {
            size_t cBackslashes = 0;
            while (pState->pszSrc[cBackslashes] == '\\')
                cBackslashes++;
            pState->pszSrc += cBackslashes;
            /* Before a double quote, pairs of backslashes stand for one each and an odd
               one escapes the quote; elsewhere backslashes are plain text. */
            size_t const cCopies = *pState->pszSrc == '"' ? cBackslashes / 2 : cBackslashes;
            for (size_t i = 0; i < cCopies; i++)
                rtArgvPut(pState, '\\');
            if (*pState->pszSrc == '"' && (cBackslashes & 1))
                rtArgvCopy(pState, 1);
        }
        else
            rtArgvCopy(pState, cb);
    }
}

/** One argument by Bourne shell rules; true when it ended at the end of the input. */
bool rtArgvShellArg(RTARGVSPLIT *pState)
{
    char chQuote = '\0';
    for (;;)
    {
        size_t cb;
        RTUNICP const cp = rtArgvPeek(pState->pszSrc, &cb);
        if (!cp)
            return true;
        if (!chQuote)
        {
            if (cp == '"' || cp == '\'')
            {
                chQuote = static_cast<char>(cp);
                pState->pszSrc++;
            }
            else if (rtArgvIsSeparator(pState->pszSeps, cp))
            {
                pState->pszSrc += cb;
                return false;
            }
            else if (cp == '\\')
            {
                pState->pszSrc++;
                RTUNICP const cpNext = rtArgvPeek(pState->pszSrc, &cb);
                if (!cpNext)
                    return true;
                rtArgvCopy(pState, cb);
            }
            else
                rtArgvCopy(pState, cb);
        }
        else if (cp == static_cast<RTUNICP>(chQuote))
        {
            chQuote = '\0';
            pState->pszSrc++;
        }
        else if (cp == '\\' && chQuote == '"')
        {
            RTUNICP const cpNext = rtArgvPeek(pState->pszSrc + 1, &cb);
            if (!cpNext)
            {
                pState->pszSrc++;
                return true;
            }
            /* Only these lose their backslash inside double quotes. */
            if (cpNext == '"' || cpNext == '\\' || cpNext == '`' || cpNext == '$' || cpNext == '\n')
                pState->pszSrc++;
            else
                rtArgvCopy(pState, 1);
            rtArgvCopy(pState, cb);
        }
        else
            rtArgvCopy(pState, cb);
    }
}

/** Decodes a whole string, returning the status of the first code point that fails. */
RTSTATUS rtArgvCheckDecodes(const char *psz)
{
    for (;;)
    {
        RTUNICP cp;
        RTSTATUS const rc = RTStrDecodeCp(&psz, &cp);
        if (RT_FAILURE(rc))
            return rc;
        if (!cp)
            return INF_SUCCESS;
    }
}

} /* namespace */


RTSTATUS RTGetOptArgvSplit(char ***ppapszArgv, int *pcArgs, const char *pszCmdLine, uint32_t fFlags,
                           const char *pszSeparators)
{
    if (!RT_VALID_PTR(ppapszArgv) || !RT_VALID_PTR(pcArgs) || !RT_VALID_PTR(pszCmdLine))
        return ERR_BAD_POINTER;
    uint32_t const fStyle = fFlags & ARGVSPLIT_STYLE_MASK;
    if (fStyle != ARGVSPLIT_WINDOWS && fStyle != ARGVSPLIT_SHELL)
        return ERR_BAD_FLAGS;
    if (!pszSeparators)
        pszSeparators = " \t\n\r";
    else if (!RT_VALID_PTR(pszSeparators))
        return ERR_BAD_POINTER;
    else if (!*pszSeparators)
        return ERR_BAD_ARGUMENT;

    /* Check everything before writing anything, so that a bad input is never left half
       rewritten in place. */
    RTSTATUS rc = rtArgvCheckDecodes(pszSeparators);
    if (RT_SUCCESS(rc))
        rc = rtArgvCheckDecodes(pszCmdLine);
    if (RT_FAILURE(rc))
        return rc;

    bool const fInPlace = (fFlags & ARGVSPLIT_INPLACE) != 0;
    char *pszBlock;
    if (fInPlace)
        pszBlock = const_cast<char *>(pszCmdLine);
    else
    {
        pszBlock = static_cast<char *>(RTMemAlloc(__builtin_strlen(pszCmdLine) + 1));
        if (!pszBlock)
            return ERR_STRING_ALLOC_FAILED;
    }

    RTARGVSPLIT State = { pszCmdLine, pszBlock, pszSeparators };
    char **papszArgs = nullptr;
    int cArgs = 0;
    bool fAtEnd = false;
    while (!fAtEnd)
    {
        size_t cb;
        RTUNICP cp;
        while ((cp = rtArgvPeek(State.pszSrc, &cb)) != 0 && rtArgvIsSeparator(pszSeparators, cp))
            State.pszSrc += cb;
        if (!cp)
            break;

        if (cArgs % RTARGV_GROWTH == 0)
        {
            size_t const cEntries = static_cast<size_t>(cArgs) + RTARGV_GROWTH + 1;
            char **papszNew = static_cast<char **>(RTMemRealloc(papszArgs, cEntries * sizeof(char *)));
            if (!papszNew)
            {
                RTMemFree(papszArgs);
                if (!fInPlace)
                    RTMemFree(pszBlock);
                return ERR_OUT_OF_MEMORY;
            }
            papszArgs = papszNew;
        }
        papszArgs[cArgs++] = State.pszDst;
        fAtEnd = fStyle == ARGVSPLIT_WINDOWS ? rtArgvWindowsArg(&State) : rtArgvShellArg(&State);
        *State.pszDst++ = '\0';
    }

    if (!cArgs)
    {
        if (!fInPlace)
            RTMemFree(pszBlock);
        papszArgs = static_cast<char **>(RTMemAlloc(sizeof(char *)));
        if (!papszArgs)
            return ERR_OUT_OF_MEMORY;
    }
    papszArgs[cArgs] = nullptr;
    *ppapszArgv = papszArgs;
    *pcArgs = cArgs;
    return INF_SUCCESS;
}

void RTGetOptArgvFree(char **papszArgv, uint32_t fFlags)
{
    if (!papszArgv)
        return;
    if (!(fFlags & ARGVSPLIT_INPLACE))
        RTMemFree(papszArgv[0]);
    RTMemFree(papszArgv);
}
