/* The format engine through every front end: directive families, the number and float
 * formatters, the buffer writers and the allocating writer's growth and failure paths. */
#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>
#include "rt/format.h"
#include "rt/mem.h"
#include "rt/string.h"
#include "leak-check.h"

namespace {

constexpr unsigned char GUARD = 0xA5;
constexpr size_t GUARD_SIZE = 16;

/** A caller's buffer followed by guard bytes that must survive every write. */
struct GuardedBuf
{
    std::vector<unsigned char> ab;
    size_t cb;
    explicit GuardedBuf(size_t cbBuf) : ab(cbBuf + GUARD_SIZE, GUARD), cb(cbBuf) {}
    char *get() { return reinterpret_cast<char *>(ab.data()); }
    bool guardIntact() const
    {
        for (size_t i = cb; i < ab.size(); i++)
            if (ab[i] != GUARD)
                return false;
        return true;
    }
};

/** Records every output call, so the pieces and the final empty call can be checked. */
struct Collector
{
    std::string text;
    int cFinalCalls = 0;
    bool fPieceAfterFinal = false;
    static size_t Output(void *pv, const char *pch, size_t cch)
    {
        Collector *p = static_cast<Collector *>(pv);
        if (!pch && !cch)
        {
            p->cFinalCalls++;
            return 0;
        }
        if (p->cFinalCalls)
            p->fPieceAfterFinal = true;
        p->text.append(pch, cch);
        return cch;
    }
};

/** Formats through all four front ends and checks that each agrees with the expected
 *  text, including the truncated forms one byte short of the full length. */
template <typename... Args>
void ExpectFmt(const std::string &expected, const char *pszFormat, Args... args)
{
    SCOPED_TRACE(std::string("format \"") + (RT_VALID_PTR(pszFormat) ? pszFormat : "<bad>") + "\"");
    size_t const cch = expected.size();

    Collector Col;
    EXPECT_EQ(RTFmt(Collector::Output, &Col, nullptr, nullptr, pszFormat, args...), cch);
    EXPECT_EQ(Col.text, expected);
    EXPECT_EQ(Col.cFinalCalls, 1);
    EXPECT_FALSE(Col.fPieceAfterFinal);

    GuardedBuf Big(cch + 8);
    EXPECT_EQ(RTStrPrintBuf(Big.get(), Big.cb, pszFormat, args...), cch);
    EXPECT_EQ(std::string(Big.get(), cch + 1), expected + '\0');
    EXPECT_EQ(RTStrPrintBufEx(Big.get(), Big.cb, pszFormat, args...), static_cast<ptrdiff_t>(cch));
    EXPECT_EQ(std::string(Big.get(), cch + 1), expected + '\0');
    EXPECT_TRUE(Big.guardIntact());

    char *psz = reinterpret_cast<char *>(1);
    EXPECT_EQ(RTStrPrintAlloc(&psz, pszFormat, args...), static_cast<int>(cch));
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(std::string(psz, cch + 1), expected + '\0');
    RTStrRelease(psz);

    if (cch)
    {
        std::string const truncated = expected.substr(0, cch - 1) + '\0';
        GuardedBuf Short(cch);
        EXPECT_EQ(RTStrPrintBuf(Short.get(), Short.cb, pszFormat, args...), cch - 1);
        EXPECT_EQ(std::string(Short.get(), cch), truncated);
        std::memset(Short.get(), 'x', Short.cb);
        EXPECT_EQ(RTStrPrintBufEx(Short.get(), Short.cb, pszFormat, args...), ~static_cast<ptrdiff_t>(cch));
        EXPECT_EQ(std::string(Short.get(), cch), truncated);
        EXPECT_TRUE(Short.guardIntact());
    }
}

double DoubleFromBits(uint64_t u)
{
    double r;
    std::memcpy(&r, &u, sizeof(r));
    return r;
}

const void *Ptr(uintptr_t u) { return reinterpret_cast<const void *>(u); }

} /* namespace */

