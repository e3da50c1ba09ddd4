/* Runtime initialisation: the operating system's version, the loader's search rules, the
 * optional entry points other modules use, the executable's path and the argument vector,
 * and the exit callback. Only the first successful call does the work. */
#include "internal/r3-win.h"
#include "internal/thread.h"
#include "rt/atomic.h"
#include "rt/ldr.h"
#include "rt/log.h"
#include "rt/path.h"
#include "internal/startup.h"
#include "rt/time.h"
#include "internal/init.h"
#include <type_traits>

uint32_t g_enmWinVer = 0;
HMODULE g_hModKernel32 = nullptr;
HMODULE g_hModNtDll = nullptr;
OSVERSIONINFOEXW g_WinOsInfoEx;

PFNGETSYSTEMTIMEASFILETIME     g_pfnGetSystemTimeAsFileTime = nullptr;
PFNISDEBUGGERPRESENT           g_pfnIsDebuggerPresent = nullptr;
PFNISPROCESSORFEATUREPRESENT   g_pfnIsProcessorFeaturePresent = nullptr;
PFNGETCURRENTTHREADSTACKLIMITS g_pfnGetCurrentThreadStackLimits = nullptr;
PFNSETUNHANDLEDEXCEPTIONFILTER g_pfnSetUnhandledExceptionFilter = nullptr;
PFNUNHANDLEDEXCEPTIONFILTER    g_pfnUnhandledExceptionFilter = nullptr;
PFNRTNTQUERYFULLATTRIBUTESFILE g_pfnNtQueryFullAttributesFile = nullptr;
PFNWSAGETLASTERROR             g_pfnWSAGetLastError = nullptr;
PFNWSASETLASTERROR             g_pfnWSASetLastError = nullptr;

volatile int32_t  g_cRTR3Inits = 0;
volatile uint32_t g_fRTR3Initialising = 0;
uint32_t          g_fRTR3InitFlags = 0;
int32_t           g_cRTR3InitArgs = -1;
char            **g_papszRTR3InitArgs = nullptr;
uint32_t          g_uRTR3ProcessId = 0;
static volatile uint32_t g_fRTR3Terminating = 0;

/* Flag bit that later calls add to the stored flags; the others stick from the first. */
static constexpr uint32_t RTR3INIT_F_MERGED_LATER = 0x2;

/*
 * Windows version codes.
 */

