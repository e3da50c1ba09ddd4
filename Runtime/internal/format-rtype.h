/* Pieces shared by the typed directives: the buffered writer they all print through, the
 * parsed directive they receive, and the entry points of each directive family. */
#pragma once
#include "internal/format.h"
#include "internal/format-number.h"
#include "internal/sorted-search.h"
#include <string.h>

/** Gathers the small pieces a typed directive produces (digits, separators, escapes)
 *  and hands them to the output callback in larger runs. cchDone sums the callback's
 *  results, which is what the directive reports to the engine. */
struct RTFMTSINK
{
    RTFmtOutputFn pfnOutput;
    void         *pvOutput;
    size_t        cchDone;
    size_t        cchBuf;
    char          achBuf[128];

    void Flush()
    {
        if (cchBuf)
        {
            cchDone += pfnOutput(pvOutput, achBuf, cchBuf);
            cchBuf = 0;
        }
    }
    void Char(char ch)
    {
        if (cchBuf == sizeof(achBuf))
            Flush();
        achBuf[cchBuf++] = ch;
    }
    void Write(const char *pch, size_t cch)
    {
        if (cch <= sizeof(achBuf) - cchBuf)
        {
            memcpy(&achBuf[cchBuf], pch, cch);
            cchBuf += cch;
        }
        else
        {
            Flush();
            if (cch)
                cchDone += pfnOutput(pvOutput, pch, cch);
        }
    }
    void Str(const char *psz) { Write(psz, rtFmtStrLen(psz)); }
    void Repeat(char ch, size_t c)
    {
        while (c-- > 0)
            Char(ch);
    }
    /** Two lower-case hexadecimal digits. */
    void Byte(uint8_t b)
    {
        static constexpr char s_achDigits[] = "0123456789abcdef";
        Char(s_achDigits[b >> 4]);
        Char(s_achDigits[b & 0xf]);
    }
    /** An integer as RTFmtNumber prints it. Values without width, precision or other
     *  decoration, the usual case, skip its padding logic. */
    RT_NOINLINE void Number(uint64_t u, unsigned uBase, int cchWidth, int cchPrecision, uint32_t fFlags)
    {
        char szNum[64];
        if (fFlags & RTFMT_DECORATION_FLAGS)
        {
            Write(szNum, static_cast<size_t>(RTFmtNumber(szNum, u, uBase, cchWidth, cchPrecision, fFlags)));
            return;
        }
        char *const pchEnd = &szNum[sizeof(szNum)];
        char *const pch = rtFmtPlainNumber(pchEnd, u, uBase, fFlags);
        Write(pch, static_cast<size_t>(pchEnd - pch));
    }
    /** Lower-case hexadecimal, zero-filled to at least cDigits (at most 16) digits. */
    void Hex(uint64_t u, int cDigits)
    {
        char szNum[64];
        char *const pchEnd = &szNum[sizeof(szNum)];
        char *pch = rtFmtDigits(pchEnd, u, 16, false);
        while (pchEnd - pch < cDigits)
            *--pch = '0';
        Write(pch, static_cast<size_t>(pchEnd - pch));
    }
    void Dec(uint64_t u) { Number(u, 10, -1, -1, 0); }
    /** The placeholder for a pointer that fails the pointer test, @p pszTag naming what it
     *  should have pointed at. */
    void BadPtr(const void *pv, const char *pszTag)
    {
        char achText[RTFMT_BAD_POINTER_MAX];
        Write(achText, rtFmtBadPointerText(achText, pv, pszTag));
    }
    /** Counts output made by calling pfnOutput directly; Flush() must come first. */
    void Passed(size_t cch) { cchDone += cch; }
    /** Flushes and returns the total. */
    size_t Done()
    {
        Flush();
        return cchDone;
    }
};

inline void rtFmtSinkInit(RTFMTSINK *pSink, RTFmtOutputFn pfnOutput, void *pvOutput)
{
    pSink->pfnOutput = pfnOutput;
    pSink->pvOutput  = pvOutput;
    pSink->cchDone   = 0;
    pSink->cchBuf    = 0;
}

/** One typed directive as the engine parsed it. */
struct RTFMTSPEC
{
    va_list  *pArgs;
    int       cchWidth;
    int       cchPrecision;
    uint32_t  fFlags;
    char      chArgSize;
    char     *pszScratch;    /**< RTFMT_SCRATCH_SIZE bytes */
};

/** The families. Each gets the type name (the text after 'R'), prints the directive and
 *  returns how many characters of the name it used, or 0 without output or consuming an
 *  argument when it does not know the name. */
size_t rtFmtRTypeNumbers(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec);
size_t rtFmtRTypeObjects(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec);
size_t rtFmtRTypeStatus(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec);
size_t rtFmtRTypeWinStatus(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec);
size_t rtFmtRTypeName(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec);
size_t rtFmtRTypeHex(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec);
size_t rtFmtRTypeSize(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec);
size_t rtFmtRTypeEscape(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec);
size_t rtFmtRTypeCustom(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec);

/** What a family record holds: the first letters of its type names, tried in list order,
 *  and its printer (one of the above). */
typedef size_t (*PFNRTFMTRTYPE)(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec);
struct RTFMTRTYPEFAMILY
{
    char          szLetters[12];  /**< zero-filled */
    PFNRTFMTRTYPE pfnFormat;
};