TEST(FormatEngine, Integers)
{
    ExpectFmt("   42|42   |-0042", "%5d|%-5d|%05d", 42, 42, -42);
    ExpectFmt("+5| 5|+5|-5|5", "%+d|% d|%+ d|% d|%u", 5, 5, 5, -5, 5);
    ExpectFmt("5|5|5", "%+u|% x|%+o", 5u, 5u, 5u);
    ExpectFmt("-2147483648|2147483647", "%d|%i", INT32_MIN, INT32_MAX);
    ExpectFmt("-9223372036854775808|18446744073709551615", "%lld|%llu", INT64_MIN, UINT64_MAX);
    ExpectFmt("deadbeef|DEADBEEF|37777777777", "%x|%X|%o", 0xdeadbeefu, 0xdeadbeefu, 0xffffffffu);
    ExpectFmt("123456789abcdef0|FEDCBA9876543210", "%llx|%llX", UINT64_C(0x123456789abcdef0),
              UINT64_C(0xfedcba9876543210));
    ExpectFmt("10000000000|10000000000", "%llo|%llu", UINT64_C(1) << 30, UINT64_C(10000000000));
    /* Prefixes come also for zero, and '#' gives base 8 a single leading zero. */
    ExpectFmt("0x0|010|0XFF|0xff|00", "%#x|%#o|%#X|%#x|%#o", 0u, 8u, 255u, 255u, 0u);
    ExpectFmt("0x00ff|  0xff|0xff  ", "%#06x|%#6x|%-#6x", 255u, 255u, 255u);
    /* Precision zeros are not part of the width fill. */
    ExpectFmt("     0005|0005     |-005|0", "%6.4d|%-6.4d|%.3d|%.0d", 5, 5, -5, 0);
    ExpectFmt("0000012345", "%010.3u", 12345u);
    ExpectFmt("   7|7   |   7", "%*d|%*d|%*d", 4, 7, -4, 7, 4, 7);
    ExpectFmt("007|7", "%.*d|%.*d", 3, 7, -3, 7);
    /* Grouping: spaces, decimal only, not with zero fill. */
    ExpectFmt("1 234 567|-1 234 567 890 123|123|1234567|01234567", "%'u|%'lld|%'d|%'x|%0'8u",
              1234567u, INT64_C(-1234567890123), 123, 0x1234567u, 1234567u);
    ExpectFmt("  1 000|1 000  ", "%'7u|%-'7u", 1000u, 1000u);
}

TEST(FormatEngine, SizePrefixes)
{
    uint64_t const u64 = UINT64_C(0x100000002);
    ExpectFmt("4294967298|4294967298|4294967298|4294967298|4294967298|4294967298",
              "%llu|%I64u|%Lu|%qu|%ju|%Iu", u64, u64, u64, u64, u64, u64);
    /* l, z, t and I32 read 32 bits: the second argument must be 2, not a high half. */
    ExpectFmt("1 2|1 2|1 2|1 2", "%lu %u|%zu %u|%td %d|%I32u %u", 1u, 2u, 1u, 2u, 1, 2, 1u, 2u);
    /* h and hh read a full int and print it unshortened. */
    ExpectFmt("70000|1ff|-70000", "%hu|%hhx|%hd", 70000u, 0x1ffu, -70000);
}

TEST(FormatEngine, PointersAndChars)
{
    ExpectFmt("00001a2b|0x001a2b|000000001a2b|1a2b    ", "%p|%#p|%12p|%-8p", Ptr(0x1a2b), Ptr(0x1a2b),
              Ptr(0x1a2b), Ptr(0x1a2b));
    /* A size prefix does not change what a pointer argument takes. */
    ExpectFmt("00001a2b|7", "%llp|%d", Ptr(0x1a2b), 7);
    ExpectFmt("a|  b|c  |A", "%c|%3c|%-3c|%c", 'a', 'b', 'c', 0x141);
    ExpectFmt(std::string("x\0y", 3), "x%cy", 0);
}

TEST(FormatEngine, Utf8Strings)
{
    ExpectFmt("abc|  abc|abc  |ab|", "%s|%5s|%-5s|%.2s|%.0s", "abc", "abc", "abc", "abcdef", "abc");
    ExpectFmt("|x", "%.*s|%s", -1, "abc", "x");
    ExpectFmt("abc|\xC3", "%S|%.1s", "abc", "\xC3\xA9");
    /* The precision bounds the read: the argument need not be terminated. */
    char const achUnterminated[3] = { 'x', 'y', 'z' };
    ExpectFmt("xyz", "%.3s", achUnterminated);
}

