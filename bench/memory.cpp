/* Peak working set of a run that shows no box, NimbStub.exe --silent --version, against a
 * program whose entry point only ends the process. Each program runs under this benchmark
 * as its debugger, so that it stops at every loader event and once more as it exits: the
 * process's counters are read at each stop and the highest peak is kept. The counters are
 * what Wine reports for a live child, the peak resident size of its host process so far; a
 * child that has ended reads as zeros, so the figure is the peak up to the last stop with
 * the process alive, a lower bound of the true one that misses only what exiting costs.
 * (Wine reports no private usage for a child at all.) */
#include "process-runner.h"
#include "bench-process.h"
#include <windows.h>
#include <psapi.h>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct PeakReading
{
    size_t cbPeak = 0;       /**< highest PeakWorkingSetSize seen */
    size_t cbPrivate = 0;    /**< highest PrivateUsage seen */
    unsigned cStops = 0;     /**< debug events the counters were read at */
    unsigned cDlls = 0;      /**< libraries loaded after the executable and ntdll */
};

PeakReading RunForPeak(const std::wstring &exe, const std::wstring &cmdline, HANDLE hNul)
{
    PROCESS_INFORMATION const pi = BenchStartProcess(exe, cmdline, hNul, DEBUG_ONLY_THIS_PROCESS);
    PeakReading Reading;
    for (;;)
    {
        DEBUG_EVENT Event = {};
        if (!WaitForDebugEvent(&Event, 60000))
        {
            fprintf(stderr, "no debug event from %ls\n", exe.c_str());
            exit(1);
        }
        PROCESS_MEMORY_COUNTERS_EX Counters = {};
        Counters.cb = sizeof(Counters);
        if (K32GetProcessMemoryInfo(pi.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&Counters), sizeof(Counters)))
        {
            Reading.cbPeak = std::max<size_t>(Reading.cbPeak, Counters.PeakWorkingSetSize);
            Reading.cbPrivate = std::max<size_t>(Reading.cbPrivate, Counters.PrivateUsage);
            Reading.cStops++;
        }
        DWORD dwContinue = DBG_CONTINUE;
        switch (Event.dwDebugEventCode)
        {
            case CREATE_PROCESS_DEBUG_EVENT:
                CloseHandle(Event.u.CreateProcessInfo.hFile);
                break;
            case LOAD_DLL_DEBUG_EVENT:
                CloseHandle(Event.u.LoadDll.hFile);
                Reading.cDlls++;
                break;
            case EXCEPTION_DEBUG_EVENT:
                /* The loader's breakpoint is ours to swallow; anything else goes back. */
                if (Event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                    dwContinue = DBG_EXCEPTION_NOT_HANDLED;
                break;
            default:
                break;
        }
        ContinueDebugEvent(Event.dwProcessId, Event.dwThreadId, dwContinue);
        if (Event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT)
            break;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return Reading;
}

} // namespace

int main()
{
    HANDLE hNul = BenchOpenNul();
    std::wstring const stub = BuildPath("bin/NimbStub.exe");
    std::wstring const minimal = BuildPath("programs/minimal-exit.exe");

    /* Interleaved runs; the smallest peak of each is the least disturbed. */
    constexpr int cRuns = 3;
    PeakReading Stub, Minimal;
    std::vector<size_t> stubPeaks, minimalPeaks;
    for (int i = 0; i < cRuns; i++)
    {
        Stub = RunForPeak(stub, L"NimbStub.exe --silent --version", hNul);
        Minimal = RunForPeak(minimal, L"minimal-exit", hNul);
        stubPeaks.push_back(Stub.cbPeak);
        minimalPeaks.push_back(Minimal.cbPeak);
    }
    size_t const cbStub = *std::min_element(stubPeaks.begin(), stubPeaks.end());
    size_t const cbMinimal = *std::min_element(minimalPeaks.begin(), minimalPeaks.end());
    printf("memory: peak working set (debugger stops: %u and %u, libraries loaded: %u and %u, private usage "
           "reported: %zu and %zu bytes)\n", Stub.cStops, Minimal.cStops, Stub.cDlls, Minimal.cDlls,
           Stub.cbPrivate, Minimal.cbPrivate);
    printf("memory: NimbStub.exe --silent --version %.2f MB, minimal-exit %.2f MB, ratio %.3f (target at most 1.1)\n",
           cbStub / 1e6, cbMinimal / 1e6, double(cbStub) / double(cbMinimal));
    CloseHandle(hNul);
    return 0;
}
