/* Which libraries a run of NimbStub.exe loads, seen as a debugger sees them: the test
 * starts the program under its own debug loop and records the file of every library
 * loaded. A run that shows nothing loads none of the lazily bound libraries; a run that
 * shows a box loads USER32 and only what the box needs; and no library planted beside the
 * program, in the current directory or on the search path is ever loaded, which a careless
 * program that loads by bare name shows is a real danger under the same arrangement. */
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
#include "win-text.h"

namespace {

constexpr wchar_t kTitle[] = L"Nimbrel Installer";

std::wstring BaseName(const std::wstring &path)
{
    size_t const off = path.find_last_of(L"\\/");
    return Lower(off == std::wstring::npos ? path : path.substr(off + 1));
}

struct TracedRun
{
    std::wstring              cmdline;
    std::wstring              env;          /**< "NAME=value" lines replacing inherited ones */
    std::wstring              currentDir;   /**< empty: the test's own */
    bool                      fClickBox = false;
};

struct TraceResult
{
    bool                      started = false;
    bool                      fBoxSeen = false;
    uint32_t                  exitCode = 0;
    std::vector<std::wstring> loaded;       /**< full paths, in load order */
};

/** The file name of a library the debuggee loaded. */
std::wstring LoadedName(HANDLE hProcess, const LOAD_DLL_DEBUG_INFO &Info)
{
    wchar_t wsz[1024];
    if (Info.hFile)
    {
        DWORD const cwc = GetFinalPathNameByHandleW(Info.hFile, wsz, 1024, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (cwc > 0 && cwc < 1024)
        {
            std::wstring name(wsz, cwc);
            return name.rfind(L"\\\\?\\", 0) == 0 ? name.substr(4) : name;
        }
    }
    /* Otherwise the loader's own record: a pointer to a pointer to the name. */
    void *pvName = nullptr;
    SIZE_T cb = 0;
    if (Info.lpImageName && ReadProcessMemory(hProcess, Info.lpImageName, &pvName, sizeof(pvName), &cb) && pvName
        && Info.fUnicode && ReadProcessMemory(hProcess, pvName, wsz, sizeof(wsz) - sizeof(wchar_t), &cb))
    {
        wsz[cb / sizeof(wchar_t)] = L'\0';
        return wsz;
    }
    return L"<unnamed>";
}

/** Presses OK on the product's box once it appears, again until the program has ended: a
 *  click that reaches a box still being set up is lost. Gives up after a while. */
void ClickBox(std::atomic<bool> &fDone, bool &fSeen)
{
    auto const tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fDone && std::chrono::steady_clock::now() < tEnd)
    {
        HWND const hwnd = FindWindowW(L"#32770", kTitle);
        HWND const hwndButton = hwnd && IsWindowVisible(hwnd) ? FindWindowExW(hwnd, nullptr, L"Button", nullptr)
                                                               : nullptr;
        if (hwndButton)
        {
            fSeen = true;
            SendMessageTimeoutW(hwndButton, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 2000, nullptr);
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            continue;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

/** Runs @p exe under a debug loop of ours and records every library it loads. */
TraceResult RunTracingLoads(const std::wstring &exe, const TracedRun &run)
{
    TraceResult r;
    std::atomic<bool> fDone(false);
    std::thread clicker;
    if (run.fClickBox)
        clicker = std::thread(ClickBox, std::ref(fDone), std::ref(r.fBoxSeen));

    SECURITY_ATTRIBUTES sa = { sizeof(sa), nullptr, TRUE };
    HANDLE const hNul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                                    OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = hNul;
    PROCESS_INFORMATION pi = {};
    std::vector<wchar_t> env = EnvironmentBlock(run.env);
    std::wstring cmdline = run.cmdline;
    r.started = CreateProcessW(exe.c_str(), &cmdline[0], nullptr, nullptr, TRUE,
                               DEBUG_ONLY_THIS_PROCESS | CREATE_UNICODE_ENVIRONMENT, env.data(),
                               run.currentDir.empty() ? nullptr : run.currentDir.c_str(), &si, &pi);
    CloseHandle(hNul);
    if (r.started)
    {
        bool fInitialBreak = true;
        auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(90);
        DEBUG_EVENT ev;
        for (bool fExited = false; !fExited;)
        {
            if (!WaitForDebugEvent(&ev, 1000))
            {
                if (std::chrono::steady_clock::now() > tEnd)
                {
                    ADD_FAILURE() << "the program did not end";
                    TerminateProcess(pi.hProcess, 999);
                    tEnd = std::chrono::steady_clock::time_point::max();
                }
                continue;
            }
            DWORD uContinue = DBG_CONTINUE;
            switch (ev.dwDebugEventCode)
            {
                case CREATE_PROCESS_DEBUG_EVENT:
                    if (ev.u.CreateProcessInfo.hFile)
                        CloseHandle(ev.u.CreateProcessInfo.hFile);
                    break;
                case LOAD_DLL_DEBUG_EVENT:
                    r.loaded.push_back(LoadedName(pi.hProcess, ev.u.LoadDll));
                    if (ev.u.LoadDll.hFile)
                        CloseHandle(ev.u.LoadDll.hFile);
                    break;
                case EXCEPTION_DEBUG_EVENT:
                    /* The loader's breakpoint for a new debuggee is ours; anything else is the
                     * program's own to handle. */
                    if (!(fInitialBreak && ev.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT))
                        uContinue = DBG_EXCEPTION_NOT_HANDLED;
                    fInitialBreak = false;
                    break;
                case EXIT_PROCESS_DEBUG_EVENT:
                    r.exitCode = ev.u.ExitProcess.dwExitCode;
                    fExited = true;
                    break;
            }
            ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, uContinue);
        }
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    fDone = true;
    if (clicker.joinable())
        clicker.join();
    return r;
}

bool Loaded(const TraceResult &r, const wchar_t *pwszName)
{
    return std::any_of(r.loaded.begin(), r.loaded.end(),
                       [&](const std::wstring &path) { return BaseName(path) == pwszName; });
}

std::string Listing(const TraceResult &r)
{
    std::string str;
    for (const std::wstring &path : r.loaded)
        str += Narrow(path) + "\n";
    return str;
}

/** The lazily bound libraries and the one loaded on first use. */
const wchar_t * const g_apwszBound[] = { L"msi.dll", L"crypt32.dll", L"user32.dll", L"shell32.dll", L"comctl32.dll" };

} /* namespace */

TEST(LibraryLoads, SilentVersionLoadsNoBoundLibrary)
{
    TraceResult const r = RunTracingLoads(BuildPath("bin/NimbStub.exe"), { L"NimbStub --silent --version" });
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_TRUE(Loaded(r, L"kernel32.dll")) << "the trace sees loads:\n" << Listing(r);
    for (const wchar_t *pwszName : g_apwszBound)
        EXPECT_FALSE(Loaded(r, pwszName)) << Narrow(pwszName) << " in\n" << Listing(r);
}

TEST(LibraryLoads, HelpBoxLoadsUser32Only)
{
    TracedRun run = { L"NimbStub --help" };
    run.fClickBox = true;
    TraceResult const r = RunTracingLoads(BuildPath("bin/NimbStub.exe"), run);
    ASSERT_TRUE(r.started);
    EXPECT_TRUE(r.fBoxSeen);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_TRUE(Loaded(r, L"user32.dll")) << Listing(r);
    for (const wchar_t *pwszName : { L"msi.dll", L"crypt32.dll", L"shell32.dll" })
        EXPECT_FALSE(Loaded(r, pwszName)) << Narrow(pwszName) << " in\n" << Listing(r);
    /* Whatever loaded came from the operating system's own directories. */
    for (const std::wstring &path : r.loaded)
        EXPECT_EQ(Lower(path).find(Lower(BuildPath(""))), std::wstring::npos) << Narrow(path);
}

TEST(LibraryLoads, PlantedLibrariesAreNeverLoaded)
{
    /* Every library the product loads or may load, with those they pull in. Wine would load
     * its own copy of each whatever lies beside the program, unless told to prefer a file;
     * it reads that from the environment it starts with, so the build sets it for this
     * program (and so for its children) from the same list. */
    std::wstring const strCanaries = NIMB_CANARY_DLLS;
    std::vector<std::wstring> canaries;
    for (size_t off = 0; off <= strCanaries.size();)
    {
        size_t const offEnd = std::min(strCanaries.find(L',', off), strCanaries.size());
        canaries.push_back(strCanaries.substr(off, offEnd - off));
        off = offEnd + 1;
    }
    wchar_t wszOverrides[1024];
    DWORD const cwcOverrides = GetEnvironmentVariableW(L"WINEDLLOVERRIDES", wszOverrides, RTL_NUMBER_OF(wszOverrides));
    ASSERT_NE(std::wstring(wszOverrides, cwcOverrides < RTL_NUMBER_OF(wszOverrides) ? cwcOverrides : 0)
                  .find(strCanaries + L"=n,b"),
              std::wstring::npos)
        << "run with WINEDLLOVERRIDES naming " << Narrow(strCanaries) << "=n,b";
    RecordProperty("canaries", Narrow(strCanaries));
    std::cout << "planted canaries: " << Narrow(strCanaries) << std::endl;

    /* Beside the program, in the current directory and in a directory on PATH. */
    ScratchDir Beside, Current, OnPath;
    for (const ScratchDir *pDir : { &Beside, &Current, &OnPath })
        for (const std::wstring &strName : canaries)
            ASSERT_TRUE(CopyFileW(BuildPath("programs/nimbplant.dll").c_str(),
                                  Widen(*pDir / (Narrow(strName) + ".dll")).c_str(), FALSE));
    std::wstring const strExe = Widen(Beside / "NimbStub.exe");
    ASSERT_TRUE(CopyFileW(BuildPath("bin/NimbStub.exe").c_str(), strExe.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(BuildPath("programs/lazy-probe.exe").c_str(), Widen(Beside / "lazy-probe.exe").c_str(),
                          FALSE));
    wchar_t wszPath[8192];
    DWORD const cwcPath = GetEnvironmentVariableW(L"PATH", wszPath, RTL_NUMBER_OF(wszPath));
    std::wstring const strEnv = L"PATH=" + Widen(OnPath.path()) + L";"
                              + std::wstring(wszPath, cwcPath < RTL_NUMBER_OF(wszPath) ? cwcPath : 0);
    std::wstring const strPlanted[] = { Lower(Widen(Beside.path())), Lower(Widen(Current.path())),
                                        Lower(Widen(OnPath.path())) };
    auto const plantedLoads = [&](const TraceResult &r) {
        std::string str;
        for (const std::wstring &path : r.loaded)
            for (const std::wstring &dir : strPlanted)
                if (Lower(path).rfind(dir + L"\\", 0) == 0)
                    str += Narrow(path) + "\n";
        return str;
    };

    /* The control: a program that loads by bare name through the default search order gets
     * the planted copy. */
    TracedRun control = { L"lazy-probe careless version.dll", strEnv, Widen(Current.path()) };
    TraceResult const rControl = RunTracingLoads(Widen(Beside / "lazy-probe.exe"), control);
    ASSERT_TRUE(rControl.started);
    EXPECT_EQ(rControl.exitCode, 0u);
    EXPECT_EQ(plantedLoads(rControl), Narrow(Widen(Beside / "version.dll")) + "\n") << Listing(rControl);

    /* The product, silent and with a box, loads none of them. */
    struct { const wchar_t *pwszCmdline; bool fBox; } const s_aRuns[] =
    {
        { L"NimbStub --silent --version", false },
        { L"NimbStub --silent --no-such-option", false },
        { L"NimbStub --help", true },
    };
    for (const auto &c : s_aRuns)
    {
        TracedRun run = { c.pwszCmdline, strEnv, Widen(Current.path()), c.fBox };
        TraceResult const r = RunTracingLoads(strExe, run);
        ASSERT_TRUE(r.started);
        EXPECT_EQ(r.fBoxSeen, c.fBox) << Narrow(c.pwszCmdline);
        EXPECT_EQ(plantedLoads(r), "") << Narrow(c.pwszCmdline) << "\n" << Listing(r);
        if (c.fBox)
            EXPECT_TRUE(Loaded(r, L"user32.dll")) << Listing(r);
    }
}
