/* Peak working set of a run that shows no box, NimbStub.exe --silent --version, against a
 * program whose entry point only ends the process, and against that program loading the
 * socket library first, as runtime initialisation must: the least any run on the runtime
 * can peak at.
 *
 * The counters are what Wine reports for a live child: the peak resident size of its host
 * process so far (no private usage at all), and zeros once it has ended. They are read
 * every millisecond while the program runs, so the figure misses at most the last
 * millisecond of its life. No debugger is attached: a debugged program can be read only at
 * its stops, which fall before a library's initialisation and before the empty program's
 * exit, and it does more than a plain run (the runtime names its thread for a debugger). */
#include "process-runner.h"
#include "bench-process.h"
#include <windows.h>
#include <psapi.h>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

/** The highest peak working set read while the program ran. */
size_t RunForPeak(const std::wstring &exe, const std::wstring &cmdline, HANDLE hNul, const std::wstring &env)
{
    std::vector<wchar_t> block = EnvironmentBlock(env);
    PROCESS_INFORMATION const pi = BenchStartProcess(exe, cmdline, hNul, 0, block.data());
    size_t cbPeak = 0;
    do
    {
        PROCESS_MEMORY_COUNTERS Counters = { sizeof(Counters) };
        if (K32GetProcessMemoryInfo(pi.hProcess, &Counters, sizeof(Counters)))
            cbPeak = std::max<size_t>(cbPeak, Counters.PeakWorkingSetSize);
    } while (WaitForSingleObject(pi.hProcess, 1) == WAIT_TIMEOUT);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return cbPeak;
}

} /* namespace */

int main()
{
    HANDLE hNul = BenchOpenNul();
    std::wstring const stub = BuildPath("bin/NimbStub.exe");
    std::wstring const minimal = BuildPath("programs/minimal-exit.exe");

    /* Interleaved runs; the smallest peak of each is the least disturbed. */
    constexpr int cRuns = 3;
    size_t cbStub = SIZE_MAX, cbMinimal = SIZE_MAX, cbSockets = SIZE_MAX;
    for (int i = 0; i < cRuns; i++)
    {
        cbStub = std::min(cbStub, RunForPeak(stub, L"NimbStub.exe --silent --version", hNul, L""));
        cbMinimal = std::min(cbMinimal, RunForPeak(minimal, L"minimal-exit", hNul, L""));
        cbSockets = std::min(cbSockets, RunForPeak(minimal, L"minimal-exit", hNul, L"NIMB_BENCH_LOAD_SOCKETS=1"));
    }
    printf("memory: peak working set, NimbStub.exe --silent --version %.2f MB, minimal-exit %.2f MB, "
           "ratio %.3f (target at most 1.1)\n", cbStub / 1e6, cbMinimal / 1e6, double(cbStub) / double(cbMinimal));
    printf("memory: minimal-exit loading the socket library %.2f MB (%.3f of minimal-exit), NimbStub.exe %.3f of it "
           "(the least a run on the runtime can reach)\n",
           cbSockets / 1e6, double(cbSockets) / double(cbMinimal), double(cbStub) / double(cbSockets));
    CloseHandle(hNul);
    return 0;
}
