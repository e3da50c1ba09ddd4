/* Text to integer conversions: bases, signs, limits, remarks, strict and narrow forms. */
#include <gtest/gtest.h>
#include "rt/strconv.h"

namespace {

struct LenientCase
{
    const char *psz;
    uint32_t    uBaseAndMax;
    RTSTATUS    rc;
    uint64_t    uValue;
    size_t      offEnd;   /**< where the end pointer stops */
};

const LenientCase g_aU64Cases[] =
{
    { "0x1A",                  0, INF_SUCCESS,             26, 4 },
    { "017",                   0, INF_SUCCESS,             15, 3 },
    { "08",                    0, INF_SUCCESS,              8, 2 },   /* 8 is no octal digit */
    { "0x",                    0, WRN_TRAILING_CHARS,       0, 1 },   /* prefix without digit */
    { "0",                     0, INF_SUCCESS,              0, 1 },
    { "--5",                   0, INF_SUCCESS,              5, 3 },
    { "-+5",                   0, INF_SUCCESS,              5, 3 },
    { "12 ",                   0, WRN_TRAILING_SPACES,     12, 2 },
    { "12 \t",                 0, WRN_TRAILING_SPACES,     12, 2 },
    { "12 x",                  0, WRN_TRAILING_CHARS,      12, 2 },
    { "12x",                   0, WRN_TRAILING_CHARS,      12, 2 },
    { "",                      0, ERR_NO_DIGITS_FOUND,      0, 0 },
    { "x",                     0, ERR_NO_DIGITS_FOUND,      0, 0 },
    { "-",                     0, ERR_NO_DIGITS_FOUND,      0, 0 },
    { "1234",  RTStrBaseAndLimit(10, 2), INF_SUCCESS,      12, 2 },
    { "ff",                   16, INF_SUCCESS,            255, 2 },
    { "0XfF",                 16, INF_SUCCESS,            255, 4 },
    { "zz",                   36, ERR_NO_DIGITS_FOUND,      0, 0 },   /* 36 means detect */
    { "yz",                   35, WRN_TRAILING_CHARS,      34, 1 },
    { "Yy",                   35, INF_SUCCESS,   34 * 35 + 34, 2 },
    /* The characters beside the digit and letter ranges are no digits in any base. */
    { "7/",                   35, WRN_TRAILING_CHARS,       7, 1 },
    { "7:",                   35, WRN_TRAILING_CHARS,       7, 1 },
    { "7@",                   35, WRN_TRAILING_CHARS,       7, 1 },
    { "7[",                   35, WRN_TRAILING_CHARS,       7, 1 },
    { "7`",                   35, WRN_TRAILING_CHARS,       7, 1 },
    { "7{",                   35, WRN_TRAILING_CHARS,       7, 1 },
    { "7\xc1",                35, WRN_TRAILING_CHARS,       7, 1 },
    { "7\xe1",                35, WRN_TRAILING_CHARS,       7, 1 },
    { "101",                   2, INF_SUCCESS,              5, 3 },
    { "18446744073709551615",  0, INF_SUCCESS,     UINT64_MAX, 20 },
    { "18446744073709551616",  0, WRN_NUMBER_OUT_OF_RANGE,  0, 20 },  /* wraps to the low bits */
    { "21000000000000000000",  0, WRN_NUMBER_OUT_OF_RANGE, UINT64_C(2553255926290448384), 20 },
    { "-1",                    0, WRN_NEGATIVE_UNSIGNED, UINT64_MAX, 2 },
};

} /* namespace */

TEST(StrToNum, UnsignedLenientCore)
{
    for (const auto &c : g_aU64Cases)
    {
        SCOPED_TRACE(c.psz);
        uint64_t u = 0xdead;
        char *pszNext = nullptr;
        EXPECT_EQ(RTStrParseU64(c.psz, &pszNext, c.uBaseAndMax, &u), c.rc);
        EXPECT_EQ(u, c.uValue);
        EXPECT_EQ(static_cast<size_t>(pszNext - c.psz), c.offEnd);
    }
}

TEST(StrToNum, OverflowKeepsLowBits)
{
    uint64_t u = 0;
    /* 2^64 + 5 */
    EXPECT_EQ(RTStrParseU64("18446744073709551621", nullptr, 10, &u), WRN_NUMBER_OUT_OF_RANGE);
    EXPECT_EQ(u, 5u);
    /* overflow wins over a minus sign */
    EXPECT_EQ(RTStrParseU64("-18446744073709551621", nullptr, 10, &u), WRN_NUMBER_OUT_OF_RANGE);
    EXPECT_EQ(u, 0 - UINT64_C(5));
}

