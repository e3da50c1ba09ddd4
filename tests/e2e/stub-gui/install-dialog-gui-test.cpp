/* An interactive installation on a real (virtual) display, with a package that shows a
 * dialog of its own before it installs anything. While the dialog waits, the extraction
 * directory holds the package, held against change, and the copy of ".custom", and a second
 * installer is refused. Cancelling the dialog ends the run with exit code 1 and no box of
 * ours; a run killed there leaves nothing that keeps the next run from installing. */
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>
#include "process-runner.h"
#include "scratch-dir.h"

namespace {

constexpr wchar_t g_wszDialogTitle[] = L"Nimb Test Dialog";     /* the package's own dialog */
constexpr wchar_t g_wszOurTitle[] = L"Nimbrel Installer";
constexpr wchar_t g_wszProductCode[] = L"{6A1F1E10-0D3B-4C51-9B11-000000000004}";
const std::string g_strCustomText = "custom settings\n";
constexpr uint32_t KILLED_EXIT_CODE = 77;

bool ProductInstalled()
{
    ProcessResult const R = RunProcess(BuildPath("programs/winquery.exe"),
                                       std::wstring(L"winquery product ") + g_wszProductCode);
    return R.exitCode == 0;
}

/** The installer copied beside a ".custom" directory with one file, extracting under a
 *  temporary directory of its own. */
class DialogInstall : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_strExe = m_Beside / "Setup.exe";
        ASSERT_TRUE(CopyFileW(BuildPath("fixtures/installers/install-dialog.exe").c_str(),
                              Widen(m_strExe).c_str(), FALSE));
        ASSERT_TRUE(CreateDirectoryW(Widen(m_Beside / ".custom").c_str(), nullptr));
        ASSERT_TRUE(WriteWholeFile(m_Beside / ".custom\\custom.txt", g_strCustomText));
        UninstallProduct(g_wszProductCode);
    }

    void TearDown() override
    {
        UninstallProduct(g_wszProductCode);
    }

    ProcessResult Run(const std::wstring &wstrArgs, const ScratchDir &Temp)
    {
        ProcessOptions Opts;
        Opts.extraEnv = L"ZUNT_TMPDIR=" + Widen(Temp.path());
        Opts.timeoutMs = 120000;
        return RunProcess(Widen(m_strExe), L"Setup.exe " + wstrArgs, Opts);
    }

    /** Starts an interactive run; once the package's dialog shows, checks the extraction
     *  directory and hands the dialog to @p fnAct. Records whether a box of ours appeared
     *  at any time. */
    template<typename Fn>
    ProcessResult RunInteractive(const ScratchDir &Temp, bool *pfOurBox, Fn fnAct)
    {
        ProcessResult R;
        std::atomic<bool> fDone{false};
        std::thread Runner([&] { R = Run(L"", Temp); fDone = true; });
        *pfOurBox = false;
        HWND hwndDialog = nullptr;
        auto const tsEnd = std::chrono::steady_clock::now() + std::chrono::seconds(90);
        while (!fDone && std::chrono::steady_clock::now() < tsEnd)
        {
            if (FindWindowW(L"#32770", g_wszOurTitle))
                *pfOurBox = true;
            if (!hwndDialog)
            {
                HWND const hwnd = FindWindowW(nullptr, g_wszDialogTitle);
                if (hwnd && IsWindowVisible(hwnd))
                {
                    hwndDialog = hwnd;
                    CheckExtractionDir(Temp);
                    fnAct(hwndDialog);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        Runner.join();
        EXPECT_NE(hwndDialog, nullptr) << "the package's dialog never showed";
        return R;
    }

    /** While Windows Installer runs: one new directory holding the package (for any host, so
     *  under its stored name) and the copy of ".custom". */
    static void CheckExtractionDir(const ScratchDir &Temp)
    {
        std::vector<std::string> const aDirs = DirEntries(Temp.path());
        ASSERT_EQ(aDirs.size(), 1u);
        std::vector<std::string> aNames = DirEntries(Temp / aDirs[0]);
        ASSERT_EQ(aNames.size(), 2u);
        std::sort(aNames.begin(), aNames.end());
        EXPECT_EQ(aNames[0], ".custom");
        EXPECT_EQ(aNames[1], "dialog.msi");
        EXPECT_EQ(ReadWholeFile(Temp / aDirs[0] + "\\.custom\\custom.txt"), g_strCustomText);

        /* The verified package is held: this process can read it, but neither write, rename
         * nor delete it. */
        std::wstring const wstrPackage = Widen(Temp / aDirs[0] + "\\dialog.msi");
        EXPECT_NE(ReadWholeFile(Narrow(wstrPackage)), "<missing>");
        HANDLE const hWrite = CreateFileW(wstrPackage.c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(hWrite, INVALID_HANDLE_VALUE);
        if (hWrite != INVALID_HANDLE_VALUE)
            CloseHandle(hWrite);
        EXPECT_FALSE(MoveFileW(wstrPackage.c_str(), (wstrPackage + L".moved").c_str()));
        EXPECT_FALSE(DeleteFileW(wstrPackage.c_str()));
    }

    ScratchDir  m_Beside;
    std::string m_strExe;
};

HWND ChildButton(HWND hwndDialog, const wchar_t *pwszText)
{
    for (HWND hwnd = GetWindow(hwndDialog, GW_CHILD); hwnd; hwnd = GetWindow(hwnd, GW_HWNDNEXT))
    {
        wchar_t wsz[64] = L"";
        GetWindowTextW(hwnd, wsz, 64);
        if (wcscmp(wsz, pwszText) == 0)
            return hwnd;
    }
    return nullptr;
}

TEST_F(DialogInstall, CancelledInstallationEndsWithOneAndNoBoxOfOurs)
{
    ScratchDir Temp, TempSecond;
    bool fOurBox = false;
    ProcessResult const R = RunInteractive(Temp, &fOurBox, [&](HWND hwndDialog) {
        /* A second installer started meanwhile is refused and makes nothing. */
        ProcessResult const RSecond = Run(L"--silent", TempSecond);
        EXPECT_EQ(RSecond.exitCode, 1u);
        EXPECT_EQ(RSecond.err, "Setup.exe: error: Another installer is already running\r\n");
        EXPECT_TRUE(DirEntries(TempSecond.path()).empty());

        HWND const hwndCancel = ChildButton(hwndDialog, L"Cancel");
        ASSERT_NE(hwndCancel, nullptr);
        PostMessageW(hwndCancel, BM_CLICK, 0, 0);
    });
    ASSERT_TRUE(R.started);
    EXPECT_FALSE(R.timedOut);
    EXPECT_EQ(R.exitCode, 1u);
    EXPECT_FALSE(fOurBox);
    EXPECT_EQ(R.out + R.err, "");
    EXPECT_FALSE(ProductInstalled());

    /* Clean-up removed the package; the copied ".custom" is not empty, so it stays, and with
     * it the extraction directory. */
    std::vector<std::string> const aDirs = DirEntries(Temp.path());
    ASSERT_EQ(aDirs.size(), 1u);
    EXPECT_EQ(DirEntries(Temp / aDirs[0]), std::vector<std::string>{ ".custom" });
}

TEST_F(DialogInstall, RunKilledWhileWindowsInstallerWaitsLeavesTheNextRunFreeToInstall)
{
    ScratchDir Temp;
    bool fOurBox = false;
    ProcessResult const R = RunInteractive(Temp, &fOurBox, [](HWND hwndDialog) {
        DWORD idProcess = 0;
        GetWindowThreadProcessId(hwndDialog, &idProcess);
        HANDLE const hProcess = OpenProcess(PROCESS_TERMINATE, FALSE, idProcess);
        ASSERT_NE(hProcess, nullptr);
        EXPECT_TRUE(TerminateProcess(hProcess, KILLED_EXIT_CODE));
        CloseHandle(hProcess);
    });
    ASSERT_TRUE(R.started);
    EXPECT_EQ(R.exitCode, KILLED_EXIT_CODE);
    EXPECT_FALSE(fOurBox);
    EXPECT_FALSE(ProductInstalled());

    /* The next run, silent, takes the mutex and installs. */
    ScratchDir Temp2;
    ProcessResult const R2 = Run(L"--silent --no-silent-cert", Temp2);
    EXPECT_EQ(R2.exitCode, 0u) << R2.err;
    EXPECT_EQ(R2.out + R2.err, "");
    EXPECT_TRUE(ProductInstalled());
}

} /* namespace */
