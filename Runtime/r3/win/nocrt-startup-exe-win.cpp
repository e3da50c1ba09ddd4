/* The process entry point of programs without a C runtime, with what only such a program
 * needs: the markers of the initialiser and terminator tables and their walks, the run of
 * the compiler's global constructors, and the process exit. Built without the stack
 * protector: the entry point runs before the stack cookie is seeded. */
#include "internal/startup.h"
#include "rt/startup.h"
#include "rt/string.h"
#include "rt/getoptargv.h"
#include <windows.h>
#include <x86intrin.h>

/** The parts of the process environment block and its process parameters that start-up
 *  reads (32-bit layout). */
struct RTSTARTUPCMDLINE
{
    uint16_t cbLength;      /**< in bytes, without a terminator */
    uint16_t cbMaxLength;
    RTUTF16 *pwszBuffer;
};
struct RTSTARTUPPROCPARAMS
{
    uint8_t          abOther[0x40];
    RTSTARTUPCMDLINE CommandLine;
};
struct RTSTARTUPPEB
{
    uint8_t              abOther[8];
    void                *pvImageBase;
    void                *pvLoaderData;
    RTSTARTUPPROCPARAMS *pProcessParameters;
};
static_assert(offsetof(RTSTARTUPPEB, pvImageBase) == 0x08);
static_assert(offsetof(RTSTARTUPPEB, pProcessParameters) == 0x10);
static_assert(offsetof(RTSTARTUPPROCPARAMS, CommandLine) == 0x40);
extern "C" uintptr_t __stack_chk_guard;

/*
 * Table markers: null entries in the first and last section of each sorted group (see
 * rt/startup.h). They live here, in the product-only part, because the platform's C
 * runtime defines markers of its own for the first two groups in test programs.
 */
extern "C" {
[[gnu::used, gnu::section(".CRT$XIA")]] PFNRTSTARTUPINITRC const g_apfnStartupInitRcStart[1] = { nullptr };
[[gnu::used, gnu::section(".CRT$XIZ")]] PFNRTSTARTUPINITRC const g_apfnStartupInitRcEnd[1] = { nullptr };
[[gnu::used, gnu::section(".CRT$XCA")]] PFNRT const g_apfnStartupInitStart[1] = { nullptr };
[[gnu::used, gnu::section(".CRT$XCZ")]] PFNRT const g_apfnStartupInitEnd[1] = { nullptr };
[[gnu::used, gnu::section(".CRT$XPA")]] PFNRT const g_apfnStartupPreTermStart[1] = { nullptr };
[[gnu::used, gnu::section(".CRT$XPZ")]] PFNRT const g_apfnStartupPreTermEnd[1] = { nullptr };
[[gnu::used, gnu::section(".CRT$XTA")]] PFNRT const g_apfnStartupTermStart[1] = { nullptr };
[[gnu::used, gnu::section(".CRT$XTZ")]] PFNRT const g_apfnStartupTermEnd[1] = { nullptr };
}

/** The compiler sees the markers as separate one-element arrays; hiding where a pointer
 *  came from keeps it from deducing that a walk between two of them is empty. */
template <typename T>
static inline T const *rtStartupOpaque(T const *p)
{
    __asm__("" : "+r"(p));
    return p;
}

template <typename T>
static void rtStartupCallTable(T const *papfnStart, T const *papfnEnd)
{
    for (T const *ppfn = rtStartupOpaque(papfnStart); ppfn < rtStartupOpaque(papfnEnd); ppfn++)
        if (*ppfn)
            (*ppfn)();
}

int rtStartupRunInitialisers(void)
{
    PFNRTSTARTUPINITRC const *ppfnEnd = rtStartupOpaque(g_apfnStartupInitRcEnd);
    for (PFNRTSTARTUPINITRC const *ppfn = rtStartupOpaque(g_apfnStartupInitRcStart); ppfn < ppfnEnd; ppfn++)
        if (*ppfn)
        {
            int const rc = (*ppfn)();
            if (rc != 0)
                return rc;
        }
    rtStartupCallTable(g_apfnStartupInitStart, g_apfnStartupInitEnd);
    return 0;
}

void rtStartupRunTerminators(void)
{
    rtStartupCallTable(g_apfnStartupPreTermStart, g_apfnStartupPreTermEnd);
    rtStartupCallTable(g_apfnStartupTermStart, g_apfnStartupTermEnd);
}

