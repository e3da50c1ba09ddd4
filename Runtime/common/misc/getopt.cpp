/* The option parser: name matching (literal forms, Unicode dashes, optional case folding,
 * indexed names), short-option clusters, deferred plain arguments, value conversion, and
 * the message for a result the caller does not handle. */
#include "internal/getopt.h"
#include "rt/message.h"
#include "rt/strconv.h"
#include "rt/string.h"

namespace {

/** Options every parser knows after the caller's table. Each one-dash form is its
 *  two-dash form one character in, so that the text is kept once. */
constexpr RTOPTDESC g_aBuiltinDescs[] =
{
    { "--help",        'h', OPTVAL_NONE },
    { "--help" + 1,    'h', OPTVAL_NONE },
    { "--version",     'V', OPTVAL_NONE },
    { "--version" + 1, 'V', OPTVAL_NONE },
};
constexpr const RTOPTDESC *g_pBuiltinHelp = &g_aBuiltinDescs[0];

/* Every bit an option kind may carry: its value type and the OPTF_ flags. */
constexpr uint32_t RTGETOPT_KIND_VALID_MASK = OPTVAL_TYPE_MASK | OPTF_HEX | OPTF_OCT | OPTF_DEC | OPTF_INDEXED
                                            | OPTF_INDEX_DEFAULT_0 | OPTF_INDEX_DEFAULT_1 | OPTF_INDEX_DASH | OPTF_NOCASE;
static_assert(RTGETOPT_KIND_VALID_MASK == 0x00FF001F);

/** The dash characters a '-' in an option name also matches; all of them in the first
 *  plane, so 16 bits hold each. */
constexpr uint16_t g_aDashes[] = { 0x2010, 0x2011, 0x2012, 0x2013, 0x2014, 0x2212, 0xFE58, 0xFE63, 0xFF0D };

bool rtGetOptIsUnicodeDash(RTUNICP Cp)
{
    for (RTUNICP Dash : g_aDashes)
        if (Cp == Dash)
            return true;
    return false;
}

/** Length in bytes of a dash at @a psz ('-' or a Unicode dash), 0 if there is none. */
size_t rtGetOptDashLength(const char *psz)
{
    if (*psz == '-')
        return 1;
    if (static_cast<unsigned char>(*psz) < 0x80)
        return 0;
    const char *pszCursor = psz;
    RTUNICP Cp;
    if (RT_FAILURE(RTStrDecodeCp(&pszCursor, &Cp)) || !rtGetOptIsUnicodeDash(Cp))
        return 0;
    return static_cast<size_t>(pszCursor - psz);
}

inline bool rtGetOptIsDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

} /* namespace */

/** Compares an argument with an option name, at most @a cchLimit name characters.
 *  Returns the argument bytes matched, or -1 on a mismatch. */
ptrdiff_t rtGetOptMatch(const char *pszName, const char *pszArg, size_t cchLimit, bool fNoCase)
{
    const char *psz = pszArg;
    for (size_t iName = 0; iName < cchLimit; )
    {
        char const chName = pszName[iName];
        if (chName == *psz)
        {
            if (!chName)
                break;
            iName++, psz++;
            continue;
        }
        if (chName == '-')
        {
            size_t const cchDash = rtGetOptDashLength(psz);
            if (!cchDash)
                return -1;
            iName++, psz += cchDash;
            continue;
        }
        if (fNoCase && chName && *psz && rtGetOptFold(chName) == rtGetOptFold(*psz))
        {
            iName++, psz++;
            continue;
        }
        return -1;
    }
    return psz - pszArg;
}