namespace
{
enum class WinProduct : uint8_t { Any, Workstation, Other };

struct WinVerRow
{
    uint32_t   uPlatform;
    uint32_t   uMajorFirst, uMajorLast;
    uint32_t   uMinorFirst, uMinorLast;
    uint16_t   uBuildFirst, uBuildLast;     /**< low 16 bits of the build number */
    WinProduct enmProduct;
    uint32_t   uCode;
};

constexpr uint32_t kAll = UINT32_MAX;
constexpr uint16_t kAllBuilds = UINT16_MAX;

/* First matching row wins; the last row catches every other NT-family version. */
constexpr WinVerRow g_aWinVerRows[] =
{
    /* Windows 95, its OSR releases, 98 and Me. */
    { 1,  4,  4,  0,  9,   950,   950, WinProduct::Any,           1 },
    { 1,  4,  4,  0,  9,   951,  1080, WinProduct::Any,           2 },
    { 1,  4,  4,  0,  9,  1081, kAllBuilds, WinProduct::Any,      3 },
    { 1,  4,  4, 10, 10,  1998,  1998, WinProduct::Any,           4 },
    { 1,  4,  4, 10, 10,  1999,  2182, WinProduct::Any,           5 },
    { 1,  4,  4, 10, 10,  2183, kAllBuilds, WinProduct::Any,      6 },
    { 1,  4,  4, 90, 90,     0, kAllBuilds, WinProduct::Any,      7 },
    /* NT 3.x and 4. */
    { 2,  3,  3,  0, 49,     0, kAllBuilds, WinProduct::Any,    100 },
    { 2,  3,  3, 50, 50,     0, kAllBuilds, WinProduct::Any,    101 },
    { 2,  3,  3, 51, kAll,   0, kAllBuilds, WinProduct::Any,    102 },
    { 2,  4,  4,  0, kAll,   0, kAllBuilds, WinProduct::Any,    103 },
    /* 2000, XP, Server 2003 and later 5.x. */
    { 2,  5,  5,  0,  0,     0, kAllBuilds, WinProduct::Any,    104 },
    { 2,  5,  5,  1,  1,     0, kAllBuilds, WinProduct::Any,    105 },
    { 2,  5,  5,  2, kAll,   0, kAllBuilds, WinProduct::Any,    107 },
    /* Vista to 10 preview, workstation and server. */
    { 2,  6,  6,  0,  0,     0, kAllBuilds, WinProduct::Workstation, 108 },
    { 2,  6,  6,  0,  0,     0, kAllBuilds, WinProduct::Other,       109 },
    { 2,  6,  6,  1,  1,     0, kAllBuilds, WinProduct::Workstation, 110 },
    { 2,  6,  6,  1,  1,     0, kAllBuilds, WinProduct::Other,       111 },
    { 2,  6,  6,  2,  2,     0, kAllBuilds, WinProduct::Workstation, 112 },
    { 2,  6,  6,  2,  2,     0, kAllBuilds, WinProduct::Other,       113 },
    { 2,  6,  6,  3,  3,     0, kAllBuilds, WinProduct::Workstation, 114 },
    { 2,  6,  6,  3,  3,     0, kAllBuilds, WinProduct::Other,       115 },
    { 2,  6,  6,  4,  4,     0, kAllBuilds, WinProduct::Workstation, 116 },
    { 2,  6,  6,  4,  4,     0, kAllBuilds, WinProduct::Other,       117 },
    /* 10 and 11 share major 10 and tell themselves apart by build. */
    { 2, 10, 10,  0,  0,     0, 21999, WinProduct::Workstation, 116 },
    { 2, 10, 10,  0,  0, 22000, kAllBuilds, WinProduct::Workstation, 120 },
    { 2, 10, 10,  0,  0,     0, 17762, WinProduct::Other,       117 },
    { 2, 10, 10,  0,  0, 17763, 20347, WinProduct::Other,       118 },
    { 2, 10, 10,  0,  0, 20348, 26099, WinProduct::Other,       119 },
    { 2, 10, 10,  0,  0, 26100, kAllBuilds, WinProduct::Other,  121 },
    /* Anything newer or unknown in the NT family. */
    { 2,  0, kAll, 0, kAll,  0, kAllBuilds, WinProduct::Any,    199 },
};

constexpr bool rtR3WinVerRowMatches(const WinVerRow &Row, uint32_t uPlatform, uint32_t uMajor, uint32_t uMinor,
                                    uint16_t uBuild, uint8_t bProductType)
{
    if (Row.uPlatform != uPlatform)
        return false;
    if (uMajor < Row.uMajorFirst || uMajor > Row.uMajorLast || uMinor < Row.uMinorFirst || uMinor > Row.uMinorLast)
        return false;
    if (uBuild < Row.uBuildFirst || uBuild > Row.uBuildLast)
        return false;
    switch (Row.enmProduct)
    {
        case WinProduct::Workstation: return bProductType == VER_NT_WORKSTATION;
        case WinProduct::Other:       return bProductType != VER_NT_WORKSTATION;
        default:                      return true;
    }
}

constexpr uint32_t rtR3WinVerLookup(uint32_t uPlatform, uint32_t uMajor, uint32_t uMinor, uint32_t uBuild,
                                    uint8_t bProductType)
{
    for (const WinVerRow &Row : g_aWinVerRows)
        if (rtR3WinVerRowMatches(Row, uPlatform, uMajor, uMinor, static_cast<uint16_t>(uBuild), bProductType))
            return Row.uCode;
    return 0;
}

/* The rows must not shadow one another at the boundaries that separate releases. */
static_assert(rtR3WinVerLookup(2, 10, 0, 21999, VER_NT_WORKSTATION) == 116);
static_assert(rtR3WinVerLookup(2, 10, 0, 22000, VER_NT_WORKSTATION) == 120);
static_assert(rtR3WinVerLookup(2, 10, 0, 26100, VER_NT_SERVER) == 121);
static_assert(rtR3WinVerLookup(1, 4, 11, 3000, 0) == 0);
} /* namespace */

uint32_t rtR3InitWinVerCode(const OSVERSIONINFOEXW *pInfo)
{
    return rtR3WinVerLookup(pInfo->dwPlatformId, pInfo->dwMajorVersion, pInfo->dwMinorVersion,
                            pInfo->dwBuildNumber, pInfo->wProductType);
}