TEST(FormatEngine, InvalidStringPointersPrintPlaceholders)
{
    ExpectFmt("<NULL>|<NULL>    |  <NULL>|<NULL>", "%s|%-10s|%8s|%.2s", Ptr(0), Ptr(0), Ptr(0), Ptr(0));
    ExpectFmt("<00000010!BadStr>|<00000020!BadStrW>|<00000030!BadStrU>", "%s|%ls|%Ls", Ptr(0x10),
              Ptr(0x20), Ptr(0x30));
    ExpectFmt("<fffffff0!BadStr>|<00000fff!BadStrW>", "%s|%ls", Ptr(static_cast<uintptr_t>(-16)), Ptr(0xfff));
    ExpectFmt("<NULL>|<NULL>", "%ls|%lls", Ptr(0), Ptr(0));
}

TEST(FormatEngine, Utf16Strings)
{
    static const RTUTF16 s_wszMixed[] = { 'a', 0xe9, 0xd83d, 0xde00, 0x20ac, 0 };
    ExpectFmt("a\xC3\xA9\xF0\x9F\x98\x80\xE2\x82\xAC", "%ls", s_wszMixed);
    /* Width and precision count code points, not bytes or units. */
    ExpectFmt("  a\xC3\xA9\xF0\x9F\x98\x80\xE2\x82\xAC|a\xC3\xA9\xF0\x9F\x98\x80  |a", "%6ls|%-5.3ls|%.1lS",
              s_wszMixed, s_wszMixed, s_wszMixed);
    /* The first unit that does not decode ends the string. */
    static const RTUTF16 s_wszLoneLow[] = { 'a', 'b', 0xdc00, 'c', 0 };
    static const RTUTF16 s_wszLoneHigh[] = { 'a', 0xd800, 'b', 0 };
    static const RTUTF16 s_wszHighAtEnd[] = { 'a', 0xd800, 0 };
    static const RTUTF16 s_wszNonChar[] = { 'a', 0xfffe, 'b', 0 };
    ExpectFmt("ab|a|a|a|   ab", "%ls|%ls|%ls|%ls|%5ls", s_wszLoneLow, s_wszLoneHigh, s_wszHighAtEnd,
              s_wszNonChar, s_wszLoneLow);
}

TEST(FormatEngine, CodePointStrings)
{
    static const RTUNICP s_aCps[] = { 'a', 0xe9, 0x1f600, 0 };
    ExpectFmt("a\xC3\xA9\xF0\x9F\x98\x80|a\xC3\xA9\xF0\x9F\x98\x80|a\xC3\xA9  |  a", "%Ls|%llS|%-4.2Ls|%3.1Ls",
              s_aCps, s_aCps, s_aCps, s_aCps);
    /* A value with the top bit set is written as a single 0x7f. */
    static const RTUNICP s_aBad[] = { 'x', 0x80000000u, 0 };
    ExpectFmt("x\x7f", "%Ls", s_aBad);
}

TEST(FormatEngine, FloatingPointFields)
{
    double const rInf = std::numeric_limits<double>::infinity();
    ExpectFmt("+0|-0|+Inf|-Inf", "%f|%e|%g|%a", 0.0, -0.0, rInf, -rInf);
    ExpectFmt("+1m0x0000000000000^0|-1m0x8000000000000^-1", "%f|%F", 1.0, -0.75);
    ExpectFmt("+1m0xfffffffffffff^1023|+1m0x0000000000000^-1022", "%E|%G", 1.7976931348623157e308,
              2.2250738585072014e-308);
    /* Width, precision and flags do not apply; L still reads a double. */
    ExpectFmt("+1m0x0000000000000^1|+1m0x0000000000000^1", "%-30.3f|%+#030Le", 2.0, 2.0);
    /* NaNs go in as their bits (the same argument slot as a double here): an x87 load
       would quiet a signalling one on the way. */
    static_assert(sizeof(void *) == 4, "doubles and 64-bit integers share argument slots");
    ExpectFmt("+QNan|-QNan|+SNan|-SNan", "%f|%f|%f|%f", UINT64_C(0x7ff8000000000000),
              UINT64_C(0xfff8000000000001), UINT64_C(0x7ff0000000000001), UINT64_C(0xfff4000000000000));
    ExpectFmt("+0m0x0000000000001|-0m0x8000000000000", "%f|%A", DoubleFromBits(1),
              DoubleFromBits(UINT64_C(0x8008000000000000)));
}

