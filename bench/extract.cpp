/* Extraction: an installer carrying one 256 MiB package, run with --silent --extract
 * (write, two re-openings, identity and size checks, read back and compare), against a
 * reference without any runtime that writes the same resource with one WriteFile, reads it
 * back with ReadFile and compares it, and against CopyFileW of the package file; whole
 * processes, taking turns round by round, each into a directory of its own. The same
 * reference writing the resource and nothing more shows the floor of any extraction from
 * the loaded image against the copy: on a machine where mapping a page in costs much, the
 * first touch of the package's pages alone keeps every such program above the copy. The
 * installer runs packed without digests for these figures, and packed with them for the
 * cost of their check beside. */
#include "process-runner.h"
#include "scratch-dir.h"
#include "bench-process.h"
#include "bench-timer.h"
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

/** Milliseconds a whole run of @p exe took; exits the benchmark when it fails. */
double TimeRun(const std::wstring &exe, const std::wstring &cmdline, const std::wstring &env, HANDLE hNul)
{
    std::vector<wchar_t> block = EnvironmentBlock(env);
    double const t0 = BenchNow();
    PROCESS_INFORMATION const pi = BenchStartProcess(exe, cmdline, hNul, 0, block.data());
    WaitForSingleObject(pi.hProcess, INFINITE);
    double const ms = (BenchNow() - t0) * 1000.0;
    DWORD uExit = 1;
    GetExitCodeProcess(pi.hProcess, &uExit);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (uExit != 0)
    {
        fprintf(stderr, "extract: %ls ended with exit code %lu\n", cmdline.c_str(), uExit);
        exit(1);
    }
    return ms;
}

} /* namespace */

int main()
{
    HANDLE const hNul = BenchOpenNul();
    ScratchDir Scratch;
    std::wstring const installer = BuildPath("bench/fixtures/extract-256m.exe");
    std::wstring const undigested = BuildPath("bench/fixtures/extract-256m-undigested.exe");
    std::wstring const package = BuildPath("bench/fixtures/blob-256m.cab");
    std::wstring const reference = BuildPath("programs/extract-reference.exe");
    std::string const strStubDir = Scratch / "stub";
    std::wstring const wstrRefOut = Widen(Scratch / "reference.cab");
    std::wstring const stubCmd = L"extract-256m --silent --extract --path " + QuoteArg(Widen(strStubDir));
    std::wstring const writeEnv = L"NIMB_BENCH_INSTALLER=" + installer + L"\nNIMB_BENCH_OUTPUT=" + wstrRefOut;
    std::wstring const copyEnv = L"NIMB_BENCH_COPY=" + package + L"\nNIMB_BENCH_OUTPUT=" + wstrRefOut;
    std::wstring const floorEnv = writeEnv + L"\nNIMB_BENCH_WRITE_ONLY=1";

    /* Each run writes a new file: the previous one goes first, outside the time. */
    auto const stubRun = [&](const std::wstring &exe) {
        RemoveTree(LongForm(strStubDir));
        return TimeRun(exe, stubCmd, L"", hNul);
    };
    auto const stub = [&] { return stubRun(undigested); };
    auto const digested = [&] { return stubRun(installer); };
    auto const referenceRun = [&](const std::wstring &env) {
        DeleteFileW(wstrRefOut.c_str());
        return TimeRun(reference, L"extract-reference", env, hNul);
    };
    auto const write = [&] { return referenceRun(writeEnv); };
    auto const copy = [&] { return referenceRun(copyEnv); };
    auto const writeOnly = [&] { return referenceRun(floorEnv); };
    stub(), digested(), write(), copy(), writeOnly();   /* warm the file cache and the programs */

    constexpr int cRounds = 4;
    std::vector<double> aStub, aDigested, aWrite, aCopy, aFloor;
    for (int i = 0; i < cRounds; i++)
    {
        aStub.push_back(stub());
        aDigested.push_back(digested());
        aWrite.push_back(write());
        aCopy.push_back(copy());
        aFloor.push_back(writeOnly());
    }
    RemoveTree(LongForm(strStubDir));
    DeleteFileW(wstrRefOut.c_str());
    double const rStub = BenchMedian(aStub), rWrite = BenchMedian(aWrite), rCopy = BenchMedian(aCopy);
    double const rFloor = BenchMedian(aFloor), rDigested = BenchMedian(aDigested);
    printf("extract: 256 MiB package, %d rounds; medians: installer --extract %.0f ms (packed without digests; "
           "%.0f ms with them), WriteFile/ReadFile/compare reference %.0f ms, CopyFileW %.0f ms, WriteFile alone "
           "%.0f ms\n", cRounds, rStub, rDigested, rWrite, rCopy, rFloor);
    printf("extract: ratio installer / write-read-compare reference = %.3f (target at most 1.1)\n", rStub / rWrite);
    printf("extract: ratio installer / CopyFileW = %.3f (target at most 1.3)\n", rStub / rCopy);
    printf("extract: ratio WriteFile of the resource alone / CopyFileW = %.3f (the floor of the ratio above "
           "on this machine)\n", rFloor / rCopy);
    printf("extract: ratio installer with digests / without = %.3f (the CRC-32 of 256 MiB, checked in the "
           "read-back)\n", rDigested / rStub);
    CloseHandle(hNul);
    return 0;
}
