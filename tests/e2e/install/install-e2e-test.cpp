/* Installers carrying real packages, run silently to the end under the platform's own
 * Windows Installer: what lands where, the exit codes and messages, the log, the publisher
 * certificate, and that nothing stays behind in the temporary directory. */
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "process-runner.h"
#include "scratch-dir.h"

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

} /* namespace */
