/* Loading native libraries: system libraries by bare name from the system directory only,
 * the argument checks that come before any file system access, loading by full path,
 * symbol lookup and release. */
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "process-runner.h"
#include "scratch-dir.h"
#include "win-text.h"
#include "rt/err.h"
#include "rt/format.h"
#include "rt/init.h"
#include "rt/ldr.h"
#include "rt/log.h"
#include "rt/string.h"

namespace {

/* What a release-log assertion of the loader writes, through a lookup and print hook of
 * the test's own. */
alignas(8) unsigned char g_abRelInstance[64];
std::string g_strRelLog;
uint32_t g_fRelLookup;
RTLOGINSTANCE *RelLookup(uint32_t fFlagsAndGroup)
{
    g_fRelLookup = fFlagsAndGroup;
    return reinterpret_cast<RTLOGINSTANCE *>(g_abRelInstance);
}
RTSTATUS RelPrintV(RTLOGINSTANCE *, uint32_t fFlags, uint32_t iGroup, const char *pszFormat, va_list args)
{
    char szText[512];
    RTStrPrintBufV(szText, sizeof(szText), pszFormat, args);
    g_strRelLog += std::to_string(fFlags) + "/" + std::to_string(iGroup) + " " + szText;
    return INF_SUCCESS;
}

class Ldr : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(RT_SUCCESS(RTR3InitForExe(0, nullptr, RTINIT_F_SYSTEM32_ONLY)));
    }
};

std::wstring ModulePath(RTLDRMOD hMod)
{
    wchar_t wsz[MAX_PATH];
    DWORD const cwc = GetModuleFileNameW(reinterpret_cast<HMODULE>(RTLdrNativeHandleOf(hMod)), wsz, MAX_PATH);
    return std::wstring(wsz, cwc);
}

} /* namespace */

TEST_F(Ldr, SystemNameIsCheckedBeforeAnyFileIsTouched)
{
    RTLDRMOD const hGarbage = reinterpret_cast<RTLDRMOD>(0x5000);
    struct { std::string strName; uint32_t fFlags; RTSTATUS rc; } const s_aCases[] =
    {
        { "sub\\kernel32.dll", 0, ERR_BAD_ARGUMENT },
        { "sub/kernel32.dll", 0, ERR_BAD_ARGUMENT },
        { "C:kernel32.dll", 0, ERR_BAD_ARGUMENT },
        { "..\\..\\evil.dll", 0, ERR_BAD_ARGUMENT },
        { std::string(3075, 'x'), 0, ERR_BAD_ARGUMENT },
        { std::string(3074, 'x'), 0, ERR_LIBRARY_MISSING },
        { "kernel32.dll", 0x10, ERR_BAD_FLAGS },
        { "kernel32.dll", 0x800, ERR_BAD_FLAGS },
        { "kernel32.dll", RTLDRF_LOCAL, ERR_BAD_FLAGS },
        { "nimbnosuchlib.dll", 0, ERR_LIBRARY_MISSING },
    };
    for (const auto &c : s_aCases)
    {
        RTLDRMOD hMod = hGarbage;
        EXPECT_EQ(RTLdrLoadSystemEx(c.strName.c_str(), c.fFlags, &hMod), c.rc) << c.strName.substr(0, 30);
        EXPECT_EQ(hMod, nullptr) << c.strName.substr(0, 30);
    }
    RTLDRMOD hMod = hGarbage;
    EXPECT_EQ(RTLdrLoadSystemEx(nullptr, 0, &hMod), ERR_BAD_ARGUMENT);
    EXPECT_EQ(hMod, nullptr);
    EXPECT_EQ(RTLdrLoadSystemEx("kernel32.dll", 0, nullptr), ERR_BAD_ARGUMENT);
}

