/* The native loader on Windows: system libraries by bare name from the system directory
 * (side-by-side redirection honoured only inside the Windows directory tree), libraries by
 * full path, and the native module operations. */
#include "internal/log.h"
#include "internal/r3-win.h"
#include <winternl.h>
#include "internal/ldr.h"
#include "internal/path.h"
#include "rt/assert.h"
#include "rt/log.h"
#include "rt/path.h"
#include "rt/string.h"

typedef LONG (NTAPI *PFNRTLDOSAPPLYFILEISOLATIONREDIRECTIONUSTR)(ULONG fFlags, PCUNICODE_STRING pOrgName,
                                                                 PCUNICODE_STRING pDefaultExt,
                                                                 PUNICODE_STRING pStaticString,
                                                                 PUNICODE_STRING pDynamicString,
                                                                 PUNICODE_STRING *ppNewName, PULONG pfNewFlags,
                                                                 PSIZE_T pcbFilename, PSIZE_T pcbRequired);
typedef VOID (NTAPI *PFNRTLFREEUNICODESTRING)(PUNICODE_STRING);

static PFNRTLDOSAPPLYFILEISOLATIONREDIRECTIONUSTR g_pfnRtlDosApplyFileIsolationRedirection_Ustr = nullptr;
static bool g_fRedirectionLookedUp = false;
/** Whether LoadLibraryExW takes the restricted search flags: 0 not tried, 1 yes, -1 no. */
static int g_iSearchFlagsUsable = 0;

namespace {

constexpr DWORD RTLDR_SEARCH_LOAD_DIR_FLAGS = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_APPLICATION_DIR
                                    | LOAD_LIBRARY_SEARCH_SYSTEM32;
constexpr size_t RTLDR_PATH_MAX = 4100;

} /* namespace */

/*
 * Native module operations.
 */

static RTSTATUS rtldrNativeClose(RTLDRMODINTERNAL *pMod)
{
    if (!(pMod->fFlags & RTLDRF_KEEP_LOADED) && pMod->hNative != RTLDR_NATIVE_NIL)
        FreeLibrary(reinterpret_cast<HMODULE>(pMod->hNative));
    pMod->hNative = RTLDR_NATIVE_NIL;
    return INF_SUCCESS;
}

static RTSTATUS rtldrNativeGetSymbol(RTLDRMODINTERNAL *pMod, const char *pszSymbol, void **ppvValue)
{
    FARPROC const pfn = GetProcAddress(reinterpret_cast<HMODULE>(pMod->hNative), pszSymbol);
    *ppvValue = reinterpret_cast<void *>(pfn);
    if (!pfn)
        return RTErrConvertFromWinError(GetLastError());
    return INF_SUCCESS;
}

static RTSTATUS rtldrNativeDone(RTLDRMODINTERNAL *)
{
    return INF_SUCCESS;
}

static RTSTATUS rtldrNativeEnumSymbols(RTLDRMODINTERNAL *)
{
    return ERR_UNSUPPORTED;
}

const RTLDROPS g_rtldrNativeOps =
{
    "native", rtldrNativeClose, rtldrNativeGetSymbol, rtldrNativeDone, rtldrNativeEnumSymbols, {},
    RTLDROPS_END_MARKER
};

/*
 * Loading.
 */

/** The loader cannot be used before initialisation has restricted the search path.
 *  @p pszPrettyFunction is the caller's full signature, @p pszFunction its bare name. */
static void rtldrNativeCheckConfigured(const char *pszPrettyFunction, const char *pszFunction, const char *pszName)
{
    if (g_hModKernel32)
        return;
    RTAssertReportLocation("g_hModKernel32", __LINE__, __FILE__, pszPrettyFunction);
    RTAssertReportDetail("%s(%s,,) is called before ZUNT has configured the windows loader!\n", pszFunction, pszName);
    RTAssertPanicPolicy();
    __asm__ __volatile__("int3");
}

