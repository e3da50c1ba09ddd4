/* The logger's settings languages: group settings (which groups log at which levels),
 * flags (buffering, line ends, file mode, prefix fields) and destinations (where output
 * goes, with file, history and ring parameters), and the group listing. Every parser
 * stays within its text: nothing is read past the terminator. */
#include "internal/log.h"
#include "internal/path.h"
#include "rt/path.h"
#include "rt/stream.h"
#include "rt/strconv.h"
#include "rt/string.h"

namespace {

/** A keyword of one of the tables, with its length fixed at compile time. */
struct RTLOGSETKEYWORD
{
    const char *psz;
    uint8_t     cch;
    uint32_t    fBits;
    bool        fSets;      /**< flags: the plain keyword sets its bits (else clears them) */
};

template <size_t N>
constexpr RTLOGSETKEYWORD rtKw(const char (&sz)[N], uint32_t fBits, bool fSets = true)
{
    return { sz, static_cast<uint8_t>(N - 1), fBits, fSets };
}

/** Group-flag names, matched without regard to case; the first match wins. */
constexpr RTLOGSETKEYWORD g_aGroupFlagNames[] =
{
    rtKw("eo", 0x1), rtKw("enabledonly", 0x1), rtKw("e", 0x15), rtKw("enabled", 0x15),
    rtKw("l1", 0x10), rtKw("level1", 0x10), rtKw("l", 0x20), rtKw("l2", 0x20), rtKw("level2", 0x20),
    rtKw("l3", 0x40), rtKw("level3", 0x40), rtKw("l4", 0x80), rtKw("level4", 0x80),
    rtKw("l5", 0x100), rtKw("level5", 0x100), rtKw("l6", 0x200), rtKw("level6", 0x200),
    rtKw("l7", 0x400), rtKw("level7", 0x400), rtKw("l8", 0x800), rtKw("level8", 0x800),
    rtKw("l9", 0x1000), rtKw("level9", 0x1000), rtKw("l10", 0x2000), rtKw("level10", 0x2000),
    rtKw("l11", 0x4000), rtKw("level11", 0x4000), rtKw("l12", 0x8000), rtKw("level12", 0x8000),
    rtKw("f", RTLOGGRPFLAGS_FLOW), rtKw("flow", RTLOGGRPFLAGS_FLOW),
    rtKw("w", RTLOGGRPFLAGS_WARN), rtKw("warn", RTLOGGRPFLAGS_WARN), rtKw("warning", RTLOGGRPFLAGS_WARN),
    rtKw("restrict", RTLOGGRPFLAGS_RESTRICT),
};
static_assert(RT_ELEMENTS(g_aGroupFlagNames) == 35, "35 group-flag names");

/** Flag keywords; a keyword that begins another comes after it. */
constexpr RTLOGSETKEYWORD g_aFlagKeywords[] =
{
    rtKw("disabled", RTLOGFLAGS_DISABLED), rtKw("enabled", RTLOGFLAGS_DISABLED, false),
    rtKw("buffered", RTLOGFLAGS_BUFFERED), rtKw("unbuffered", RTLOGFLAGS_BUFFERED, false),
    rtKw("usecrlf", RTLOGFLAGS_USECRLF), rtKw("uself", RTLOGFLAGS_USECRLF, false),
    rtKw("append", RTLOGFLAGS_APPEND), rtKw("overwrite", RTLOGFLAGS_APPEND, false),
    rtKw("rel", RTLOGFLAGS_REL_TS), rtKw("abs", RTLOGFLAGS_REL_TS, false),
    rtKw("dec", RTLOGFLAGS_DECIMAL_TS), rtKw("hex", RTLOGFLAGS_DECIMAL_TS, false),
    rtKw("writethru", RTLOGFLAGS_WRITE_THROUGH), rtKw("writethrough", RTLOGFLAGS_WRITE_THROUGH),
    rtKw("flush", RTLOGFLAGS_FLUSH), rtKw("lockcnts", RTLOGFLAGS_PREFIX_LOCK_CNTS),
    rtKw("cpuid", RTLOGFLAGS_PREFIX_CPUID), rtKw("pid", RTLOGFLAGS_PREFIX_PID),
    rtKw("flagno", RTLOGFLAGS_PREFIX_FLAG_NO), rtKw("flag", RTLOGFLAGS_PREFIX_FLAG),
    rtKw("groupno", RTLOGFLAGS_PREFIX_GROUP_NO), rtKw("group", RTLOGFLAGS_PREFIX_GROUP),
    rtKw("tid", RTLOGFLAGS_PREFIX_TID), rtKw("thread", RTLOGFLAGS_PREFIX_THREAD),
    rtKw("custom", RTLOGFLAGS_PREFIX_CUSTOM), rtKw("timeprog", RTLOGFLAGS_PREFIX_TIME_PROG),
    rtKw("time", RTLOGFLAGS_PREFIX_TIME), rtKw("msprog", RTLOGFLAGS_PREFIX_MS_PROG),
    rtKw("tsc", RTLOGFLAGS_PREFIX_TSC), rtKw("ts", RTLOGFLAGS_PREFIX_TS),
};
static_assert(RT_ELEMENTS(g_aFlagKeywords) == 30, "30 flag keywords");

/** Destination keywords. The first five take values; the rest allow none. */
enum RTLOGSETDESTKW : uint8_t
{
    RTLOGSET_KW_FILE, RTLOGSET_KW_DIR, RTLOGSET_KW_HISTORY, RTLOGSET_KW_HISTSIZE, RTLOGSET_KW_HISTTIME, RTLOGSET_KW_RINGBUF
};
constexpr RTLOGSETKEYWORD g_aDestKeywords[] =
{
    rtKw("file", RTLOGDEST_FILE), rtKw("dir", RTLOGDEST_FILE), rtKw("history", 0), rtKw("histsize", 0),
    rtKw("histtime", 0), rtKw("ringbuf", RTLOGDEST_RINGBUF), rtKw("stdout", RTLOGDEST_STDOUT),
    rtKw("stderr", RTLOGDEST_STDERR), rtKw("debugger", RTLOGDEST_DEBUGGER), rtKw("com", RTLOGDEST_COM),
    rtKw("nodeny", RTLOGDEST_F_NO_DENY), rtKw("vmmrel", RTLOGDEST_VMM_REL), rtKw("vmm", RTLOGDEST_VMM),
    rtKw("user", RTLOGDEST_USER),
};
static_assert(RT_ELEMENTS(g_aDestKeywords) == 14, "14 destination keywords");
/** The one keyword that begins with the negation "no". */
constexpr unsigned RTLOGSET_DEST_NO_DENY = 10;
static_assert(g_aDestKeywords[RTLOGSET_DEST_NO_DENY].fBits == RTLOGDEST_F_NO_DENY, "nodeny row");

inline bool rtLogSetIsBlank(char ch)
{
    return ch == ' ' || (ch >= '\t' && ch <= '\r');
}

inline char rtLogSetLower(char ch)
{
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + ('a' - 'A')) : ch;
}

