/* Runtime initialisation, the Windows half: the operating system's version, the loader's
 * search rules and exception filter, and the optional entry points other modules use. */
#include "internal/r3-win.h"
#include "internal/init.h"
#include "rt/ldr.h"
#include <type_traits>

RTWINVER g_enmWinVer = RTWINVER_UNKNOWN;
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


/*
 * Windows version codes.
 */

namespace {

/** One row of the version table. Rows with the same platform, major and minor versions
 *  follow one another in rising build order, so a row needs only its last build; a release
 *  that tells workstations from servers gives both codes in one row. */
struct RTR3WINVERROW
{
    uint16_t uBuildLast;                    /**< low 16 bits of the build number */
    uint8_t  uPlatform;
    uint8_t  uMajor;                        /**< RTR3WIN_ALL: any major version */
    uint8_t  uMinorFirst, uMinorLast;       /**< RTR3WIN_ALL as the last: no upper bound */
    uint8_t  enmVerWorkstation, enmVerOther; /**< RTWINVER, by product type */
};
static_assert(sizeof(RTR3WINVERROW) == 8, "a version row packs into 8 bytes");

constexpr uint8_t RTR3WIN_ALL = UINT8_MAX;
constexpr uint16_t RTR3WIN_ALL_BUILDS = UINT16_MAX;

/** The upper bound a row's last minor version stands for. */
constexpr uint32_t rtR3WinVerLast(uint8_t uLast)
{
    return uLast == RTR3WIN_ALL ? UINT32_MAX : uLast;
}

/* First matching row wins; the last row catches every other NT-family version. */
constexpr RTR3WINVERROW g_aWinVerRows[] =
{
    /* Windows 95, its OSR releases, 98 and Me; builds below the first release have no code. */
    {                949, VER_PLATFORM_WIN32_WINDOWS,           4,  0,           9, RTWINVER_UNKNOWN,  RTWINVER_UNKNOWN },
    {                950, VER_PLATFORM_WIN32_WINDOWS,           4,  0,           9, RTWINVER_95,       RTWINVER_95 },
    {               1080, VER_PLATFORM_WIN32_WINDOWS,           4,  0,           9, RTWINVER_95_SP1,   RTWINVER_95_SP1 },
    { RTR3WIN_ALL_BUILDS, VER_PLATFORM_WIN32_WINDOWS,           4,  0,           9, RTWINVER_95_OSR2,  RTWINVER_95_OSR2 },
    {               1997, VER_PLATFORM_WIN32_WINDOWS,           4, 10,          10, RTWINVER_UNKNOWN,  RTWINVER_UNKNOWN },
    {               1998, VER_PLATFORM_WIN32_WINDOWS,           4, 10,          10, RTWINVER_98,       RTWINVER_98 },
    {               2182, VER_PLATFORM_WIN32_WINDOWS,           4, 10,          10, RTWINVER_98_SP1,   RTWINVER_98_SP1 },
    { RTR3WIN_ALL_BUILDS, VER_PLATFORM_WIN32_WINDOWS,           4, 10,          10, RTWINVER_98_SE,    RTWINVER_98_SE },
    { RTR3WIN_ALL_BUILDS, VER_PLATFORM_WIN32_WINDOWS,           4, 90,          90, RTWINVER_ME,       RTWINVER_ME },
    /* NT 3.x and 4. */
    { RTR3WIN_ALL_BUILDS, VER_PLATFORM_WIN32_NT,                3,  0,          49, RTWINVER_NT310,    RTWINVER_NT310 },
    { RTR3WIN_ALL_BUILDS, VER_PLATFORM_WIN32_NT,                3, 50,          50, RTWINVER_NT350,    RTWINVER_NT350 },
    { RTR3WIN_ALL_BUILDS, VER_PLATFORM_WIN32_NT,                3, 51, RTR3WIN_ALL, RTWINVER_NT351,    RTWINVER_NT351 },
    { RTR3WIN_ALL_BUILDS, VER_PLATFORM_WIN32_NT,                4,  0, RTR3WIN_ALL, RTWINVER_NT4,      RTWINVER_NT4 },
    /* 2000, XP, Server 2003 and later 5.x. */
    { RTR3WIN_ALL_BUILDS, VER_PLATFORM_WIN32_NT,                5,  0,           0, RTWINVER_2K,       RTWINVER_2K },
    { RTR3WIN_ALL_BUILDS, VER_PLATFORM_WIN32_NT,                5,  1,           1, RTWINVER_XP,       RTWINVER_XP },
    { RTR3WIN_ALL_BUILDS, VER_PLATFORM_WIN32_NT,                5,  2, RTR3WIN_ALL, RTWINVER_2003,     RTWINVER_2003 },
    /* Vista to 10 preview, workstation and server. */
    { RTR3WIN_ALL_BUILDS, VER_PLATFORM_WIN32_NT,                6,  0,           0, RTWINVER_VISTA,    RTWINVER_2008 },
    { RTR3WIN_ALL_BUILDS, VER_PLATFORM_WIN32_NT,                6,  1,           1, RTWINVER_7,        RTWINVER_2008_R2 },
    { RTR3WIN_ALL_BUILDS, VER_PLATFORM_WIN32_NT,                6,  2,           2, RTWINVER_8,        RTWINVER_2012 },
    { RTR3WIN_ALL_BUILDS, VER_PLATFORM_WIN32_NT,                6,  3,           3, RTWINVER_81,       RTWINVER_2012_R2 },
    { RTR3WIN_ALL_BUILDS, VER_PLATFORM_WIN32_NT,                6,  4,           4, RTWINVER_10,       RTWINVER_2016 },
    /* 10 and 11 share major 10 and tell themselves apart by build. */
    {              17762, VER_PLATFORM_WIN32_NT,               10,  0,           0, RTWINVER_10,       RTWINVER_2016 },
    {              20347, VER_PLATFORM_WIN32_NT,               10,  0,           0, RTWINVER_10,       RTWINVER_2019 },
    {              21999, VER_PLATFORM_WIN32_NT,               10,  0,           0, RTWINVER_10,       RTWINVER_2022 },
    {              26099, VER_PLATFORM_WIN32_NT,               10,  0,           0, RTWINVER_11,       RTWINVER_2022 },
    { RTR3WIN_ALL_BUILDS, VER_PLATFORM_WIN32_NT,               10,  0,           0, RTWINVER_11,       RTWINVER_2025 },
    /* Anything newer or unknown in the NT family. */
    { RTR3WIN_ALL_BUILDS, VER_PLATFORM_WIN32_NT,      RTR3WIN_ALL,  0, RTR3WIN_ALL, RTWINVER_NT_NEWER, RTWINVER_NT_NEWER },
};

constexpr RTWINVER rtR3WinVerLookup(uint32_t uPlatform, uint32_t uMajor, uint32_t uMinor, uint32_t uBuild,
                                    uint8_t bProductType)
{
    for (const RTR3WINVERROW &Row : g_aWinVerRows)
        if (   Row.uPlatform == uPlatform
            && (Row.uMajor == RTR3WIN_ALL || Row.uMajor == uMajor)
            && uMinor >= Row.uMinorFirst && uMinor <= rtR3WinVerLast(Row.uMinorLast)
            && static_cast<uint16_t>(uBuild) <= Row.uBuildLast)
            return static_cast<RTWINVER>(bProductType == VER_NT_WORKSTATION ? Row.enmVerWorkstation
                                                                            : Row.enmVerOther);
    return RTWINVER_UNKNOWN;
}

/** Whether every row can be reached: a row that repeats its predecessor's versions must
 *  go further in builds. */
constexpr bool rtR3WinVerRowsOrdered()
{
    for (size_t i = 1; i < sizeof(g_aWinVerRows) / sizeof(g_aWinVerRows[0]); i++)
    {
        const RTR3WINVERROW &Prev = g_aWinVerRows[i - 1], &Row = g_aWinVerRows[i];
        if (   Prev.uPlatform == Row.uPlatform && Prev.uMajor == Row.uMajor
            && Prev.uMinorFirst == Row.uMinorFirst && Prev.uBuildLast >= Row.uBuildLast)
            return false;
    }
    return true;
}
static_assert(rtR3WinVerRowsOrdered());

/* The rows must not shadow one another at the boundaries that separate releases. */
static_assert(rtR3WinVerLookup(VER_PLATFORM_WIN32_NT, 10, 0, 21999, VER_NT_WORKSTATION) == RTWINVER_10);
static_assert(rtR3WinVerLookup(VER_PLATFORM_WIN32_NT, 10, 0, 22000, VER_NT_WORKSTATION) == RTWINVER_11);
static_assert(rtR3WinVerLookup(VER_PLATFORM_WIN32_NT, 10, 0, 26100, VER_NT_SERVER) == RTWINVER_2025);
static_assert(rtR3WinVerLookup(VER_PLATFORM_WIN32_WINDOWS, 4, 11, 3000, 0) == RTWINVER_UNKNOWN);
} /* namespace */

