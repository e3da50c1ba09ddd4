/* Installers as a vendor packs them, seen from the Windows side: an MSI whose files lie in
 * a cabinet beside it installs from the installer, and a branded installer shows the
 * vendor's version block to the platform's own version reader. */
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "process-runner.h"
#include "scratch-dir.h"

namespace {

constexpr wchar_t g_wszExternalCabCode[] = L"{6A1F1E10-0D3B-4C51-9B11-000000000005}";

/** Whether Windows Installer holds the product as installed, as winquery asks it. */
bool ProductInstalled(const wchar_t *pwszProductCode)
{
    return RunProcess(BuildPath("programs/winquery.exe"), std::wstring(L"winquery product ") + pwszProductCode)
               .exitCode == 0;
}

TEST(VendorInstaller, MsiWithItsCabinetBesideItInstalls)
{
    ScratchDir Temp, Target;
    std::string const strDir = Target / "External Cabinet";
    ProcessOptions Opts;
    Opts.extraEnv = L"ZUNT_TMPDIR=" + Widen(Temp.path());
    Opts.timeoutMs = 180000;
    ProcessResult const R = RunProcess(BuildPath("fixtures/installers/install-external-cab.exe"),
                                       L"install-external-cab.exe --silent --msi-prop INSTALLDIR "
                                       + QuoteArg(Widen(strDir)), Opts);
    ASSERT_TRUE(R.started);
    EXPECT_EQ(R.exitCode, 0u) << R.err;
    EXPECT_EQ(R.out, "");
    EXPECT_EQ(R.err, "");
    /* The file came out of the cabinet, and nothing stays in the temporary directory. */
    EXPECT_EQ(ReadWholeFile(strDir + "\\payload.txt"), "Nimbrel test payload.\n");
    EXPECT_TRUE(DirEntries(Temp.path()).empty());
    EXPECT_TRUE(ProductInstalled(g_wszExternalCabCode));
    RunProcess(L"C:\\windows\\system32\\msiexec.exe", std::wstring(L"msiexec /qn /x ") + g_wszExternalCabCode);
    EXPECT_FALSE(ProductInstalled(g_wszExternalCabCode));
}

/* The platform's version reader, bound at run time: the test programs link no version
 * library of their own. */
using GetFileVersionInfoSizeWFn = DWORD (WINAPI *)(LPCWSTR, LPDWORD);
using GetFileVersionInfoWFn = BOOL (WINAPI *)(LPCWSTR, DWORD, DWORD, LPVOID);
using VerQueryValueWFn = BOOL (WINAPI *)(LPCVOID, LPCWSTR, LPVOID *, PUINT);

TEST(VendorInstaller, BrandedVersionBlockAsThePlatformReadsIt)
{
    HMODULE hVersion = LoadLibraryW(L"version.dll");
    ASSERT_NE(hVersion, nullptr);
    auto const pfnSize = reinterpret_cast<GetFileVersionInfoSizeWFn>(
        reinterpret_cast<void *>(GetProcAddress(hVersion, "GetFileVersionInfoSizeW")));
    auto const pfnInfo = reinterpret_cast<GetFileVersionInfoWFn>(
        reinterpret_cast<void *>(GetProcAddress(hVersion, "GetFileVersionInfoW")));
    auto const pfnQuery = reinterpret_cast<VerQueryValueWFn>(
        reinterpret_cast<void *>(GetProcAddress(hVersion, "VerQueryValueW")));
    ASSERT_TRUE(pfnSize && pfnInfo && pfnQuery);

    std::wstring const wstrExe = BuildPath("fixtures/installers/pack-branded.exe");
    DWORD dwIgnored = 0;
    DWORD const cbInfo = pfnSize(wstrExe.c_str(), &dwIgnored);
    ASSERT_GT(cbInfo, 0u);
    std::string Info(cbInfo, '\0');
    ASSERT_TRUE(pfnInfo(wstrExe.c_str(), 0, cbInfo, Info.data()));

    VS_FIXEDFILEINFO *pFixed = nullptr;
    UINT cbFixed = 0;
    ASSERT_TRUE(pfnQuery(Info.data(), L"\\", reinterpret_cast<void **>(&pFixed), &cbFixed));
    ASSERT_EQ(cbFixed, sizeof(VS_FIXEDFILEINFO));
    /* FileVersion 2.5.17.3 is dotted numbers; ProductVersion "2.5 (beta)" is not, so the
     * product numbers stay the stub's. */
    EXPECT_EQ(pFixed->dwFileVersionMS, (2u << 16) | 5u);
    EXPECT_EQ(pFixed->dwFileVersionLS, (17u << 16) | 3u);
    EXPECT_EQ(pFixed->dwProductVersionMS, 1u << 16);

    /* The strings, set through the build's nimb_pack_installer(); the special-build string
     * keeps naming the stub's revision. */
    struct Expected { const wchar_t *pwszName; const wchar_t *pwszValue; };
    Expected const aExpected[] =
    {
        { L"ProductName",      L"Acme Widget" },
        { L"CompanyName",      L"Acme Ltd" },
        { L"FileDescription",  L"Acme Widget Setup" },
        { L"FileVersion",      L"2.5.17.3" },
        { L"ProductVersion",   L"2.5 (beta)" },
        { L"LegalCopyright",   L"\u00a9 2026 Acme Ltd" },
        { L"OriginalFilename", L"AcmeSetup.exe" },
        { L"InternalName",     L"AcmeSetup" },
        { L"Comments",         L"Built for the tests" },
        { L"SpecialBuild",     L"r1" },
    };
    for (auto const &E : aExpected)
    {
        std::wstring const wstrPath = std::wstring(L"\\StringFileInfo\\040904b0\\") + E.pwszName;
        wchar_t *pwszValue = nullptr;
        UINT cwcValue = 0;
        ASSERT_TRUE(pfnQuery(Info.data(), wstrPath.c_str(), reinterpret_cast<void **>(&pwszValue), &cwcValue))
            << Narrow(E.pwszName);
        EXPECT_EQ(std::wstring(pwszValue), E.pwszValue) << Narrow(E.pwszName);
    }
    FreeLibrary(hVersion);
}

} // namespace
