/* Installers carrying real packages, run silently to the end under the platform's own
 * Windows Installer: what lands where, the exit codes and messages, the log, the publisher
 * certificate, that nothing stays behind in the temporary directory, and that a damaged
 * installer never reaches Windows Installer. */
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>
#include "process-runner.h"
#include "scratch-dir.h"
#include "payload-writer.h"
#include "NimbStubPayload.h"

namespace {

constexpr wchar_t g_wszPlainCode[]  = L"{6A1F1E10-0D3B-4C51-9B11-000000000001}";
constexpr wchar_t g_wszRebootCode[] = L"{6A1F1E10-0D3B-4C51-9B11-000000000002}";
constexpr wchar_t g_wszDemoCode[]   = L"{3A1C6E52-8B0D-4F4E-9C41-6B2E7D0F5A11}";
const std::string g_strPayload = "Nimbrel test payload.\n";

/** Runs installer @p pszName of the build tree with @p wstrArgs, extracting under @p Temp. */
ProcessResult RunInstaller(const char *pszRelative, const std::wstring &wstrArgs, const ScratchDir &Temp)
{
    std::wstring const wstrExe = BuildPath(pszRelative);
    std::wstring const wstrName = wstrExe.substr(wstrExe.find_last_of(L'\\') + 1);
    ProcessOptions Opts;
    Opts.extraEnv = L"ZUNT_TMPDIR=" + Widen(Temp.path());
    Opts.timeoutMs = 180000;
    return RunProcess(wstrExe, wstrName + L" " + wstrArgs, Opts);
}

ProcessResult Fixture(const char *pszName, const std::wstring &wstrArgs, const ScratchDir &Temp)
{
    return RunInstaller((std::string("fixtures/installers/") + pszName + ".exe").c_str(), wstrArgs, Temp);
}

/** winquery's answer (first line) and exit code. */
std::pair<std::string, uint32_t> Query(const std::wstring &wstrArgs)
{
    ProcessResult const R = RunProcess(BuildPath("programs/winquery.exe"), L"winquery " + wstrArgs);
    std::string strLine = R.out.substr(0, R.out.find_first_of("\r\n"));
    return { strLine, R.exitCode };
}

TEST(Install, ExitCodesAndMessagesOfRealPackagesLeaveTheTemporaryDirectoryEmpty)
{
    struct Case { const char *pszInstaller; const wchar_t *pwszArgs; uint32_t uExit; const char *pszOut; const char *pszErr; };
    Case const aCases[] =
    {
        { "install-reboot",       L"--silent",                  ERROR_SUCCESS_REBOOT_REQUIRED, "install-reboot.exe: info: Reboot required (by ", "" },
        { "install-reboot",       L"--silent --ignore-reboot",  0,                             "install-reboot.exe: info: Reboot required (by ", "" },
        /* A later success keeps the earlier package's request for a reboot. */
        { "install-reboot-plain", L"--silent",                  ERROR_SUCCESS_REBOOT_REQUIRED, "install-reboot-plain.exe: info: Reboot required (by ", "" },
        { "install-refused",      L"--silent",                  1,                             "", "install-refused.exe: error: Installation failed! Error: " },
    };
    for (auto const &C : aCases)
    {
        SCOPED_TRACE(std::string(C.pszInstaller) + " " + Narrow(C.pwszArgs));
        ScratchDir Temp;
        ProcessResult const R = Fixture(C.pszInstaller, C.pwszArgs, Temp);
        ASSERT_TRUE(R.started);
        EXPECT_EQ(R.exitCode, C.uExit);
        EXPECT_EQ(R.out.compare(0, strlen(C.pszOut), C.pszOut), 0) << R.out;
        if (*C.pszOut)
            EXPECT_TRUE(R.out.size() > 7 && R.out.compare(R.out.size() - 7, 7, ".msi)\r\n") == 0) << R.out;
        else
            EXPECT_EQ(R.out, "");
        EXPECT_EQ(R.err.compare(0, strlen(C.pszErr), C.pszErr), 0) << R.err;
        if (!*C.pszErr)
            EXPECT_EQ(R.err, "");
        EXPECT_TRUE(DirEntries(Temp.path()).empty());
    }
    EXPECT_EQ(Query(std::wstring(L"product ") + g_wszPlainCode).second, 0u);
    UninstallProduct(g_wszPlainCode);
    UninstallProduct(g_wszRebootCode);
    EXPECT_EQ(Query(std::wstring(L"product ") + g_wszPlainCode).second, 1u);
}

TEST(Install, PropertiesAndLogFilesGoWhereTheUserSays)
{
    ScratchDir Temp, Target;
    std::string const strDir = Target / "Plain Product";   /* a space in the value */
    std::string const strLog = Target / "msi.log";
    ProcessResult R = Fixture("install-plain", L"--silent --msiparams \"INSTALLDIR=\"\"" + Widen(strDir)
                              + L"\"\"\" --msi-log-file " + QuoteArg(Widen(strLog)), Temp);
    EXPECT_EQ(R.exitCode, 0u) << R.err;
    EXPECT_EQ(ReadWholeFile(strDir + "\\payload.txt"), g_strPayload);
    EXPECT_NE(ReadWholeFile(strLog), "<missing>");
    EXPECT_TRUE(DirEntries(Temp.path()).empty());
    UninstallProduct(g_wszPlainCode);

    /* --logging alone: the default log in the extraction directory, which then stays, after
     * clean-up has spent all its retries on it. */
    std::string const strDir2 = Target / "Second";
    DWORD const msStart = GetTickCount();
    R = Fixture("install-plain", L"--silent --logging --msi-prop INSTALLDIR " + QuoteArg(Widen(strDir2)), Temp);
    DWORD const msTaken = GetTickCount() - msStart;
    EXPECT_EQ(R.exitCode, 0u) << R.err;
    EXPECT_EQ(ReadWholeFile(strDir2 + "\\payload.txt"), g_strPayload);
    std::vector<std::string> const aLeft = DirEntries(Temp.path());
    ASSERT_EQ(aLeft.size(), 1u);
    EXPECT_EQ(aLeft[0].size(), 24u);
    EXPECT_EQ(DirEntries(Temp / aLeft[0]), std::vector<std::string>{ "NimbInstallLog.txt" });
    EXPECT_GE(msTaken, 9100u);
    UninstallProduct(g_wszPlainCode);
}

/** Whether the local machine's trusted publishers hold the build's test certificate. */
bool PublisherTrusted()
{
    return Query(L"cert TrustedPublisher " NIMB_PUBLISHER_THUMBPRINT_W).second == 0;
}

void UntrustPublisher()
{
    std::wstring const wstrKey = L"Software\\Microsoft\\SystemCertificates\\TrustedPublisher\\Certificates\\"
                                 NIMB_PUBLISHER_THUMBPRINT_W;
    for (REGSAM fView : { KEY_WOW64_64KEY, KEY_WOW64_32KEY })
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, wstrKey.c_str(), fView, 0);
}