inline bool rtLogSetIsAlnum(char ch)
{
    return (ch >= '0' && ch <= '9') || (rtLogSetLower(ch) >= 'a' && rtLogSetLower(ch) <= 'z');
}

/** Whether the text at @p psz begins with @p Kw (compared up to the keyword's length; the
 *  terminator ends the text, so a shorter text never matches). */
bool rtLogSetStartsWith(const char *psz, const RTLOGSETKEYWORD &Kw)
{
    for (unsigned i = 0; i < Kw.cch; i++)
        if (psz[i] != Kw.psz[i])
            return false;
    return true;
}

/** The first row of @p aTable that the text begins with, or -1. */
template <size_t N>
int rtLogSetFindKeyword(const char *psz, const RTLOGSETKEYWORD (&aTable)[N])
{
    for (size_t i = 0; i < N; i++)
        if (rtLogSetStartsWith(psz, aTable[i]))
            return static_cast<int>(i);
    return -1;
}

/** Whether a group name matches the pattern [pchPat, pchPatEnd); '*' stands for any run. */
bool rtLogSetMatchGroupName(const char *pchPat, const char *pchPatEnd, const char *pszName)
{
    if (!pszName || !*pszName)
        return false;
    while (pchPat < pchPatEnd)
    {
        if (*pchPat == '*')
        {
            while (pchPat < pchPatEnd && *pchPat == '*')
                pchPat++;
            if (pchPat == pchPatEnd)
                return true;
            /* Continue at the first place where the pattern's next character occurs. */
            while (*pszName && rtLogSetLower(*pszName) != rtLogSetLower(*pchPat))
                pszName++;
            if (!*pszName)
                return false;
        }
        if (rtLogSetLower(*pchPat) != rtLogSetLower(*pszName))
            return false;
        pchPat++;
        pszName++;
    }
    return *pszName == '\0';
}