namespace {

/** Looks a whole argument up as a long option; on success @a ppszRest gets the text after
 *  the name (the index digits, ':' or '=' and the value, or the empty end). */
const RTOPTDESC *rtGetOptMatchLong(const RTOPTDESC *pDesc, const char *pszArg, const char **ppszRest)
{
    bool const fNoCase = pDesc->fKind & OPTF_NOCASE;
    bool const fIndexed = pDesc->fKind & OPTF_INDEXED;
    if ((pDesc->fKind & OPTVAL_TYPE_MASK) == OPTVAL_NONE && !fIndexed)
    {
        if (rtGetOptMatch(pDesc->pszName, pszArg, ~static_cast<size_t>(0), fNoCase) < 0)
            return nullptr;
        *ppszRest = pszArg + __builtin_strlen(pszArg);
        return pDesc;
    }

    ptrdiff_t const cch = rtGetOptMatch(pDesc->pszName, pszArg, __builtin_strlen(pDesc->pszName), fNoCase);
    if (cch < 0)
        return nullptr;
    const char *psz = pszArg + cch;
    if (pDesc->fKind & OPTF_INDEX_DASH)
    {
        size_t const cchDash = rtGetOptDashLength(psz);
        if (cchDash && rtGetOptIsDigit(psz[cchDash]))
            psz += cchDash;
    }
    const char *pszRest = psz;
    if (fIndexed)
        while (rtGetOptIsDigit(*psz))
            psz++;
    if ((pDesc->fKind & OPTVAL_TYPE_MASK) == OPTVAL_NONE)
    {
        if (*psz)
            return nullptr;
    }
    else if (*psz && *psz != ':' && *psz != '=')
        return nullptr;
    *ppszRest = pszRest;
    return pDesc;
}

const RTOPTDESC *rtGetOptSearchLong(const RTOPTPARSER *pState, const char *pszArg, const char **ppszRest)
{
    for (uint32_t i = 0; i < pState->cDescs; i++)
        if (const RTOPTDESC *pDesc = rtGetOptMatchLong(&pState->paDescs[i], pszArg, ppszRest))
            return pDesc;
    if (!(pState->fInit & OPTINIT_NO_BUILTIN))
        for (const RTOPTDESC &Desc : g_aBuiltinDescs)
            if (rtGetOptMatchLong(&Desc, pszArg, ppszRest))
                return &Desc;
    return nullptr;
}

const RTOPTDESC *rtGetOptSearchShort(const RTOPTPARSER *pState, char chLetter)
{
    int32_t const iLetter = static_cast<signed char>(chLetter);
    for (uint32_t i = 0; i < pState->cDescs; i++)
        if (pState->paDescs[i].iId == iLetter)
            return &pState->paDescs[i];
    if (pState->fInit & OPTINIT_NO_BUILTIN)
        return nullptr;
    for (const RTOPTDESC &Desc : g_aBuiltinDescs)
        if (Desc.iId == iLetter)
            return &Desc;
    return chLetter == '?' ? g_pBuiltinHelp : nullptr;
}

/** Moves the argument at @a iFrom down to @a iTo, shifting those between up by one, so
 *  that options and their values stay in front of the set-aside plain arguments. */
void rtGetOptMoveArg(RTOPTPARSER *pState, int32_t iFrom, int32_t iTo)
{
    char *pszMoved = pState->papszArgs[iFrom];
    for (int32_t i = iFrom; i > iTo; i--)
        pState->papszArgs[i] = pState->papszArgs[i - 1];
    pState->papszArgs[iTo] = pszMoved;
}

inline void rtGetOptClearValue(RTOPTVALUE *pValue)
{
    pValue->u64 = 0;
}

/*
 * Value conversion.
 */

/** Converts an option value; on failure @a pValue keeps what the caller stored in it. A
 *  string is taken as it is; every other type goes to the value family of the program's
 *  list that handles it, and a type no family handles is a fault of the option table. */
RTSTATUS rtGetOptConvertValue(uint32_t fKind, const char *pszValue, RTOPTVALUE *pValue)
{
    uint32_t const uType = fKind & OPTVAL_TYPE_MASK;
    uint32_t const fBase = fKind & (OPTF_HEX | OPTF_OCT | OPTF_DEC);
    bool const fNumeric = (uType >= OPTVAL_I8 && uType <= OPTVAL_U64) || (uType >= OPTVAL_PAIR_U32 && uType <= OPTVAL_PAIR_U64_OPT);
    if (fBase && (!fNumeric || (fBase & (fBase - 1))))
        return ERR_INTERNAL_FAULT;

    RTOPTVALUE Value;
    Value.u64 = 0;
    RTSTATUS rc = ERR_INTERNAL_FAULT;
    if (uType == OPTVAL_STRING)
    {
        Value.psz = pszValue;
        rc = INF_SUCCESS;
    }
    else
        for (RTGETOPTVALFAMILY const *const *ppFamily = g_apRTGetOptValFamilies; *ppFamily; ppFamily++)
            if ((*ppFamily)->fTypes & RTGETOPT_VALTYPE_BIT(uType))
            {
                rc = (*ppFamily)->pfnConvert(fKind, pszValue, &Value);
                break;
            }
    if (rc == INF_SUCCESS)
        *pValue = Value;
    else if (rc == ERR_OPTION_UNKNOWN)
        pValue->psz = pszValue;     /* a word that is no boolean reads as an unknown option word */
    return rc;
}

/** Takes the argument after the option at @a k as its value, moving it in front of the
 *  set-aside plain arguments. */
RTSTATUS rtGetOptNextArgAsValue(RTOPTPARSER *pState, int32_t k, const char **ppszValue)
{
    if (k + pState->cDeferred + 1 >= pState->cArgs)
        return ERR_OPTION_VALUE_MISSING;
    if (pState->cDeferred > 0)
        rtGetOptMoveArg(pState, k + pState->cDeferred + 1, k + 1);
    pState->iArg++;
    *ppszValue = pState->papszArgs[k + 1];
    return INF_SUCCESS;
}

/** Finishes an option that was found: its value, index and cluster bookkeeping. */
int rtGetOptProcessMatch(RTOPTPARSER *pState, const RTOPTDESC *pDesc, int32_t k, const char *pszRest,
                         bool fShort, RTOPTVALUE *pValue)
{
    bool const fCluster = pState->pszCluster != nullptr;
    pValue->pDesc = pDesc;
    uint32_t const fKind = pDesc->fKind;
    uint32_t const fIndexDefault = fKind & (OPTF_INDEX_DEFAULT_0 | OPTF_INDEX_DEFAULT_1);

    if ((fKind & OPTVAL_TYPE_MASK) != OPTVAL_NONE)
    {
        const char *pszValue = nullptr;
        RTSTATUS rc;
        if (!fShort && (fKind & OPTF_INDEXED))
        {
            if (!*pszRest && !fIndexDefault)
                return ERR_OPTION_INDEX_MISSING;
            uint32_t uIndex = 0;
            char *pszAfter = nullptr;
            rc = RTStrParseU32(pszRest, &pszAfter, 10, &uIndex);
            if (rc == ERR_NO_DIGITS_FOUND)
            {
                if (!fIndexDefault)
                    return ERR_OPTION_VALUE_MALFORMED;
                uIndex = ((fKind >> 20) & 3) - 1;
                rc = *pszRest ? WRN_TRAILING_CHARS : INF_SUCCESS;
                pszAfter = const_cast<char *>(pszRest);
            }
            if (rc == WRN_TRAILING_CHARS)
            {
                if (*pszAfter != ':' && *pszAfter != '=')
                    return ERR_OPTION_VALUE_MALFORMED;
                pszValue = pszAfter + 1;
            }
            else if (rc == INF_SUCCESS)
            {
                rc = rtGetOptNextArgAsValue(pState, k, &pszValue);
                if (RT_FAILURE(rc))
                    return rc;
            }
            else
                return ERR_OPTION_VALUE_MALFORMED;
            pState->iOptIndex = uIndex;
        }
        else if (!*pszRest)
        {
            rc = rtGetOptNextArgAsValue(pState, k, &pszValue);
            if (RT_FAILURE(rc))
                return rc;
        }
        else    /* a long name is followed by ':' or '=' here; a short letter may be too ("-p=x") */
            pszValue = *pszRest == ':' || *pszRest == '=' ? pszRest + 1 : pszRest;
        if (fShort && fCluster)
        {
            /* The rest of the cluster was the value. */
            pState->iArg++;
            pState->pszCluster = nullptr;
        }

        rc = rtGetOptConvertValue(fKind, pszValue, pValue);
        if (RT_FAILURE(rc))
            return rc;
    }
    else if (fShort)
    {
        if (*pszRest && !fCluster)
        {
            pState->iArg--;
            pState->pszCluster = pszRest;
        }
        else if (!*pszRest && fCluster)
        {
            pState->iArg++;
            pState->pszCluster = nullptr;
        }
    }
    else if (fKind & OPTF_INDEXED)
    {
        if (*pszRest)
        {
            uint32_t uIndex = 0;
            if (RTStrParseU32Strict(pszRest, 10, &uIndex) != INF_SUCCESS)
                return ERR_OPTION_VALUE_MALFORMED;
            pState->iOptIndex = uIndex;
        }
        else if (!fIndexDefault)
            return ERR_OPTION_INDEX_MISSING;
    }

    pState->pLastDesc = pDesc;
    return pDesc->iId;
}

} /* namespace */