TEST(Install, DemoInstallsSilentlyWithTheProductRegisteredAndThePublisherTrusted)
{
    ScratchDir Temp, Target;
    UntrustPublisher();
    ASSERT_FALSE(PublisherTrusted());

    /* Without certificates, and in an interactive run, the store stays as it was. */
    ProcessResult R = Fixture("install-plain", L"--silent --no-silent-cert", Temp);
    EXPECT_EQ(R.exitCode, 0u) << R.err;
    EXPECT_FALSE(PublisherTrusted());
    UninstallProduct(g_wszPlainCode);
    Fixture("install-plain", L"", Temp);
    EXPECT_FALSE(PublisherTrusted());
    UninstallProduct(g_wszPlainCode);

    std::string const strDir = Target / "Nimbrel Demo";
    R = RunInstaller("bin/Setup.exe", L"--silent --msi-prop INSTALLDIR " + QuoteArg(Widen(strDir)), Temp);
    EXPECT_EQ(R.exitCode, 0u) << R.err;
    EXPECT_EQ(R.out + R.err, "");
    EXPECT_TRUE(PathExists(strDir + "\\readme.txt"));
    EXPECT_TRUE(PathExists(strDir + "\\settings.ini"));
    auto const Value = Query(L"regvalue Software\\Nimbrel\\Demo InstallDir");
    EXPECT_EQ(Value.second, 0u);
    EXPECT_EQ(Value.first.substr(0, strDir.size()), strDir);
    EXPECT_EQ(Query(std::wstring(L"product ") + g_wszDemoCode).first, "installed (5)");
    EXPECT_TRUE(PublisherTrusted());
    EXPECT_TRUE(DirEntries(Temp.path()).empty());

    /* Adding the certificate again replaces it. */
    R = RunInstaller("bin/Setup.exe", L"--silent", Temp);
    EXPECT_EQ(R.exitCode, 0u) << R.err;
    EXPECT_TRUE(PublisherTrusted());
    UninstallProduct(g_wszDemoCode);
}