/** The bits of a suffix [pch, pchEnd) of ".name" parts and "=number" / "=~number". */
uint32_t rtLogSetParseGroupSuffix(const char *pch, const char *pchEnd)
{
    uint32_t fBits = 0;
    while (pch < pchEnd)
    {
        if (*pch == '.')
        {
            pch++;
            size_t const cchLeft = static_cast<size_t>(pchEnd - pch);
            const RTLOGSETKEYWORD *pFound = nullptr;
            for (const RTLOGSETKEYWORD &Kw : g_aGroupFlagNames)
            {
                if (Kw.cch > cchLeft)
                    continue;
                unsigned i = 0;
                while (i < Kw.cch && rtLogSetLower(pch[i]) == Kw.psz[i])
                    i++;
                if (i == Kw.cch && (Kw.cch == cchLeft || !rtLogSetIsAlnum(pch[Kw.cch])))
                {
                    pFound = &Kw;
                    break;
                }
            }
            if (!pFound)
                break;
            fBits |= pFound->fBits;
            pch += pFound->cch;
        }
        else if (*pch == '=')
        {
            pch++;
            bool const fNot = pch < pchEnd && *pch == '~';
            if (fNot)
                pch++;
            uint32_t uValue = 0;
            char *pszNext = nullptr;
            if (RT_FAILURE(RTStrParseU32(pch, &pszNext, RTStrBaseAndLimit(0, static_cast<uint32_t>(pchEnd - pch)),
                                         &uValue)))
                uValue = 0;
            fBits = fNot ? ~uValue : uValue;
            pch = pszNext && pszNext > pch && pszNext <= pchEnd ? pszNext : pchEnd;
        }
        else
            break;
    }
    return fBits;
}

/** The instance a settings text applies to, and the text's pointer test; a null text
 *  changes nothing. */
RTSTATUS rtLogSettingsBegin(RTLOGINSTANCE **ppLogger, const char *pszValue)
{
    RTSTATUS const rc = rtLogResolve(ppLogger);
    if (rc != INF_SUCCESS)
        return rc;
    return !pszValue || RT_VALID_PTR(pszValue) ? INF_SUCCESS : ERR_BAD_POINTER;
}

} /* namespace */