RTSTATUS RTGetOptInit(RTOPTPARSER *pState, int cArgs, char **papszArgs, const RTOPTDESC *paDescs,
                      uint32_t cDescs, int iFirst, uint32_t fFlags)
{
    if (fFlags & ~(OPTINIT_DEFER_PLAIN | OPTINIT_NO_BUILTIN))
        return ERR_BAD_ARGUMENT;
    pState->iArg = iFirst;
    pState->papszArgs = papszArgs;
    pState->cArgs = cArgs;
    pState->paDescs = paDescs;
    pState->cDescs = cDescs;
    pState->pszCluster = nullptr;
    pState->pLastDesc = nullptr;
    pState->iOptIndex = UINT32_MAX;
    pState->fInit = fFlags;
    pState->cDeferred = 0;
    return INF_SUCCESS;
}

int RTGetOptNext(RTOPTPARSER *pState, RTOPTVALUE *pValue)
{
    pState->pLastDesc = nullptr;
    pState->iOptIndex = UINT32_MAX;
    rtGetOptClearValue(pValue);

    if (pState->pszCluster)
    {
        const RTOPTDESC *pDesc = rtGetOptSearchShort(pState, *pState->pszCluster);
        if (!pDesc)
        {
            pValue->psz = pState->pszCluster;
            return ERR_OPTION_UNKNOWN;
        }
        pState->pszCluster++;
        return rtGetOptProcessMatch(pState, pDesc, pState->iArg, pState->pszCluster, true, pValue);
    }

    bool const fDefer = pState->fInit & OPTINIT_DEFER_PLAIN;
    for (;;)
    {
        if (pState->iArg >= pState->cArgs)
            return 0;
        if (pState->cDeferred == INT32_MAX)
        {
            pValue->psz = pState->papszArgs[pState->iArg++];
            return INF_OPTION_PLAIN_ARGUMENT;
        }
        if (pState->cDeferred > 0 && pState->iArg + pState->cDeferred >= pState->cArgs)
        {
            pState->cDeferred = INT32_MAX;
            continue;
        }

        int32_t const k = pState->iArg;
        const char *pszArg = pState->papszArgs[k + pState->cDeferred];
        pState->iArg++;

        const char *pszRest = nullptr;
        bool fShort = false;
        const RTOPTDESC *pDesc = rtGetOptSearchLong(pState, pszArg, &pszRest);
        if (!pDesc)
        {
            const char *pszCursor = pszArg;
            RTUNICP Cp;
            RTSTATUS rc = RTStrDecodeCp(&pszCursor, &Cp);
            if (RT_FAILURE(rc))
                return rc;
            size_t const cchDash = rtGetOptDashLength(pszArg);
            char const chLetter = cchDash ? pszArg[cchDash] : '\0';
            if (   cchDash
                && chLetter != '-' && chLetter != '\0' && static_cast<unsigned char>(chLetter) < 0x80
                && (pDesc = rtGetOptSearchShort(pState, chLetter)) != nullptr)
            {
                fShort = true;
                pszRest = pszArg + cchDash + 1;
            }
        }

        if (!pDesc && rtGetOptMatch("--", pszArg, ~static_cast<size_t>(0), false) >= 0)
        {
            if (pState->cDeferred > 0)
                rtGetOptMoveArg(pState, k + pState->cDeferred, k);
            pState->cDeferred = INT32_MAX;
            continue;
        }

        /* Without deferring nothing is ever set aside, so only then is there a move. */
        if (pDesc)
        {
            if (pState->cDeferred > 0)
                rtGetOptMoveArg(pState, k + pState->cDeferred, k);
            return rtGetOptProcessMatch(pState, pDesc, k, pszRest, fShort, pValue);
        }
        /* Not an option: without deferring, unknown when it starts with an ASCII '-', else
           plain; with deferring, unknown when it starts with any dash, else set aside. */
        if (!fDefer || rtGetOptDashLength(pszArg))
        {
            pValue->psz = pszArg;
            return fDefer || *pszArg == '-' ? ERR_OPTION_UNKNOWN : INF_OPTION_PLAIN_ARGUMENT;
        }
        pState->iArg--;
        pState->cDeferred++;
        if (pState->iArg + pState->cDeferred >= pState->cArgs)
            pState->cDeferred = INT32_MAX;
    }
}