static void rtR3InitResetVersionInfo(OSVERSIONINFOEXW *pInfo, DWORD cbSize)
{
    *pInfo = OSVERSIONINFOEXW{};
    pInfo->dwOSVersionInfoSize = cbSize;
}

void rtR3InitQueryWinVersion(const RTR3WINVERQUERIES *pQueries, OSVERSIONINFOEXW *pInfo)
{
    rtR3InitResetVersionInfo(pInfo, sizeof(*pInfo));
    if (pQueries->pfnRtlGetVersion
        && pQueries->pfnRtlGetVersion(reinterpret_cast<PRTL_OSVERSIONINFOW>(pInfo)) == 0)
        return;

    rtR3InitResetVersionInfo(pInfo, sizeof(*pInfo));
    if (pQueries->pfnGetVersionExW && pQueries->pfnGetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(pInfo)))
        return;

    /* Systems that only know the short record, or not even that: neither of these answers
     * with the product type, so it defaults to workstation unless ntdll knows better. */
    rtR3InitResetVersionInfo(pInfo, sizeof(OSVERSIONINFOW));
    if (!pQueries->pfnGetVersionExW || !pQueries->pfnGetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(pInfo)))
    {
        rtR3InitResetVersionInfo(pInfo, 0);
        DWORD const uVersion = pQueries->pfnGetVersion ? pQueries->pfnGetVersion() : 0;
        pInfo->dwMajorVersion = LOBYTE(LOWORD(uVersion));
        pInfo->dwMinorVersion = HIBYTE(LOWORD(uVersion));
        pInfo->dwBuildNumber  = uVersion & UINT32_C(0x80000000) ? 511 : HIWORD(uVersion);
        pInfo->dwPlatformId   = VER_PLATFORM_WIN32_NT;
    }
    pInfo->dwOSVersionInfoSize = sizeof(*pInfo);
    pInfo->wProductType = VER_NT_WORKSTATION;
    ULONG uProductType = 0;
    if (pQueries->pfnRtlGetNtProductType && pQueries->pfnRtlGetNtProductType(&uProductType))
        pInfo->wProductType = static_cast<BYTE>(uProductType);
}

/*
 * Optional entry points.
 */

namespace
{
struct OptionalSymbol
{
    const char *pszName;
    void (*pfnStore)(FARPROC pfn);
};

template <auto &a_rpfnSlot>
void rtR3InitStoreSymbol(FARPROC pfn)
{
    using PFN = std::remove_reference_t<decltype(a_rpfnSlot)>;
    a_rpfnSlot = reinterpret_cast<PFN>(reinterpret_cast<void *>(pfn));
}

/* Needed by the exception filter set-up, which may run on its own in a later call. */
constexpr OptionalSymbol g_aKernel32XcptSymbols[] =
{
    { "GetCurrentThreadStackLimits", rtR3InitStoreSymbol<g_pfnGetCurrentThreadStackLimits> },
    { "SetUnhandledExceptionFilter", rtR3InitStoreSymbol<g_pfnSetUnhandledExceptionFilter> },
    { "UnhandledExceptionFilter",    rtR3InitStoreSymbol<g_pfnUnhandledExceptionFilter> },
};

constexpr OptionalSymbol g_aKernel32Symbols[] =
{
    { "IsDebuggerPresent",           rtR3InitStoreSymbol<g_pfnIsDebuggerPresent> },
    { "IsProcessorFeaturePresent",   rtR3InitStoreSymbol<g_pfnIsProcessorFeaturePresent> },
    { "GetSystemTimeAsFileTime",     rtR3InitStoreSymbol<g_pfnGetSystemTimeAsFileTime> },
};

constexpr OptionalSymbol g_aNtDllSymbols[] =
{
    { "NtQueryFullAttributesFile",   rtR3InitStoreSymbol<g_pfnNtQueryFullAttributesFile> },
};

/* Only to keep the thread's socket error intact around diagnostic output. */
constexpr OptionalSymbol g_aWinSockSymbols[] =
{
    { "WSAGetLastError",             rtR3InitStoreSymbol<g_pfnWSAGetLastError> },
    { "WSASetLastError",             rtR3InitStoreSymbol<g_pfnWSASetLastError> },
};

template <size_t N>
void rtR3InitResolveSymbols(HMODULE hMod, const OptionalSymbol (&aSymbols)[N])
{
    for (const OptionalSymbol &Sym : aSymbols)
        Sym.pfnStore(GetProcAddress(hMod, Sym.pszName));
}

template <typename PFN>
PFN rtR3InitLookup(HMODULE hMod, const char *pszName)
{
    return reinterpret_cast<PFN>(reinterpret_cast<void *>(GetProcAddress(hMod, pszName)));
}
} /* namespace */

