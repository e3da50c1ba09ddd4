/* Integer formatting for the format engine and its callers: RTFmtNumber, which every
 * integer directive ends in, and the bounded RTStrFmtU32/RTStrFmtU64 on top of it. */
#include "rt/format.h"
#include "internal/format-number.h"

namespace {

/** The longest number text; a destination holds this and a terminator. */
constexpr int RTFMTNUM_MAX = 63;

constexpr char g_szDigitsLower[] = "0123456789abcdef";
constexpr char g_szDigitsUpper[] = "0123456789ABCDEF";
constexpr char g_szDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

/** Writes the digits of a value that fits 32 bits, ending just before pchEnd. */
inline char *rtFmtDigits32(char *pchEnd, uint32_t u32, unsigned uBase, const char *pszDigits)
{
    char *pch = pchEnd;
    switch (uBase)
    {
        case 10:
            while (u32 >= 100)
            {
                unsigned const iPair = (u32 % 100) * 2;
                u32 /= 100;
                *--pch = g_szDigitPairs[iPair + 1];
                *--pch = g_szDigitPairs[iPair];
            }
            if (u32 >= 10)
            {
                *--pch = g_szDigitPairs[u32 * 2 + 1];
                *--pch = g_szDigitPairs[u32 * 2];
            }
            else
                *--pch = static_cast<char>('0' + u32);
            break;
        case 16:
            do
            {
                *--pch = pszDigits[u32 & 0xf];
                u32 >>= 4;
            } while (u32);
            break;
        default:
            do
            {
                *--pch = pszDigits[u32 % uBase];
                u32 /= uBase;
            } while (u32);
            break;
    }
    return pch;
}

} /* namespace */

char *rtFmtDigits(char *pchEnd, uint64_t u64, unsigned uBase, bool fUpper)
{
    const char *const pszDigits = fUpper ? g_szDigitsUpper : g_szDigitsLower;
    if (!(u64 >> 32))
        return rtFmtDigits32(pchEnd, static_cast<uint32_t>(u64), uBase, pszDigits);

    char *pch = pchEnd;
    if (uBase == 10)
    {
        /* One 64-bit division per nine digits; the rest goes by 32-bit arithmetic. */
        do
        {
            uint64_t const uQuot = u64 / 1000000000u;
            uint32_t uRem = static_cast<uint32_t>(u64 - uQuot * 1000000000u);
            for (int i = 0; i < 9; i++)
            {
                *--pch = static_cast<char>('0' + uRem % 10);
                uRem /= 10;
            }
            u64 = uQuot;
        } while (u64 >> 32);
        /* The quotient of a value of 2^32 or more is never zero. */
        return rtFmtDigits32(pch, static_cast<uint32_t>(u64), 10, pszDigits);
    }
    if ((uBase & (uBase - 1)) == 0)
    {
        unsigned const cShift = static_cast<unsigned>(__builtin_ctz(uBase));
        unsigned const fMask = uBase - 1;
        do
        {
            *--pch = pszDigits[static_cast<uint32_t>(u64) & fMask];
            u64 >>= cShift;
        } while (u64);
        return pch;
    }
    /* The other bases are rare: long division by 16-bit pieces keeps to 32-bit arithmetic
       (each partial dividend stays below 16 << 16). */
    uint32_t uHi = static_cast<uint32_t>(u64 >> 32);
    uint32_t uLo = static_cast<uint32_t>(u64);
    do
    {
        uint32_t const uMid = ((uHi % uBase) << 16) | (uLo >> 16);
        uint32_t const uLow = ((uMid % uBase) << 16) | (uLo & 0xffff);
        uHi /= uBase;
        uLo = ((uMid / uBase) << 16) | (uLow / uBase);
        *--pch = pszDigits[uLow % uBase];
    } while (uHi | uLo);
    return pch;
}