TEST(StrToNum, SignedCoreLimits)
{
    int64_t i = 0;
    EXPECT_EQ(RTStrParseI64Strict("-9223372036854775808", 0, &i), INF_SUCCESS);
    EXPECT_EQ(i, INT64_MIN);
    EXPECT_EQ(RTStrParseI64Strict("9223372036854775807", 0, &i), INF_SUCCESS);
    EXPECT_EQ(i, INT64_MAX);
    EXPECT_EQ(RTStrParseI64Strict("9223372036854775808", 0, &i), WRN_NUMBER_OUT_OF_RANGE);
    EXPECT_EQ(RTStrParseI64Strict("-9223372036854775809", 0, &i), WRN_NUMBER_OUT_OF_RANGE);
    EXPECT_EQ(RTStrParseI64("-0x10", nullptr, 0, &i), INF_SUCCESS);
    EXPECT_EQ(i, -16);
}

TEST(StrToNum, StrictTurnsRemarksIntoErrors)
{
    uint64_t u = 0;
    EXPECT_EQ(RTStrParseU64Strict("12", 0, &u), INF_SUCCESS);
    EXPECT_EQ(RTStrParseU64Strict("12 ", 0, &u), ERR_TRAILING_SPACES);
    EXPECT_EQ(RTStrParseU64Strict("12 x", 0, &u), ERR_TRAILING_CHARS);
    EXPECT_EQ(RTStrParseU64Strict("", 0, &u), ERR_NO_DIGITS_FOUND);
    /* the limit ends the number: not trailing text */
    EXPECT_EQ(RTStrParseU64Strict("1234", RTStrBaseAndLimit(10, 2), &u), INF_SUCCESS);
    EXPECT_EQ(u, 12u);
    /* after an overflow or a negated unsigned the rest is still examined */
    EXPECT_EQ(RTStrParseU64Strict("-1", 0, &u), WRN_NEGATIVE_UNSIGNED);
    EXPECT_EQ(RTStrParseU64Strict("-1 ", 0, &u), ERR_TRAILING_SPACES);
    EXPECT_EQ(RTStrParseU64Strict("99999999999999999999x", 0, &u), ERR_TRAILING_CHARS);
    EXPECT_EQ(RTStrParseU64Strict("99999999999999999999", 0, &u), WRN_NUMBER_OUT_OF_RANGE);
}

TEST(StrToNum, NarrowWidthsCheckTheRange)
{
    uint32_t u32 = 0;
    EXPECT_EQ(RTStrParseU32Strict("4294967295", 0, &u32), INF_SUCCESS);
    EXPECT_EQ(u32, 0xFFFFFFFFu);
    EXPECT_EQ(RTStrParseU32Strict("4294967296", 0, &u32), WRN_NUMBER_OUT_OF_RANGE);
    EXPECT_EQ(u32, 0u);
    EXPECT_EQ(RTStrParseU32Strict("-1", 0, &u32), WRN_NUMBER_OUT_OF_RANGE);

    int32_t i32 = 0;
    EXPECT_EQ(RTStrParseI32Strict("-2147483648", 0, &i32), INF_SUCCESS);
    EXPECT_EQ(i32, INT32_MIN);
    EXPECT_EQ(RTStrParseI32Strict("2147483648", 0, &i32), WRN_NUMBER_OUT_OF_RANGE);

    uint16_t u16 = 0;
    EXPECT_EQ(RTStrParseU16Strict("65535", 0, &u16), INF_SUCCESS);
    EXPECT_EQ(RTStrParseU16Strict("65536", 0, &u16), WRN_NUMBER_OUT_OF_RANGE);
    int16_t i16 = 0;
    EXPECT_EQ(RTStrParseI16Strict("-32769", 0, &i16), WRN_NUMBER_OUT_OF_RANGE);
    EXPECT_EQ(RTStrParseI16Strict("-32768", 0, &i16), INF_SUCCESS);

    uint8_t u8 = 0;
    EXPECT_EQ(RTStrParseU8Strict("255", 0, &u8), INF_SUCCESS);
    EXPECT_EQ(RTStrParseU8Strict("256", 0, &u8), WRN_NUMBER_OUT_OF_RANGE);
    EXPECT_EQ(u8, 0u);
    int8_t i8 = 0;
    EXPECT_EQ(RTStrParseI8Strict("-128", 0, &i8), INF_SUCCESS);
    EXPECT_EQ(RTStrParseI8Strict("128", 0, &i8), WRN_NUMBER_OUT_OF_RANGE);
    /* errors are not masked by the range check */
    EXPECT_EQ(RTStrParseU8Strict("999 ", 0, &u8), ERR_TRAILING_SPACES);

    char *pszNext = nullptr;
    EXPECT_EQ(RTStrParseU8("300.1", &pszNext, 10, &u8), WRN_NUMBER_OUT_OF_RANGE);
    EXPECT_EQ(*pszNext, '.');
    EXPECT_EQ(RTStrParseU32("7:", &pszNext, 10, &u32), WRN_TRAILING_CHARS);
    EXPECT_EQ(u32, 7u);
}