TEST(FormatEngine, LiteralsPercentAndUnknownDirectives)
{
    ExpectFmt("", "");
    ExpectFmt("100% sure %d", "100%% sure %%d");
    /* A '%' at the end, even after flags, width or size, ends formatting. */
    ExpectFmt("abc", "abc%");
    ExpectFmt("abc", "abc%-5.2");
    ExpectFmt("abc", "abc%ll");
    /* Unknown directives print nothing and consume nothing. */
    ExpectFmt("ab7|ab9", "a%yb%d|a%-5.2lwb%d", 7, 9);
}

TEST(FormatEngine, TypedDirectivesGetTheParsedFieldsAndMoveOn)
{
    /* The dispatcher takes its argument and the cursor; the engine resumes after both. */
    ExpectFmt("0000001a|5|-7    |1 234 567|", "%08RX32|%d|%-6RI32|%'RU64|", 0x1au, 5, -7,
              UINT64_C(1234567));
}

namespace {

size_t NestedFmt(char *pszBuf, size_t cbBuf, const char *pszOuter, const char *pszNested, ...)
{
    va_list nested;
    va_start(nested, pszNested);
    size_t const cch = RTStrPrintBuf(pszBuf, cbBuf, pszOuter, pszNested, &nested, 9);
    va_end(nested);
    return cch;
}

size_t NestedCollect(Collector *pCol, const char *pszNested, ...)
{
    va_list nested;
    va_start(nested, pszNested);
    size_t const cch = RTFmt(Collector::Output, pCol, nullptr, nullptr, "<%N>", pszNested, &nested);
    va_end(nested);
    return cch;
}

} /* namespace */

TEST(FormatEngine, NestedFormats)
{
    char szBuf[64];
    EXPECT_EQ(NestedFmt(szBuf, sizeof(szBuf), "a%Nb%d", "x=%d", 7), 6u);
    EXPECT_STREQ(szBuf, "ax=7b9");
    EXPECT_EQ(NestedFmt(szBuf, sizeof(szBuf), "%N|%d", "%s-%s", "p", "q"), 5u);
    EXPECT_STREQ(szBuf, "p-q|9");

    /* The nested call is complete, with its own final empty call. */
    Collector Col;
    EXPECT_EQ(NestedCollect(&Col, "%d%d", 1, 2), 4u);
    EXPECT_EQ(Col.text, "<12>");
    EXPECT_EQ(Col.cFinalCalls, 2);

    /* Bad pointers for the nested format or its list print a placeholder. */
    ExpectFmt("[<NULL>]9", "[%N]%d", Ptr(0), Ptr(0x1000), 9);
    ExpectFmt("[<00000008!BadArgs>]9", "[%N]%d", "x", Ptr(8), 9);

    /* %M abandons the rest of the format and carries on with the same arguments. */
    ExpectFmt("ab3-4", "ab%M%d ignored", "%d-%d", 3, 4);
    ExpectFmt("ab<NULL>", "ab%M%d", Ptr(0), 3);
}

namespace {

struct ExtCall
{
    int cchWidth;
    int cchPrecision;
    uint32_t fFlags;
    char chArgSize;
};

/** Prints its int argument in brackets for 'y'; leaves every other character alone. */
size_t ExtBracket(void *pvExt, RTFmtOutputFn pfnOutput, void *pvOut, const char **ppszFormat,
                  va_list *pArgs, int cchWidth, int cchPrecision, uint32_t fFlags, char chArgSize)
{
    static_cast<std::vector<ExtCall> *>(pvExt)->push_back({ cchWidth, cchPrecision, fFlags, chArgSize });
    if (**ppszFormat != 'y')
        return 0;
    (*ppszFormat)++;
    std::string const s = "[" + std::to_string(va_arg(*pArgs, int)) + "]";
    return pfnOutput(pvOut, s.data(), s.size());
}

} /* namespace */

