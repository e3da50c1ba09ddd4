/* The monotonic clock's cost per reading, measured side by side with the platform's
 * performance counter, for the clock's own choice of source and for the two sources
 * every system has. */
#include <windows.h>
#include <stdio.h>
#include <initializer_list>
#include "internal/time.h"
#include "bench-timer.h"

namespace {

constexpr int kCalls = 2000000;
constexpr int kRounds = 5;

uint64_t ReadQpc(int)
{
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return uint64_t(c.QuadPart);
}

void Measure(const char *pszName)
{
    /* Alternate the two so that both see the same machine load; keep the best round. */
    double rBestMono, rBestQpc;
    BenchBestOfPair(kRounds, BenchLoop(kCalls, [](int) { return RTTimeMonoNs(); }), BenchLoop(kCalls, ReadQpc),
                    &rBestMono, &rBestQpc);
    rBestMono *= 1e9 / kCalls;
    rBestQpc *= 1e9 / kCalls;
    printf("%-26s RTTimeMonoNs %7.2f ns/call   QueryPerformanceCounter %7.2f ns/call   ratio %.2f\n",
           pszName, rBestMono, rBestQpc, rBestMono / rBestQpc);
}

} /* namespace */

int main()
{
    RTTimeMonoNs();
    uint32_t const enmChosen = g_enmRTTimeMonoSource;
    static const char *const s_apszNames[] = { "unset", "tick count", "precise interrupt time", "shared page" };
    char szChosen[64];
    snprintf(szChosen, sizeof(szChosen), "chosen (%s)", s_apszNames[enmChosen & 3]);
    Measure(szChosen);
    for (uint32_t enm : { RTTIMEMONOSRC_TICK_COUNT, RTTIMEMONOSRC_SHARED_PAGE })
    {
        g_enmRTTimeMonoSource = enm;
        Measure(s_apszNames[enm]);
    }
    g_enmRTTimeMonoSource = enmChosen;
    return 0;
}
