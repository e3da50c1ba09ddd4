/* Windows Installer start: the whole life of an installer carrying a 64 MiB package that
 * Windows Installer opens and refuses at once (so the time is what comes before
 * MsiInstallProductW plus a constant), against a reference that only copies the package
 * to the temporary directory and calls MsiInstallProductW on it, against the same
 * reference writing the package from the installer's mapped file instead, and against the
 * same installer packed without package digests, which it then does not check; runs
 * interleaved. The checksum of the package alone is timed too, the check's own cost. Then the peak memory of the stub over a whole silent install of the demo,
 * beside a --silent --version run. */
#include "process-runner.h"
#include "scratch-dir.h"
#include "bench-process.h"
#include "bench-timer.h"
#include "rt/crc32.h"
#include <windows.h>
#include <psapi.h>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

typedef BOOL (WINAPI *PFNMEMINFO)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);

struct Run
{
    double   ms;
    uint32_t exitCode;
    size_t   cbPeak;    /**< the largest peak working set seen while it ran (a lower bound) */
};

Run RunOnce(const std::wstring &exe, const std::wstring &cmdline, const std::wstring &env, HANDLE hNul)
{
    static PFNMEMINFO const s_pfnMemInfo = reinterpret_cast<PFNMEMINFO>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "K32GetProcessMemoryInfo"));
    /* Our environment with the given "NAME=value\n" pairs. */
    std::vector<wchar_t> block = EnvironmentBlock(env);
    double const t0 = BenchNow();
    PROCESS_INFORMATION const pi = BenchStartProcess(exe, cmdline, hNul, 0, block.data());
    Run R = {};
    while (WaitForSingleObject(pi.hProcess, 5) == WAIT_TIMEOUT)
    {
        PROCESS_MEMORY_COUNTERS Counters = { sizeof(Counters) };
        if (s_pfnMemInfo && s_pfnMemInfo(pi.hProcess, &Counters, sizeof(Counters)))
            R.cbPeak = std::max(R.cbPeak, static_cast<size_t>(Counters.PeakWorkingSetSize));
    }
    R.ms = (BenchNow() - t0) * 1000.0;
    DWORD uExit = 0;
    GetExitCodeProcess(pi.hProcess, &uExit);
    R.exitCode = uExit;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return R;
}

} /* namespace */