TEST(FormatEngine, ExtensionCallback)
{
    std::vector<ExtCall> Calls;
    Collector Col;
    size_t const cch = RTFmt(Collector::Output, &Col, ExtBracket, &Calls, "a%-5.2lyb%wc%d|%#*hhy%Iy%qy%zy",
                             5, 6, 3, 1, 2, 3, 4);
    /* An extension that does not move the cursor lets the character print as text. */
    EXPECT_EQ(Col.text, "a[5]bwc6|[1][2][3][4]");
    EXPECT_EQ(cch, Col.text.size());
    ASSERT_EQ(Calls.size(), 6u);
    EXPECT_EQ(Calls[0].cchWidth, 5);
    EXPECT_EQ(Calls[0].cchPrecision, 2);
    EXPECT_EQ(Calls[0].fFlags, FMT_LEFT | FMT_WIDTH_GIVEN | FMT_PRECISION_GIVEN);
    EXPECT_EQ(Calls[0].chArgSize, 'l');
    EXPECT_EQ(Calls[1].cchWidth, -1);
    EXPECT_EQ(Calls[1].cchPrecision, -1);
    EXPECT_EQ(Calls[1].chArgSize, '\0');
    EXPECT_EQ(Calls[2].cchWidth, 3);
    EXPECT_EQ(Calls[2].fFlags, FMT_BASE_PREFIX | FMT_WIDTH_GIVEN | FMT_8BIT);
    EXPECT_EQ(Calls[2].chArgSize, 'H');
    EXPECT_EQ(Calls[3].chArgSize, 'j');
    EXPECT_EQ(Calls[4].chArgSize, 'q');
    EXPECT_EQ(Calls[5].chArgSize, 'z');
}

TEST(FormatEngine, TotalIsTheSumOfWhatTheCallbackTook)
{
    /* A callback that takes at most two bytes per piece. */
    auto pfnTwo = [](void *pv, const char *pch, size_t cch) -> size_t {
        if (pch)
            ++*static_cast<int *>(pv);
        return cch < 2 ? cch : 2;
    };
    int cPieces = 0;
    EXPECT_EQ(RTFmt(pfnTwo, &cPieces, nullptr, nullptr, "abc%sdef%d", "xyz", 12345), 8u);
    EXPECT_EQ(cPieces, 4);
}

TEST(FormatEngine, BadFormatPointer)
{
    ExpectFmt("<NULL>", static_cast<const char *>(nullptr));
    ExpectFmt("<00000044!BadStr>", reinterpret_cast<const char *>(0x44));
}

TEST(FormatNumber, Rendering)
{
    struct Case { uint64_t u; unsigned uBase; int w; int p; uint32_t f; const char *psz; };
    static const Case s_aCases[] = {
        { 0xffffffffu, 10, -1, -1, FMT_SIGNED, "-1" },
        { 0xffffffffu, 10, -1, -1, FMT_SIGNED | FMT_64BIT, "4294967295" },
        { UINT64_C(0xffffffff00000000), 10, -1, -1, FMT_SIGNED, "-4294967296" },
        { UINT64_C(0x8000000000000000), 10, -1, -1, FMT_SIGNED | FMT_64BIT, "-9223372036854775808" },
        { 8, 3, -1, -1, 0, "22" },
        /* 64-bit values in bases other than 10 and the powers of two. */
        { UINT64_MAX, 3, -1, -1, FMT_64BIT, "11112220022122120101211020120210210211220" },
        { UINT64_MAX, 7, -1, -1, FMT_64BIT, "45012021522523134134601" },
        { UINT64_C(0x100000000), 12, -1, -1, 0, "9ba461594" },
        { UINT64_C(0xfedcba9876543210), 13, -1, -1, FMT_64BIT, "217a29ac6b1907c6c3" },
        { 35, 16, 6, -1, FMT_ZERO_FILL | FMT_LEFT, "23    " },
        { 5, 10, 4, -1, FMT_ZERO_FILL | FMT_SIGNED | FMT_SHOW_PLUS, "+005" },
        { 255, 16, -1, 4, FMT_BASE_PREFIX | FMT_UPPER, "0X00FF" },
        { 255, 8, -1, -1, FMT_SHOW_PLUS | FMT_SHOW_BLANK, "377" },
        { 255, 2, -1, -1, FMT_BASE_PREFIX, "11111111" },
        { 0, 10, -1, -1, 0, "0" },
        /* Outside 2..16 there is nothing sensible to print. */
        { 10, 1, 5, -1, 0, "" },
        { 10, 17, 5, -1, 0, "" },
    };
    for (const Case &c : s_aCases)
    {
        SCOPED_TRACE(c.psz);
        char szBuf[64 + GUARD_SIZE];
        std::memset(szBuf, GUARD, sizeof(szBuf));
        EXPECT_EQ(RTFmtNumber(szBuf, c.u, c.uBase, c.w, c.p, c.f), static_cast<int>(std::strlen(c.psz)));
        EXPECT_STREQ(szBuf, c.psz);
    }
}

