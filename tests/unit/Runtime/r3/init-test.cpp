/* Runtime initialisation in a process of its own: a failed first call that can be repeated,
 * repeated calls and their argument checks, the deferred loader configuration, the facts
 * recorded for other modules, and the exit callback. The tests run in file order and share
 * the process's one initialisation. */
#include <gtest/gtest.h>
#include <windows.h>
#include <cstring>
#include <string>
#include "internal/init.h"
#include "rt/log.h"
#include "internal/startup.h"
#include "internal/time.h"
#include "rt/mem.h"
#include "internal/r3-win.h"
#include "internal/thread.h"

namespace {

char  g_szArg0[] = "init-test";
char  g_szArg1[] = "--flag";
char *g_apszArgs[] = { g_szArg0, g_szArg1, nullptr };
char **g_papszArgs = g_apszArgs;

/** The state a repeated call must leave alone. */
struct InitSnapshot
{
    RTPROCEXECPATH ExecPath;
    uint32_t       fFlags;
    int32_t        cArgs;
    char         **papszArgs;
    uint32_t       enmWinVer;
    uint32_t       uProcessId;
    uint64_t       u64StartNs;

    static InitSnapshot Take()
    {
        InitSnapshot s;
        memcpy(&s.ExecPath, &g_ProcExecPath, sizeof(s.ExecPath));
        s.fFlags = g_fRTR3InitFlags;
        s.cArgs = g_cRTR3InitArgs;
        s.papszArgs = g_papszRTR3InitArgs;
        s.enmWinVer = g_enmWinVer;
        s.uProcessId = g_uRTR3ProcessId;
        s.u64StartNs = g_u64RTTimeProgramStartNs;
        return s;
    }
    bool operator==(const InitSnapshot &o) const
    {
        return memcmp(&ExecPath, &o.ExecPath, sizeof(ExecPath)) == 0 && fFlags == o.fFlags && cArgs == o.cArgs
            && papszArgs == o.papszArgs && enmWinVer == o.enmWinVer && uProcessId == o.uProcessId
            && u64StartNs == o.u64StartNs;
    }
};

/** The top-level exception filter currently installed, read without changing it. */
LPTOP_LEVEL_EXCEPTION_FILTER CurrentXcptFilter()
{
    LPTOP_LEVEL_EXCEPTION_FILTER pfn = SetUnhandledExceptionFilter(nullptr);
    SetUnhandledExceptionFilter(pfn);
    return pfn;
}

LONG WINAPI ForeignFilter(PEXCEPTION_POINTERS)
{
    return EXCEPTION_EXECUTE_HANDLER;
}

std::string ExePathFromPlatform()
{
    wchar_t wsz[4100];
    DWORD const cwc = GetModuleFileNameW(nullptr, wsz, 4100);
    char sz[4100 * 3];
    int const cch = WideCharToMultiByte(CP_UTF8, 0, wsz, int(cwc), sz, sizeof(sz), nullptr, nullptr);
    return std::string(sz, size_t(cch));
}

} /* namespace */

TEST(Init, BadArgumentsAreRefusedBeforeAnythingIsCounted)
{
    ASSERT_EQ(g_cRTR3Inits, 0);
    char **papszBad = reinterpret_cast<char **>(0x10);
    struct { int cArgs; char ***ppapszArgs; const char *pszPath; RTSTATUS rc; } const s_aCases[] =
    {
        { -1, &g_papszArgs, nullptr, ERR_BAD_ARGUMENT },
        {  2, nullptr, nullptr, ERR_BAD_POINTER },
        {  2, reinterpret_cast<char ***>(-8), nullptr, ERR_BAD_POINTER },
        {  2, &papszBad, nullptr, ERR_BAD_POINTER },
        {  0, nullptr, reinterpret_cast<const char *>(0x20), ERR_BAD_POINTER },
    };
    for (const auto &c : s_aCases)
    {
        EXPECT_EQ(rtR3InitOnce(RTINIT_F_SYSTEM32_ONLY, c.cArgs, c.ppapszArgs, c.pszPath), c.rc) << c.cArgs;
        EXPECT_EQ(g_cRTR3Inits, 0);
        EXPECT_FALSE(RTR3InitIsInitialized());
    }
}