RTSTATUS RTLogApplyGroupSettings(RTLOGINSTANCE *pLogger, const char *pszValue)
{
    RTSTATUS const rc = rtLogSettingsBegin(&pLogger, pszValue);
    if (rc != INF_SUCCESS || !pszValue)
        return rc;

    const char *psz = pszValue;
    for (;;)
    {
        bool fEnable = true;
        for (;; psz++)
        {
            char const ch = *psz;
            if (ch == '+' || ch == ';')
                fEnable = true;
            else if (ch == '-')
                fEnable = false;
            else if (ch != ' ' && ch != '\t' && ch != '\n')
                break;
        }
        if (!*psz)
            return INF_SUCCESS;

        const char *pchEnd = psz;
        while (*pchEnd && *pchEnd != '+' && *pchEnd != '-' && *pchEnd != ' ' && *pchEnd != '\t')
            pchEnd++;
        size_t const cch = static_cast<size_t>(pchEnd - psz);

        auto const Apply = [&](uint32_t iGroup, uint32_t fBits) {
            if (fEnable)
                pLogger->afGroups[iGroup] |= fBits;
            else
                pLogger->afGroups[iGroup] &= ~fBits;
        };
        if (   cch >= 3 && rtLogSetLower(psz[0]) == 'a' && rtLogSetLower(psz[1]) == 'l' && rtLogSetLower(psz[2]) == 'l'
            && (cch == 3 || psz[3] == '.' || psz[3] == '='))
        {
            uint32_t const fBits = cch == 3 ? RTLOGGRPFLAGS_ENABLED | RTLOGGRPFLAGS_LEVEL_1
                                            : rtLogSetParseGroupSuffix(psz + 3, pchEnd);
            for (uint32_t i = 0; i < pLogger->cGroups; i++)
                Apply(i, fBits);
        }
        else if (pLogger->papszGroups)
        {
            const char *pchPatEnd = psz;
            while (pchPatEnd < pchEnd && *pchPatEnd != '.' && *pchPatEnd != '=')
                pchPatEnd++;
            uint32_t const fBits = pchPatEnd < pchEnd ? rtLogSetParseGroupSuffix(pchPatEnd, pchEnd)
                                                      : RTLOGGRPFLAGS_ENABLED | RTLOGGRPFLAGS_LEVEL_1;
            for (uint32_t i = 0; i < pLogger->cGroups; i++)
                if (rtLogSetMatchGroupName(psz, pchPatEnd, pLogger->papszGroups[i]))
                    Apply(i, fBits);
        }
        psz = pchEnd;
    }
}

RTSTATUS RTLogApplyFlagSettings(RTLOGINSTANCE *pLogger, const char *pszValue)
{
    RTSTATUS const rc = rtLogSettingsBegin(&pLogger, pszValue);
    if (rc != INF_SUCCESS || !pszValue)
        return rc;

    const char *psz = pszValue;
    for (;;)
    {
        while (rtLogSetIsBlank(*psz))
            psz++;
        if (!*psz)
            break;

        bool fNo = false;
        for (;;)
        {
            if (psz[0] == 'n' && psz[1] == 'o')
            {
                fNo = !fNo;
                psz += 2;
            }
            else if (*psz == '-' || *psz == '!' || *psz == '~')
            {
                fNo = !fNo;
                psz++;
            }
            else if (*psz == '+')
            {
                fNo = true;
                psz++;
            }
            else
                break;
        }
        if (!*psz)      /* only negations: the text ends here */
            break;

        int const iRow = rtLogSetFindKeyword(psz, g_aFlagKeywords);
        if (iRow >= 0)
        {
            const RTLOGSETKEYWORD &Kw = g_aFlagKeywords[iRow];
            bool const fFixed = Kw.fBits == RTLOGFLAGS_APPEND && (pLogger->fDestFlags & RTLOGDEST_FIXED_FILE);
            if (!fFixed)
            {
                if (Kw.fSets != fNo)
                    pLogger->fFlags |= Kw.fBits;
                else
                    pLogger->fFlags &= ~Kw.fBits;
            }
            psz += Kw.cch;
        }
        else
            psz++;

        while (rtLogSetIsBlank(*psz) || *psz == ';')
            psz++;
    }
    return INF_SUCCESS;
}