void rtStartupExit(uint32_t uExitCode, bool fRunExitRoutines)
{
    if (fRunExitRoutines)
    {
        rtAtExitRun();
        rtStartupRunTerminators();
    }
    for (;;)
        TerminateProcess(GetCurrentProcess(), uExitCode);
}

/*
 * Global constructors. GCC makes main call __main first, which runs the constructors the
 * linker gathered between __CTOR_LIST__ (a count, or -1 when the list is null-terminated)
 * and the closing null, last first. Their destructors are registered through atexit, and
 * those of the destructor list (gathered the same way) run as one at-exit callback.
 */
extern "C" PFNRT __CTOR_LIST__[];
extern "C" PFNRT __DTOR_LIST__[];

static size_t rtStartupCountList(PFNRT const *papfnList)
{
    size_t cEntries = reinterpret_cast<uintptr_t>(papfnList[0]);
    if (cEntries == ~static_cast<size_t>(0))
        for (cEntries = 0; papfnList[cEntries + 1]; cEntries++)
        { /* count */ }
    return cEntries;
}

static void rtStartupRunDestructors(void)
{
    PFNRT const *papfnList = rtStartupOpaque(__DTOR_LIST__);
    size_t const cEntries = rtStartupCountList(papfnList);
    for (size_t i = 1; i <= cEntries; i++)
        papfnList[i]();
}

extern "C" void __main(void)
{
    static bool s_fDone = false;
    if (s_fDone)
        return;
    s_fDone = true;
    PFNRT const *papfnList = rtStartupOpaque(__CTOR_LIST__);
    for (size_t i = rtStartupCountList(papfnList); i > 0; i--)
        papfnList[i]();
    if (rtStartupCountList(rtStartupOpaque(__DTOR_LIST__)) > 0)
        rtAtExitRegister(rtStartupRunDestructors);
}

extern "C" RT_NORETURN void rtStartupExeEntry(void)
{
    RTSTARTUPPEB const *pPeb;
    __asm__("movl %%fs:0x30, %0" : "=r"(pPeb)); /* the thread information block's pointer to it */
    rtStartupFixSectionTails(pPeb->pvImageBase);

    /* The cookie's load-time value is known to anyone; the time-stamp counter makes it
     * unpredictable and the variable's own address differs with every relocation. */
    __stack_chk_guard = static_cast<uint32_t>(__rdtsc()) ^ reinterpret_cast<uintptr_t>(&__stack_chk_guard);

    initProcExecPath();

    int const rcInit = rtStartupRunInitialisers();
    if (rcInit != 0)
    {
        rtStartupWriteLiteral("A C static initializor failed (");
        rtStartupWriteDecHex(static_cast<uint32_t>(rcInit));
        rtStartupWriteLiteral("\r\n");
        rtStartupExit(static_cast<uint32_t>(rcInit), false);
    }

    RTSTARTUPPROCPARAMS const *pParams = pPeb->pProcessParameters;
    if (!pParams)
    {
        rtStartupWriteLiteral("No command line\r\n");
        rtStartupExit(3, true);
    }

    /* A process created natively may have an empty command line without a buffer. */
    RTSTARTUPCMDLINE const &CmdLine = pParams->CommandLine;
    char *pszCmdLine = nullptr;
    RTSTATUS rc = RTUtf16ToUtf8Ex(CmdLine.cbLength ? CmdLine.pwszBuffer : L"", CmdLine.cbLength / sizeof(RTUTF16),
                                  &pszCmdLine, 0, nullptr);
    if (RT_FAILURE(rc))
    {
        rtStartupWriteLiteralStatus("Failed to convert command line to UTF-8: ", rc);
        rtStartupExit(3, true);
    }

    char **papszArgs = nullptr;
    int cArgs = 0;
    rc = RTGetOptArgvSplit(&papszArgs, &cArgs, pszCmdLine, ARGVSPLIT_WINDOWS | ARGVSPLIT_INPLACE, nullptr);
    if (RT_FAILURE(rc))
    {
        rtStartupWriteLiteralStatus("Error parsing command line: ", rc);
        rtStartupExit(3, true);
    }

    rtStartupExit(static_cast<uint32_t>(main(cArgs, papszArgs, nullptr)), true);
}