TEST_F(Ldr, SystemLibrariesComeFromTheSystemDirectory)
{
    /* With a suffix, and without one (".DLL" is added). */
    for (const char *pszName : { "ws2_32.dll", "msi", "version" })
    {
        RTLDRMOD hMod = nullptr;
        ASSERT_EQ(RTLdrLoadSystemLib(pszName, true, &hMod), INF_SUCCESS) << pszName;
        std::wstring const strPath = Lower(ModulePath(hMod));
        EXPECT_EQ(strPath.rfind(Lower(SystemDir()) + L"\\", 0), 0u) << pszName;
        std::wstring strExpect = Lower(std::wstring(pszName, pszName + strlen(pszName)));
        if (strExpect.find(L'.') == std::wstring::npos)
            strExpect += L".dll";
        EXPECT_EQ(strPath.substr(strPath.size() - strExpect.size()), strExpect) << pszName;
        RTLDRNATIVEHANDLE const hNative = RTLdrNativeHandleOf(hMod);
        EXPECT_EQ(RTLdrRelease(hMod), INF_SUCCESS);
        EXPECT_EQ(reinterpret_cast<RTLDRNATIVEHANDLE>(GetModuleHandleW(strExpect.c_str())), hNative)
            << "kept loaded";
    }

    /* A library beside the program but not in the system directory is not found. */
    wchar_t wszExe[MAX_PATH];
    std::wstring strCopy(wszExe, GetModuleFileNameW(nullptr, wszExe, MAX_PATH));
    strCopy = strCopy.substr(0, strCopy.find_last_of(L"\\/") + 1) + L"nimbldrcopy.dll";
    ASSERT_TRUE(CopyFileW((SystemDir() + L"\\version.dll").c_str(), strCopy.c_str(), FALSE));
    RTLDRMOD hMod = nullptr;
    EXPECT_EQ(RTLdrLoadSystemLib("nimbldrcopy.dll", false, &hMod), ERR_LIBRARY_MISSING);
    EXPECT_EQ(hMod, nullptr);
    HMODULE const hCareless = LoadLibraryW(strCopy.c_str());
    EXPECT_NE(hCareless, nullptr) << "control: the copy itself loads";
    if (hCareless)
        FreeLibrary(hCareless);
    DeleteFileW(strCopy.c_str());
}