RTSTATUS RTGetOptTakeValue(RTOPTPARSER *pState, RTOPTVALUE *pValue, uint32_t fKind)
{
    if (!(fKind & OPTVAL_TYPE_MASK) || (fKind & ~RTGETOPT_KIND_VALID_MASK))
        return ERR_BAD_ARGUMENT;
    rtGetOptClearValue(pValue);

    /* The value is the next argument not set aside; the set-aside ones must not be taken
       (nor, past them, read beyond the vector). */
    int32_t const cDeferred = pState->cDeferred == INT32_MAX ? 0 : pState->cDeferred;
    int32_t const iTaken = pState->iArg + cDeferred;
    if (iTaken >= pState->cArgs)
        return ERR_OPTION_VALUE_MISSING;
    int32_t const iTo = pState->iArg++;
    pValue->pDesc = pState->pLastDesc;
    if (cDeferred > 0)
        rtGetOptMoveArg(pState, iTaken, iTo);
    return rtGetOptConvertValue(fKind, pState->papszArgs[iTo], pValue);
}

int RTGetOptReportError(int rcGetOpt, const RTOPTVALUE *pValue)
{
    if (rcGetOpt == INF_OPTION_PLAIN_ARGUMENT)
        RTMessageToStdErr("Invalid parameter: %s", pValue->psz);
    else if (rcGetOpt >= 0x21 && rcGetOpt <= 0x7E)
        RTMessageToStdErr("Unhandled option: -%c", rcGetOpt);
    else if (rcGetOpt > 0)
        RTMessageToStdErr("Unhandled option: %i (%#x)", rcGetOpt, rcGetOpt);
    else if (rcGetOpt == ERR_OPTION_UNKNOWN)
        RTMessageToStdErr("Unknown option: '%s'", pValue->psz);
    else if (RT_VALID_PTR(pValue->pDesc))
    {
        if (rcGetOpt == ERR_OPTION_VALUE_MALFORMED)
            RTMessageToStdErr("The value given '%s' has an invalid format.", pValue->pDesc->pszName);
        else
            RTMessageToStdErr("%s: %Rrs\n", pValue->pDesc->pszName, rcGetOpt);
    }
    else
        RTMessageToStdErr("%Rrs\n", rcGetOpt);
    return RTEXITCODE_SYNTAX;
}