namespace {

/** Whether a destination keyword (after an optional "no") starts at @p psz and is
 *  followed by the end, a blank, '=', ':' or ';': where a value before it ends. */
bool rtLogSetDestKeywordFollows(const char *psz)
{
    for (int iPass = 0; iPass < 2; iPass++)
    {
        int const iRow = rtLogSetFindKeyword(psz, g_aDestKeywords);
        if (iRow >= 0)
        {
            char const ch = psz[g_aDestKeywords[iRow].cch];
            if (!ch || rtLogSetIsBlank(ch) || ch == '=' || ch == ':' || ch == ';')
                return true;
        }
        if (psz[0] != 'n' || psz[1] != 'o')
            return false;
        psz += 2;
    }
    return false;
}

/** The end of a value starting at @p psz. */
const char *rtLogSetFindValueEnd(const char *psz)
{
    for (;;)
    {
        if (!*psz || *psz == ';')
            return psz;
        if (rtLogSetIsBlank(*psz))
        {
            const char *pszAfter = psz;
            while (rtLogSetIsBlank(*pszAfter))
                pszAfter++;
            if (*pszAfter == ';' || (*pszAfter && rtLogSetDestKeywordFollows(pszAfter)))
                return psz;
            if (!*pszAfter)
                return pszAfter;    /* a value running to the end keeps its blanks */
            psz = pszAfter;
        }
        else
            psz++;
    }
}

RTSTATUS rtLogSetParseNumber(const char *pch, size_t cch, uint64_t *pu64, bool f64)
{
    char szNum[RTLOG_FILENAME_SIZE];
    if (cch >= sizeof(szNum))
        return ERR_BUFFER_TOO_SMALL;
    __builtin_memcpy(szNum, pch, cch);
    szNum[cch] = '\0';
    if (f64)
        return RTStrParseU64(szNum, nullptr, 0, pu64);
    uint32_t u32 = 0;
    RTSTATUS const rc = RTStrParseU32(szNum, nullptr, 0, &u32);
    *pu64 = u32;
    return rc;
}

/** Applies the value of a destination keyword. */
RTSTATUS rtLogSetApplyDestValue(RTLOGINSTANCE *pLogger, unsigned iRow, bool fNo, const char *pch, size_t cch)
{
    uint64_t u64 = 0;
    RTSTATUS rc;
    switch (iRow)
    {
        case RTLOGSET_KW_FILE:
            if (fNo)
                return ERR_BAD_ARGUMENT;
            if (pLogger->fDestFlags & RTLOGDEST_FIXED_FILE)
                return INF_SUCCESS;
            if (cch >= RTLOG_FILENAME_SIZE)
                return ERR_OUT_OF_RANGE;
            __builtin_memcpy(pLogger->szFilename, pch, cch);
            pLogger->szFilename[cch] = '\0';
            return INF_SUCCESS;

        case RTLOGSET_KW_DIR:
        {
            if (fNo)
                return ERR_BAD_ARGUMENT;
            if (pLogger->fDestFlags & RTLOGDEST_FIXED_DIR)
                return INF_SUCCESS;
            /* Trailing separators go, except a drive root's and a one-character value's. */
            while (cch > 1 && rtPathIsAnySep(pch[cch - 1]) && !(cch == 3 && pch[1] == ':'))
                cch--;
            const char *pszName = RTPathFileName(pLogger->szFilename);
            if (!pszName)
                pszName = "";
            size_t const cchName = __builtin_strlen(pszName);
            if (cch + 1 + cchName >= RTLOG_FILENAME_SIZE)
                return ERR_OUT_OF_RANGE;
            char szNew[RTLOG_FILENAME_SIZE];
            __builtin_memcpy(szNew, pch, cch);
            szNew[cch] = '/';
            __builtin_memcpy(&szNew[cch + 1], pszName, cchName + 1);
            __builtin_memcpy(pLogger->szFilename, szNew, cch + 1 + cchName + 1);
            return INF_SUCCESS;
        }

        case RTLOGSET_KW_HISTORY:
            if (fNo)
            {
                pLogger->cHistory = 0;
                return INF_SUCCESS;
            }
            rc = rtLogSetParseNumber(pch, cch, &u64, false);
            if (RT_FAILURE(rc))
                return rc;
            /* A count too large (even for 32 bits) is refused, not cut down. */
            if (rc == WRN_NUMBER_OUT_OF_RANGE || u64 > RTLOG_MAX_HISTORY)
                return ERR_OUT_OF_RANGE;
            pLogger->cHistory = static_cast<uint32_t>(u64);
            return INF_SUCCESS;

        case RTLOGSET_KW_HISTSIZE:
            if (fNo)
            {
                pLogger->cbHistoryFileMax = RTLOG_NO_LIMIT_U64;
                return INF_SUCCESS;
            }
            rc = rtLogSetParseNumber(pch, cch, &u64, true);
            if (RT_FAILURE(rc))
                return rc;
            pLogger->cbHistoryFileMax = u64 ? u64 : RTLOG_NO_LIMIT_U64;
            return INF_SUCCESS;

        case RTLOGSET_KW_HISTTIME:
            if (fNo)
            {
                pLogger->cSecsHistoryTimeSlot = RTLOG_NO_LIMIT_U32;
                return INF_SUCCESS;
            }
            rc = rtLogSetParseNumber(pch, cch, &u64, false);
            if (RT_FAILURE(rc))
                return rc;
            pLogger->cSecsHistoryTimeSlot = u64 ? static_cast<uint32_t>(u64) : RTLOG_NO_LIMIT_U32;
            return INF_SUCCESS;

        case RTLOGSET_KW_RINGBUF:
        {
            if (fNo)
                return ERR_BAD_ARGUMENT;
            rc = rtLogSetParseNumber(pch, cch, &u64, false);
            if (RT_FAILURE(rc))
                return rc;
            uint32_t cbRing = static_cast<uint32_t>(u64);
            if (!cbRing)
                cbRing = RTLOG_RING_DEFAULT_SIZE;
            else if (cbRing < RTLOG_RING_MIN_SIZE)
                cbRing = RTLOG_RING_MIN_SIZE;
            else if (cbRing > RTLOG_RING_MAX_SIZE)
                cbRing = RTLOG_RING_MAX_SIZE;
            else
                cbRing = (cbRing + 63) & ~uint32_t(63);
            return rtLogRingResize(pLogger, cbRing, false);
        }

        default:
            return ERR_BAD_ARGUMENT;
    }
}

} /* namespace */