TEST(StrToNum, ToI32OrZero)
{
    EXPECT_EQ(RTStrToI32OrZero("-42"), -42);
    EXPECT_EQ(RTStrToI32OrZero("42abc"), 42);
    EXPECT_EQ(RTStrToI32OrZero("abc"), 0);
    EXPECT_EQ(RTStrToI32OrZero("4294967296"), 0);
}

TEST(StrToNum, HexBytes)
{
    struct Case { const char *psz; size_t cb; uint32_t fFlags; RTSTATUS rc; const char *pszBytes; };
    const Case aCases[] =
    {
        { "0a1B2c",  3, 0, INF_SUCCESS,          "\x0a\x1b\x2c" },
        { "0a1B2c ", 3, 0, WRN_TRAILING_SPACES,  "\x0a\x1b\x2c" },
        { "0a1B2c-", 3, 0, WRN_TRAILING_CHARS,   "\x0a\x1b\x2c" },
        { "0a1B2",   3, 0, ERR_ODD_DIGIT_COUNT,  nullptr },
        { "0a1B",    3, 0, ERR_BUFFER_UNDERRUN,  nullptr },
        { "0a1B2c3d",3, 0, ERR_BUFFER_TOO_SMALL, nullptr },
        { "0a1B2c3d4", 3, 0, ERR_BUFFER_TOO_SMALL, "\x0a\x1b\x2c" },
        { "",        0, 0, INF_SUCCESS,          "" },
        { "a:1b:",   3, STRHEX_COLON_GROUPS, INF_SUCCESS, "\x0a\x1b\x00" },
        { "0:1::3",  4, STRHEX_COLON_GROUPS, INF_SUCCESS, "\x00\x01\x00\x03" },
        { "abc:1",   2, STRHEX_COLON_GROUPS, ERR_ODD_DIGIT_COUNT, nullptr },
        { "a:1",     2, 0,                   ERR_ODD_DIGIT_COUNT, nullptr },
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(c.psz);
        uint8_t ab[8];
        memset(ab, 0xEE, sizeof(ab));
        EXPECT_EQ(RTStrParseHexBytes(c.psz, ab, c.cb, c.fFlags), c.rc);
        if (c.pszBytes)
            EXPECT_EQ(memcmp(ab, c.pszBytes, c.cb), 0);
        for (size_t i = c.cb; i < sizeof(ab); i++)
            EXPECT_EQ(ab[i], 0xEE) << "wrote past the buffer at " << i;
    }
    uint8_t b;
    EXPECT_EQ(RTStrParseHexBytes("00", nullptr, 1, 0), ERR_BAD_POINTER);
    EXPECT_EQ(RTStrParseHexBytes(nullptr, &b, 1, 0), ERR_BAD_POINTER);
    EXPECT_EQ(RTStrParseHexBytes("00", &b, 1, 2), ERR_BAD_FLAGS);
}

TEST(StrToNum, FindSubstr)
{
    const char *psz = "aababc";
    EXPECT_EQ(RTStrFindSubstr(psz, "abc"), psz + 3);
    EXPECT_EQ(RTStrFindSubstr(psz, "aab"), psz);
    EXPECT_EQ(RTStrFindSubstr(psz, ""), psz);
    EXPECT_EQ(RTStrFindSubstr(psz, "abcd"), nullptr);
    EXPECT_EQ(RTStrFindSubstr("", "a"), nullptr);
    EXPECT_EQ(RTStrFindSubstrSafe(nullptr, "a"), nullptr);
    EXPECT_EQ(RTStrFindSubstrSafe(psz, nullptr), nullptr);
    EXPECT_EQ(RTStrFindSubstrSafe(psz, "bc"), psz + 4);
}