TEST_F(Ldr, FullPathsSymbolsAndRelease)
{
    char szErr[128];
    RTERRINFO ErrInfo;
    RTErrInfoInit(&ErrInfo, szErr, sizeof(szErr));
    RTLDRMOD hMod = reinterpret_cast<RTLDRMOD>(0x5000);

    EXPECT_EQ(RTLdrLoadNative(nullptr, &hMod, 0, nullptr), ERR_BAD_POINTER);
    EXPECT_EQ(hMod, nullptr);
    EXPECT_EQ(RTLdrLoadNative("C:\\x.dll", nullptr, 0, nullptr), ERR_BAD_POINTER);
    EXPECT_EQ(RTLdrLoadNative("C:\\x.dll", &hMod, 16, nullptr), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTLdrLoadNative("kernel32.dll", &hMod, 0, nullptr), ERR_INTERNAL_FAULT_2) << "relative paths are refused";
    /* ...with a release-log assertion where a release logger is enabled. */
    g_pfnLogRelLookup = RelLookup;
    g_pfnLogPrintV = RelPrintV;
    EXPECT_EQ(RTLdrLoadNative("kernel32.dll", &hMod, 0, nullptr), ERR_INTERNAL_FAULT_2);
    g_pfnLogRelLookup = nullptr;
    g_pfnLogPrintV = nullptr;
    EXPECT_EQ(g_fRelLookup, 0xB0010u);
    EXPECT_NE(g_strRelLog.find(": RTPathStartsWithRoot(pszFilename)\n16/11 pszFilename='kernel32.dll'\n"),
              std::string::npos) << g_strRelLog;
    EXPECT_EQ(g_strRelLog.rfind("16/11 AssertLogRel ", 0), 0u) << g_strRelLog;
    EXPECT_EQ(RTLdrLoadNative("C:\\nimb-no-such-dir\\none.dll", &hMod, 0, &ErrInfo), ERR_LIBRARY_MISSING);
    EXPECT_EQ(hMod, nullptr);
    EXPECT_STREQ(szErr, "GetLastError=126");

    /* Forward slashes are accepted; the suffix is added only when the name has none. */
    std::string strSys;
    for (wchar_t wc : SystemDir())
        strSys += char(wc == L'\\' ? L'/' : wc);
    ASSERT_EQ(RTLdrLoadNative((strSys + "/version").c_str(), &hMod, RTLDRF_SEARCH_LOAD_DIR, nullptr), INF_SUCCESS);
    EXPECT_EQ(RTLdrRelease(hMod), INF_SUCCESS);
    ASSERT_EQ(RTLdrLoadNative((strSys + "/version").c_str(), &hMod, 0, nullptr), INF_SUCCESS);

    void *pv = reinterpret_cast<void *>(1);
    EXPECT_EQ(RTLdrLookupSymbol(hMod, "GetFileVersionInfoSizeW", &pv), INF_SUCCESS);
    EXPECT_EQ(pv, reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"version.dll"), "GetFileVersionInfoSizeW")));
    EXPECT_EQ(RTLdrLookupSymbol(hMod, "NimbNoSuchSymbol", &pv), ERR_ENTRY_POINT_MISSING);
    EXPECT_EQ(pv, nullptr);
    EXPECT_EQ(RTLdrLookupSymbol(hMod, nullptr, &pv), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTLdrLookupSymbol(hMod, "GetFileVersionInfoSizeW", nullptr), ERR_BAD_POINTER);
    EXPECT_EQ(RTLdrLookupSymbol(nullptr, "GetFileVersionInfoSizeW", &pv), ERR_BAD_HANDLE);

    EXPECT_EQ(RTLdrRelease(hMod), INF_SUCCESS);
    EXPECT_EQ(RTLdrRelease(nullptr), INF_SUCCESS);
    uint32_t au32NotAModule[16] = { 0x12345678 };
    EXPECT_EQ(RTLdrRelease(reinterpret_cast<RTLDRMOD>(au32NotAModule)), ERR_BAD_HANDLE);
    EXPECT_EQ(RTLdrNativeHandleOf(reinterpret_cast<RTLDRMOD>(au32NotAModule)), RTLDR_NATIVE_NIL);
    EXPECT_EQ(RTLdrNativeHandleOf(nullptr), RTLDR_NATIVE_NIL);

    EXPECT_EQ(RTLdrSystemSymbol("kernel32.dll", "GetTickCount"),
              reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount")));
    EXPECT_EQ(RTLdrSystemSymbol("kernel32.dll", "NimbNoSuchSymbol"), nullptr);
    EXPECT_EQ(RTLdrSystemSymbol("nimbnosuchlib", "x"), nullptr);
}

namespace {

/** An activation context built from a manifest file, active while the object lives. */
class ActiveContext
{
public:
    explicit ActiveContext(const std::string &strManifest)
    {
        std::wstring const wstr(strManifest.begin(), strManifest.end());
        ACTCTXW Ctx = {};
        Ctx.cbSize = sizeof(Ctx);
        Ctx.lpSource = wstr.c_str();
        m_hCtx = CreateActCtxW(&Ctx);
        if (m_hCtx != INVALID_HANDLE_VALUE && !ActivateActCtx(m_hCtx, &m_uCookie))
            m_uCookie = 0;
    }
    ~ActiveContext()
    {
        if (m_uCookie)
            DeactivateActCtx(0, m_uCookie);
        if (m_hCtx != INVALID_HANDLE_VALUE)
            ReleaseActCtx(m_hCtx);
    }
    bool active() const { return m_uCookie != 0; }

private:
    HANDLE    m_hCtx = INVALID_HANDLE_VALUE;
    ULONG_PTR m_uCookie = 0;
};

std::string Dependency(const char *pszName, const char *pszVersion, const char *pszToken)
{
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                       "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
                       "<dependency><dependentAssembly><assemblyIdentity type=\"win32\" name=\"") + pszName
         + "\" version=\"" + pszVersion + "\" processorArchitecture=\"x86\""
         + (pszToken ? std::string(" publicKeyToken=\"") + pszToken + "\"" : std::string())
         + " language=\"*\"/></dependentAssembly></dependency>\n</assembly>\n";
}

} /* namespace */