namespace {

inline char *rtFmtFill(char *pch, char ch, int cch)
{
    while (cch-- > 0)
        *pch++ = ch;
    return pch;
}

inline int rtFmtMin(int a, int b) { return a < b ? a : b; }

int rtStrFmtBounded(char *pszBuf, size_t cbBuf, uint64_t u64Value, unsigned uBase,
                    int cchWidth, int cchPrecision, uint32_t fFlags)
{
    if (cbBuf && !RT_VALID_PTR(pszBuf))
        return ERR_BAD_POINTER;
    if (cbBuf > RTFMTNUM_MAX)
        return RTFmtNumber(pszBuf, u64Value, uBase, cchWidth, cchPrecision, fFlags);

    char szTmp[RTFMTNUM_MAX + 1];
    int const cch = RTFmtNumber(szTmp, u64Value, uBase, cchWidth, cchPrecision, fFlags);
    return rtFmtCopyBounded(pszBuf, cbBuf, szTmp, cch);
}

/** The caller's flags that the bounded formatters keep; the width bits are their own. */
constexpr uint32_t RTSTRFMT_CALLER_FLAGS = 0x7ff;

} /* namespace */

int RTFmtNumber(char *pszDst, uint64_t u64Value, unsigned uBase, int cchWidth, int cchPrecision,
                uint32_t fFlags)
{
    if (uBase < 2 || uBase > 16)
    {
        *pszDst = '\0';
        return 0;
    }
    if (fFlags & FMT_LEFT)
        fFlags &= ~FMT_ZERO_FILL;
    if ((fFlags & FMT_GROUP_DIGITS) && (uBase != 10 || (fFlags & FMT_ZERO_FILL)))
        fFlags &= ~FMT_GROUP_DIGITS;

    /* A 32-bit value is negative by its own sign bit, not by the 64-bit one. */
    bool fNegative = false;
    if (fFlags & FMT_SIGNED)
    {
        if ((fFlags & FMT_64BIT) || (u64Value >> 32))
        {
            if (static_cast<int64_t>(u64Value) < 0)
            {
                fNegative = true;
                u64Value = 0 - u64Value;
            }
        }
        else if (static_cast<int32_t>(static_cast<uint32_t>(u64Value)) < 0)
        {
            fNegative = true;
            u64Value = 0u - static_cast<uint32_t>(u64Value);
        }
    }

    char achDigits[64];
    char *const pchDigitsEnd = &achDigits[sizeof(achDigits)];
    const char *const pchDigits = rtFmtDigits(pchDigitsEnd, u64Value, uBase, (fFlags & FMT_UPPER) != 0);
    int const cDigits = static_cast<int>(pchDigitsEnd - pchDigits);
    bool const fGroup = (fFlags & FMT_GROUP_DIGITS) && cDigits > 3;
    int const cchNum = cDigits + (fGroup ? (cDigits - 1) / 3 : 0);

    char achHead[3];
    int cchHead = 0;
    if (fFlags & FMT_SIGNED)
    {
        if (fNegative)
            achHead[cchHead++] = '-';
        else if (fFlags & FMT_SHOW_PLUS)
            achHead[cchHead++] = '+';
        else if (fFlags & FMT_SHOW_BLANK)
            achHead[cchHead++] = ' ';
    }
    if (fFlags & FMT_BASE_PREFIX)
    {
        if (uBase == 8)
            achHead[cchHead++] = '0';
        else if (uBase == 16)
        {
            achHead[cchHead++] = '0';
            achHead[cchHead++] = (fFlags & FMT_UPPER) ? 'X' : 'x';
        }
    }

    /* Padding gives way to the sign, prefix and digits so that the text stays within
       63 characters; only a 64-digit binary number has to be cut itself. */
    int const cchFill = cchWidth > cchNum + cchHead ? cchWidth - (cchNum + cchHead) : 0;
    int cchRoom = RTFMTNUM_MAX - (cchNum + cchHead);
    if (cchRoom < 0)
        cchRoom = 0;

    char *pch = pszDst;
    if (!(fFlags & (FMT_ZERO_FILL | FMT_LEFT)))
    {
        int const cch = rtFmtMin(cchFill, cchRoom);
        pch = rtFmtFill(pch, ' ', cch);
        cchRoom -= cch;
    }
    for (int i = 0; i < cchHead; i++)
        *pch++ = achHead[i];
    int cZeros = 0;
    if (fFlags & FMT_ZERO_FILL)
    {
        cZeros = rtFmtMin(cchFill, cchRoom);
        pch = rtFmtFill(pch, '0', cZeros);
        cchRoom -= cZeros;
    }
    if (cchPrecision > cZeros + cchNum)
        pch = rtFmtFill(pch, '0', rtFmtMin(cchPrecision - (cZeros + cchNum), cchRoom));

    /* Grouped digits always fit: they are decimal, at most 26 characters with the spaces. */
    char *const pchMax = pszDst + RTFMTNUM_MAX;
    for (int i = 0; i < cDigits && pch < pchMax; i++)
    {
        if (fGroup && i && (cDigits - i) % 3 == 0)
            *pch++ = ' ';
        *pch++ = pchDigits[i];
    }

    if (fFlags & FMT_LEFT)
        pch = rtFmtFill(pch, ' ', rtFmtMin(cchFill, static_cast<int>(pchMax - pch)));
    *pch = '\0';
    return static_cast<int>(pch - pszDst);
}