RTSTATUS rtldrNativeLoad(const char *pszFilename, RTLDRNATIVEHANDLE *phNative, uint32_t fFlags, RTERRINFO *pErrInfo)
{
    if (fFlags & RTLDRF_LOCAL)
        return ERR_BAD_FLAGS;
    if (!RTPathStartsWithRoot(pszFilename))
    {
        rtLogRelAssert(__FILE__, __LINE__, __PRETTY_FUNCTION__, "RTPathStartsWithRoot(pszFilename)",
                       "pszFilename='%s'\n", pszFilename);
        return ERR_INTERNAL_FAULT_2;
    }
    rtldrNativeCheckConfigured(__PRETTY_FUNCTION__, __func__, pszFilename);

    RTUTF16 *pwszPath = nullptr;
    RTSTATUS rc = RTStrToUtf16(pszFilename, &pwszPath);
    if (RT_SUCCESS(rc) && !RTPathSuffix(pszFilename) && !(fFlags & RTLDRF_NO_DEFAULT_SUFFIX))
    {
        size_t const cwc = RTUtf16Length(pwszPath);
        if (RT_SUCCESS(RTUtf16Resize(&pwszPath, (cwc + 5) * sizeof(RTUTF16))))
        {
            static const char s_szSuffix[] = ".DLL";
            for (size_t i = 0; i < sizeof(s_szSuffix); i++)
                pwszPath[cwc + i] = static_cast<RTUTF16>(s_szSuffix[i]);
        }
        else
            rc = ERR_UTF16_ALLOC_FAILED;
    }
    if (RT_FAILURE(rc))
    {
        RTUtf16Release(pwszPath);
        return RTErrInfoStore(pErrInfo, rc, "Error converting UTF-8 to UTF-16 string.");
    }
    for (RTUTF16 *pwc = pwszPath; *pwc; pwc++)
        if (*pwc == '/')
            *pwc = '\\';

    DWORD const fSearch = (fFlags & RTLDRF_SEARCH_LOAD_DIR) && g_iSearchFlagsUsable != -1
                        ? RTLDR_SEARCH_LOAD_DIR_FLAGS : 0;
    HMODULE hMod = LoadLibraryExW(pwszPath, nullptr, fSearch);
    if (fSearch && g_iSearchFlagsUsable == 0)
    {
        /* Systems without the restricted search refuse its flags as invalid. */
        if (!hMod && GetLastError() == ERROR_INVALID_PARAMETER)
        {
            g_iSearchFlagsUsable = -1;
            hMod = LoadLibraryExW(pwszPath, nullptr, 0);
        }
        else
            g_iSearchFlagsUsable = 1;
    }

    if (hMod)
    {
        *phNative = reinterpret_cast<RTLDRNATIVEHANDLE>(hMod);
        RTUtf16Release(pwszPath);
        return INF_SUCCESS;
    }
    DWORD const uErr = GetLastError();
    RTUtf16Release(pwszPath);
    return RTErrInfoStoreF(pErrInfo, RTErrConvertFromWinError(uErr), "GetLastError=%u", static_cast<unsigned>(uErr));
}


/** @p wc with A-Z turned to lower case, for comparisons without regard to case. */
static inline RTUTF16 rtldrFoldW(RTUTF16 wc)
{
    return wc >= 'A' && wc <= 'Z' ? static_cast<RTUTF16>(wc + 'a' - 'A') : wc;
}

/** Counts the separator runs that @p pwszPath (@p cwcPath units) shares with the start of
 *  @p pwszSysDir, not counting a run at the very start. */
static unsigned rtldrCountSharedLevels(const RTUTF16 *pwszPath, size_t cwcPath, const RTUTF16 *pwszSysDir)
{
    unsigned cRuns = 0;
    size_t iPath = 0, iSys = 0;
    while (iPath < cwcPath && pwszSysDir[iSys])
    {
        RTUTF16 const wc1 = pwszPath[iPath], wc2 = pwszSysDir[iSys];
        if (rtPathIsAnySep(wc1) && rtPathIsAnySep(wc2))
        {
            if (iPath != 0)
                cRuns++;
            while (iPath < cwcPath && rtPathIsAnySep(pwszPath[iPath]))
                iPath++;
            while (rtPathIsAnySep(pwszSysDir[iSys]))
                iSys++;
            continue;
        }
        if (rtldrFoldW(wc1) != rtldrFoldW(wc2))
            break;
        iPath++;
        iSys++;
    }
    return cRuns;
}

