/* Status conversions and the status text table, each measured side by side with a plain
 * reference over the same data: the Win32 conversion against an array lookup, the text
 * row search against a linear search; and the packed text area against the plain texts. */
#include <windows.h>
#include <stdio.h>
#include <vector>
#include "internal/err.h"
#include "bench-timer.h"

namespace {

constexpr int kRounds = 5;
constexpr int kPasses = 200;

/* The reference keeps its own copy of the values so that both sides search equal data. */
std::vector<int16_t> g_aiRowValues;

int LinearFind(RTSTATUS rc)
{
    for (size_t i = 0; i < g_aiRowValues.size(); i++)
        if (g_aiRowValues[i] == rc)
            return int(i);
    return -1;
}

size_t Count(void *pvUser, const char *, size_t cch)
{
    *static_cast<size_t *>(pvUser) += cch;
    return cch;
}

} /* namespace */

int main()
{
    /* Every code the Win32 conversion knows, and a direct table of the answers. */
    std::vector<uint32_t> codes;
    std::vector<int32_t> direct(0x10000, ERR_UNMAPPED_NATIVE_ERROR);
    for (uint32_t u = 0; u <= 0xFFFF; u++)
        if (RTErrConvertFromWinError(u) != ERR_UNMAPPED_NATIVE_ERROR || u == 0)
        {
            codes.push_back(u);
            direct[u] = RTErrConvertFromWinError(u);
        }
    double const rConv = BenchNsPerInput(kRounds, kPasses, codes, [](uint32_t u) { return RTErrConvertFromWinError(u); });
    double const rDirect = BenchNsPerInput(kRounds, kPasses, codes, [&](uint32_t u) { return direct[u & 0xFFFF]; });
    printf("RTErrConvertFromWinError  %3zu codes  %6.2f ns/call   array lookup %6.2f ns/call   ratio %.2f\n",
           codes.size(), rConv, rDirect, rConv / rDirect);

    std::vector<RTSTATUS> values;
    for (uint32_t i = 0; i < g_cRTErrEntries; i++)
    {
        values.push_back(g_aRTErrEntries[i].iStatus);
        g_aiRowValues.push_back(g_aRTErrEntries[i].iStatus);
    }
    double const rFind = BenchNsPerInput(kRounds, kPasses, values, [](RTSTATUS rc) { return RTErrFindEntry(rc); });
    double const rLinear = BenchNsPerInput(kRounds, kPasses, values, [](RTSTATUS rc) { return LinearFind(rc); });
    printf("RTErrFindEntry            %3zu rows   %6.2f ns/call   linear search %6.2f ns/call  ratio %.2f\n",
           values.size(), rFind, rLinear, rFind / rLinear);

    /* Plain size: every name and message as the printing forms output them. */
    size_t cbPlain = 0;
    for (uint32_t i = 0; i < g_cRTErrEntries; i++)
    {
        uint32_t off, cb;
        RTErrEntryGetName(&g_aRTErrEntries[i], &off, &cb);
        RTErrExpandText(&g_RTErrPackedText, off, cb, Count, &cbPlain);
        RTErrEntryGetMessage(&g_aRTErrEntries[i], &off, &cb);
        RTErrExpandText(&g_RTErrPackedText, off, cb, Count, &cbPlain);
    }
    size_t const cbRows = g_cRTErrEntries * sizeof(RTERRENTRY);
    printf("packed text area          %u bytes   plain texts %zu bytes   ratio %.3f"
           "   (rows %zu bytes, word table %zu bytes)\n",
           g_RTErrPackedText.cbArea, cbPlain, double(g_RTErrPackedText.cbArea) / double(cbPlain),
           cbRows, size_t(256 * sizeof(uint32_t)));
    return 0;
}
