/* Time: the monotonic nanosecond clock, the UTC wall clock, its split into calendar fields
 * on the proleptic Gregorian calendar, its ISO 8601 text and the times since start. */
#pragma once
#include "rt/types.h"

/** A point on the wall clock: signed nanoseconds since 1970-01-01 00:00:00 UTC. */
typedef struct RTTIMESPEC
{
    int64_t i64NsSinceEpoch;
} RTTIMESPEC;

/** A wall-clock time split into calendar fields. */
typedef struct RTTIMEPARTS
{
    int32_t  i32Year;
    uint8_t  u8Month;        /**< 1 to 12 */
    uint8_t  u8WeekDay;      /**< 0 = Monday ... 6 = Sunday */
    uint16_t u16YearDay;     /**< 1 to 366 */
    uint8_t  u8MonthDay;     /**< 1 to 31 */
    uint8_t  u8Hour;
    uint8_t  u8Minute;
    uint8_t  u8Second;
    uint32_t u32Nanosecond;  /**< 0 to 999999999 */
    uint32_t fFlags;         /**< RTTIME_F_ */
    int32_t  offUtcMinutes;  /**< always 0: the fields are UTC */
} RTTIMEPARTS;
static_assert(sizeof(RTTIMEPARTS) == 24, "RTTIMEPARTS layout");

inline constexpr uint32_t RTTIME_F_TYPE_UTC    = 0x2;
inline constexpr uint32_t RTTIME_F_LEAP_YEAR   = 0x40;
inline constexpr uint32_t RTTIME_F_COMMON_YEAR = 0x80;

RT_C_DECLS_BEGIN

/** Monotonic nanoseconds since an arbitrary origin (the platform's boot). */
uint64_t RTTimeMonoNs(void);
/** The current UTC wall-clock time; returns @p pNow. */
RTTIMESPEC *RTTimeUtcNow(RTTIMESPEC *pNow);
/** Splits @p pTime into UTC calendar fields; returns @p pParts. */
RTTIMEPARTS *RTTimeExplodeUtc(RTTIMEPARTS *pParts, const RTTIMESPEC *pTime);
bool RTTimeLeapYear(int32_t i32Year);
/** Writes "YYYY-MM-DDThh:mm:ss.nnnnnnnnnZ"; returns @p pszBuf, or null when the text was cut. */
char *RTTimeFormatIso(const RTTIMESPEC *pTime, char *pszBuf, size_t cbBuf);

uint64_t RTTimeSinceStartUs(void);
uint64_t RTTimeSinceStartMs(void);
uint32_t RTTimeSinceStartSec(void);

RT_C_DECLS_END