/** Whether a component of @p pwszPath consists of dots (and spaces) only: "." and ".."
 *  climb out of the directory the path appears to be in, and the platform strips trailing
 *  dots and spaces, so "..." and ". ." may act as either. */
static bool rtldrHasDotComponent(const RTUTF16 *pwszPath, size_t cwcPath)
{
    bool fDotsOnly = true, fAnyDot = false;      /* of the component so far */
    for (size_t i = 0; i <= cwcPath; i++)
    {
        RTUTF16 const wc = i < cwcPath ? pwszPath[i] : '\\';
        if (rtPathIsAnySep(wc))
        {
            if (fDotsOnly && fAnyDot)
                return true;
            fDotsOnly = true;
            fAnyDot = false;
        }
        else if (wc == '.')
            fAnyDot = true;
        else if (wc != ' ')
            fDotsOnly = false;
    }
    return false;
}

bool rtldrNativeIsTrustedRedirection(const RTUTF16 *pwszPath, size_t cwcPath, const RTUTF16 *pwszSysDir)
{
    /* Sharing the drive and the Windows directory with the system directory is not enough
     * when a component leads back out of it. */
    return rtldrCountSharedLevels(pwszPath, cwcPath, pwszSysDir) >= 2 && !rtldrHasDotComponent(pwszPath, cwcPath);
}

namespace {

/** The default extension of a library name. */
constexpr WCHAR g_wszRtldrDefExt[] = L".dll";

/** Room for a redirected path: the static result buffer the platform fills (520 bytes). */
constexpr size_t RTLDR_REDIRECTED_MAX = 260;

} /* namespace */

/** Asks ntdll where side-by-side redirection sends the library @p pwszName (".dll" by
 *  default). Returns the redirected path's length in @p pwszOut, 0 for no redirection. */
static size_t rtldrNativeRedirectNt(const RTUTF16 *pwszName, size_t cwcName, RTUTF16 *pwszOut)
{
    UNICODE_STRING OrgName = { static_cast<USHORT>(cwcName * sizeof(WCHAR)),
                               static_cast<USHORT>(cwcName * sizeof(WCHAR)), const_cast<PWSTR>(pwszName) };
    /* Only read by the call: no copy on the stack. */
    UNICODE_STRING DefExt = { 8, 10, const_cast<PWSTR>(g_wszRtldrDefExt) };
    UNICODE_STRING StaticStr = { 0, static_cast<USHORT>(RTLDR_REDIRECTED_MAX * sizeof(WCHAR) - sizeof(WCHAR)), pwszOut };
    UNICODE_STRING DynamicStr = { 0, 0, nullptr };
    PUNICODE_STRING pResult = nullptr;
    LONG const rcNt = g_pfnRtlDosApplyFileIsolationRedirection_Ustr(1, &OrgName, &DefExt, &StaticStr, &DynamicStr,
                                                                   &pResult, nullptr, nullptr, nullptr);
    size_t cwcResult = 0;
    if (rcNt >= 0 && pResult)
    {
        cwcResult = pResult->Length / sizeof(WCHAR);
        if (pResult->Buffer != pwszOut)
        {
            if (cwcResult < RTLDR_REDIRECTED_MAX)
                memcpy(pwszOut, pResult->Buffer, cwcResult * sizeof(WCHAR));
            else
                cwcResult = 0;
        }
    }
    if (DynamicStr.Buffer)
    {
        PFNRTLFREEUNICODESTRING const pfnFree = reinterpret_cast<PFNRTLFREEUNICODESTRING>(
            reinterpret_cast<void *>(GetProcAddress(g_hModNtDll, "RtlFreeUnicodeString")));
        if (pfnFree)
            pfnFree(&DynamicStr);
    }
    return cwcResult;
}

/** Compares @p cwc units, letters A-Z without regard to case. */
static bool rtldrNativeEqualsIW(const RTUTF16 *pwsz1, const RTUTF16 *pwsz2, size_t cwc)
{
    for (size_t i = 0; i < cwc; i++)
        if (rtldrFoldW(pwsz1[i]) != rtldrFoldW(pwsz2[i]))
            return false;
    return true;
}

