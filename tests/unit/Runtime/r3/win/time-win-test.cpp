/* The platform clocks: every monotonic source moves forward, the tick-count source counts
 * whole milliseconds, and the wall clock agrees with the platform's. */
#include <gtest/gtest.h>
#include <windows.h>
#include "internal/time.h"

namespace {

/** Reads the clock through one source for the duration of a test. */
class ForcedSource
{
public:
    explicit ForcedSource(uint32_t enmSource)
    {
        RTTimeMonoNs();                       /* the process's own choice, to restore */
        m_enmSaved = g_enmRTTimeMonoSource;
        g_enmRTTimeMonoSource = enmSource;
    }
    ~ForcedSource() { g_enmRTTimeMonoSource = m_enmSaved; }
private:
    uint32_t m_enmSaved;
};

} /* namespace */

TEST(TimeMono, FirstReadingChoosesTheInterruptTimeOnThisSystem)
{
    EXPECT_GT(RTTimeMonoNs(), 0u);
    uint32_t const enmSource = g_enmRTTimeMonoSource;
    EXPECT_TRUE(enmSource == RTTIMEMONOSRC_PRECISE || enmSource == RTTIMEMONOSRC_SHARED_PAGE) << enmSource;
}

TEST(TimeMono, EverySourceMovesForward)
{
    for (uint32_t enmSource : { RTTIMEMONOSRC_TICK_COUNT, RTTIMEMONOSRC_PRECISE, RTTIMEMONOSRC_SHARED_PAGE })
    {
        ForcedSource forced(enmSource);
        uint64_t const uStart = RTTimeMonoNs();
        uint64_t uPrev = uStart;
        for (int i = 0; i < 10000; i++)
        {
            uint64_t const uNow = RTTimeMonoNs();
            ASSERT_GE(uNow, uPrev) << "source " << enmSource;
            uPrev = uNow;
        }
        Sleep(50);
        uint64_t const uElapsed = RTTimeMonoNs() - uStart;
        EXPECT_GE(uElapsed, UINT64_C(30000000)) << "source " << enmSource;
        EXPECT_LT(uElapsed, UINT64_C(5000000000)) << "source " << enmSource;
    }
}

TEST(TimeMono, SourcesShareTheBootOrigin)
{
    /* Interrupt time and the tick count both count from boot; they agree within a second. */
    uint64_t auNs[3];
    uint32_t const aenm[3] = { RTTIMEMONOSRC_TICK_COUNT, RTTIMEMONOSRC_PRECISE, RTTIMEMONOSRC_SHARED_PAGE };
    for (int i = 0; i < 3; i++)
    {
        ForcedSource forced(aenm[i]);
        auNs[i] = RTTimeMonoNs();
    }
    EXPECT_LT(auNs[1] > auNs[2] ? auNs[1] - auNs[2] : auNs[2] - auNs[1], UINT64_C(1000000000));
    EXPECT_LT(auNs[0] > auNs[1] ? auNs[0] - auNs[1] : auNs[1] - auNs[0], UINT64_C(1000000000));
}

TEST(TimeMono, TickCountReadingsAreWholeMilliseconds)
{
    ForcedSource forced(RTTIMEMONOSRC_TICK_COUNT);
    uint64_t const uFirst = RTTimeMonoNs();
    Sleep(20);
    uint64_t const uSecond = RTTimeMonoNs();
    EXPECT_EQ(uFirst % 1000000, 0u);
    EXPECT_EQ((uSecond - uFirst) % 1000000, 0u);
}

TEST(TimeUtc, AgreesWithThePlatformClock)
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    int64_t const nsPlatform = static_cast<int64_t>(
        (((uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) - UINT64_C(116444736000000000)) * 100);
    RTTIMESPEC now;
    EXPECT_EQ(RTTimeUtcNow(&now), &now);
    EXPECT_LT(llabs(now.i64NsSinceEpoch - nsPlatform), INT64_C(2000000000));
    EXPECT_GT(now.i64NsSinceEpoch, INT64_C(1700000000) * 1000000000);  /* after late 2023 */
}

TEST(TimeSinceStart, CountsFromTheRecordedStart)
{
    uint64_t const uSaved = g_u64RTTimeProgramStartNs;
    g_u64RTTimeProgramStartNs = RTTimeMonoNs() - UINT64_C(3500000000);
    uint64_t const uUs = RTTimeSinceStartUs();
    uint64_t const uMs = RTTimeSinceStartMs();
    uint32_t const uSec = RTTimeSinceStartSec();
    g_u64RTTimeProgramStartNs = uSaved;
    EXPECT_GE(uUs, UINT64_C(3500000));
    EXPECT_LT(uUs, UINT64_C(4500000));
    EXPECT_GE(uMs, UINT64_C(3500));
    EXPECT_LT(uMs, UINT64_C(4500));
    EXPECT_EQ(uSec, 3u);
}
