/* Calendar splitting: a table of instants with every field spelt out, and a sweep over the
 * whole signed range cross-checked against the platform's own calendar. */
#include <gtest/gtest.h>
#include <windows.h>
#include <cstring>
#include "rt/time.h"

namespace {

struct Instant
{
    int64_t  ns;
    int32_t  year;
    unsigned month, day, hour, minute, second, nano, weekDay, yearDay, flags;
};

constexpr int64_t kSec = 1000000000;
constexpr int64_t kDay = 86400 * kSec;

const Instant g_aInstants[] =
{
    { 0,                             1970,  1,  1,  0,  0,  0,         0, 3,   1, 0x82 },
    { -1,                            1969, 12, 31, 23, 59, 59, 999999999, 2, 365, 0x82 },
    { 19782 * kDay + 12 * 3600 * kSec, 2024, 2, 29, 12,  0,  0,         0, 3,  60, 0x42 },
    { 19783 * kDay - 1,              2024,  2, 29, 23, 59, 59, 999999999, 3,  60, 0x42 },
    { 19783 * kDay,                  2024,  3,  1,  0,  0,  0,         0, 4,  61, 0x42 },
    { 20089 * kDay - 1,              2024, 12, 31, 23, 59, 59, 999999999, 1, 366, 0x42 },
    { 10957 * kDay,                  2000,  1,  1,  0,  0,  0,         0, 5,   1, 0x42 },
    { 11016 * kDay,                  2000,  2, 29,  0,  0,  0,         0, 1,  60, 0x42 },
    { -25508 * kDay,                 1900,  3,  1,  0,  0,  0,         0, 3,  60, 0x82 },
    { -25509 * kDay,                 1900,  2, 28,  0,  0,  0,         0, 2,  59, 0x82 },
    { 47482 * kDay,                  2100,  1,  1,  0,  0,  0,         0, 4,   1, 0x82 },
    { INT64_MAX,                     2262,  4, 11, 23, 47, 16, 854775807, 4, 101, 0x82 },
    { INT64_MIN,                     1677,  9, 21,  0, 12, 43, 145224192, 1, 264, 0x82 },
};

/** The same instant as the platform's file time (100-nanosecond units since 1601). */
bool PlatformSplit(int64_t ns, SYSTEMTIME *pSt)
{
    int64_t q = ns / 100;
    if (ns % 100 < 0)
        q--;
    int64_t const i64FileTime = q + INT64_C(116444736000000000);
    FILETIME ft;
    ft.dwLowDateTime  = static_cast<DWORD>(i64FileTime);
    ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(i64FileTime) >> 32);
    return FileTimeToSystemTime(&ft, pSt) != FALSE;
}

void ExpectMatchesPlatform(int64_t ns)
{
    RTTIMESPEC t = { ns };
    RTTIMEPARTS p;
    ASSERT_EQ(RTTimeExplodeUtc(&p, &t), &p);
    SYSTEMTIME st;
    ASSERT_TRUE(PlatformSplit(ns, &st)) << ns;
    EXPECT_EQ(p.i32Year, st.wYear) << ns;
    EXPECT_EQ(p.u8Month, st.wMonth) << ns;
    EXPECT_EQ(p.u8MonthDay, st.wDay) << ns;
    EXPECT_EQ(p.u8Hour, st.wHour) << ns;
    EXPECT_EQ(p.u8Minute, st.wMinute) << ns;
    EXPECT_EQ(p.u8Second, st.wSecond) << ns;
    EXPECT_EQ(p.u32Nanosecond / 1000000, st.wMilliseconds) << ns;
    EXPECT_EQ(p.u8WeekDay, (st.wDayOfWeek + 6) % 7) << ns;  /* the platform counts from Sunday */
    EXPECT_EQ(p.fFlags, RTTimeLeapYear(p.i32Year) ? 0x42u : 0x82u) << ns;
    EXPECT_EQ(p.offUtcMinutes, 0) << ns;

    /* Day of the year: days since the platform's 1 January of that year, plus 1. */
    SYSTEMTIME stJan1 = {};
    stJan1.wYear = st.wYear;
    stJan1.wMonth = 1;
    stJan1.wDay = 1;
    FILETIME ftJan1, ftDay;
    SYSTEMTIME stDay = st;
    stDay.wHour = stDay.wMinute = stDay.wSecond = stDay.wMilliseconds = 0;
    ASSERT_TRUE(SystemTimeToFileTime(&stJan1, &ftJan1));
    ASSERT_TRUE(SystemTimeToFileTime(&stDay, &ftDay));
    uint64_t const u64Jan1 = (uint64_t(ftJan1.dwHighDateTime) << 32) | ftJan1.dwLowDateTime;
    uint64_t const u64Day  = (uint64_t(ftDay.dwHighDateTime) << 32) | ftDay.dwLowDateTime;
    EXPECT_EQ(p.u16YearDay, (u64Day - u64Jan1) / UINT64_C(864000000000) + 1) << ns;
}

} /* namespace */

