/* A lazily bound call once bound, against a call of the same function through an import
 * table filled by the system's loader (in a library of the benchmark's own), in the same
 * run: the binding must cost nothing after the first call. */
#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <wchar.h>
#include "rt/init.h"
#include "bench-timer.h"
#include "internal/lazy-win.h"

extern "C" const RTLAZYLIB g_rtLazyLib_USER32;
typedef uint32_t (*PFNBENCHLOOP)(uint32_t cCalls);

namespace {

constexpr int kRounds = 15;
constexpr uint32_t kCalls = 200000;

/** The same loop as the reference library's, calling through the lazily bound slot. */
__attribute__((noinline)) uint32_t BenchDesktopBound(uint32_t cCalls)
{
    uint32_t uSum = 0;
    for (uint32_t i = 0; i < cCalls; i++)
        uSum += static_cast<uint32_t>(reinterpret_cast<uintptr_t>(GetDesktopWindow()));
    return uSum;
}

} /* namespace */

int main()
{
    if (RT_FAILURE(RTR3InitForExe(0, nullptr, RTINIT_F_SYSTEM32_ONLY)))
        return 1;
    /* The reference library lies beside the benchmark. */
    wchar_t wszRef[MAX_PATH + 32];
    DWORD const cwcExe = GetModuleFileNameW(nullptr, wszRef, MAX_PATH);
    wchar_t *pwszName = wszRef + cwcExe;
    while (pwszName > wszRef && pwszName[-1] != L'\\' && pwszName[-1] != L'/')
        pwszName--;
    wcscpy(pwszName, L"lazy-reference.dll");
    HMODULE const hRef = cwcExe && cwcExe < MAX_PATH ? LoadLibraryW(wszRef) : nullptr;
    PFNBENCHLOOP const pfnImported = hRef ? reinterpret_cast<PFNBENCHLOOP>(
        reinterpret_cast<void *>(GetProcAddress(hRef, "BenchDesktopImported"))) : nullptr;
    if (!pfnImported)
    {
        printf("lazy-call: cannot load the reference library\n");
        return 1;
    }
    /* The first call binds; the program must not have had USER32 bound before it. */
    bool const fUnboundBefore = *g_rtLazyLib_USER32.phMod == nullptr;
    BenchDesktopBound(1);
    if (!fUnboundBefore || !*g_rtLazyLib_USER32.phMod)
    {
        printf("lazy-call: GetDesktopWindow is not the lazily bound one\n");
        return 1;
    }
    double rBound, rImported;
    BenchBestOfPair(kRounds, [] { g_uBenchSink = BenchDesktopBound(kCalls); },
                    [&] { g_uBenchSink = pfnImported(kCalls); }, &rBound, &rImported);
    printf("bound GetDesktopWindow  %6.2f ns/call   import table %6.2f ns/call   ratio %.3f (target <= 1.05)\n",
           rBound * 1e9 / kCalls, rImported * 1e9 / kCalls, rBound / rImported);
    return 0;
}