RTWINVER rtR3InitWinVerCode(const OSVERSIONINFOEXW *pInfo)
{
    return rtR3WinVerLookup(pInfo->dwPlatformId, pInfo->dwMajorVersion, pInfo->dwMinorVersion,
                            pInfo->dwBuildNumber, pInfo->wProductType);
}

/** Out of line: the record is cleared before every query, four times in all. */
__attribute__((noinline)) static void rtR3InitResetVersionInfo(OSVERSIONINFOEXW *pInfo, DWORD cbSize)
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

namespace {

struct RTR3INITSYMBOL
{
    const char *pszName;
    void       *pvSlot;     /**< the entry-point variable, of some function pointer type */
};

/** An entry of the table below for the entry-point variable @a a_rpfnSlot. */
template <auto &a_rpfnSlot>
constexpr RTR3INITSYMBOL rtR3InitSymbol(const char *pszName)
{
    static_assert(std::is_pointer_v<std::remove_reference_t<decltype(a_rpfnSlot)>>
                  && sizeof(a_rpfnSlot) == sizeof(FARPROC), "an entry point is stored as it is returned");
    return { pszName, &a_rpfnSlot };
}

/* Needed by the exception filter set-up, which may run in a later call. */
constexpr RTR3INITSYMBOL g_aKernel32XcptSymbols[] =
{
    rtR3InitSymbol<g_pfnGetCurrentThreadStackLimits>("GetCurrentThreadStackLimits"),
    rtR3InitSymbol<g_pfnSetUnhandledExceptionFilter>("SetUnhandledExceptionFilter"),
    rtR3InitSymbol<g_pfnUnhandledExceptionFilter>("UnhandledExceptionFilter"),
};

constexpr RTR3INITSYMBOL g_aKernel32Symbols[] =
{
    rtR3InitSymbol<g_pfnIsDebuggerPresent>("IsDebuggerPresent"),
    rtR3InitSymbol<g_pfnIsProcessorFeaturePresent>("IsProcessorFeaturePresent"),
    rtR3InitSymbol<g_pfnGetSystemTimeAsFileTime>("GetSystemTimeAsFileTime"),
};

constexpr RTR3INITSYMBOL g_aNtDllSymbols[] =
{
    rtR3InitSymbol<g_pfnNtQueryFullAttributesFile>("NtQueryFullAttributesFile"),
};

/* Only to keep the thread's socket error intact around diagnostic output. */
constexpr RTR3INITSYMBOL g_aWinSockSymbols[] =
{
    rtR3InitSymbol<g_pfnWSAGetLastError>("WSAGetLastError"),
    rtR3InitSymbol<g_pfnWSASetLastError>("WSASetLastError"),
};

/** Looks up every entry of a table and stores what it finds, null included. */
void rtR3InitResolveSymbols(HMODULE hMod, const RTR3INITSYMBOL *paSymbols, size_t cSymbols)
{
    for (size_t i = 0; i < cSymbols; i++)
    {
        /* Copied as bytes: the variables have other function pointer types. */
        FARPROC const pfn = GetProcAddress(hMod, paSymbols[i].pszName);
        __builtin_memcpy(paSymbols[i].pvSlot, &pfn, sizeof(pfn));
    }
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

    bool const fSystem32Only = (fFlags & RTINIT_F_SYSTEM32_ONLY) != 0;
    if (fSystem32Only || g_enmWinVer >= RTWINVER_2008)
    {
        typedef BOOL (WINAPI *PFNSETDEFAULTDLLDIRECTORIES)(DWORD);
        PFNSETDEFAULTDLLDIRECTORIES const pfnSetDefaultDllDirectories
            = rtR3InitLookup<PFNSETDEFAULTDLLDIRECTORIES>(g_hModKernel32, "SetDefaultDllDirectories");
        DWORD const fSearch = fSystem32Only
                            ? LOAD_LIBRARY_SEARCH_SYSTEM32
                            : LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_APPLICATION_DIR;
        if (pfnSetDefaultDllDirectories && !pfnSetDefaultDllDirectories(fSearch) && RT_SUCCESS(rc))
            rc = ERR_INTERNAL_FAULT_4;
    }

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
    rtR3InitResolveSymbols(hModWinSock, g_aWinSockSymbols, RT_ELEMENTS(g_aWinSockSymbols));
}

RTSTATUS rtR3InitPlatform(uint32_t fFlags)
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

    /* Bound before the loader configuration, which installs the exception filter through
     * them, now or in a later call. */
    rtR3InitResolveSymbols(hModKernel32, g_aKernel32XcptSymbols, RT_ELEMENTS(g_aKernel32XcptSymbols));
    RTSTATUS rc = INF_SUCCESS;
    if (!(fFlags & RTINIT_F_DEFER_LOADER_CONFIG))
        rc = rtR3InitLoaderConfig(fFlags);

    rtR3InitResolveSymbols(hModKernel32, g_aKernel32Symbols, RT_ELEMENTS(g_aKernel32Symbols));
    rtR3InitResolveSymbols(hModNtDll, g_aNtDllSymbols, RT_ELEMENTS(g_aNtDllSymbols));
    rtR3InitSockets();
    g_uRTR3ProcessId = GetCurrentProcessId();
    return rc;
}
