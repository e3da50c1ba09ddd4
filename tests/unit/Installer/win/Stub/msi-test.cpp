/* Windows Installer invocation against the platform's own Windows Installer: real packages
 * built from tests/fixtures/msi, the log every package of a run shares, and the mapping of
 * each kind of result to the installer's result and message. */
#include <gtest/gtest.h>
#include "stub-test-support.h"
#include "stream-capture.h"
#include "scratch-dir.h"
#include "process-runner.h"
#include "NimbStubMsi.h"
#include <msi.h>

namespace {

std::string FixturePackage(const char *pszName)
{
    return Narrow(BuildPath((std::string("fixtures/msi/") + pszName + ".msi").c_str()));
}

/** Removes a fixture's product again, whatever the test left behind. Files are removed
 *  from where @p strProperties (those of the installation) put them. */
void Uninstall(const std::string &strPackage, const std::string &strProperties = "")
{
    MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    MsiInstallProductW(Widen(strPackage).c_str(), Widen("REMOVE=ALL " + strProperties).c_str());
}

/** Whether this platform's Windows Installer keeps what a log file holds when logging is
 *  enabled with the append attribute (Wine's starts the file afresh with each package). */
bool InstallerKeepsAppendedLog(const std::string &strPackage)
{
    ScratchDir Dir;
    std::string const strLog = Dir / "probe.log";
    WriteWholeFile(strLog, "MARKER\r\n");
    MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    MsiEnableLogW(INSTALLLOGMODE_VERBOSE, Widen(strLog).c_str(),
                  INSTALLLOGATTRIBUTES_FLUSHEACHLINE | INSTALLLOGATTRIBUTES_APPEND);
    MsiInstallProductW(Widen(strPackage).c_str(), L"REMOVE=ALL");   /* not installed: nothing to do */
    MsiEnableLogW(0, nullptr, 0);
    return ReadWholeFile(strLog).rfind("MARKER\r\n", 0) == 0;
}

/** The text the platform's message tables hold for @p uCode (from @p hMod when given),
 *  or "" when there is none. */
std::string MessageText(uint32_t uCode, HMODULE hMod)
{
    wchar_t *pwsz = nullptr;
    DWORD const fFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS
                       | (hMod ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
    if (!FormatMessageW(fFlags, hMod, uCode, 0, reinterpret_cast<LPWSTR>(&pwsz), 0, nullptr) || !pwsz)
        return "";
    std::string str = Narrow(pwsz);
    LocalFree(pwsz);
    return str;
}

TEST(RunWindowsInstaller, SilentInstallsWithPropertiesAndEveryPackageLogsToTheSameFile)
{
    BoxRecorder Rec;
    g_InstallerState.silentMode = true;
    ScratchDir Dir;
    StreamCapture Err(&g_pStreamStdErr), Out(&g_pStreamStdOut);
    std::string const strLog = Dir / "install log.txt";
    std::string const strTarget = Dir / "Plain Product";
    std::string const strPlain = FixturePackage("plain");
    std::string const strReboot = FixturePackage("reboot");

    /* A property whose value holds spaces, quoted as Windows Installer's command line wants. */
    EXPECT_EQ(RunWindowsInstaller(strPlain.c_str(), ("INSTALLDIR=\"" + strTarget + "\"").c_str(), strLog.c_str()), 0);
    EXPECT_EQ(ReadWholeFile(strTarget + "\\payload.txt"), "Nimbrel test payload.\n");
    std::string const strFirstLog = ReadWholeFile(strLog);
    EXPECT_NE(strFirstLog, "<missing>");
    EXPECT_FALSE(strFirstLog.empty());

    /* Empty parameters; the package schedules a reboot: the one information line. */
    EXPECT_EQ(RunWindowsInstaller(strReboot.c_str(), "", strLog.c_str()), ERROR_SUCCESS_REBOOT_REQUIRED);
    EXPECT_EQ(Out.Text(), "NimbStub.exe: info: Reboot required (by " + strReboot + ")\r\n");
    EXPECT_EQ(Err.Text(), "");
    EXPECT_TRUE(Rec.Calls().empty());

    /* The second package's log follows the first one's instead of replacing it, where
     * Windows Installer honours the append attribute at all. */
    std::string const strBothLogs = ReadWholeFile(strLog);
    EXPECT_NE(strBothLogs, strFirstLog);
    if (InstallerKeepsAppendedLog(strReboot))
    {
        EXPECT_GT(strBothLogs.size(), strFirstLog.size());
        EXPECT_EQ(strBothLogs.compare(0, strFirstLog.size(), strFirstLog), 0);
    }
    else
        fprintf(stderr, "note: this Windows Installer starts each package's log afresh\n");

    Uninstall(strPlain, "INSTALLDIR=\"" + strTarget + "\"");
    Uninstall(strReboot);
    EXPECT_FALSE(PathExists(strTarget + "\\payload.txt"));
}

TEST(RunWindowsInstaller, RefusedPackageIsReportedWithTheSystemsText)
{
    BoxRecorder Rec;
    g_InstallerState.silentMode = true;
    StreamCapture Err(&g_pStreamStdErr), Out(&g_pStreamStdOut);
    EXPECT_EQ(RunWindowsInstaller(FixturePackage("refused").c_str(), "", nullptr), 1);

    std::string const strText = MessageText(ERROR_INSTALL_FAILURE, nullptr);
    ASSERT_FALSE(strText.empty());
    /* The message writer ends the line at the system text's line feed, and the stream writes
     * every line feed as carriage return and line feed; a carriage return of the text's own
     * stays in place. */
    std::string strLine = "NimbStub.exe: error: Installation failed! Error: " + strText;
    if (strLine.back() == '\n')
        strLine.pop_back();
    EXPECT_EQ(Err.Text(), strLine + "\r\n");
    EXPECT_EQ(Out.Text(), "");
    EXPECT_TRUE(Rec.Calls().empty());
}

TEST(MapInstallerResult, EachResultGivesItsCodeAndItsMessage)
{
    wchar_t wszNetMsg[MAX_PATH];
    UINT const cwc = GetSystemDirectoryW(wszNetMsg, MAX_PATH);
    ASSERT_TRUE(cwc > 0 && cwc < MAX_PATH - 12);
    lstrcatW(wszNetMsg, L"\\netmsg.dll");
    HMODULE const hNetMsg = LoadLibraryExW(wszNetMsg, nullptr, LOAD_LIBRARY_AS_DATAFILE);

    /* Where the system has the network message library: a network code whose text only that
     * library holds. Where it has none (Wine has none), the system table alone answers: a
     * network code it knows shows its text, one it does not know shows its number. */
    uint32_t uNetworkOnly = 0, uNetworkSystem = 0, uNetworkNone = 0;
    for (uint32_t u = 2100; u <= 2999; u++)
    {
        bool const fSystem = !MessageText(u, nullptr).empty();
        bool const fLibrary = hNetMsg && !MessageText(u, hNetMsg).empty();
        if (fLibrary && !fSystem && !uNetworkOnly)
            uNetworkOnly = u;
        if (!hNetMsg && fSystem && !uNetworkSystem)
            uNetworkSystem = u;
        if (!hNetMsg && !fSystem && !uNetworkNone)
            uNetworkNone = u;
    }
    if (hNetMsg)
        EXPECT_NE(uNetworkOnly, 0u) << "no network code has a text of its own";
    else
        EXPECT_TRUE(uNetworkSystem && uNetworkNone) << "network codes: " << uNetworkSystem << ", " << uNetworkNone;
    std::string const strNetworkText = hNetMsg ? MessageText(uNetworkOnly, hNetMsg) : "";
    if (hNetMsg)
        FreeLibrary(hNetMsg);

    uint32_t const uNoText = 0x0EEEEEEE;
    ASSERT_EQ(MessageText(uNoText, nullptr), "");
    std::string const strFailed = "Installation failed! Error: ";

    struct Case { uint32_t uResult; int iExpected; std::string strBox; } const aCases[] =
    {
        { ERROR_SUCCESS, 0, "" },
        /* interactive: the restart is Windows Installer's to offer */
        { ERROR_SUCCESS_REBOOT_REQUIRED, ERROR_SUCCESS_REBOOT_REQUIRED, "" },
        /* succeeded, and the restart has already been started */
        { ERROR_SUCCESS_REBOOT_INITIATED, ERROR_SUCCESS_REBOOT_INITIATED, "" },
        /* the user cancelled: nothing more to say */
        { ERROR_INSTALL_USEREXIT, 1, "" },
        { ERROR_INSTALL_PACKAGE_VERSION, 1,
          "This installation package cannot be installed by the Windows Installer service.\n"
          "You must install a Windows service pack that contains a newer version of the "
          "Windows Installer service." },
        { ERROR_INSTALL_PLATFORM_UNSUPPORTED, 1, "This installation package is not supported on this platform." },
        { ERROR_INSTALL_FAILURE, 1, strFailed + MessageText(ERROR_INSTALL_FAILURE, nullptr) },
        { uNoText, 1, strFailed + std::to_string(uNoText) },
    };
    std::vector<Case> aAll(std::begin(aCases), std::end(aCases));
    if (uNetworkOnly)
        aAll.push_back({ uNetworkOnly, 1, strFailed + strNetworkText });
    if (uNetworkSystem)
        aAll.push_back({ uNetworkSystem, 1, strFailed + MessageText(uNetworkSystem, nullptr) });
    if (uNetworkNone)
        aAll.push_back({ uNetworkNone, 1, strFailed + std::to_string(uNetworkNone) });
    for (auto const &c : aAll)
    {
        SCOPED_TRACE(c.uResult);
        BoxRecorder Rec;
        EXPECT_EQ(MapInstallerResult(c.uResult, "C:\\pkg.msi"), c.iExpected);
        if (c.strBox.empty())
            EXPECT_TRUE(Rec.Calls().empty());
        else
        {
            ASSERT_EQ(Rec.Calls().size(), 1u);
            EXPECT_EQ(Rec.Calls()[0].strText, c.strBox);
            EXPECT_EQ(Rec.Calls()[0].fStyle, 0x10u);
        }
    }
}

TEST(MapInstallerResult, SilentRestartStartedAndCancelWriteNothing)
{
    BoxRecorder Rec;
    g_InstallerState.silentMode = true;
    StreamCapture Err(&g_pStreamStdErr), Out(&g_pStreamStdOut);
    EXPECT_EQ(MapInstallerResult(ERROR_SUCCESS_REBOOT_INITIATED, "C:\\pkg.msi"), ERROR_SUCCESS_REBOOT_INITIATED);
    EXPECT_EQ(MapInstallerResult(ERROR_INSTALL_USEREXIT, "C:\\pkg.msi"), 1);
    EXPECT_EQ(Err.Text() + Out.Text(), "");
}

} /* namespace */