TEST(FormatNumber, NeverExceeds63Characters)
{
    struct Case { uint64_t u; unsigned uBase; int w; int p; uint32_t f; std::string expected; };
    const Case aCases[] = {
        { 1, 10, 100, -1, 0, std::string(62, ' ') + "1" },
        { 1, 10, 100, -1, FMT_LEFT, "1" + std::string(62, ' ') },
        { 1, 16, 100, -1, FMT_ZERO_FILL | FMT_BASE_PREFIX, "0x" + std::string(60, '0') + "1" },
        { 7, 10, -1, 1000, FMT_SIGNED | FMT_SHOW_PLUS, "+" + std::string(61, '0') + "7" },
        { 7, 10, 80, 70, 0, std::string(62, ' ') + "7" },
        /* The only number longer than the area: 64 binary digits keep their leading 63. */
        { UINT64_MAX, 2, -1, -1, FMT_64BIT, std::string(63, '1') },
        { UINT64_C(0x8000000000000000), 2, -1, -1, FMT_64BIT | FMT_SIGNED, "-" + std::string(62, '0').replace(0, 1, "1") },
    };
    for (const Case &c : aCases)
    {
        SCOPED_TRACE(c.expected);
        char szBuf[64 + GUARD_SIZE];
        std::memset(szBuf, GUARD, sizeof(szBuf));
        EXPECT_EQ(RTFmtNumber(szBuf, c.u, c.uBase, c.w, c.p, c.f), 63);
        EXPECT_EQ(std::string(szBuf), c.expected);
        for (size_t i = 64; i < sizeof(szBuf); i++)
            EXPECT_EQ(static_cast<unsigned char>(szBuf[i]), GUARD);
    }
}

TEST(FormatNumber, BoundedFormatters)
{
    struct Case { size_t cb; int rc; const char *psz; };
    static const Case s_aCases[] = {
        { 0, ERR_BUFFER_TOO_SMALL, "" },
        { 1, ERR_BUFFER_TOO_SMALL, "" },
        { 4, ERR_BUFFER_TOO_SMALL, "123" },
        { 6, ERR_BUFFER_TOO_SMALL, "12345" },
        { 7, 6, "123456" },
        { 100, 6, "123456" },
    };
    for (const Case &c : s_aCases)
    {
        SCOPED_TRACE(c.cb);
        for (int f64 = 0; f64 < 2; f64++)
        {
            GuardedBuf Buf(c.cb);
            int const rc = f64 ? RTStrFmtU64(Buf.get(), Buf.cb, 123456, 10, -1, -1, 0)
                               : RTStrFmtU32(Buf.get(), Buf.cb, 123456, 10, -1, -1, 0);
            EXPECT_EQ(rc, c.rc);
            if (c.cb)
                EXPECT_STREQ(Buf.get(), c.psz);
            else
                EXPECT_EQ(Buf.ab[0], GUARD);
            EXPECT_TRUE(Buf.guardIntact());
        }
    }

    /* Only the caller's low flag bits count; the width bits are the formatter's own. */
    char szBuf[80];
    EXPECT_EQ(RTStrFmtU32(szBuf, sizeof(szBuf), 0xffffffffu, 10, -1, -1, FMT_SIGNED | FMT_64BIT), 2);
    EXPECT_STREQ(szBuf, "-1");
    EXPECT_EQ(RTStrFmtU64(szBuf, 20, 0xffffffffu, 10, -1, -1, FMT_SIGNED | FMT_32BIT), 10);
    EXPECT_STREQ(szBuf, "4294967295");
    EXPECT_EQ(RTStrFmtU64(szBuf, sizeof(szBuf), UINT64_MAX, 16, 20, -1, FMT_ZERO_FILL | FMT_BASE_PREFIX), 20);
    EXPECT_STREQ(szBuf, "0x00ffffffffffffffff");
    EXPECT_EQ(RTStrFmtU32(reinterpret_cast<char *>(16), 8, 1, 10, -1, -1, 0), ERR_BAD_POINTER);
}

