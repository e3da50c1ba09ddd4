/* RTStrPrintBuf against the C runtime's formatters on typical message formats, side by
 * side in one run: the system C library's _snprintf (msvcrt) and MinGW's C99 snprintf. */
#include <windows.h>
#include <stdio.h>
#include "rt/format.h"
#include "bench-timer.h"

namespace {

constexpr int kRounds = 5;
constexpr int kPasses = 20000;

const char *const g_apszNames[] = { "NimbProduct.msi", "data1.cab", "x", "a-rather-longer-package-name.msi" };

/* Each message is formatted by a function taking the buffer, so every formatter sees the
   same arguments; the index varies the values a little. */
#define MESSAGE_FORMATS(X) \
    X("error line", "%s: error: %s\n", "NimbStub", g_apszNames[i & 3]) \
    X("progress", "Extracting %s (%u of %u)...", g_apszNames[i & 3], unsigned(i & 7) + 1u, 8u) \
    X("status", "rc=%d (%#x)", -(i & 1023), unsigned(i) * 2654435761u) \
    X("table row", "%-20s %8u %08x|", g_apszNames[i & 3], unsigned(i) * 37u, unsigned(i) * 2654435761u) \
    X("64-bit size", "Package %s: %llu bytes at offset 0x%08x", g_apszNames[i & 3], \
      (unsigned long long)i * 1234567891ull, unsigned(i) << 4) \
    X("padded mix", "[%5d|%-10s|%x|%c]", i, g_apszNames[(i >> 2) & 3], unsigned(i), 'a' + (i & 15)) \
    X("plain text", "The installation has completed successfully.")

struct Result
{
    const char *pszName;
    double rOurs;
    double rMsvcrt;
    double rMingw;
};

} /* namespace */

int main()
{
    static Result s_aResults[16];
    size_t cResults = 0;
    char szBuf[256];

#define MEASURE(name, ...) \
    { \
        Result &r = s_aResults[cResults++]; \
        r.pszName = name; \
        r.rOurs = BenchNsPerCall(kRounds, kPasses, [&](int i) { return size_t(RTStrPrintBuf(szBuf, sizeof(szBuf), __VA_ARGS__)); }); \
        r.rMsvcrt = BenchNsPerCall(kRounds, kPasses, [&](int i) { return size_t(_snprintf(szBuf, sizeof(szBuf), __VA_ARGS__)); }); \
        r.rMingw = BenchNsPerCall(kRounds, kPasses, [&](int i) { return size_t(__mingw_snprintf(szBuf, sizeof(szBuf), __VA_ARGS__)); }); \
    }
    MESSAGE_FORMATS(MEASURE)
#undef MEASURE

    double rOurs = 0, rMsvcrt = 0, rMingw = 0;
    printf("%-12s %12s %12s %12s %8s %8s\n", "format", "ours ns", "msvcrt ns", "mingw ns", "/msvcrt", "/mingw");
    for (size_t i = 0; i < cResults; i++)
    {
        const Result &r = s_aResults[i];
        printf("%-12s %12.1f %12.1f %12.1f %7.2fx %7.2fx\n", r.pszName, r.rOurs, r.rMsvcrt, r.rMingw,
               r.rOurs / r.rMsvcrt, r.rOurs / r.rMingw);
        rOurs += r.rOurs;
        rMsvcrt += r.rMsvcrt;
        rMingw += r.rMingw;
    }
    printf("%-12s %12.1f %12.1f %12.1f %7.2fx %7.2fx\n", "whole mix", rOurs, rMsvcrt, rMingw, rOurs / rMsvcrt,
           rOurs / rMingw);
    printf("RTStrPrintBuf time ratio: %.2fx the system C library's _snprintf, %.2fx MinGW's snprintf\n",
           rOurs / rMsvcrt, rOurs / rMingw);
    return 0;
}
