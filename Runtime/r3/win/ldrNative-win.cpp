/* The native loader on Windows: system libraries by bare name from the system directory
 * (side-by-side redirection honoured only inside the Windows directory tree), libraries by
 * full path, and the native module operations. */
#include "internal/r3-win.h"
#include <winternl.h>
#include "internal/ldr.h"
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

static constexpr DWORD RTLDR_SEARCH_LOAD_DIR_FLAGS = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_APPLICATION_DIR
                                           | LOAD_LIBRARY_SEARCH_SYSTEM32;
static constexpr size_t RTLDR_PATH_MAX = 4100;

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

/** The loader cannot be used before initialisation has restricted the search path. */
static void rtldrNativeCheckConfigured(const char *pszFunction, const char *pszWhat, const char *pszName)
{
    if (g_hModKernel32)
        return;
    RTAssertReportLocation("g_hModKernel32", __LINE__, __FILE__, pszFunction);
    RTAssertReportDetail(pszWhat, pszName);
    RTAssertPanicPolicy();
    __asm__ __volatile__("int3");
}

RTSTATUS rtldrNativeLoad(const char *pszFilename, RTLDRNATIVEHANDLE *phNative, uint32_t fFlags, RTERRINFO *pErrInfo)
{
    if (fFlags & RTLDRF_LOCAL)
        return ERR_BAD_FLAGS;
    if (!RTPathStartsWithRoot(pszFilename))
    {
        RTLOGINSTANCE *pRelLogger = RTLogRelGetDefaultInstance();
        if (pRelLogger)
        {
            RTLogPrintEx(pRelLogger, RTLOG_REL_ASSERT_FLAGS, RTLOG_REL_ASSERT_GROUP, "AssertLogRel %s(%d) %s: %s\n",
                         __FILE__, __LINE__, __PRETTY_FUNCTION__, "RTPathStartsWithRoot(pszFilename)");
            RTLogPrintEx(pRelLogger, RTLOG_REL_ASSERT_FLAGS, RTLOG_REL_ASSERT_GROUP, "pszFilename='%s'\n", pszFilename);
        }
        return ERR_INTERNAL_FAULT_2;
    }
    rtldrNativeCheckConfigured(__PRETTY_FUNCTION__,
                               "rtldrNativeLoad(%s,,) is called before ZUNT has configured the windows loader!\n",
                               pszFilename);

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

    HMODULE hMod;
    if ((fFlags & RTLDRF_SEARCH_LOAD_DIR) && g_iSearchFlagsUsable != -1)
    {
        hMod = LoadLibraryExW(pwszPath, nullptr, RTLDR_SEARCH_LOAD_DIR_FLAGS);
        if (g_iSearchFlagsUsable == 0)
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
    }
    else
        hMod = LoadLibraryExW(pwszPath, nullptr, 0);

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

static inline bool rtldrIsSepW(RTUTF16 wc)
{
    return wc == L'\\' || wc == L'/';
}

/** Counts the separator runs that @p pwszPath (@p cwcPath units) shares with the start of
 *  @p pwszSysDir, not counting a run at the very start. */
static unsigned rtldrCountSharedLevels(const RTUTF16 *pwszPath, size_t cwcPath, const RTUTF16 *pwszSysDir)
{
    unsigned cRuns = 0;
    size_t iPath = 0, iSys = 0;
    while (iPath < cwcPath && pwszSysDir[iSys])
    {
        RTUTF16 wc1 = pwszPath[iPath], wc2 = pwszSysDir[iSys];
        if (rtldrIsSepW(wc1) && rtldrIsSepW(wc2))
        {
            if (iPath != 0)
                cRuns++;
            while (iPath < cwcPath && rtldrIsSepW(pwszPath[iPath]))
                iPath++;
            while (rtldrIsSepW(pwszSysDir[iSys]))
                iSys++;
            continue;
        }
        if (wc1 < 127 && wc2 < 127)
        {
            if (wc1 >= 'A' && wc1 <= 'Z')
                wc1 += 'a' - 'A';
            if (wc2 >= 'A' && wc2 <= 'Z')
                wc2 += 'a' - 'A';
        }
        if (wc1 != wc2)
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
    size_t iStart = 0;
    for (size_t i = 0; i <= cwcPath; i++)
    {
        if (i < cwcPath && !rtldrIsSepW(pwszPath[i]))
            continue;
        bool fDotsOnly = i > iStart;
        bool fAnyDot = false;
        for (size_t j = iStart; j < i && fDotsOnly; j++)
        {
            fAnyDot |= pwszPath[j] == '.';
            fDotsOnly = pwszPath[j] == '.' || pwszPath[j] == ' ';
        }
        if (fDotsOnly && fAnyDot)
            return true;
        iStart = i + 1;
    }
    return false;
}

bool rtldrNativeIsTrustedRedirection(const RTUTF16 *pwszPath, size_t cwcPath, const RTUTF16 *pwszSysDir)
{
    /* Sharing the drive and the Windows directory with the system directory is not enough
     * when a component leads back out of it. */
    return rtldrCountSharedLevels(pwszPath, cwcPath, pwszSysDir) >= 2 && !rtldrHasDotComponent(pwszPath, cwcPath);
}

RTSTATUS rtldrNativeLoadSystem(const char *pszName, const char *pszSuffix, uint32_t fFlags, RTLDRMOD *phMod)
{
    rtldrNativeCheckConfigured(__PRETTY_FUNCTION__,
                               "rtldrNativeLoadSystem(%s,,) is called before ZUNT has configured the windows loader!\n",
                               pszName);
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
    WCHAR wszName[MAX_PATH];
    RTUTF16 *pwszName = wszName;
    size_t cwcName = 0;
    if (g_pfnRtlDosApplyFileIsolationRedirection_Ustr
        && RT_SUCCESS(RTStrToUtf16Ex(pszName, SIZE_MAX, &pwszName, MAX_PATH, &cwcName)))
    {
        UNICODE_STRING OrgName = { static_cast<USHORT>(cwcName * sizeof(WCHAR)),
                                   static_cast<USHORT>(cwcName * sizeof(WCHAR)), wszName };
        WCHAR wszDefExt[] = L".dll";
        UNICODE_STRING DefExt = { 8, 10, wszDefExt };
        WCHAR wszStatic[260];
        UNICODE_STRING StaticStr = { 0, 518, wszStatic };
        UNICODE_STRING DynamicStr = { 0, 0, nullptr };
        PUNICODE_STRING pResult = nullptr;
        LONG const rcNt = g_pfnRtlDosApplyFileIsolationRedirection_Ustr(1, &OrgName, &DefExt, &StaticStr, &DynamicStr,
                                                                       &pResult, nullptr, nullptr, nullptr);
        if (rcNt >= 0 && pResult)
        {
            size_t const cwcResult = pResult->Length / sizeof(WCHAR);
            RTSTATUS rcConv = ERR_WRONG_STATE;
            if (rtldrNativeIsTrustedRedirection(pResult->Buffer, cwcResult, wszSysDir))
                rcConv = RTUtf16ToUtf8Ex(pResult->Buffer, cwcResult, &pszPath, sizeof(szPath), nullptr);
            if (DynamicStr.Buffer)
            {
                PFNRTLFREEUNICODESTRING const pfnFree = reinterpret_cast<PFNRTLFREEUNICODESTRING>(
                    reinterpret_cast<void *>(GetProcAddress(g_hModNtDll, "RtlFreeUnicodeString")));
                if (pfnFree)
                    pfnFree(&DynamicStr);
            }
            if (RT_SUCCESS(rcConv))
            {
                if (RTPathIsRegularFile(szPath))
                    return RTLdrLoadNative(szPath, phMod, fFlags, nullptr);
                return ERR_LIBRARY_MISSING;
            }
        }
    }

    RTSTATUS rc = RTUtf16ToUtf8Ex(wszSysDir, cwcSysDir, &pszPath, sizeof(szPath), nullptr);
    if (RT_SUCCESS(rc))
        rc = RTPathAppendStr(szPath, sizeof(szPath), pszName);
    if (RT_SUCCESS(rc) && pszSuffix)
        rc = RTStrAppendBounded(szPath, sizeof(szPath), pszSuffix);
    if (RT_FAILURE(rc))
        return rc;
    if (!RTPathIsRegularFile(szPath))
        return ERR_LIBRARY_MISSING;
    return RTLdrLoadNative(szPath, phMod, fFlags, nullptr);
}
