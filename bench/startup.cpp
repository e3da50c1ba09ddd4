/* Start-up cost: the whole life of a program on the runtime's start-up (CreateProcessW to
 * exit, with arguments to split and its exit routines) against a program whose entry
 * point only ends the process. Runs are interleaved so that both see the same machine. */
#include "process-runner.h"
#include "bench-timer.h"
#include "bench-process.h"
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <vector>

static double RunOnce(const std::wstring &exe, const std::wstring &cmdline, HANDLE hNul)
{
    double const t0 = BenchNow();
    PROCESS_INFORMATION const pi = BenchStartProcess(exe, cmdline, hNul);
    WaitForSingleObject(pi.hProcess, INFINITE);
    double const t1 = BenchNow();
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return (t1 - t0) * 1000.0;
}

int main()
{
    HANDLE hNul = BenchOpenNul();
    std::wstring const probe = BuildPath("programs/startup-probe.exe");
    std::wstring const minimal = BuildPath("programs/minimal-exit.exe");
    std::wstring const probeCmd = L"startup-probe \"an argument\" \u00fcml\u00e4ut atexit=3 exit=0";
    std::wstring const minimalCmd = L"minimal-exit \"an argument\" \u00fcml\u00e4ut atexit=3 exit=0";

    /* Warm up the file cache and Wine's own process machinery first. */
    for (int i = 0; i < 3; i++)
    {
        RunOnce(probe, probeCmd, hNul);
        RunOnce(minimal, minimalCmd, hNul);
    }
    constexpr int cRuns = 40;
    std::vector<double> probeMs, minimalMs;
    for (int i = 0; i < cRuns; i++)
    {
        /* Alternate which goes first, so neither always follows the other. */
        if (i & 1)
        {
            probeMs.push_back(RunOnce(probe, probeCmd, hNul));
            minimalMs.push_back(RunOnce(minimal, minimalCmd, hNul));
        }
        else
        {
            minimalMs.push_back(RunOnce(minimal, minimalCmd, hNul));
            probeMs.push_back(RunOnce(probe, probeCmd, hNul));
        }
    }
    /* The machine is shared: the fastest runs are the least disturbed, the medians the
     * most typical. */
    double const probeMed = BenchMedian(probeMs), minimalMed = BenchMedian(minimalMs);
    double const probeMin = *std::min_element(probeMs.begin(), probeMs.end());
    double const minimalMin = *std::min_element(minimalMs.begin(), minimalMs.end());
    printf("startup: %d interleaved runs each; process life startup-probe median %.2f ms, fastest %.2f ms; "
           "minimal-exit median %.2f ms, fastest %.2f ms\n", cRuns, probeMed, probeMin, minimalMed, minimalMin);
    printf("startup: ratio startup-probe / minimal-exit = %.3f by medians, %.3f by fastest runs (target at most 1.2)\n",
           probeMed / minimalMed, probeMin / minimalMin);
    CloseHandle(hNul);
    return 0;
}