TEST_F(Ldr, SideBySideRedirectionIsFollowedOnlyIntoTheWindowsTree)
{
    /* Wine keeps one module per built-in library, whichever file named it: once an earlier
     * test has brought in the system directory's common controls (Windows Installer's
     * library imports them), a later load cannot show which file was chosen. Then the
     * checks run in a fresh copy of this program, where nothing has loaded them. */
    static const wchar_t s_wszFreshVar[] = L"NIMB_LDR_FRESH_PROCESS";
    if (GetModuleHandleW(L"comctl32.dll"))
    {
        ASSERT_EQ(GetEnvironmentVariableW(s_wszFreshVar, nullptr, 0), 0u) << "loaded even in a fresh process";
        wchar_t wszExe[MAX_PATH];
        std::wstring const strExe(wszExe, GetModuleFileNameW(nullptr, wszExe, MAX_PATH));
        ProcessOptions Opts;
        Opts.extraEnv = std::wstring(s_wszFreshVar) + L"=1";
        ProcessResult const r = RunProcess(strExe, QuoteArg(strExe) + L" --gtest_filter=Ldr.SideBySide*", Opts);
        EXPECT_EQ(r.exitCode, 0u) << r.out;
        EXPECT_NE(r.out.find("[  PASSED  ] 1 test."), std::string::npos) << r.out;
        return;
    }

    ScratchDir Dir;

    /* The platform's common controls 6 live in the Windows directory's side-by-side store. */
    ASSERT_TRUE(WriteWholeFile(Dir / "cc6.manifest",
                               Dependency("Microsoft.Windows.Common-Controls", "6.0.0.0", "6595b64144ccf1df")));
    {
        ActiveContext const Ctx(Dir / "cc6.manifest");
        ASSERT_TRUE(Ctx.active());
        RTLDRMOD hMod = nullptr;
        ASSERT_EQ(RTLdrLoadSystemLib("comctl32", true, &hMod), INF_SUCCESS);
        wchar_t wszWinDir[MAX_PATH];
        std::wstring const strWinDir = Lower(std::wstring(wszWinDir, GetWindowsDirectoryW(wszWinDir, MAX_PATH)));
        std::wstring const strPath = Lower(ModulePath(hMod));
        EXPECT_EQ(strPath.rfind(strWinDir + L"\\winsxs\\", 0), 0u) << std::string(strPath.begin(), strPath.end());
        EXPECT_EQ(RTLdrRelease(hMod), INF_SUCCESS);
    }

    /* A private assembly beside the manifest redirects a name to that directory: the
     * careless load follows it, the system load does not (the system directory has no such
     * library). */
    ASSERT_TRUE(WriteWholeFile(Dir / "app.manifest", Dependency("nimb.redirect", "1.0.0.0", nullptr)));
    ASSERT_TRUE(WriteWholeFile(Dir / "nimb.redirect.manifest",
                               "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                               "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
                               "<assemblyIdentity type=\"win32\" name=\"nimb.redirect\" version=\"1.0.0.0\""
                               " processorArchitecture=\"x86\"/>\n<file name=\"nimbredirect.dll\"/>\n</assembly>\n"));
    std::string const strPlanted = Dir / "nimbredirect.dll";
    ASSERT_TRUE(CopyFileW((SystemDir() + L"\\version.dll").c_str(),
                          std::wstring(strPlanted.begin(), strPlanted.end()).c_str(), FALSE));
    {
        ActiveContext const Ctx(Dir / "app.manifest");
        ASSERT_TRUE(Ctx.active());
        RTLDRMOD hMod = nullptr;
        EXPECT_EQ(RTLdrLoadSystemLib("nimbredirect.dll", true, &hMod), ERR_LIBRARY_MISSING);
        EXPECT_EQ(hMod, nullptr);
        HMODULE const hCareless = LoadLibraryW(L"nimbredirect.dll");
        EXPECT_NE(hCareless, nullptr) << "control: the redirection is in force";
        if (hCareless)
            FreeLibrary(hCareless);
    }
}