RTSTATUS RTLogApplyDestSettings(RTLOGINSTANCE *pLogger, const char *pszValue)
{
    RTSTATUS rc = rtLogSettingsBegin(&pLogger, pszValue);
    if (rc != INF_SUCCESS || !pszValue)
        return rc;

    const char *psz = pszValue;
    for (;;)
    {
        while (rtLogSetIsBlank(*psz))
            psz++;
        if (!*psz)
            return INF_SUCCESS;

        bool fNo = false;
        if (psz[0] == 'n' && psz[1] == 'o' && !rtLogSetStartsWith(psz, g_aDestKeywords[RTLOGSET_DEST_NO_DENY]))
        {
            fNo = true;
            psz += 2;
        }
        int const iRow = rtLogSetFindKeyword(psz, g_aDestKeywords);
        if (iRow < 0)
            return ERR_BAD_ARGUMENT;
        const RTLOGSETKEYWORD &Kw = g_aDestKeywords[iRow];
        if (fNo)
            pLogger->fDestFlags &= ~Kw.fBits;
        else
            pLogger->fDestFlags |= Kw.fBits;
        psz += Kw.cch;
        while (rtLogSetIsBlank(*psz))
            psz++;

        if (*psz == '=' || *psz == ':')
        {
            const char *pchValue = psz + 1;
            const char *pchEnd = rtLogSetFindValueEnd(pchValue);
            rc = rtLogSetApplyDestValue(pLogger, static_cast<unsigned>(iRow), fNo, pchValue,
                                static_cast<size_t>(pchEnd - pchValue));
            if (RT_FAILURE(rc))
                return rc;
            /* Behind the character that ended the value; the terminator ends the text. */
            psz = *pchEnd == ';' ? pchEnd + 1 : pchEnd;
        }
        else if (iRow == RTLOGSET_KW_RINGBUF && !fNo)
        {
            rc = rtLogRingEnsure(pLogger);
            if (RT_FAILURE(rc))
                return rc;
        }

        while (rtLogSetIsBlank(*psz) || *psz == ';')
            psz++;
    }
}

RTSTATUS RTLogListGroups(RTLOGINSTANCE *pLogger)
{
    RTSTATUS const rc = rtLogResolve(&pLogger);
    if (rc != INF_SUCCESS)
        return rc;
    for (uint32_t i = 0; i < pLogger->cGroups; i++)
    {
        const char *pszName = pLogger->papszGroups ? pLogger->papszGroups[i] : nullptr;
        RTStreamPrintf(g_pStreamStdOut, "%-16s %#010x\n", pszName ? pszName : "", pLogger->afGroups[i]);
    }
    return INF_SUCCESS;
}