/** Kinds of the object table, printed by their own files. */
void rtFmtIPv4(RTFMTSINK *pSink, const uint8_t *pab);
void rtFmtIPv6Sink(RTFMTSINK *pSink, const uint8_t *pab);
void rtFmtMac(RTFMTSINK *pSink, const void *pv);
void rtFmtNetEndpoint(RTFMTSINK *pSink, const void *pv);
void rtFmtErrInfo(RTFMTSINK *pSink, const void *pv, bool fWithStatus, RTFMTSPEC const *pSpec);

/** How a type-table entry prints its argument. */
enum class RTFMTKIND : uint8_t
{
    Number,         /**< RTFmtNumber with the entry's base */
    FixedHex,       /**< zero-filled to twice the size unless a width is given */
    Bool,
    FarPtr,         /**< selector:offset */
    IPv4,           /**< the address by value */
    IPv6,           /**< pointer arguments from here on */
    Mac,
    NetAddr,
    Uuid,
    ErrInfoFull,
    ErrInfoMsg,
};

/** An entry of the type tables, which the number and object families keep sorted by name:
 *  eight bytes, so that a table of them stays small. */
struct RTFMTTYPE
{
    char     achName[6];        /**< zero-filled after a shorter name */
    uint8_t  cbArg;
    uint8_t  enmKind   : 4;     /**< RTFMTKIND */
    uint8_t  fHex      : 1;     /**< base 16, else 10 */
    uint8_t  fSigned   : 1;     /**< adds FMT_SIGNED to the caller's flags */
    uint8_t  fZeroFill : 1;     /**< adds FMT_ZERO_FILL */

    RTFMTKIND Kind() const { return static_cast<RTFMTKIND>(enmKind); }
    unsigned  Base() const { return fHex ? 16 : 10; }
    uint32_t  Flags() const { return (fSigned ? FMT_SIGNED : 0) | (fZeroFill ? FMT_ZERO_FILL : 0); }
    /** The length of the name. */
    constexpr size_t NameLength() const
    {
        size_t cch = 0;
        while (cch < sizeof(achName) && achName[cch])
            cch++;
        return cch;
    }
};
static_assert(sizeof(RTFMTTYPE) == 8, "a type-table entry takes 8 bytes");
static_assert(static_cast<unsigned>(RTFMTKIND::ErrInfoMsg) < 16, "every kind fits the entry's four bits");

/** Reached only by a table entry the entry cannot hold; not constexpr, so that such an entry
 *  fails to compile. */
void rtFmtTypeUnrepresentable();

template <size_t N>
constexpr RTFMTTYPE rtFmtType(const char (&szName)[N], uint8_t cbArg, uint8_t uBase, RTFMTKIND enmKind,
                              uint32_t fFlags = 0)
{
    static_assert(N - 1 <= sizeof(RTFMTTYPE::achName), "type names have at most 6 characters");
    if ((uBase != 10 && uBase != 16) || (fFlags & ~(FMT_SIGNED | FMT_ZERO_FILL)))
        rtFmtTypeUnrepresentable();
    RTFMTTYPE Type{};
    for (size_t i = 0; i < N - 1; i++)
        Type.achName[i] = szName[i];
    Type.cbArg     = cbArg;
    Type.enmKind   = static_cast<uint8_t>(enmKind);
    Type.fHex      = uBase == 16;
    Type.fSigned   = (fFlags & FMT_SIGNED) != 0;
    Type.fZeroFill = (fFlags & FMT_ZERO_FILL) != 0;
    return Type;
}

/** Where the names of two entries first differ; equal to the shorter length when one is
 *  a prefix of the other. */
constexpr size_t rtFmtTypeCommonLength(RTFMTTYPE const &A, RTFMTTYPE const &B)
{
    size_t j = 0;
    while (j < A.NameLength() && j < B.NameLength() && A.achName[j] == B.achName[j])
        j++;
    return j;
}

/** True when the table is sorted by name (byte order) and no name is a prefix of another,
 *  which would make the prefix lookup ambiguous. */
template <size_t N>
constexpr bool rtFmtTypesSorted(const RTFMTTYPE (&aTypes)[N])
{
    for (size_t i = 1; i < N; i++)
    {
        RTFMTTYPE const &A = aTypes[i - 1];
        RTFMTTYPE const &B = aTypes[i];
        size_t const j = rtFmtTypeCommonLength(A, B);
        if (j == A.NameLength() || j == B.NameLength())
            return false;
        if (static_cast<unsigned char>(A.achName[j]) >= static_cast<unsigned char>(B.achName[j]))
            return false;
    }
    return true;
}

/** Compares the start of pszText with a name of cchName bytes, as the sorted tables do:
 *  a negative, zero or positive result like memcmp, where the text may end early. */
inline int rtFmtNameCompare(const char *pszText, const char *pchName, size_t cchName)
{
    for (size_t i = 0; i < cchName; i++)
    {
        int const iDiff = static_cast<unsigned char>(pszText[i]) - static_cast<unsigned char>(pchName[i]);
        if (iDiff)
            return iDiff;
    }
    return 0;
}

/** The entry of a sorted type table whose name starts pszType, or null. The text may end
 *  early: its terminator sorts before any character of a name. */
template <size_t N>
RTFMTTYPE const *rtFmtTypeLookup(const RTFMTTYPE (&aTypes)[N], const char *pszType)
{
    ptrdiff_t const iType = rtSortedSearch(N, [&aTypes, pszType](size_t i) {
        return rtFmtNameCompare(pszType, aTypes[i].achName, aTypes[i].NameLength());
    });
    return iType >= 0 ? &aTypes[iType] : nullptr;
}
