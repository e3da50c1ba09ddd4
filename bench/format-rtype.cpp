/* Typed format directives measured side by side with a reference in the same run: the
 * typed integer forms against the engine's plain directives for the same values, and a
 * hex dump against the same dump built line by line with the C runtime's snprintf. */
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include "rt/format.h"
#include "bench-timer.h"

namespace {

constexpr int kRounds = 5;
constexpr int kCalls = 20000;

char g_szOut[16384];

void Report(const char *pszWhat, double rTyped, const char *pszRef, double rRef)
{
    printf("%-28s %8.1f ns/call   %-26s %8.1f ns/call   ratio %.2f\n", pszWhat, rTyped, pszRef, rRef,
           rTyped / rRef);
}

/* The same dump as %.*Rhxd with a 16-byte width, through snprintf. */
size_t RefDump(const uint8_t *pb, size_t cb)
{
    char *psz = g_szOut;
    for (size_t off = 0; off < cb; off += 16)
    {
        size_t const cbLine = cb - off < 16 ? cb - off : 16;
        psz += sprintf(psz, "%s%08x/%04x:", off ? "\n" : "", static_cast<unsigned>(reinterpret_cast<uintptr_t>(pb) + off),
                       static_cast<unsigned>(off));
        for (size_t i = 0; i < cbLine; i++)
            psz += sprintf(psz, "%c%02x", i && i % 8 == 0 ? '-' : ' ', pb[off + i]);
        for (size_t i = cbLine; i < 16; i++)
            psz += sprintf(psz, "   ");
        *psz++ = ' ';
        for (size_t i = 0; i < cbLine; i++)
            *psz++ = pb[off + i] >= 0x20 && pb[off + i] <= 0x7e ? static_cast<char>(pb[off + i]) : '.';
    }
    *psz = '\0';
    return static_cast<size_t>(psz - g_szOut);
}

} /* namespace */

int main()
{
    Report("%RX32", BenchNsPerCall(kRounds, kCalls, [](int i) { return RTStrPrintBuf(g_szOut, sizeof(g_szOut), "%RX32", i * 2654435761u); }),
           "%x", BenchNsPerCall(kRounds, kCalls, [](int i) { return RTStrPrintBuf(g_szOut, sizeof(g_szOut), "%x", i * 2654435761u); }));
    Report("%RU64", BenchNsPerCall(kRounds, kCalls, [](int i) { return RTStrPrintBuf(g_szOut, sizeof(g_szOut), "%RU64", i * UINT64_C(0x9E3779B97F4A7C15)); }),
           "%llu", BenchNsPerCall(kRounds, kCalls, [](int i) { return RTStrPrintBuf(g_szOut, sizeof(g_szOut), "%llu", i * UINT64_C(0x9E3779B97F4A7C15)); }));
    Report("%RTnthrd", BenchNsPerCall(kRounds, kCalls, [](int i) { return RTStrPrintBuf(g_szOut, sizeof(g_szOut), "%RTnthrd", i); }),
           "%08x", BenchNsPerCall(kRounds, kCalls, [](int i) { return RTStrPrintBuf(g_szOut, sizeof(g_szOut), "%08x", i); }));

    static uint8_t s_ab[1024];
    for (size_t i = 0; i < sizeof(s_ab); i++)
        s_ab[i] = static_cast<uint8_t>(i * 7);
    Report("%.*Rhxd of 1 KiB", BenchNsPerCall(kRounds, 200, [](int) { return RTStrPrintBuf(g_szOut, sizeof(g_szOut), "%.*Rhxd", 1024, s_ab); }),
           "snprintf per piece", BenchNsPerCall(kRounds, 200, [](int) { return RefDump(s_ab, sizeof(s_ab)); }));

    /* Both sides must print the same text. */
    char szTyped[sizeof(g_szOut)];
    RTStrPrintBuf(szTyped, sizeof(szTyped), "%.*Rhxd", 1024, s_ab);
    RefDump(s_ab, sizeof(s_ab));
    if (strcmp(szTyped, g_szOut))
    {
        printf("hex dump mismatch\n");
        return 1;
    }
    return 0;
}