/** Resource @p strName of the payload type in the executable @p strExe, or "<missing>". */
std::string PayloadResource(const std::string &strExe, const std::string &strName)
{
    std::string strData = "<missing>";
    HMODULE const hMod = LoadLibraryExW(Widen(strExe).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!hMod)
        return strData;
    if (HRSRC const hRes = FindResourceExW(hMod, MAKEINTRESOURCEW(PAYLOAD_RESOURCE_TYPE), Widen(strName).c_str(),
                                           PAYLOAD_LOOKUP_LANGUAGE))
        if (auto const pch = static_cast<const char *>(LockResource(LoadResource(hMod, hRes))))
            strData.assign(pch, SizeofResource(hMod, hRes));
    FreeLibrary(hMod);
    return strData;
}

TEST(Install, DamagedInstallersReachNeitherWindowsInstallerNorTheTemporaryDirectory)
{
    /* Three packages, signed; the damage is done to the file after signing, as a bad
     * download or disk would, so the signature is broken too but nothing at run time reads
     * it. The packages' bytes are found in the file to place each flip inside one. */
    std::string const strGoodExe = Narrow(BuildPath("fixtures/installers/install-digests.exe"));
    std::string const strUndigestedExe = Narrow(BuildPath("fixtures/installers/install-undigested.exe"));
    std::string const strGood = ReadWholeFile(strGoodExe);
    struct Package { const char *pszName; std::string strPath; size_t off; };
    Package aPackages[] =
    {
        { "plain.msi",   Narrow(BuildPath("fixtures/msi/plain.msi")), 0 },
        { "product.cab", Narrow(BuildPath("fixtures/packages/product.cab")), 0 },
        { "pkg254.cab",  Narrow(BuildPath("fixtures/packages/pkg254.cab")), 0 },
    };
    for (auto &P : aPackages)
    {
        std::string const strBytes = ReadWholeFile(P.strPath);
        P.off = strGood.find(strBytes);
        ASSERT_NE(P.off, std::string::npos) << P.pszName;
        P.off += strBytes.size() / 2;
    }
    std::string const strDigests = PayloadResource(strGoodExe, PAYLOAD_DIGESTS_NAME);
    ASSERT_EQ(strDigests.size(), PayloadDigestsSize(3));
    ASSERT_EQ(PayloadResource(strUndigestedExe, PAYLOAD_DIGESTS_NAME), "<missing>");

    /* Each case writes its installer, named as the fixture, into a directory of its own. */
    typedef std::function<bool(const std::string &strExe)> MakeFn;
    auto const Flip = [&](unsigned iPackage) -> MakeFn
    {
        return [&, iPackage](const std::string &strExe)
        {
            std::string str = strGood;
            str[aPackages[iPackage].off] ^= 0x10;
            return WriteWholeFile(strExe, str);
        };
    };
    auto const Digests = [&](const std::string &strResource) -> MakeFn
    {
        return [&, strResource](const std::string &strExe)
        {
            return CopyFileW(Widen(strUndigestedExe).c_str(), Widen(strExe).c_str(), FALSE)
                && AddTestResources(strExe, { { PAYLOAD_DIGESTS_NAME, strResource } });
        };
    };
    std::string strWrongCount = strDigests.substr(0, PayloadDigestsSize(2));
    strWrongCount[0] = 2;
    auto const Damaged = [](const std::string &strWhat)
    {
        return "install-digests.exe: error: The installer is damaged: " + strWhat
             + " failed its check. Please download it again.\r\n";
    };
    std::string const strBadDigests = Damaged("the digest table");
    struct Case
    {
        const char *pszWhat;
        MakeFn      pfnMake;
        bool        fExtract;
        uint32_t    uExit;
        std::string strErr;
        std::vector<std::string> aExtracted;   /**< what an extraction leaves */
    };
    Case const aCases[] =
    {
        { "intact",                  [&](const std::string &strExe) { return WriteWholeFile(strExe, strGood); },
                                     false, 0, "", {} },
        { "first package damaged",   Flip(0), false, 1, Damaged("plain.msi"), {} },
        { "middle package damaged",  Flip(1), false, 1, Damaged("product.cab"), {} },
        { "last package damaged",    Flip(2), false, 1, Damaged("pkg254.cab"), {} },
        { "first, extracting",       Flip(0), true,  1, Damaged("plain.msi"), {} },
        { "middle, extracting",      Flip(1), true,  1, Damaged("product.cab"), { "plain.msi" } },
        { "last, extracting",        Flip(2), true,  1, Damaged("pkg254.cab"), { "plain.msi", "product.cab" } },
        { "digests cut short",       Digests(strDigests.substr(0, strDigests.size() - 1)), false, 1, strBadDigests, {} },
        { "digests of two packages", Digests(strWrongCount), false, 1, strBadDigests, {} },
        { "digests cut short, extracting", Digests(strDigests.substr(0, PayloadDigestsSize(2))), true, 1,
                                     strBadDigests, {} },
        { "packed before digests",   [&](const std::string &strExe)
                                     { return CopyFileW(Widen(strUndigestedExe).c_str(), Widen(strExe).c_str(), FALSE) != 0; },
                                     false, 0, "", {} },
    };
    for (auto const &C : aCases)
    {
        SCOPED_TRACE(C.pszWhat);
        ScratchDir Temp, Work;
        std::string const strExe = Work / "install-digests.exe";
        std::string const strOut = Work / "out";
        ASSERT_TRUE(C.pfnMake(strExe));
        ProcessOptions Opts;
        Opts.extraEnv = L"ZUNT_TMPDIR=" + Widen(Temp.path());
        Opts.timeoutMs = 180000;
        std::wstring const wstrArgs = C.fExtract ? L" --silent --extract --path " + QuoteArg(Widen(strOut)) : L" --silent";
        ProcessResult const R = RunProcess(Widen(strExe), L"install-digests.exe" + wstrArgs, Opts);
        ASSERT_TRUE(R.started);
        EXPECT_EQ(R.exitCode, C.uExit);
        EXPECT_EQ(R.err, C.strErr);
        EXPECT_EQ(R.out, "");
        EXPECT_EQ(Query(std::wstring(L"product ") + g_wszPlainCode).second, C.uExit == 0 && !C.fExtract ? 0u : 1u);
        EXPECT_TRUE(DirEntries(Temp.path()).empty());
        if (C.fExtract)
        {
            std::vector<std::string> aNames = DirEntries(strOut);
            std::sort(aNames.begin(), aNames.end());   /* listed in the file system's order */
            EXPECT_EQ(aNames, C.aExtracted);
        }
        UninstallProduct(g_wszPlainCode);
    }
}

} /* namespace */