int main()
{
    HANDLE const hNul = BenchOpenNul();
    ScratchDir Temp;
    std::wstring const wstrTempEnv = L"TMP=" + Widen(Temp.path()) + L"\nTEMP=" + Widen(Temp.path())
                                   + L"\nZUNT_TMPDIR=" + Widen(Temp.path());
    std::wstring const installer = BuildPath("bench/fixtures/install-big-refused.exe");
    std::wstring const undigested = BuildPath("bench/fixtures/install-big-refused-undigested.exe");
    std::wstring const reference = BuildPath("programs/msi-copy-install.exe");
    std::wstring const referenceEnv = wstrTempEnv + L"\nNIMB_BENCH_PACKAGE=" + BuildPath("bench/fixtures/big-refused.msi");

    /* A third series writes the package from the installer's mapped file instead of copying
       it, as any installer extracting from its loaded image must: its difference from the
       copy is what mapping the package's pages in costs on this machine. */
    std::wstring const imageEnv = referenceEnv + L"\nNIMB_BENCH_INSTALLER=" + installer;

    /* All end in Windows Installer's refusal: the stub with 1, the references with its code. */
    Run const WarmA = RunOnce(installer, L"install-big-refused --silent", wstrTempEnv, hNul);
    Run const WarmB = RunOnce(reference, L"msi-copy-install", referenceEnv, hNul);
    Run const WarmC = RunOnce(reference, L"msi-copy-install", imageEnv, hNul);
    Run const WarmD = RunOnce(undigested, L"install-big-refused-undigested --silent", wstrTempEnv, hNul);
    if (WarmA.exitCode != 1 || WarmB.exitCode != ERROR_INSTALL_FAILURE || WarmC.exitCode != ERROR_INSTALL_FAILURE
        || WarmD.exitCode != 1)
        fprintf(stderr, "msi-start: unexpected exit codes %u, %u, %u and %u\n", WarmA.exitCode, WarmB.exitCode,
                WarmC.exitCode, WarmD.exitCode);

    constexpr int cRuns = 6;
    std::vector<double> stubMs, refMs, imageMs, undigestedMs;
    for (int i = 0; i < cRuns; i++)
    {
        /* The installer and its undigested copy run back to back, in turns first, so that
           each pair meets the same load. */
        bool const fStubFirst = i & 1;
        if (fStubFirst)
            stubMs.push_back(RunOnce(installer, L"install-big-refused --silent", wstrTempEnv, hNul).ms);
        undigestedMs.push_back(RunOnce(undigested, L"install-big-refused-undigested --silent", wstrTempEnv, hNul).ms);
        if (!fStubFirst)
            stubMs.push_back(RunOnce(installer, L"install-big-refused --silent", wstrTempEnv, hNul).ms);
        refMs.push_back(RunOnce(reference, L"msi-copy-install", referenceEnv, hNul).ms);
        imageMs.push_back(RunOnce(reference, L"msi-copy-install", imageEnv, hNul).ms);
    }
    double const stubMed = BenchMedian(stubMs), refMed = BenchMedian(refMs), imageMed = BenchMedian(imageMs);
    double const stubMin = *std::min_element(stubMs.begin(), stubMs.end());
    double const refMin = *std::min_element(refMs.begin(), refMs.end());
    double const imageMin = *std::min_element(imageMs.begin(), imageMs.end());
    printf("msi-start: 64 MiB package, %d interleaved runs each; installer median %.1f ms, fastest %.1f ms; "
           "copy-and-install reference median %.1f ms, fastest %.1f ms; write-from-image-and-install reference "
           "median %.1f ms, fastest %.1f ms\n", cRuns, stubMed, stubMin, refMed, refMin, imageMed, imageMin);
    printf("msi-start: ratio installer / reference = %.3f by medians, %.3f by fastest runs (target at most 1.2)\n",
           stubMed / refMed, stubMin / refMin);
    printf("msi-start: ratio installer / write-from-image reference = %.3f by medians, %.3f by fastest runs "
           "(the installer's own cost, this machine's cost of mapping the package in aside)\n",
           stubMed / imageMed, stubMin / imageMin);
    double const undigestedMed = BenchMedian(undigestedMs);
    double const undigestedMin = *std::min_element(undigestedMs.begin(), undigestedMs.end());
    std::vector<double> pairRatios;
    for (size_t i = 0; i < stubMs.size(); i++)
        pairRatios.push_back(stubMs[i] / undigestedMs[i]);
    printf("msi-start: package digests: installer with digests median %.1f ms, fastest %.1f ms; the same packed "
           "without digests median %.1f ms, fastest %.1f ms; ratio %.3f by medians, %.3f by fastest runs, %.3f by "
           "the median of back-to-back pairs (target at most 1.1)\n", stubMed, stubMin, undigestedMed, undigestedMin,
           stubMed / undigestedMed, stubMin / undigestedMin, BenchMedian(pairRatios));
    /* What the check itself costs, apart from the noise of whole runs: the checksum of the
       package's bytes in memory, the fastest of three. */
    std::string const strPackage = ReadWholeFile(Narrow(BuildPath("bench/fixtures/big-refused.msi")));
    double crcMin = 1e30;
    for (int i = 0; i < 3; i++)
    {
        double const t0 = BenchNow();
        volatile uint32_t const uCrc = RTCrc32Add(RTCRC32_INITIAL, strPackage.data(), strPackage.size());
        (void)uCrc;
        crcMin = std::min(crcMin, (BenchNow() - t0) * 1000.0);
    }
    printf("msi-start: package digests: the CRC-32 of the package's %.1f MiB takes %.1f ms (%.2f GB/s), %.3f of the "
           "fastest run without digests\n", strPackage.size() / 1048576.0, crcMin,
           strPackage.size() / (crcMin * 1e6), crcMin / undigestedMin);

    /* Memory: a whole silent install of the demo, then the product removed again. */
    std::wstring const setup = BuildPath("bin/Setup.exe");
    Run const Version = RunOnce(setup, L"Setup --silent --version", wstrTempEnv, hNul);
    Run const Install = RunOnce(setup, L"Setup --silent", wstrTempEnv, hNul);
    RunOnce(L"C:\\windows\\system32\\msiexec.exe", L"msiexec /qn /x {3A1C6E52-8B0D-4F4E-9C41-6B2E7D0F5A11}",
            L"", hNul);
    printf("msi-memory: peak working set (largest seen while running, a lower bound): silent install of the demo "
           "%.0f KiB (exit %u), --silent --version %.0f KiB; ratio %.2f\n",
           Install.cbPeak / 1024.0, Install.exitCode, Version.cbPeak / 1024.0,
           Version.cbPeak ? double(Install.cbPeak) / double(Version.cbPeak) : 0.0);
    CloseHandle(hNul);
    return 0;
}