/** Appends @p cwc units of @p pwsz at @p *poff in @p pwszOut, keeping room for a
 *  terminator; false when they do not fit. */
static bool rtldrNativeAppendW(RTUTF16 *pwszOut, size_t *poff, const RTUTF16 *pwsz, size_t cwc)
{
    if (*poff + cwc >= RTLDR_REDIRECTED_MAX)
        return false;
    memcpy(&pwszOut[*poff], pwsz, cwc * sizeof(RTUTF16));
    *poff += cwc;
    pwszOut[*poff] = '\0';
    return true;
}

/** The same question for platforms whose ntdll lacks that entry point (Wine), answered
 *  from the active activation context through kernel32: the assembly that redirects the
 *  name lives either beside its manifest (a private assembly, whose manifest is not named
 *  after its store directory) or in the Windows directory's side-by-side store. */
static size_t rtldrNativeRedirectActCtx(const RTUTF16 *pwszName, size_t cwcName, RTUTF16 *pwszOut)
{
    /* The name with the default extension when it has none. */
    WCHAR wszFile[MAX_PATH + 4];
    size_t cwcFile = 0;
    if (!rtldrNativeAppendW(wszFile, &cwcFile, pwszName, cwcName))
        return 0;
    bool fHasDot = false;
    for (size_t i = 0; i < cwcName; i++)
        fHasDot |= pwszName[i] == '.';
    if (!fHasDot && !rtldrNativeAppendW(wszFile, &cwcFile, g_wszRtldrDefExt, 4))
        return 0;

    /* Looked up rather than imported: the oldest systems have neither. */
    auto const pfnFind = reinterpret_cast<decltype(&FindActCtxSectionStringW)>(
        reinterpret_cast<void *>(GetProcAddress(g_hModKernel32, "FindActCtxSectionStringW")));
    auto const pfnQuery = reinterpret_cast<decltype(&QueryActCtxW)>(
        reinterpret_cast<void *>(GetProcAddress(g_hModKernel32, "QueryActCtxW")));
    auto const pfnRelease = reinterpret_cast<decltype(&ReleaseActCtx)>(
        reinterpret_cast<void *>(GetProcAddress(g_hModKernel32, "ReleaseActCtx")));
    if (!pfnFind || !pfnQuery || !pfnRelease)
        return 0;
    ACTCTX_SECTION_KEYED_DATA Data = {};
    Data.cbSize = sizeof(Data);
    if (!pfnFind(FIND_ACTCTX_SECTION_KEY_RETURN_HACTCTX, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, wszFile,
                 &Data))
        return 0;
    union
    {
        ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION Info;
        uint8_t ab[4096];
    } u;
    SIZE_T cbNeeded = 0;
    ULONG iAssembly = Data.ulAssemblyRosterIndex;
    BOOL const fQueried = pfnQuery(0, Data.hActCtx, &iAssembly, AssemblyDetailedInformationInActivationContext, &u,
                                   sizeof(u), &cbNeeded);
    pfnRelease(Data.hActCtx);
    if (!fQueried)
        return 0;

    size_t off = 0;
    const WCHAR *pwszManifest = u.Info.lpAssemblyManifestPath;
    size_t const cwcDirName = u.Info.ulAssemblyDirectoryNameLength / sizeof(WCHAR);
    const WCHAR *pwszManifestName = nullptr;
    if (pwszManifest)
        for (const WCHAR *pwc = pwszManifest; *pwc; pwc++)
            if (*pwc == '\\')
                pwszManifestName = pwc + 1;
    if (pwszManifestName)
    {
        /* "<store directory>.manifest" marks an assembly of the store. */
        size_t const cwcManifestName = RTUtf16Length(pwszManifestName);
        bool const fStore =    cwcDirName
                            && cwcManifestName == cwcDirName + 9
                            && rtldrNativeEqualsIW(pwszManifestName, u.Info.lpAssemblyDirectoryName, cwcDirName)
                            && rtldrNativeEqualsIW(pwszManifestName + cwcDirName, L".manifest", 9);
        if (!fStore)
        {
            if (   !rtldrNativeAppendW(pwszOut, &off, pwszManifest, static_cast<size_t>(pwszManifestName - pwszManifest))
                || !rtldrNativeAppendW(pwszOut, &off, wszFile, cwcFile))
                return 0;
            return off;
        }
    }
    if (!cwcDirName)
        return 0;
    WCHAR wszWinDir[MAX_PATH];
    UINT const cwcWinDir = GetWindowsDirectoryW(wszWinDir, MAX_PATH);
    if (   !cwcWinDir || cwcWinDir >= MAX_PATH
        || !rtldrNativeAppendW(pwszOut, &off, wszWinDir, cwcWinDir)
        || !rtldrNativeAppendW(pwszOut, &off, L"\\winsxs\\", 8)
        || !rtldrNativeAppendW(pwszOut, &off, u.Info.lpAssemblyDirectoryName, cwcDirName)
        || !rtldrNativeAppendW(pwszOut, &off, L"\\", 1)
        || !rtldrNativeAppendW(pwszOut, &off, wszFile, cwcFile))
        return 0;
    return off;
}