TEST(FormatFloat, DirectCalls)
{
    char szBuf[64];
    double r = 1.0;
    EXPECT_EQ(RTFmtFloat(szBuf, sizeof(szBuf), &r, -1, -1, 0), 20);
    EXPECT_STREQ(szBuf, "+1m0x0000000000000^0");

    GuardedBuf Short(5);
    EXPECT_EQ(RTFmtFloat(Short.get(), Short.cb, &r, -1, -1, 0), ERR_BUFFER_TOO_SMALL);
    EXPECT_STREQ(Short.get(), "+1m0");
    EXPECT_TRUE(Short.guardIntact());

    /* The verbose form the engine never asks for. */
    r = DoubleFromBits(2);
    EXPECT_EQ(RTFmtFloat(szBuf, sizeof(szBuf), &r, -1, -1, RTFMTFLOAT_VERBOSE), 24);
    EXPECT_STREQ(szBuf, "+0m0x0000000000002[SubN]");
    r = DoubleFromBits(UINT64_C(0xfff8000000000abc));
    RTFmtFloat(szBuf, sizeof(szBuf), &r, -1, -1, RTFMTFLOAT_VERBOSE);
    EXPECT_STREQ(szBuf, "-QNan[0x8000000000abc]");

    r = DoubleFromBits(UINT64_C(0x7ff0000000000001));
    RTFmtFloat(szBuf, sizeof(szBuf), &r, -1, -1, 0);
    EXPECT_STREQ(szBuf, "+SNan");

    EXPECT_EQ(RTFmtFloat(szBuf, sizeof(szBuf), nullptr, -1, -1, 0), ERR_BAD_POINTER);
    EXPECT_STREQ(szBuf, "");
}

TEST(PrintBuf, Truncation)
{
    struct Case { size_t cb; size_t cchBuf; ptrdiff_t cchEx; const char *psz; };
    /* Two pieces, "ab" and "cdef", make the text. */
    static const Case s_aCases[] = {
        { 1, 0, ~6, "" },
        { 2, 1, ~6, "a" },
        { 3, 2, ~6, "ab" },
        { 4, 3, ~6, "abc" },
        { 6, 5, ~6, "abcde" },
        { 7, 6, 6, "abcdef" },
    };
    for (const Case &c : s_aCases)
    {
        SCOPED_TRACE(c.cb);
        GuardedBuf Buf(c.cb);
        EXPECT_EQ(RTStrPrintBuf(Buf.get(), Buf.cb, "ab%s", "cdef"), c.cchBuf);
        EXPECT_STREQ(Buf.get(), c.psz);
        EXPECT_TRUE(Buf.guardIntact());
        GuardedBuf BufEx(c.cb);
        EXPECT_EQ(RTStrPrintBufEx(BufEx.get(), BufEx.cb, "ab%s", "cdef"), c.cchEx);
        EXPECT_STREQ(BufEx.get(), c.psz);
        EXPECT_TRUE(BufEx.guardIntact());
    }
}

TEST(PrintBuf, ZeroSizeTouchesNothing)
{
    GuardedBuf Buf(0);
    EXPECT_EQ(RTStrPrintBuf(Buf.get(), 0, "abcdef"), 0u);
    /* Not even the terminator fits, so every text counts as truncated. */
    EXPECT_EQ(RTStrPrintBufEx(Buf.get(), 0, "abcdef"), ~static_cast<ptrdiff_t>(6));
    EXPECT_EQ(RTStrPrintBufEx(Buf.get(), 0, ""), ~static_cast<ptrdiff_t>(0));
    EXPECT_TRUE(Buf.guardIntact());
    EXPECT_EQ(Buf.ab[0], GUARD);
    EXPECT_EQ(RTStrPrintBuf(nullptr, 10, "abc"), 0u);
}

