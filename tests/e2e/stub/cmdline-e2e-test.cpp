/* NimbStub.exe's command line as a user meets it: exact output bytes and exit codes of the
 * real program for good and bad command lines, in silent mode (without a display an
 * interactive run's message box fails at once, so only the exit code shows there). The bare
 * program carries no packages: a command line that parses takes the run on to the package
 * manifest, which it does not find. */
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdio>
#include <string>
#include "process-runner.h"
#include "scratch-dir.h"
#include "stub-help-text.h"
#include "NimbStubVersion.h"

namespace {

const std::string g_strError = "NimbStub.exe: error: ";
const std::string g_strValueMissing = "The option needs a value but none was given";
const std::string g_strNoManifest = g_strError + "Internal package error: Manifest not found (ERR_DEVICE_FAILURE)\r\n";

/** Text in the ANSI code page, as the standard streams write it. */
std::string Ansi(const std::wstring &wstr)
{
    char sz[64];
    int const cb = WideCharToMultiByte(CP_ACP, 0, wstr.c_str(), -1, sz, sizeof(sz), nullptr, nullptr);
    return std::string(sz, cb > 0 ? cb - 1 : 0);
}

/** Runs the bare program; the extraction directory a run makes goes under @p pTemp. */
ProcessResult Stub(const std::wstring &wstrArgs, const ScratchDir *pTemp = nullptr)
{
    ProcessOptions Opts;
    if (pTemp)
        Opts.extraEnv = L"ZUNT_TMPDIR=" + Widen(pTemp->path());
    return RunProcess(BuildPath("bin/NimbStub.exe"), L"NimbStub.exe " + wstrArgs, Opts);
}

struct Case
{
    std::wstring wstrArgs;
    uint32_t     uExit;
    std::string  strOut;
    std::string  strErr;
};

void RunCases(const std::vector<Case> &aCases)
{
    for (const auto &C : aCases)
    {
        ScratchDir Temp;
        ProcessResult const R = Stub(C.wstrArgs, &Temp);
        ASSERT_TRUE(R.started);
        std::string const strArgs = Narrow(C.wstrArgs).substr(0, 120);
        EXPECT_EQ(R.exitCode, C.uExit) << strArgs;
        EXPECT_EQ(R.out, C.strOut) << strArgs;
        EXPECT_EQ(R.err, C.strErr) << strArgs;
    }
}

TEST(StubCmdLine, GoodCommandLinesGoOnToThePackages)
{
    /* (--verbose is left out: a console of its own is the platform's to give, and Wine hands
     * a program started from a console program that console already.) */
    RunCases({
        { L"", 1, "", "" },                                     /* the box fails without a display */
        { L"--silent", 1, "", g_strNoManifest },
        { L"/silent -x -c -l -r -t -T --path C:\\x --msi-log-file=C:\\l.txt", 1, "", g_strNoManifest },
        { L"-s --msiparams \"INSTALLDIR=\"\"C:\\Program Files\\N\"\"\" B=1 --reinstall", 1, "", g_strNoManifest },
        { L"-s --msi-prop A \"b c\" --path=", 1, "", g_strNoManifest },
        { L"--silent --", 1, "", g_strNoManifest },
        { L"--silent --msiparams \"A=1 B", 1, "", g_strNoManifest },  /* unterminated quotes */
    });
}

TEST(StubCmdLine, EmptyCommandLines)
{
    /* Not even a program name: nothing to parse, the run goes on to the packages (and its
     * box fails without a display). */
    for (const wchar_t *pwsz : { L"", L"   ", L"\t" })
    {
        ScratchDir Temp;
        ProcessOptions Opts;
        Opts.extraEnv = L"ZUNT_TMPDIR=" + Widen(Temp.path());
        ProcessResult const R = RunProcess(BuildPath("bin/NimbStub.exe"), pwsz, Opts);
        ASSERT_TRUE(R.started);
        EXPECT_EQ(R.exitCode, 1u);
        EXPECT_EQ(R.out + R.err, "");
    }
}

TEST(StubCmdLine, HelpAndVersion)
{
    std::string const strVersion = NIMB_VERSION_TEXT;
    std::string const strHelp = ExpectedHelpText("NimbStub.exe", strVersion, "\r\n") + "\r\n";
    RunCases({
        { L"--silent --help", 0, strHelp, "" },
        { L"-s -?", 0, strHelp, "" },
        { L"/silent /? --bogus", 0, strHelp, "" },
        { L"-sh", 0, strHelp, "" },
        { L"--silent --version", 0, "Version: " + strVersion + "\r\n", "" },
        { L"-s /version stray", 0, "Version: " + strVersion + "\r\n", "" },
    });
    /* The program name in the examples is argv[0] as given. */
    ProcessResult const R = RunProcess(BuildPath("bin/NimbStub.exe"), L"\"C:\\Some Dir\\setup.exe\" -s -h");
    EXPECT_EQ(R.exitCode, 0u);
    EXPECT_EQ(R.out, ExpectedHelpText("C:\\Some Dir\\setup.exe", strVersion, "\r\n") + "\r\n");
}

TEST(StubCmdLine, VersionBlockNamesTheVersionTheProgramPrints)
{
    HMODULE hMod = LoadLibraryExW(BuildPath("bin/NimbStub.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(hMod, nullptr);
    HRSRC hRes = FindResourceW(hMod, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    ASSERT_NE(hRes, nullptr);
    const uint8_t *pb = static_cast<const uint8_t *>(LockResource(LoadResource(hMod, hRes)));
    DWORD const cb = SizeofResource(hMod, hRes);
    const VS_FIXEDFILEINFO *pInfo = nullptr;
    for (DWORD off = 0; off + sizeof(VS_FIXEDFILEINFO) <= cb; off += 4)
        if (reinterpret_cast<const VS_FIXEDFILEINFO *>(pb + off)->dwSignature == VS_FFI_SIGNATURE)
        {
            pInfo = reinterpret_cast<const VS_FIXEDFILEINFO *>(pb + off);
            break;
        }
    ASSERT_NE(pInfo, nullptr);
    char szVersion[64];
    snprintf(szVersion, sizeof(szVersion), "Version: %lu.%lu.%lur%lu\r\n", pInfo->dwFileVersionMS >> 16,
             pInfo->dwFileVersionMS & 0xFFFF, pInfo->dwFileVersionLS >> 16, pInfo->dwFileVersionLS & 0xFFFF);
    FreeLibrary(hMod);
    EXPECT_EQ(Stub(L"-s -V").out, szVersion);
}

TEST(StubCmdLine, BadCommandLinesInSilentMode)
{
    std::wstring const w4095(4095, L'A'), w4096(4096, L'A');
    std::string const strOutOfSpace = g_strError + "Out of space for MSI parameters and properties\r\n";
    RunCases({
        { L"--silent --bogus",              2, "", g_strError + "Unknown option: '--bogus'\r\n" },
        { L"--silent -",                    2, "", g_strError + "Unknown option: '-'\r\n" },
        { L"--silent ---",                  2, "", g_strError + "Unknown option: '---'\r\n" },
        { L"--silent - --",                 2, "", g_strError + "Unknown option: '-'\r\n" },
        /* A lone en dash is a plain argument; standard error speaks the ANSI code page. */
        { L"--silent \x2013",               2, "", g_strError + "Invalid parameter: " + Ansi(L"\x2013") + "\r\n" },
        { L"--silent -- --silent",          2, "", g_strError + "Invalid parameter: --silent\r\n" },
        { L"--silent stray",                2, "", g_strError + "Invalid parameter: stray\r\n" },
        { L"--silent \"--path",             2, "", g_strError + "--path: " + g_strValueMissing + "\r\n" },
        { L"-s --msi-log-file",             2, "", g_strError + "--msi-log-file: " + g_strValueMissing + "\r\n" },
        { L"-s --msi-prop A",               2, "", g_strError + "--msi-prop takes two arguments, the 2nd is missing\r\n" },
        { L"-s --msi-prop \"A B\" c",       2, "", g_strError + "The first argument to --msi-prop must not contain spaces: A B\r\n" },
        { L"-s --msiparams " + w4095,       1, "", g_strNoManifest },
        { L"-s --msiparams " + w4096,       2, "", strOutOfSpace },
        { L"-s --msiparams " + w4095.substr(0, 4093) + L" x", 1, "", g_strNoManifest },
        { L"-s --msiparams " + w4095.substr(0, 4094) + L" x", 2, "", strOutOfSpace },
        { L"-s --path " + std::wstring(5000, L'p'), 2, "",
          g_strError + "Extraction path is too long (ERR_BUFFER_TOO_SMALL)\r\n" },
    });
}

TEST(StubRun, AnotherInstallerHoldingTheMutexRefusesTheRun)
{
    /* (An installer of another user, whose mutex this one may not even open, cannot be
     * arranged here: Wine opens a mutex whose access list is empty all the same.) */
    HANDLE const hMutex = CreateMutexW(nullptr, FALSE, L"NimbStubInstaller");
    ASSERT_NE(hMutex, nullptr);
    ScratchDir Temp;
    ProcessResult const R = Stub(L"--silent", &Temp);
    CloseHandle(hMutex);
    EXPECT_EQ(R.exitCode, 1u);
    EXPECT_EQ(R.out, "");
    EXPECT_EQ(R.err, g_strError + "Another installer is already running\r\n");
    EXPECT_TRUE(DirEntries(Temp.path()).empty());
}

TEST(StubCmdLine, InteractiveErrorsWithoutADisplayStillExitWithTwo)
{
    RunCases({
        { L"--bogus --silent", 2, "", "" },     /* silent mode is not on yet */
        { L"stray", 2, "", "" },
    });
}

TEST(StubCmdLine, LongestCommandLine)
{
    /* 32,767 UTF-16 units with the terminator: the platform's limit. */
    std::wstring wstrArgs = L"--silent --msiparams ";
    std::wstring const wstrProg = L"NimbStub.exe ";
    wstrArgs.append(32766 - wstrProg.size() - wstrArgs.size(), L'Z');
    ASSERT_EQ(wstrProg.size() + wstrArgs.size(), 32766u);
    RunCases({ { wstrArgs, 2, "", g_strError + "Out of space for MSI parameters and properties\r\n" } });
}

TEST(StubCmdLine, UnpairedSurrogateEndsTheStartUp)
{
    for (const wchar_t *pwsz : { L"--silent \xD800", L"--silent --path \xDC00x" })
    {
        ProcessResult const R = Stub(pwsz);
        EXPECT_EQ(R.exitCode, 3u);
        EXPECT_EQ(R.out, "");
        EXPECT_EQ(R.err, "Failed to convert command line to UTF-8: -62\r\n");
    }
}

} /* namespace */