TEST(TimeExplode, TableOfInstants)
{
    for (const Instant &c : g_aInstants)
    {
        RTTIMESPEC t = { c.ns };
        RTTIMEPARTS p;
        memset(&p, 0xcc, sizeof(p));
        RTTimeExplodeUtc(&p, &t);
        EXPECT_EQ(p.i32Year, c.year) << c.ns;
        EXPECT_EQ(p.u8Month, c.month) << c.ns;
        EXPECT_EQ(p.u8MonthDay, c.day) << c.ns;
        EXPECT_EQ(p.u8Hour, c.hour) << c.ns;
        EXPECT_EQ(p.u8Minute, c.minute) << c.ns;
        EXPECT_EQ(p.u8Second, c.second) << c.ns;
        EXPECT_EQ(p.u32Nanosecond, c.nano) << c.ns;
        EXPECT_EQ(p.u8WeekDay, c.weekDay) << c.ns;
        EXPECT_EQ(p.u16YearDay, c.yearDay) << c.ns;
        EXPECT_EQ(p.fFlags, c.flags) << c.ns;
        EXPECT_EQ(p.offUtcMinutes, 0) << c.ns;
        ExpectMatchesPlatform(c.ns);
    }
}

TEST(TimeExplode, AgreesWithPlatformAcrossTheWholeRange)
{
    /* Every day boundary within a few years of the table's ends and of 1970, then a
     * scattered sweep over the full signed range. */
    for (int64_t d = -800; d <= 800; d++)
    {
        ExpectMatchesPlatform(d * kDay);
        ExpectMatchesPlatform(d * kDay - 1);
    }
    for (int64_t d = 0; d < 800; d++)
    {
        ExpectMatchesPlatform(INT64_MIN + d * kDay);
        ExpectMatchesPlatform(INT64_MAX - d * kDay);
    }
    uint64_t x = 0x9E3779B97F4A7C15u;
    for (int i = 0; i < 20000; i++)
    {
        x ^= x << 13; x ^= x >> 7; x ^= x << 17;
        ExpectMatchesPlatform(static_cast<int64_t>(x));
    }
}

TEST(TimeLeapYear, GregorianRules)
{
    const struct { int32_t year; bool leap; } aCases[] =
    {
        { 2024, true }, { 2023, false }, { 2000, true }, { 1900, false }, { 2100, false },
        { 1600, true }, { 0, true }, { -4, true }, { -100, false }, { -400, true }, { 1, false },
    };
    for (auto const &c : aCases)
        EXPECT_EQ(RTTimeLeapYear(c.year), c.leap) << c.year;
}

TEST(TimeFormatIso, WholeTextOrNone)
{
    const struct { int64_t ns; const char *psz; } aCases[] =
    {
        { 0,                                "1970-01-01T00:00:00.000000000Z" },
        { -1,                               "1969-12-31T23:59:59.999999999Z" },
        { 19782 * kDay + 12 * 3600 * kSec,  "2024-02-29T12:00:00.000000000Z" },
        { 10957 * kDay + 45296 * kSec + 7,  "2000-01-01T12:34:56.000000007Z" },
        { INT64_MAX,                        "2262-04-11T23:47:16.854775807Z" },
        { INT64_MIN,                        "1677-09-21T00:12:43.145224192Z" },
    };
    for (auto const &c : aCases)
    {
        char szBuf[40];
        memset(szBuf, '#', sizeof(szBuf));
        RTTIMESPEC t = { c.ns };
        EXPECT_EQ(RTTimeFormatIso(&t, szBuf, 31), szBuf) << c.ns;
        EXPECT_STREQ(szBuf, c.psz);
        EXPECT_EQ(szBuf[31], '#') << "wrote past the buffer";
    }

    /* Cut texts give none; the buffer still ends within its size. */
    RTTIMESPEC t = { 0 };
    for (size_t cb : { size_t(30), size_t(20), size_t(16), size_t(1) })
    {
        char szBuf[40];
        memset(szBuf, '#', sizeof(szBuf));
        EXPECT_EQ(RTTimeFormatIso(&t, szBuf, cb), nullptr) << cb;
        EXPECT_EQ(szBuf[cb - 1], '\0') << cb;
        EXPECT_EQ(szBuf[cb], '#') << cb;
    }
    char ch = '#';
    EXPECT_EQ(RTTimeFormatIso(&t, &ch, 0), nullptr);
    EXPECT_EQ(ch, '#');
    EXPECT_EQ(RTTimeFormatIso(nullptr, &ch, 1), nullptr);
    EXPECT_EQ(RTTimeFormatIso(&t, nullptr, 40), nullptr);
}