RTSTATUS rtldrNativeLoadSystem(const char *pszName, const char *pszSuffix, uint32_t fFlags, RTLDRMOD *phMod)
{
    rtldrNativeCheckConfigured(__PRETTY_FUNCTION__, __func__, pszName);
    if (!g_fRedirectionLookedUp)
    {
        g_pfnRtlDosApplyFileIsolationRedirection_Ustr = reinterpret_cast<PFNRTLDOSAPPLYFILEISOLATIONREDIRECTIONUSTR>(
            reinterpret_cast<void *>(GetProcAddress(g_hModNtDll, "RtlDosApplyFileIsolationRedirection_Ustr")));
        g_fRedirectionLookedUp = true;
    }

    WCHAR wszSysDir[MAX_PATH];
    UINT const cwcSysDir = GetSystemDirectoryW(wszSysDir, MAX_PATH);
    if (cwcSysDir >= MAX_PATH)
        return ERR_FILENAME_TOO_LONG;
    if (cwcSysDir == 0)
        return RTErrConvertFromWinError(GetLastError());

    char szPath[RTLDR_PATH_MAX];
    char *pszPath = szPath;

    /* A side-by-side redirection counts only when it stays inside the Windows directory
     * tree: one pointing next to the executable, or climbing out of the tree through "..",
     * would defeat the point of loading from the system directory. */
    bool fRedirected = false;
    WCHAR wszName[MAX_PATH];
    RTUTF16 *pwszName = wszName;
    size_t cwcName = 0;
    if (RT_SUCCESS(RTStrToUtf16Ex(pszName, SIZE_MAX, &pwszName, MAX_PATH, &cwcName)))
    {
        WCHAR wszRedirected[RTLDR_REDIRECTED_MAX];
        size_t const cwcRedirected = g_pfnRtlDosApplyFileIsolationRedirection_Ustr
                                   ? rtldrNativeRedirectNt(wszName, cwcName, wszRedirected)
                                   : rtldrNativeRedirectActCtx(wszName, cwcName, wszRedirected);
        fRedirected = cwcRedirected
                   && rtldrNativeIsTrustedRedirection(wszRedirected, cwcRedirected, wszSysDir)
                   && RT_SUCCESS(RTUtf16ToUtf8Ex(wszRedirected, cwcRedirected, &pszPath, sizeof(szPath), nullptr));
    }

    /* Otherwise the library is the system directory's. Either way it must be a plain file. */
    if (!fRedirected)
    {
        RTSTATUS rc = RTUtf16ToUtf8Ex(wszSysDir, cwcSysDir, &pszPath, sizeof(szPath), nullptr);
        if (RT_SUCCESS(rc))
            rc = RTPathAppendStr(szPath, sizeof(szPath), pszName);
        if (RT_SUCCESS(rc) && pszSuffix)
            rc = RTStrAppendBounded(szPath, sizeof(szPath), pszSuffix);
        if (RT_FAILURE(rc))
            return rc;
    }
    if (!RTPathIsRegularFile(szPath))
        return ERR_LIBRARY_MISSING;
    return RTLdrLoadNative(szPath, phMod, fFlags, nullptr);
}