TEST(Init, FailedFirstCallIsNotCountedAndCanBeRepeated)
{
    ASSERT_EQ(g_cRTR3Inits, 0);
    LPTOP_LEVEL_EXCEPTION_FILTER const pfnOriginal = CurrentXcptFilter();
    SetUnhandledExceptionFilter(ForeignFilter);
    InitSnapshot const Before = InitSnapshot::Take();

    /* No memory: the thread registry cannot be set up, nothing is counted or adopted. */
    g_pfnRTMemAllocHook = [](size_t) { return false; };
    RTSTATUS const rcNoMem = RTR3InitForExe(2, &g_papszArgs, RTINIT_F_SYSTEM32_ONLY | RTINIT_F_DEFER_LOADER_CONFIG);
    g_pfnRTMemAllocHook = nullptr;
    EXPECT_EQ(rcNoMem, ERR_OUT_OF_MEMORY);
    EXPECT_EQ(g_cRTR3Inits, 0);
    EXPECT_FALSE(RTR3InitIsInitialized());
    EXPECT_EQ(RTThreadCurrentRecord(), nullptr);

    /* A program path as long as the limit makes the first call fail after the platform
     * step has run; the executable path record and the argument record stay untouched. */
    std::string const strTooLong = "C:\\" + std::string(RTR3INIT_PATH_MAX - 3, 'x');
    ASSERT_EQ(strTooLong.size(), RTR3INIT_PATH_MAX);
    EXPECT_EQ(rtR3InitOnce(RTINIT_F_SYSTEM32_ONLY | RTINIT_F_DEFER_LOADER_CONFIG, 2, &g_papszArgs, strTooLong.c_str()),
              ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(g_cRTR3Inits, 0);
    EXPECT_EQ(g_fRTR3Initialising, 0u);
    EXPECT_FALSE(RTR3InitIsInitialized());
    EXPECT_EQ(memcmp(&g_ProcExecPath, &Before.ExecPath, sizeof(g_ProcExecPath)), 0);
    EXPECT_EQ(g_cRTR3InitArgs, -1);

    /* The repeat does all the work; the loader configuration is deferred. */
    EXPECT_EQ(RTR3InitForExe(2, &g_papszArgs, RTINIT_F_SYSTEM32_ONLY | RTINIT_F_DEFER_LOADER_CONFIG), INF_SUCCESS);
    EXPECT_EQ(g_cRTR3Inits, 1);
    EXPECT_TRUE(RTR3InitIsInitialized());
    EXPECT_EQ(g_fRTR3InitFlags, RTINIT_F_SYSTEM32_ONLY | RTINIT_F_DEFER_LOADER_CONFIG);
    EXPECT_EQ(g_cRTR3InitArgs, 2);
    EXPECT_EQ(g_papszRTR3InitArgs, g_apszArgs);
    EXPECT_EQ(CurrentXcptFilter(), ForeignFilter) << "deferred: no filter yet";
    EXPECT_EQ(g_pfnXcptFilterPrev, nullptr);

    /* A later call without the deferral performs the configuration, once. */
    EXPECT_EQ(RTR3InitForExe(2, &g_papszArgs, RTINIT_F_SYSTEM32_ONLY), INF_SUCCESS);
    EXPECT_EQ(g_cRTR3Inits, 2);
    EXPECT_EQ(g_fRTR3InitFlags, RTINIT_F_SYSTEM32_ONLY);
    EXPECT_EQ(CurrentXcptFilter(), rtR3WinUnhandledXcptFilter);
    EXPECT_EQ(g_pfnXcptFilterPrev, ForeignFilter);

    /* Our filter hands exceptions to the one it displaced. */
    EXCEPTION_RECORD Rec{};
    Rec.ExceptionCode = EXCEPTION_BREAKPOINT;
    CONTEXT Ctx{};
    EXCEPTION_POINTERS Ptrs{ &Rec, &Ctx };
    EXPECT_EQ(rtR3WinUnhandledXcptFilter(&Ptrs), EXCEPTION_EXECUTE_HANDLER);

    g_pfnXcptFilterPrev = nullptr;
    EXPECT_EQ(rtR3WinUnhandledXcptFilter(&Ptrs), EXCEPTION_CONTINUE_SEARCH);
    g_pfnXcptFilterPrev = ForeignFilter;
    SetUnhandledExceptionFilter(pfnOriginal);
}

TEST(Init, RecordsThePlatformFactsOtherModulesRead)
{
    ASSERT_TRUE(RTR3InitIsInitialized());
    EXPECT_EQ(g_hModKernel32, GetModuleHandleW(L"kernel32.dll"));
    EXPECT_EQ(g_hModNtDll, GetModuleHandleW(L"ntdll.dll"));
    EXPECT_GE(g_enmWinVer, 104u);
    EXPECT_LT(g_enmWinVer, 199u);
    EXPECT_EQ(g_WinOsInfoEx.dwOSVersionInfoSize, sizeof(OSVERSIONINFOEXW));
    EXPECT_EQ(g_uRTR3ProcessId, GetCurrentProcessId());
    EXPECT_GT(g_u64RTTimeProgramStartNs, 0u);
    EXPECT_LE(g_u64RTTimeProgramStartNs, RTTimeMonoNs());

    /* The calling thread is registered as the main thread. */
    RTTHREADINT *const pMain = RTThreadCurrentRecord();
    ASSERT_NE(pMain, nullptr);
    EXPECT_STREQ(RTThreadCurrentName(), "main");
    EXPECT_EQ(pMain->u32Magic, RTTHREADINT_MAGIC);
    EXPECT_EQ(pMain->enmType, RTTHREADTYPE_MAIN);
    EXPECT_EQ(pMain->enmState, THREAD_STATE_RUN);
    EXPECT_EQ(pMain->fIntFlags, THREAD_IFLAG_ADOPTED | THREAD_IFLAG_IN_TREE | THREAD_IFLAG_MAIN);
    EXPECT_EQ(pMain->cRefs, 1u);
    EXPECT_EQ(pMain->uKey, GetCurrentThreadId());
    EXPECT_EQ(rtThreadRegistryInit(), INF_ALREADY_INITIALISED);
    EXPECT_EQ(RTThreadCurrentRecord(), pMain);

    /* Entry points every supported platform has, each looked up under its own name. */
    HMODULE const hK32 = GetModuleHandleW(L"kernel32.dll");
    HMODULE const hNt = GetModuleHandleW(L"ntdll.dll");
    HMODULE const hWs = GetModuleHandleW(L"ws2_32.dll");
    ASSERT_NE(hWs, nullptr) << "initialisation loads the socket library";
    struct { void *pvFound; HMODULE hMod; const char *pszName; } const s_aEntries[] =
    {
        { reinterpret_cast<void *>(g_pfnIsDebuggerPresent),           hK32, "IsDebuggerPresent" },
        { reinterpret_cast<void *>(g_pfnIsProcessorFeaturePresent),   hK32, "IsProcessorFeaturePresent" },
        { reinterpret_cast<void *>(g_pfnGetSystemTimeAsFileTime),     hK32, "GetSystemTimeAsFileTime" },
        { reinterpret_cast<void *>(g_pfnSetUnhandledExceptionFilter), hK32, "SetUnhandledExceptionFilter" },
        { reinterpret_cast<void *>(g_pfnUnhandledExceptionFilter),    hK32, "UnhandledExceptionFilter" },
        { reinterpret_cast<void *>(g_pfnNtQueryFullAttributesFile),   hNt,  "NtQueryFullAttributesFile" },
        { reinterpret_cast<void *>(g_pfnWSAGetLastError),             hWs,  "WSAGetLastError" },
        { reinterpret_cast<void *>(g_pfnWSASetLastError),             hWs,  "WSASetLastError" },
    };
    for (const auto &e : s_aEntries)
    {
        EXPECT_NE(e.pvFound, nullptr) << e.pszName;
        EXPECT_EQ(e.pvFound, reinterpret_cast<void *>(GetProcAddress(e.hMod, e.pszName))) << e.pszName;
    }

    /* The executable path, with the directory and name split the record keeps. */
    std::string const strExe = ExePathFromPlatform();
    EXPECT_EQ(std::string(g_ProcExecPath.szPath), strExe);
    EXPECT_EQ(g_ProcExecPath.cchPath, strExe.size());
    size_t const offSep = strExe.find_last_of("\\/");
    EXPECT_EQ(g_ProcExecPath.offName, offSep + 1);
    EXPECT_EQ(g_ProcExecPath.cchDir, offSep);
}

TEST(Init, LoaderConfigurationIsInPlace)
{
    ASSERT_TRUE(RTR3InitIsInitialized());
    UINT const fMode = GetErrorMode();
    EXPECT_EQ(fMode & (SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX),
              UINT(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX));

    wchar_t wszDllDir[MAX_PATH] = L"unchanged";
    SetLastError(0);
    DWORD const cwc = GetDllDirectoryW(MAX_PATH, wszDllDir);
    EXPECT_EQ(cwc, 0u);
    EXPECT_EQ(GetLastError(), 0u) << "an empty directory, not a failure";
    EXPECT_STREQ(wszDllDir, L"");
}

TEST(Init, RepeatedCallsCheckTheArgumentsAndChangeNothingElse)
{
    ASSERT_TRUE(RTR3InitIsInitialized());
    InitSnapshot const Before = InitSnapshot::Take();
    int32_t cInits = g_cRTR3Inits;

    char  szOther[] = "other";
    char *apszOther[] = { szOther, g_szArg1, nullptr };
    char **papszOther = apszOther;
    struct { const char *pszWhat; int cArgs; char ***ppapszArgs; uint32_t fFlags; RTSTATUS rc; } const s_aCases[] =
    {
        { "same arguments",        2, &g_papszArgs, RTINIT_F_SYSTEM32_ONLY, INF_SUCCESS },
        { "no arguments",          0, nullptr,      RTINIT_F_SYSTEM32_ONLY, INF_SUCCESS },
        { "other flags, stored only on the first", 2, &g_papszArgs, 0x10000, INF_SUCCESS },
        { "different count",       1, &g_papszArgs, RTINIT_F_SYSTEM32_ONLY, ERR_WRONG_STATE },
        { "different vector",      2, &papszOther,  RTINIT_F_SYSTEM32_ONLY, ERR_WRONG_STATE },
    };
    for (const auto &c : s_aCases)
    {
        EXPECT_EQ(RTR3InitForExe(c.cArgs, c.ppapszArgs, c.fFlags), c.rc) << c.pszWhat;
        EXPECT_EQ(g_cRTR3Inits, ++cInits) << c.pszWhat << ": every later call is counted";
        EXPECT_TRUE(InitSnapshot::Take() == Before) << c.pszWhat;
    }

    /* Flag 0x2 is the one later calls add. */
    EXPECT_EQ(RTR3InitForExe(0, nullptr, 0x2), INF_SUCCESS);
    EXPECT_EQ(g_fRTR3InitFlags, Before.fFlags | 0x2);
    g_fRTR3InitFlags = Before.fFlags;
}

TEST(Init, RepeatedCallWithAProgramPathRewritesTheRecord)
{
    ASSERT_TRUE(RTR3InitIsInitialized());
    RTPROCEXECPATH Saved;
    memcpy(&Saved, &g_ProcExecPath, sizeof(Saved));

    std::string const strTooLong(RTR3INIT_PATH_MAX, 'y');
    EXPECT_EQ(rtR3InitOnce(0, 0, nullptr, strTooLong.c_str()), ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(memcmp(&g_ProcExecPath, &Saved, sizeof(Saved)), 0);

    struct { std::string strPath; uint32_t cchDir, offName; } const s_aCases[] =
    {
        { "C:\\Program Files\\Nimb\\setup.exe", 21, 22 },
        { "C:\\setup.exe", 3, 3 },
        { "\\\\server\\share\\setup.exe", 14, 15 },
        { "C:\\dir\\", 7, 7 },       /* no name: an empty one at the end */
        { "C:\\" + std::string(RTR3INIT_PATH_MAX - 4, 'z'), 3, 3 },
    };
    for (const auto &c : s_aCases)
    {
        ASSERT_EQ(rtR3InitOnce(0, 0, nullptr, c.strPath.c_str()), INF_SUCCESS) << c.strPath.size();
        EXPECT_EQ(std::string(g_ProcExecPath.szPath), c.strPath);
        EXPECT_EQ(g_ProcExecPath.cchPath, c.strPath.size());
        EXPECT_EQ(g_ProcExecPath.cchDir, c.cchDir) << c.strPath.substr(0, 40);
        EXPECT_EQ(g_ProcExecPath.offName, c.offName) << c.strPath.substr(0, 40);
    }
    memcpy(&g_ProcExecPath, &Saved, sizeof(Saved));
}

/*
 * The exit callback, last: it marks the runtime as terminating.
 */

namespace {
RTLOGINSTANCE *g_apFlushed[4];
unsigned g_cFlushed;
RTSTATUS FakeFlush(RTLOGINSTANCE *pLogger)
{
    g_apFlushed[g_cFlushed++ & 3] = pLogger;
    return INF_SUCCESS;
}
} /* namespace */

TEST(Init, ExitCallbackFlushesTheLoggersThatExist)
{
    ASSERT_TRUE(RTR3InitIsInitialized());
    EXPECT_FALSE(RTR3InitIsTerminating());
    alignas(16) static char s_abDefault[64], s_abRelease[64];
    RTLOGINSTANCE *const pDefault = reinterpret_cast<RTLOGINSTANCE *>(s_abDefault);
    RTLOGINSTANCE *const pRelease = reinterpret_cast<RTLOGINSTANCE *>(s_abRelease);
    g_pfnLogFlush = FakeFlush;
    g_pLogDefault = pDefault;
    g_pLogRelease = pRelease;

    rtAtExitRun();
    EXPECT_TRUE(RTR3InitIsTerminating());
    ASSERT_EQ(g_cFlushed, 2u);
    EXPECT_EQ(g_apFlushed[0], pDefault);
    EXPECT_EQ(g_apFlushed[1], pRelease);

    g_pfnLogFlush = nullptr;
    g_pLogDefault = nullptr;
    g_pLogRelease = nullptr;
    EXPECT_EQ(RTLogInstanceFlush(nullptr), INF_LOG_NO_INSTANCE);
}