/*
 * Platform set-up.
 */

RTSTATUS rtR3InitLoaderConfig(uint32_t fFlags)
{
    /* Reading the mode means setting one; the second call keeps whatever was there. */
    UINT const fErrorMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    SetErrorMode(fErrorMode | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

    RTSTATUS rc = INF_SUCCESS;
    typedef BOOL (WINAPI *PFNSETDLLDIRECTORYW)(LPCWSTR);
    PFNSETDLLDIRECTORYW const pfnSetDllDirectoryW = rtR3InitLookup<PFNSETDLLDIRECTORYW>(g_hModKernel32, "SetDllDirectoryW");
    if (pfnSetDllDirectoryW && !pfnSetDllDirectoryW(L""))
        rc = ERR_INTERNAL_FAULT_3;

    if (g_enmWinVer >= 109 || (fFlags & RTINIT_F_SYSTEM32_ONLY))
    {
        typedef BOOL (WINAPI *PFNSETDEFAULTDLLDIRECTORIES)(DWORD);
        PFNSETDEFAULTDLLDIRECTORIES const pfnSetDefaultDllDirectories
            = rtR3InitLookup<PFNSETDEFAULTDLLDIRECTORIES>(g_hModKernel32, "SetDefaultDllDirectories");
        DWORD const fSearch = fFlags & RTINIT_F_SYSTEM32_ONLY
                            ? LOAD_LIBRARY_SEARCH_SYSTEM32
                            : LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_APPLICATION_DIR;
        if (pfnSetDefaultDllDirectories && !pfnSetDefaultDllDirectories(fSearch) && RT_SUCCESS(rc))
            rc = ERR_INTERNAL_FAULT_4;
    }

    rtR3InitResolveSymbols(g_hModKernel32, g_aKernel32XcptSymbols);
    if (g_pfnSetUnhandledExceptionFilter && !g_pfnXcptFilterPrev)
    {
        LPTOP_LEVEL_EXCEPTION_FILTER const pfnPrev = g_pfnSetUnhandledExceptionFilter(rtR3WinUnhandledXcptFilter);
        g_pfnXcptFilterPrev = pfnPrev != rtR3WinUnhandledXcptFilter ? pfnPrev : nullptr;
    }
    return rc;
}

/** Binds the socket library's error calls, loading it from the system directory when no
 *  one has; without either socket library they stay unset. */
static void rtR3InitSockets(void)
{
    HMODULE hModWinSock = GetModuleHandleW(L"ws2_32.dll");
    if (!hModWinSock)
    {
        RTLDRMOD hLdrMod;
        RTSTATUS rc = RTLdrLoadSystemLib("ws2_32.dll", true, &hLdrMod);
        if (RT_FAILURE(rc))
            rc = RTLdrLoadSystemLib("wsock32.dll", true, &hLdrMod);
        if (RT_FAILURE(rc))
            return;
        hModWinSock = reinterpret_cast<HMODULE>(RTLdrNativeHandleOf(hLdrMod));
        RTLdrRelease(hLdrMod);
    }
    rtR3InitResolveSymbols(hModWinSock, g_aWinSockSymbols);
}

static RTSTATUS rtR3InitPlatform(uint32_t fFlags)
{
    HMODULE const hModKernel32 = GetModuleHandleW(L"kernel32.dll");
    HMODULE const hModNtDll = GetModuleHandleW(L"ntdll.dll");
    if (!hModKernel32 || !hModNtDll)
        return ERR_INTERNAL_FAULT_2;
    g_hModKernel32 = hModKernel32;
    g_hModNtDll = hModNtDll;

    RTR3WINVERQUERIES const Queries =
    {
        rtR3InitLookup<PFNRTLGETVERSION>(hModNtDll, "RtlGetVersion"),
        rtR3InitLookup<PFNGETVERSIONEXW>(hModKernel32, "GetVersionExW"),
        GetVersion,
        rtR3InitLookup<PFNRTLGETNTPRODUCTTYPE>(hModNtDll, "RtlGetNtProductType"),
    };
    rtR3InitQueryWinVersion(&Queries, &g_WinOsInfoEx);
    g_enmWinVer = rtR3InitWinVerCode(&g_WinOsInfoEx);

    RTSTATUS rc = INF_SUCCESS;
    if (!(fFlags & RTINIT_F_DEFER_LOADER_CONFIG))
        rc = rtR3InitLoaderConfig(fFlags);

    rtR3InitResolveSymbols(hModKernel32, g_aKernel32XcptSymbols);
    rtR3InitResolveSymbols(hModKernel32, g_aKernel32Symbols);
    rtR3InitResolveSymbols(hModNtDll, g_aNtDllSymbols);
    rtR3InitSockets();
    return rc;
}

/*
 * The portable part.
 */

/** Reports a failed step to the release logger, when one exists. */
static void rtR3InitLogRelFailure(int iLine, const char *pszFunction, const char *pszDetailFormat, RTSTATUS rc)
{
    RTLOGINSTANCE *pRelLogger = RTLogRelGetDefaultInstance();
    if (!pRelLogger)
        return;
    RTLogPrintEx(pRelLogger, RTLOG_REL_ASSERT_FLAGS, RTLOG_REL_ASSERT_GROUP, "AssertLogRel %s(%d) %s: %s\n",
                 __FILE__, iLine, pszFunction, "RT_SUCCESS_NP(rc)");
    RTLogPrintEx(pRelLogger, RTLOG_REL_ASSERT_FLAGS, RTLOG_REL_ASSERT_GROUP, pszDetailFormat, rc);
}

static void rtR3ExitCallback(void)
{
    RTAtomicXchgU32(&g_fRTR3Terminating, 1);
    if (RTAtomicReadS32(&g_cRTR3Inits) > 0)
    {
        if (g_pLogDefault)
            RTLogInstanceFlush(g_pLogDefault);
        if (g_pLogRelease)
            RTLogInstanceFlush(g_pLogRelease);
    }
}

/** Stores a path of @p cchPath bytes (below RTR3INIT_PATH_MAX) in the executable path
 *  record, with its split. */
static void rtR3InitSetExecPath(const char *pszPath, size_t cchPath)
{
    RTPROCEXECPATH &Rec = g_ProcExecPath;
    for (size_t off = 0; off < cchPath; off++)
        Rec.szPath[off] = pszPath[off];
    Rec.szPath[cchPath] = '\0';

    size_t cchDir = 0;
    intptr_t offName = -1;
    RTPathSplitSimple(Rec.szPath, &cchDir, &offName, nullptr);
    Rec.cchPath = static_cast<uint32_t>(cchPath);
    Rec.cchDir  = static_cast<uint32_t>(cchDir);
    /* A path that names no file gets an empty name at its end rather than an offset that
     * points nowhere. */
    Rec.offName = offName >= 0 ? static_cast<uint32_t>(offName) : static_cast<uint32_t>(cchPath);
}

static RTSTATUS rtR3InitProgramPath(const char *pszProgramPath)
{
    size_t const cch = __builtin_strlen(pszProgramPath);
    if (cch >= RTR3INIT_PATH_MAX)
        return ERR_BUFFER_TOO_SMALL;
    rtR3InitSetExecPath(pszProgramPath, cch);
    return INF_SUCCESS;
}

/** Records the first non-empty argument vector; a later one must be the same vector with
 *  the same count. The vector is kept as the caller's, not copied. */
static RTSTATUS rtR3InitRecordArgs(int cArgs, char ***ppapszArgs)
{
    if (cArgs == 0)
        return INF_SUCCESS;
    if (g_cRTR3InitArgs == -1)
    {
        g_cRTR3InitArgs = cArgs;
        g_papszRTR3InitArgs = *ppapszArgs;
        return INF_SUCCESS;
    }
    if (g_cRTR3InitArgs != cArgs || g_papszRTR3InitArgs != *ppapszArgs)
        return ERR_WRONG_STATE;
    return INF_SUCCESS;
}

static RTSTATUS rtR3InitBody(uint32_t fFlags, int cArgs, char ***ppapszArgs, const char *pszProgramPath)
{
    RTSTATUS rc = rtR3InitPlatform(fFlags);
    if (RT_FAILURE(rc))
        return rc;

    g_uRTR3ProcessId = GetCurrentProcessId();
    g_fRTR3InitFlags |= fFlags;

    rc = rtThreadRegistryInit();
    if (RT_FAILURE(rc))
        return rc;

    if (pszProgramPath)
    {
        rc = rtR3InitProgramPath(pszProgramPath);
        if (RT_FAILURE(rc))
            return rc;
    }
    else
    {
        /* Converted aside so that a failure leaves start-up's record as it was. */
        char szPath[RTR3INIT_PATH_MAX];
        rc = rtProcInitExePath(szPath, sizeof(szPath));
        if (RT_FAILURE(rc))
        {
            rtR3InitLogRelFailure(__LINE__, __PRETTY_FUNCTION__, "Failed to get executable directory path, rc=%Rrc!\n", rc);
            return rc;
        }
        rtR3InitSetExecPath(szPath, __builtin_strlen(szPath));
    }

    rc = rtR3InitRecordArgs(cArgs, ppapszArgs);
    if (RT_FAILURE(rc))
    {
        rtR3InitLogRelFailure(__LINE__, __PRETTY_FUNCTION__, "Failed to convert the arguments, rc=%Rrc!\n", rc);
        return rc;
    }

    g_u64RTTimeProgramStartNs = RTTimeMonoNs();
    rtAtExitRegister(rtR3ExitCallback);
    return INF_SUCCESS;
}

/** A call after the first: merges the flags, performs a deferred loader configuration and
 *  checks the arguments against the recorded ones. */
static RTSTATUS rtR3InitAgain(uint32_t fFlags, int cArgs, char ***ppapszArgs, const char *pszProgramPath)
{
    g_fRTR3InitFlags |= fFlags & RTR3INIT_F_MERGED_LATER;
    if (!(fFlags & RTINIT_F_DEFER_LOADER_CONFIG) && (g_fRTR3InitFlags & RTINIT_F_DEFER_LOADER_CONFIG))
    {
        g_fRTR3InitFlags &= ~RTINIT_F_DEFER_LOADER_CONFIG;
        g_fRTR3InitFlags |= fFlags & RTINIT_F_SYSTEM32_ONLY;
        /* The caller asked for the hardening now; it must learn when it did not happen. */
        RTSTATUS const rc = rtR3InitLoaderConfig(g_fRTR3InitFlags);
        if (RT_FAILURE(rc))
            return rc;
    }

    if (pszProgramPath)
    {
        RTSTATUS const rc = rtR3InitProgramPath(pszProgramPath);
        if (RT_FAILURE(rc))
            return rc;
    }

    return rtR3InitRecordArgs(cArgs, ppapszArgs);
}

RTSTATUS rtR3InitOnce(uint32_t fFlags, int cArgs, char ***ppapszArgs, const char *pszProgramPath)
{
    /* Refused before anything is counted or recorded. */
    if (cArgs < 0)
        return ERR_BAD_ARGUMENT;
    if (cArgs != 0 && (!RT_VALID_PTR(ppapszArgs) || !RT_VALID_PTR(*ppapszArgs)))
        return ERR_BAD_POINTER;
    if (pszProgramPath && !RT_VALID_PTR(pszProgramPath))
        return ERR_BAD_POINTER;

    if (RTAtomicIncS32(&g_cRTR3Inits) != 1)
        return rtR3InitAgain(fFlags, cArgs, ppapszArgs, pszProgramPath);

    RTAtomicXchgU32(&g_fRTR3Initialising, 1);
    RTSTATUS const rc = rtR3InitBody(fFlags, cArgs, ppapszArgs, pszProgramPath);
    RTAtomicXchgU32(&g_fRTR3Initialising, 0);
    if (RT_FAILURE(rc))
    {
        RTAtomicDecS32(&g_cRTR3Inits);
        return rc;
    }
    return INF_SUCCESS;
}

RTSTATUS RTR3InitForExe(int cArgs, char ***ppapszArgs, uint32_t fFlags)
{
    return rtR3InitOnce(fFlags, cArgs, ppapszArgs, nullptr);
}

bool RTR3InitIsInitialized(void)
{
    return RTAtomicReadS32(&g_cRTR3Inits) > 0 && !RTAtomicReadU32(&g_fRTR3Initialising);
}

bool RTR3InitIsTerminating(void)
{
    return RTAtomicReadU32(&g_fRTR3Terminating) != 0;
}