int RTStrFmtU32(char *pszBuf, size_t cbBuf, uint32_t u32Value, unsigned uBase, int cchWidth,
                int cchPrecision, uint32_t fFlags)
{
    return rtStrFmtBounded(pszBuf, cbBuf, u32Value, uBase, cchWidth, cchPrecision,
                           (fFlags & RTSTRFMT_CALLER_FLAGS) | FMT_32BIT);
}

int RTStrFmtU64(char *pszBuf, size_t cbBuf, uint64_t u64Value, unsigned uBase, int cchWidth,
                int cchPrecision, uint32_t fFlags)
{
    return rtStrFmtBounded(pszBuf, cbBuf, u64Value, uBase, cchWidth, cchPrecision,
                           (fFlags & RTSTRFMT_CALLER_FLAGS) | FMT_64BIT);
}

char *rtFmtPlainNumber(char *pchEnd, uint64_t u, unsigned uBase, uint32_t fFlags)
{
    bool const f32 = (fFlags & FMT_32BIT) != 0;
    if ((fFlags & FMT_SIGNED) && (f32 ? static_cast<int32_t>(u) < 0 : static_cast<int64_t>(u) < 0))
    {
        char *pch = rtFmtDigits(pchEnd, f32 ? 0u - static_cast<uint32_t>(u) : 0 - u, uBase, false);
        *--pch = '-';
        return pch;
    }
    return rtFmtDigits(pchEnd, u, uBase, (fFlags & FMT_UPPER) != 0);
}

size_t rtFmtBadPointerText(char *pchBuf, const void *pv, const char *pszTag)
{
    static constexpr char s_szNull[] = "<NULL>";
    if (!pv)
    {
        __builtin_memcpy(pchBuf, s_szNull, sizeof(s_szNull) - 1);
        return sizeof(s_szNull) - 1;
    }
    char szHex[16];
    char *const pchEnd = &szHex[sizeof(szHex)];
    char *pch = rtFmtDigits(pchEnd, reinterpret_cast<uintptr_t>(pv), 16, false);
    while (pchEnd - pch < 8)
        *--pch = '0';
    size_t cch = 0;
    pchBuf[cch++] = '<';
    while (pch < pchEnd)
        pchBuf[cch++] = *pch++;
    while (*pszTag && cch < RTFMT_BAD_POINTER_MAX - 1)
        pchBuf[cch++] = *pszTag++;
    pchBuf[cch++] = '>';
    return cch;
}