namespace {

/** Allocation sizes the runtime asked for, and an optional failure on the n-th request. */
struct AllocLog
{
    std::vector<size_t> acb;
    size_t iFail = SIZE_MAX;
};
AllocLog g_AllocLog;

bool AllocHook(size_t cb)
{
    g_AllocLog.acb.push_back(cb);
    return g_AllocLog.acb.size() - 1 != g_AllocLog.iFail;
}

int PrintAlloc(char **ppsz, const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    int const cch = RTStrPrintAllocV(ppsz, pszFormat, args);
    va_end(args);
    return cch;
}

class PrintAllocTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_AllocLog = AllocLog();
        g_pfnRTMemAllocHook = AllocHook;
    }
    void TearDown() override { g_pfnRTMemAllocHook = nullptr; }
};

} /* namespace */

TEST_F(PrintAllocTest, ShortTextTakesOneExactBlock)
{
    char *psz = nullptr;
    EXPECT_EQ(PrintAlloc(&psz, "%s=%d", "n", 42), 4);
    EXPECT_STREQ(psz, "n=42");
    EXPECT_EQ(g_AllocLog.acb, std::vector<size_t>({ 5 }));
    RTStrRelease(psz);
}

TEST_F(PrintAllocTest, GrowthSteps)
{
    /* A piece larger than the step grows by its size rounded to 4 KiB: 2048 + 8192. */
    std::string const s5000(5000, 's');
    char *psz = nullptr;
    EXPECT_EQ(PrintAlloc(&psz, "%s", s5000.c_str()), 5000);
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(std::string(psz), s5000);
    EXPECT_EQ(g_AllocLog.acb, std::vector<size_t>({ 10240, 5001 }));
    RTStrRelease(psz);

    /* Small pieces grow by the current capacity: 2048, 4096, 8192. */
    g_AllocLog = AllocLog();
    std::string const s1000(1000, 'k');
    EXPECT_EQ(PrintAlloc(&psz, "%s%s%s%s%s", s1000.c_str(), s1000.c_str(), s1000.c_str(), s1000.c_str(),
                         s1000.c_str()), 5000);
    EXPECT_EQ(std::string(psz), s1000 + s1000 + s1000 + s1000 + s1000);
    EXPECT_EQ(g_AllocLog.acb, std::vector<size_t>({ 4096, 8192, 5001 }));
    RTStrRelease(psz);

    /* 2,047 bytes still fit the stack; one more needs the heap. */
    g_AllocLog = AllocLog();
    EXPECT_EQ(PrintAlloc(&psz, "%2047s", ""), 2047);
    EXPECT_EQ(g_AllocLog.acb, std::vector<size_t>({ 2048 }));
    RTStrRelease(psz);
    g_AllocLog = AllocLog();
    EXPECT_EQ(PrintAlloc(&psz, "%2048s", ""), 2048);
    EXPECT_EQ(g_AllocLog.acb, std::vector<size_t>({ 4096, 2049 }));
    RTStrRelease(psz);
}

TEST_F(PrintAllocTest, FailuresLeaveNothingBehind)
{
    std::string const s3000(3000, 'f');
    const char *const psz3000 = s3000.c_str();
    struct Case { const char *pszWhat; const char *pszFormat; size_t iFail; };
    static const Case s_aCases[] = {
        { "final block of a stack text", "%.5s", 0 },
        { "first growth", "%s", 0 },
        { "second growth", "%s%s%s", 1 },
    };
    for (const Case &c : s_aCases)
    {
        SCOPED_TRACE(c.pszWhat);
        auto const failingPrint = [&] {
            g_AllocLog = AllocLog();
            g_AllocLog.acb.reserve(16);
            g_AllocLog.iFail = c.iFail;
            char *psz = reinterpret_cast<char *>(1);
            EXPECT_EQ(PrintAlloc(&psz, c.pszFormat, psz3000, psz3000, psz3000), -1);
            EXPECT_EQ(psz, nullptr);
            EXPECT_EQ(g_AllocLog.acb.size(), c.iFail + 1);
        };
        EXPECT_FALSE(LeavesHeapBlocks(failingPrint));
    }

    /* A failed shrink keeps the larger block and still succeeds. */
    g_AllocLog = AllocLog();
    g_AllocLog.iFail = 1;
    char *psz = nullptr;
    EXPECT_EQ(PrintAlloc(&psz, "%s", psz3000), 3000);
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(std::string(psz), s3000);
    EXPECT_EQ(g_AllocLog.acb, std::vector<size_t>({ 6144, 3001 }));
    RTStrRelease(psz);
}
