/* NimbStub.exe's extraction run as the host decides it, and its hold on what it extracted,
 * on a real (virtual) display. The same program also runs in a 32-bit prefix (a real
 * 32-bit host), where the interactive refusal is checked; each test reads the host it runs
 * on from the platform and expects accordingly. */
#include <gtest/gtest.h>
#include <windows.h>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>
#include "process-runner.h"
#include "scratch-dir.h"
#include "payload-writer.h"
#include "NimbStubPayload.h"
#include "wait-box.h"
#include "win-text.h"

namespace {

bool HostIs64Bit()
{
    BOOL fWow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &fWow64) && fWow64;
}

/** What a run showed in its box, if it showed one. */
struct BoxRun
{
    ProcessResult R;
    bool          fBox = false;
    std::wstring  wstrText;
};

/** Runs @p strExe with @p wstrArgs; when its box titled "Nimbrel Installer" is up, reads
 *  its text, calls @p fnWhileShown and presses OK. */
BoxRun RunWithBox(const std::string &strExe, const std::wstring &wstrArgs,
                  const std::function<void()> &fnWhileShown = {})
{
    BoxRun Run;
    std::atomic<bool> fDone{false};
    std::thread Runner([&] {
        ProcessOptions Opts;
        Opts.timeoutMs = 30000;
        Run.R = RunProcess(Widen(strExe), L"NimbStub.exe " + wstrArgs, Opts);
        fDone = true;
    });
    HWND const hwndBox = WaitForVisibleBox(L"Nimbrel Installer", fDone, 25);
    if (hwndBox)
    {
        Run.fBox = true;
        if (HWND const hwndText = GetDlgItem(hwndBox, 0xFFFF))
            Run.wstrText = WindowText(hwndText);
        if (fnWhileShown)
            fnWhileShown();
        if (HWND const hwndOk = FindWindowExW(hwndBox, nullptr, L"Button", nullptr))
            SendMessageW(hwndOk, BM_CLICK, 0, 0);
        else
            PostMessageW(hwndBox, WM_CLOSE, 0, 0);
    }
    Runner.join();
    return Run;
}

/** What file-poke could do to @p strPath from a process of its own: 1 opened for
 *  writing, 2 renamed, 4 deleted; 0 when the file held against all three. */
uint32_t Poke(const std::string &strPath)
{
    ProcessResult const R = RunProcess(BuildPath("programs/file-poke.exe"), L"file-poke " + QuoteArg(Widen(strPath)));
    EXPECT_TRUE(R.started);
    return R.exitCode;
}

class ExtractHost : public ::testing::Test
{
protected:
    /** An installer in the scratch directory carrying @p packages. */
    std::string Installer(const std::vector<TestPackage> &packages)
    {
        /* Each in a directory of its own, under the name its messages carry. */
        std::string const strDir = m_Scratch / ("installer" + std::to_string(m_cInstallers++));
        EXPECT_TRUE(CreateDirectoryW(Widen(strDir).c_str(), nullptr));
        std::string const strExe = strDir + "\\NimbStub.exe";
        EXPECT_TRUE(WriteTestInstaller(strExe, PayloadResources(packages)));
        return strExe;
    }

    ScratchDir m_Scratch;
    unsigned   m_cInstallers = 0;
};

TEST_F(ExtractHost, InstallRunsTakeThePackagesForTheHostAndExtractOnlyRunsTakeAll)
{
    /* A package that is not a database: handed to Windows Installer it fails the run, so
     * the exit code tells whether the package was chosen. */
    bool const fHost64 = HostIs64Bit();
    struct Case { uint32_t uArch; bool fChosen; };
    for (const Case &C : { Case{ PACKAGE_ARCH_ANY, true }, Case{ PACKAGE_ARCH_X86, !fHost64 },
                           Case{ PACKAGE_ARCH_AMD64, fHost64 }, Case{ 7, false } })
    {
        SCOPED_TRACE("architecture " + std::to_string(C.uArch) + (fHost64 ? " on a 64-bit host" : " on a 32-bit host"));
        std::string const strExe = Installer({ { C.uArch, "p.msi", "not a database" } });
        ProcessOptions Opts;
        Opts.extraEnv = Widen("TMP=" + m_Scratch.path());
        ProcessResult const R = RunProcess(Widen(strExe), L"NimbStub.exe --silent", Opts);
        EXPECT_EQ(R.exitCode, C.fChosen ? 1u : 0u) << R.err;
        EXPECT_EQ(R.err.rfind("NimbStub.exe: error: Installation failed!", 0), C.fChosen ? 0u : std::string::npos) << R.err;
    }

    std::string const strExe = Installer({ { PACKAGE_ARCH_ANY, "any.cab", "1" }, { PACKAGE_ARCH_X86, "x86.cab", "2" },
                                           { PACKAGE_ARCH_AMD64, "amd64.cab", "3" }, { 7, "other.cab", "7" } });
    std::string const strDir = m_Scratch / "all";
    ProcessResult const R = RunProcess(Widen(strExe), L"NimbStub.exe --silent --extract --path " + QuoteArg(Widen(strDir)));
    EXPECT_EQ(R.exitCode, 0u) << R.err;
    for (const char *pszName : { "any.cab", "x86.cab", "amd64.cab", "other.cab" })
        EXPECT_TRUE(PathExists(strDir + "\\" + pszName)) << pszName;
}

TEST_F(ExtractHost, InteractiveRunOnA32BitHostIsRefused)
{
    if (HostIs64Bit())
        GTEST_SKIP() << "a 64-bit host; the 32-bit prefix runs this";
    std::string const strExe = Installer({ { PACKAGE_ARCH_ANY, "any.cab", "1" } });
    std::string const strDir = m_Scratch / "never";
    BoxRun const Run = RunWithBox(strExe, L"--path " + QuoteArg(Widen(strDir)));
    ASSERT_TRUE(Run.fBox);
    EXPECT_EQ(Run.wstrText, L"32-bit Windows hosts are not supported by this Nimbrel release.");
    EXPECT_EQ(Run.R.exitCode, 1u);
    EXPECT_EQ(Run.R.out + Run.R.err, "");
    EXPECT_FALSE(PathExists(strDir));
}

TEST_F(ExtractHost, ExtractedFilesHoldAgainstAnotherProcessUntilTheRunEnds)
{
    /* The box of an interactive extract-only run is shown while the verified files are
     * still held: another process may read them but can neither write, rename nor delete
     * them. Once the run has ended, it can. */
    std::string const strExe = Installer({ { PACKAGE_ARCH_ANY, "any.cab", std::string(65537, 'a') },
                                           { PACKAGE_ARCH_X86, "x86.msi", "x86" } });
    std::string const strDir = m_Scratch / "out";
    std::vector<uint32_t> aWhileHeld;
    BoxRun const Run = RunWithBox(strExe, L"--extract --path " + QuoteArg(Widen(strDir)), [&] {
        for (const char *pszName : { "any.cab", "x86.msi" })
            aWhileHeld.push_back(Poke(strDir + "\\" + pszName));
    });
    ASSERT_TRUE(Run.fBox);
    EXPECT_EQ(Run.wstrText, Widen("Files were extracted to: " + strDir));
    EXPECT_EQ(Run.R.exitCode, 0u);
    EXPECT_EQ(aWhileHeld, (std::vector<uint32_t>{ 0, 0 }));
    EXPECT_EQ(Poke(strDir + "\\x86.msi"), 1u | 2u | 4u);
}

} /* namespace */
