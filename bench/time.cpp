/* The monotonic clock's cost per reading, measured side by side with the platform's
 * performance counter, for the clock's own choice of source and for the two sources
 * every system has. */
#include <windows.h>
#include <stdio.h>
#include <initializer_list>
#include "rt/time.h"

namespace {

constexpr int kCalls = 2000000;
constexpr int kRounds = 5;

volatile uint64_t g_uSink;

double SecondsOf(LARGE_INTEGER a, LARGE_INTEGER b, LARGE_INTEGER freq)
{
    return double(b.QuadPart - a.QuadPart) / double(freq.QuadPart);
}

double NsPerCallMono(LARGE_INTEGER freq)
{
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    uint64_t u = 0;
    for (int i = 0; i < kCalls; i++)
        u += RTTimeMonoNs();
    QueryPerformanceCounter(&b);
    g_uSink = u;
    return SecondsOf(a, b, freq) * 1e9 / kCalls;
}

double NsPerCallQpc(LARGE_INTEGER freq)
{
    LARGE_INTEGER a, b, c;
    QueryPerformanceCounter(&a);
    uint64_t u = 0;
    for (int i = 0; i < kCalls; i++)
    {
        QueryPerformanceCounter(&c);
        u += uint64_t(c.QuadPart);
    }
    QueryPerformanceCounter(&b);
    g_uSink = u;
    return SecondsOf(a, b, freq) * 1e9 / kCalls;
}

void Measure(const char *pszName, LARGE_INTEGER freq)
{
    /* Alternate the two so that both see the same machine load; keep the best round. */
    double rBestMono = 1e30, rBestQpc = 1e30;
    for (int r = 0; r < kRounds; r++)
    {
        double const rMono = NsPerCallMono(freq);
        double const rQpc = NsPerCallQpc(freq);
        if (rMono < rBestMono) rBestMono = rMono;
        if (rQpc < rBestQpc) rBestQpc = rQpc;
    }
    printf("%-26s RTTimeMonoNs %7.2f ns/call   QueryPerformanceCounter %7.2f ns/call   ratio %.2f\n",
           pszName, rBestMono, rBestQpc, rBestMono / rBestQpc);
}

} // namespace

int main()
{
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    RTTimeMonoNs();
    uint32_t const enmChosen = g_enmRTTimeMonoSource;
    static const char *const s_apszNames[] = { "unset", "tick count", "precise interrupt time", "shared page" };
    char szChosen[64];
    snprintf(szChosen, sizeof(szChosen), "chosen (%s)", s_apszNames[enmChosen & 3]);
    Measure(szChosen, freq);
    for (uint32_t enm : { RTTIMEMONOSRC_TICK_COUNT, RTTIMEMONOSRC_SHARED_PAGE })
    {
        g_enmRTTimeMonoSource = enm;
        Measure(s_apszNames[enm], freq);
    }
    g_enmRTTimeMonoSource = enmChosen;
    return 0;
}
