/* The unhandled-exception report from a real access violation in another process, written
 * to a file through the logger hooks, and the end the platform gives that process. */
#include <gtest/gtest.h>
#include <windows.h>
#include "process-runner.h"
#include "scratch-dir.h"

TEST(XcptE2E, AccessViolationIsReportedThenEndsTheProcess)
{
    ScratchDir dir;
    std::string const log = dir / "xcpt.log";
    std::wstring const exe = BuildPath("programs/xcpt-probe.exe");
    std::wstring const cmdline = QuoteArg(exe) + L" " + QuoteArg(Widen(log)) + L" extra-arg";
    ProcessResult r = RunProcess(exe, cmdline);
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, static_cast<uint32_t>(EXCEPTION_ACCESS_VIOLATION));

    std::string const report = ReadWholeFile(log);
    EXPECT_NE(report.find("\n!!! rtR3WinUnhandledXcptFilter caught an exception on thread "), std::string::npos)
        << report;
    EXPECT_NE(report.find("\nExceptionCode=0xc0000005 ExceptionFlags=0x00000000 ExceptionAddress="), std::string::npos);
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
