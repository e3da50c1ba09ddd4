/* Test program for lazy binding. It binds NIMBLAZYFN.DLL (which the test places in the
 * system directory), NIMBNOSUCHLIB.DLL (which no system has) and the product's USER32.DLL.
 * One scenario per run, named by the first argument:
 *   calls      the test library's stdcall and cdecl functions, twice each, entered with
 *              chosen values in eax, ecx, edx and the flags; one line per call on standard
 *              error; exit code 0 when every call saw its registers and arguments and left
 *              the stack as its convention says
 *   user32     MessageBoxW (no display: it fails at once), then MessageBoxA, reporting which
 *              slots were bound after each and whether the library was loaded again
 *   missing-function, missing-library   call a function that cannot be bound: the process
 *              reports it and ends in the breakpoint trap
 *   careless NAME   the control of the planted-library tests: loads NAME by its bare name
 *              through the default search order, before initialisation restricts it;
 *              exit code 0 when it loaded */
#include <windows.h>
#include "internal/lazy-win.h"
#include "lazy-probe-fn.h"
#include "rt/init.h"
#include "rt/stream.h"
#include "rt/string.h"

extern "C" const RTLAZYLIB g_rtLazyLib_NIMBLAZYFN;
extern "C" const RTLAZYLIB g_rtLazyLib_USER32;

namespace {

constexpr uint32_t kEax = 0xA5A5A5A5, kEcx = 0xC3C3C3C3, kEdx = 0xD2D2D2D2;
/** Carry, parity, adjust, zero, sign and overflow set; bit 1 is always set. */
constexpr uint32_t kFlags = 0x8D7;
constexpr uint32_t kFlagsMask = 0x8D5;
/** The weighted sum of the arguments 1 to 8 in order (see the test library). */
constexpr uint32_t kSum = 1 * 1 + 2 * 2 + 3 * 3 + 4 * 4 + 5 * 5 + 6 * 6 + 7 * 7 + 8 * 8;

struct CallResult
{
    uint32_t uRet;
    int32_t  cbStack;     /**< the stack pointer after the call minus before the arguments */
};

/* Each caller pushes the arguments 8 down to 1, loads the flags and the scratch registers
 * with the values above and calls through the import slot, as compiled code would. */
#define LAZY_PROBE_CALL(a_Slot) \
    __asm__ __volatile__( \
        "movl %%esp, %%esi\n" \
        "pushl $8\n pushl $7\n pushl $6\n pushl $5\n pushl $4\n pushl $3\n pushl $2\n pushl $1\n" \
        "pushl %[fl]\n popfl\n" \
        "movl %[ax], %%eax\n movl %[cx], %%ecx\n movl %[dx], %%edx\n" \
        "call *" a_Slot "\n" \
        "movl %%esp, %%edx\n subl %%esi, %%edx\n movl %%esi, %%esp\n" \
        : "=a"(r.uRet), "=d"(r.cbStack) \
        : [fl] "i"(kFlags), [ax] "i"(kEax), [cx] "i"(kEcx), [dx] "i"(kEdx) \
        : "ecx", "esi", "memory", "cc")

CallResult callStd()
{
    CallResult r;
    LAZY_PROBE_CALL("__imp__NimbLazyStd@32");
    return r;
}

CallResult callCdecl()
{
    CallResult r;
    LAZY_PROBE_CALL("__imp__NimbLazyCdecl");
    return r;
}

/** Reports one call; true when it went right. */
bool report(const char *pszWhat, CallResult r, int32_t cbStackExpected)
{
    uint32_t const *pau32Seen = NimbLazySeen();
    bool const fRegs = pau32Seen[0] == kEax && pau32Seen[1] == kEcx && pau32Seen[2] == kEdx
                    && (pau32Seen[3] & kFlagsMask) == (kFlags & kFlagsMask);
    RTStreamPrintf(g_pStdErr, "%s: %u, registers %s, stack %d\n", pszWhat, r.uRet, fRegs ? "as set" : "changed",
                   r.cbStack);
    if (!fRegs)
        RTStreamPrintf(g_pStdErr, "  seen eax=%#x ecx=%#x edx=%#x flags=%#x\n", pau32Seen[0], pau32Seen[1],
                       pau32Seen[2], pau32Seen[3]);
    return fRegs && r.uRet == kSum && r.cbStack == cbStackExpected;
}

/** Which of the library's slots are bound (B) and which still lead to their entries (-). */
void reportSlots(const char *pszWhen, const RTLAZYLIB &Lib)
{
    char szSlots[16] = "";
    for (uint32_t i = 0; i < Lib.cSlots && i + 1 < sizeof(szSlots); i++)
        szSlots[i] = Lib.papvSlots[i] == reinterpret_cast<void *>(GetProcAddress(
                         reinterpret_cast<HMODULE>(RTLdrNativeHandleOf(*Lib.phMod)), rtLazyFunctionName(&Lib, i))) ? 'B' : '-';
    RTStreamPrintf(g_pStdErr, "%s: %s\n", pszWhen, szSlots);
}

int probeCalls()
{
    bool fOk = true;
    static const char * const s_apszRounds[] = { "first", "later" };
    for (const char *pszRound : s_apszRounds)
    {
        RTStreamPrintf(g_pStdErr, "%s calls\n", pszRound);
        fOk &= report("stdcall", callStd(), 0);
        fOk &= report("cdecl", callCdecl(), -32);
    }
    return fOk ? 0 : 1;
}

int probeUser32()
{
    MessageBoxW(nullptr, L"x", L"x", MB_OK);
    RTLDRMOD const hModFirst = *g_rtLazyLib_USER32.phMod;
    reportSlots("after MessageBoxW", g_rtLazyLib_USER32);
    MessageBoxA(nullptr, "x", "x", MB_OK);
    reportSlots("after MessageBoxA", g_rtLazyLib_USER32);
    RTStreamPrintf(g_pStdErr, "library %s\n", *g_rtLazyLib_USER32.phMod == hModFirst ? "loaded once" : "loaded again");
    return 0;
}

} /* namespace */

extern "C" int main(int argc, char **argv, char **)
{
    if (argc == 3 && RTStrCompareNullSafe(argv[1], "careless") == 0)
        return LoadLibraryA(argv[2]) ? 0 : 1;
    RTSTATUS const rc = RTR3InitForExe(argc, &argv, RTINIT_F_SYSTEM32_ONLY);
    if (RT_FAILURE(rc) || argc < 2)
        return 99;
    int iExit = 98;
    if (RTStrCompareNullSafe(argv[1], "calls") == 0)
        iExit = probeCalls();
    else if (RTStrCompareNullSafe(argv[1], "user32") == 0)
        iExit = probeUser32();
    else if (RTStrCompareNullSafe(argv[1], "missing-function") == 0)
    {
        NimbLazyMissing(1);
        iExit = 97;
    }
    else if (RTStrCompareNullSafe(argv[1], "missing-library") == 0)
    {
        NimbNoSuchFunction();
        iExit = 96;
    }
    return iExit;
}
