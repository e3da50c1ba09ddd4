/* The calendar side of time: splitting wall-clock nanoseconds into UTC fields on the
 * proleptic Gregorian calendar, ISO 8601 text, leap years and the times since start. */
#include "internal/time.h"
#include "rt/format.h"

uint64_t g_u64RTTimeProgramStartNs = 0;

namespace {

constexpr int64_t RTTIME_NS_PER_SEC = 1000000000;

/** Signed nanoseconds span about 292 years either side of 1970: the table covers every
 *  year that such a time can fall into, plus one so that each year has an end. */
constexpr int32_t RTTIME_FIRST_YEAR = 1677;
constexpr int32_t RTTIME_LAST_YEAR  = 2263;
constexpr int32_t RTTIME_YEARS     = RTTIME_LAST_YEAR - RTTIME_FIRST_YEAR + 1;

constexpr bool rtTimeIsLeap(int32_t y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

struct RTTIMEYEARTABLE
{
    int32_t aiDay[RTTIME_YEARS];   /**< day number (0 = 1970-01-01) of 1 January of each year */
    constexpr RTTIMEYEARTABLE() : aiDay()
    {
        int32_t iDay = 0;
        for (int32_t y = 1970; y > RTTIME_FIRST_YEAR; y--)
            iDay -= rtTimeIsLeap(y - 1) ? 366 : 365;
        for (int32_t y = RTTIME_FIRST_YEAR; y <= RTTIME_LAST_YEAR; y++)
        {
            aiDay[y - RTTIME_FIRST_YEAR] = iDay;
            iDay += rtTimeIsLeap(y) ? 366 : 365;
        }
    }
};
constexpr RTTIMEYEARTABLE g_Years;
static_assert(g_Years.aiDay[1970 - RTTIME_FIRST_YEAR] == 0, "1970 starts at day 0");
static_assert(g_Years.aiDay[2000 - RTTIME_FIRST_YEAR] == 10957, "2000-01-01 is day 10957");

/** Days before the first of each month, for a common and a leap year; the 13th entry is
 *  the year's length. */
constexpr uint16_t g_aiMonthStart[2][13] =
{
    { 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365 },
    { 0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366 },
};

/** Division rounding towards minus infinity; the remainder goes to @p piRem (>= 0). */
constexpr int64_t rtTimeFloorDiv(int64_t i, int64_t iDiv, int64_t *piRem)
{
    int64_t q = i / iDiv;
    int64_t r = i % iDiv;
    if (r < 0)
    {
        r += iDiv;
        q -= 1;
    }
    *piRem = r;
    return q;
}

} /* namespace */

bool RTTimeLeapYear(int32_t i32Year)
{
    return rtTimeIsLeap(i32Year);
}

RTTIMEPARTS *RTTimeExplodeUtc(RTTIMEPARTS *pParts, const RTTIMESPEC *pTime)
{
    if (!RT_VALID_PTR(pParts) || !RT_VALID_PTR(pTime))
        return nullptr;
    int64_t iRem;
    int64_t i = rtTimeFloorDiv(pTime->i64NsSinceEpoch, RTTIME_NS_PER_SEC, &iRem);
    pParts->u32Nanosecond = static_cast<uint32_t>(iRem);
    i = rtTimeFloorDiv(i, 60, &iRem);
    pParts->u8Second = static_cast<uint8_t>(iRem);
    i = rtTimeFloorDiv(i, 60, &iRem);
    pParts->u8Minute = static_cast<uint8_t>(iRem);
    i = rtTimeFloorDiv(i, 24, &iRem);
    pParts->u8Hour = static_cast<uint8_t>(iRem);
    int32_t const iDay = static_cast<int32_t>(i);

    /* 1970-01-01 was a Thursday (3 counting from Monday). */
    pParts->u8WeekDay = static_cast<uint8_t>(((iDay % 7) + 10) % 7);

    int32_t iYear = iDay / 365 + 1970 - RTTIME_FIRST_YEAR;
    if (iYear < 0)
        iYear = 0;
    else if (iYear > RTTIME_YEARS - 1)
        iYear = RTTIME_YEARS - 1;
    while (iYear > 0 && g_Years.aiDay[iYear] > iDay)
        iYear--;
    while (iYear + 1 < RTTIME_YEARS && g_Years.aiDay[iYear + 1] <= iDay)
        iYear++;
    int32_t const i32Year = iYear + RTTIME_FIRST_YEAR;
    int32_t const offYear = iDay - g_Years.aiDay[iYear];
    pParts->i32Year    = i32Year;
    pParts->u16YearDay = static_cast<uint16_t>(offYear + 1);

    bool const fLeap = rtTimeIsLeap(i32Year);
    uint16_t const *paiStart = g_aiMonthStart[fLeap ? 1 : 0];
    unsigned iMonth = 0;
    while (iMonth < 11 && paiStart[iMonth + 1] <= offYear)
        iMonth++;
    pParts->u8Month    = static_cast<uint8_t>(iMonth + 1);
    pParts->u8MonthDay = static_cast<uint8_t>(offYear - paiStart[iMonth] + 1);

    pParts->fFlags        = RTTIME_F_TYPE_UTC | (fLeap ? RTTIME_F_LEAP_YEAR : RTTIME_F_COMMON_YEAR);
    pParts->offUtcMinutes = 0;
    return pParts;
}

char *RTTimeFormatIso(const RTTIMESPEC *pTime, char *pszBuf, size_t cbBuf)
{
    if (!RT_VALID_PTR(pTime) || !RT_VALID_PTR(pszBuf))
        return nullptr;
    RTTIMEPARTS Parts;
    RTTimeExplodeUtc(&Parts, pTime);
    size_t const cch = RTStrPrintBuf(pszBuf, cbBuf, "%d-%02u-%02uT%02u:%02u:%02u.%09uZ",
                                     Parts.i32Year, Parts.u8Month, Parts.u8MonthDay, Parts.u8Hour,
                                     Parts.u8Minute, Parts.u8Second, Parts.u32Nanosecond);
    /* The text is whole only when its final "Z" made it into the buffer. */
    if (cch > 15 && pszBuf[cch - 1] == 'Z')
        return pszBuf;
    return nullptr;
}

uint64_t RTTimeSinceStartUs(void)
{
    return (RTTimeMonoNs() - g_u64RTTimeProgramStartNs) / 1000;
}

uint64_t RTTimeSinceStartMs(void)
{
    return (RTTimeMonoNs() - g_u64RTTimeProgramStartNs) / 1000000;
}

uint32_t RTTimeSinceStartSec(void)
{
    return static_cast<uint32_t>((RTTimeMonoNs() - g_u64RTTimeProgramStartNs) / 1000000000);
}
