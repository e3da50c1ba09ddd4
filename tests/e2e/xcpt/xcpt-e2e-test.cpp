/* The unhandled-exception report from a real access violation in another process, written
 * to a file through the logger hooks, and the end the platform gives that process. */
#include <gtest/gtest.h>
#include <windows.h>
#include "process-runner.h"
#include "scratch-dir.h"

namespace {

/* A write to address zero at a known instruction, and where to go on after it. */
extern "C" char nimbAvStore[], nimbAvResume[];

LONG CALLBACK SkipKnownStore(EXCEPTION_POINTERS *pXcpt)
{
    if (pXcpt->ContextRecord->Eip != reinterpret_cast<DWORD>(nimbAvStore))
        return EXCEPTION_CONTINUE_SEARCH;
    pXcpt->ContextRecord->Eax = pXcpt->ExceptionRecord->ExceptionCode;    /* the store's result */
    pXcpt->ContextRecord->Eip = reinterpret_cast<DWORD>(nimbAvResume);
    return EXCEPTION_CONTINUE_EXECUTION;
}

/** The code this platform gives a write to address zero, seen in this process. Windows
 *  says EXCEPTION_ACCESS_VIOLATION; Wine under the user-mode CPU emulator that runs its
 *  32-bit side on some of our hosts gets no trap number with the fault signal and says
 *  EXCEPTION_ILLEGAL_INSTRUCTION ("Got unexpected trap -1" in Wine's +seh trace), for any
 *  program. The probe must end with, and report, whatever the platform says. */
__attribute__((noinline)) DWORD PlatformCodeForWriteToZero()   /* its labels exist once */
{
    PVOID const pvHandler = AddVectoredExceptionHandler(1, SkipKnownStore);
    DWORD uCode = 0;
    __asm__ __volatile__("xorl %%edx, %%edx\n\t"
                         ".globl _nimbAvStore\n"
                         "_nimbAvStore:\n\t"
                         "movl $1, (%%edx)\n"
                         ".globl _nimbAvResume\n"
                         "_nimbAvResume:\n\t"
                         : "=a"(uCode) : "a"(0) : "edx", "memory");
    RemoveVectoredExceptionHandler(pvHandler);
    return uCode;
}

} /* namespace */

TEST(XcptE2E, AccessViolationIsReportedThenEndsTheProcess)
{
    ScratchDir dir;
    std::string const log = dir / "xcpt.log";
    std::wstring const exe = BuildPath("programs/xcpt-probe.exe");
    std::wstring const cmdline = QuoteArg(exe) + L" " + QuoteArg(Widen(log)) + L" extra-arg";
    ProcessResult r = RunProcess(exe, cmdline);
    ASSERT_TRUE(r.started);
    DWORD const uCode = PlatformCodeForWriteToZero();
    ASSERT_TRUE(uCode == EXCEPTION_ACCESS_VIOLATION || uCode == EXCEPTION_ILLEGAL_INSTRUCTION) << std::hex << uCode;
    EXPECT_EQ(r.exitCode, uCode);

    std::string const report = ReadWholeFile(log);
    EXPECT_NE(report.find("\n!!! rtR3WinUnhandledXcptFilter caught an exception on thread "), std::string::npos)
        << report;
    char szCodeLine[80];
    wsprintfA(szCodeLine, "\nExceptionCode=0x%08x ExceptionFlags=0x00000000 ExceptionAddress=", uCode);
    EXPECT_NE(report.find(szCodeLine), std::string::npos) << report;
    if (uCode == EXCEPTION_ACCESS_VIOLATION)
        EXPECT_NE(report.find("ExceptionInformation[0]=00000001\nExceptionInformation[1]=00000000\n"), std::string::npos)
            << "a write to address zero";
    EXPECT_NE(report.find("\ncs:eip="), std::string::npos);
    EXPECT_NE(report.find("\neax="), std::string::npos);
    EXPECT_NE(report.find("Thread name: main\n"), std::string::npos) << "initialisation adopted the thread";

    /* The probe itself is the faulting module: its line carries the mark. */
    std::string const exePath = Narrow(exe);
    size_t const offLine = report.find("  " + exePath + "\n");
    ASSERT_NE(offLine, std::string::npos) << report;
    size_t const offStart = report.rfind('\n', offLine) + 1;
    EXPECT_EQ(report.substr(offStart + 18, 1), "*") << report.substr(offStart, offLine - offStart);
    EXPECT_NE(report.find("Xcpt PC : "), std::string::npos);
    EXPECT_NE(report.find("PEB/CommandLine: " + Narrow(cmdline) + "\n"), std::string::npos) << report;
}
