/* The unhandled-exception filter's report, written to a logger that the hooks return and
 * captured through the print hook: records and nesting, registers, the module list with
 * the exception's module marked, code addresses on the stack, the command line; a context
 * whose stack pointer is wild; and the verdict handed on. */
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <thread>
#include "rt/format.h"
#include "rt/log.h"
#include "rt/string.h"
#include "rt/xcpt.h"
#include "process-runner.h"
#include "internal/r3-win.h"

namespace {

RTLOGINSTANCE *const g_pFakeLogger = reinterpret_cast<RTLOGINSTANCE *>(0x5a5a0000);
std::string g_strReport;
PEXCEPTION_POINTERS g_pPrevSaw;

RTSTATUS CapturePrintV(RTLOGINSTANCE *pLogger, uint32_t fFlags, uint32_t iGroup, const char *pszFormat, va_list args)
{
    EXPECT_EQ(pLogger, g_pFakeLogger);
    EXPECT_EQ(fFlags, 0u);
    EXPECT_EQ(iGroup, RTLOG_NO_GROUP);
    char *psz = nullptr;
    RTStrPrintAllocV(&psz, pszFormat, args);
    if (psz)
        g_strReport += psz;
    RTStrRelease(psz);
    return INF_SUCCESS;
}

RTLOGINSTANCE *NoLogger() { return nullptr; }
RTLOGINSTANCE *FakeLogger() { return g_pFakeLogger; }

LONG WINAPI PrevFilter(PEXCEPTION_POINTERS pXcptPtrs)
{
    g_pPrevSaw = pXcptPtrs;
    return EXCEPTION_EXECUTE_HANDLER;
}

/** Installs the capture for one test and puts everything back afterwards. */
struct ReportCapture
{
    PFNRTLOGPRINTV pfnPrintV = g_pfnLogPrintV;
    LPTOP_LEVEL_EXCEPTION_FILTER pfnPrev = g_pfnXcptFilterPrev;
    PFNGETCURRENTTHREADSTACKLIMITS pfnLimits = g_pfnGetCurrentThreadStackLimits;
    ReportCapture(bool fLogger)
    {
        g_strReport.clear();
        g_pPrevSaw = nullptr;
        g_pfnLogPrintV = CapturePrintV;
        /* The second hook is asked when the first gives none. */
        RTXcptSetLoggerHooks(NoLogger, fLogger ? FakeLogger : nullptr);
    }
    ~ReportCapture()
    {
        g_pfnLogPrintV = pfnPrintV;
        g_pfnXcptFilterPrev = pfnPrev;
        g_pfnGetCurrentThreadStackLimits = pfnLimits;
        RTXcptSetLoggerHooks(nullptr, nullptr);
    }
};

std::string Fmt(const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    char *psz = nullptr;
    RTStrPrintAllocV(&psz, pszFormat, args);
    va_end(args);
    std::string s = psz ? psz : "";
    RTStrRelease(psz);
    return s;
}

std::string ExePath()
{
    wchar_t wsz[MAX_PATH];
    GetModuleFileNameW(nullptr, wsz, MAX_PATH);
    return Narrow(wsz);
}

struct WildArgs
{
    uintptr_t offWild;      /**< the context's stack pointer, above the stack's top */
    uintptr_t uTop;         /**< out: the thread's stack top */
};

DWORD WINAPI FilterWithWildStack(void *pv)
{
    WildArgs *pArgs = static_cast<WildArgs *>(pv);
    pArgs->uTop = reinterpret_cast<uintptr_t>(reinterpret_cast<NT_TIB const *>(NtCurrentTeb())->StackBase);
    CONTEXT ctx = {};
    ctx.Esp = static_cast<DWORD>(pArgs->uTop + pArgs->offWild);
    ctx.Eip = 0x10;
    EXCEPTION_RECORD rec = {};
    EXCEPTION_POINTERS ptrs = { &rec, &ctx };
    rtR3WinUnhandledXcptFilter(&ptrs);
    return 0;
}

} /* namespace */

TEST(XcptFilter, WithoutLoggerOnlyPassesOn)
{
    ReportCapture capture(false);
    EXCEPTION_RECORD rec = {};
    CONTEXT ctx = {};
    EXCEPTION_POINTERS ptrs = { &rec, &ctx };
    g_pfnXcptFilterPrev = PrevFilter;
    EXPECT_EQ(rtR3WinUnhandledXcptFilter(&ptrs), EXCEPTION_EXECUTE_HANDLER);
    EXPECT_EQ(g_pPrevSaw, &ptrs);
    g_pfnXcptFilterPrev = nullptr;
    EXPECT_EQ(rtR3WinUnhandledXcptFilter(&ptrs), EXCEPTION_CONTINUE_SEARCH);
    EXPECT_EQ(g_strReport, "");
}

TEST(XcptFilter, FullReport)
{
    ReportCapture capture(true);
    CONTEXT ctx = {};
    RtlCaptureContext(&ctx);
    EXCEPTION_RECORD nested = {};
    nested.ExceptionCode = 0xE0000001;
    nested.ExceptionFlags = 1;
    nested.ExceptionAddress = reinterpret_cast<void *>(static_cast<uintptr_t>(ctx.Eip));
    nested.NumberParameters = 2;
    nested.ExceptionInformation[1] = 0x1234;
    EXCEPTION_RECORD rec = {};
    rec.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    rec.ExceptionAddress = reinterpret_cast<void *>(0x10);
    rec.ExceptionRecord = &nested;
    rec.NumberParameters = 20;                 /* more than the record holds: 15 are printed */
    for (unsigned i = 0; i < EXCEPTION_MAXIMUM_PARAMETERS; i++)
        rec.ExceptionInformation[i] = 0x100 + i;
    EXCEPTION_POINTERS ptrs = { &rec, &ctx };
    g_pfnXcptFilterPrev = PrevFilter;
    EXPECT_EQ(rtR3WinUnhandledXcptFilter(&ptrs), EXCEPTION_EXECUTE_HANDLER);

    std::string const &r = g_strReport;
    EXPECT_EQ(r.find(Fmt("\n!!! rtR3WinUnhandledXcptFilter caught an exception on thread %p in %u !!!\n",
                         static_cast<uintptr_t>(GetCurrentThreadId()), GetCurrentProcessId())), 0u) << r;
    EXPECT_NE(r.find("\nExceptionCode=0xc0000005 ExceptionFlags=0x00000000 ExceptionAddress=" + Fmt("%p\n", 0x10)),
              std::string::npos) << r;
    EXPECT_NE(r.find("ExceptionInformation[14]=" + Fmt("%p\n", 0x10e)), std::string::npos);
    EXPECT_EQ(r.find("ExceptionInformation[15]"), std::string::npos);
    EXPECT_NE(r.find(Fmt("Nested: ExceptionCode=0xe0000001 ExceptionFlags=0x00000001 ExceptionAddress=%p (nested %p)\n"
                         "Nested: ExceptionInformation[0]=%p\nNested: ExceptionInformation[1]=%p\n\ncs:eip=",
                         static_cast<uintptr_t>(ctx.Eip), 0, 0, 0x1234)), std::string::npos) << r;
    EXPECT_NE(r.find(Fmt("\ncs:eip=%04x:%08RX32\nss:esp=%04x:%08RX32 ebp=%08RX32\n", ctx.SegCs, ctx.Eip, ctx.SegSs,
                         ctx.Esp, ctx.Ebp)), std::string::npos) << r;
    EXPECT_NE(r.find(Fmt("eax=%08RX32 ecx=%08RX32 edx=%08RX32 ebx=%08RX32\nesi=%08RX32 edi=%08RX32 esp=%08RX32 ebp=%08RX32\n"
                         "ds=%04x es=%04x fs=%04x gs=%04x eflags=%08x\n", ctx.Eax, ctx.Ecx, ctx.Edx, ctx.Ebx, ctx.Esi,
                         ctx.Edi, ctx.Esp, ctx.Ebp, ctx.SegDs, ctx.SegEs, ctx.SegFs, ctx.SegGs, ctx.EFlags)),
              std::string::npos);
    EXPECT_NE(r.find("\nStack "), std::string::npos);
    EXPECT_NE(r.find(Fmt("Thread ID:   %p\nThread name: ", static_cast<uintptr_t>(GetCurrentThreadId()))),
              std::string::npos);

    /* The test program's own module holds the context's instruction pointer. */
    HMODULE const hExe = GetModuleHandleW(nullptr);
    auto const *pNt = reinterpret_cast<const IMAGE_NT_HEADERS32 *>(
        reinterpret_cast<const uint8_t *>(hExe) + reinterpret_cast<const IMAGE_DOS_HEADER *>(hExe)->e_lfanew);
    uintptr_t const uBase = reinterpret_cast<uintptr_t>(hExe);
    std::string const exe = ExePath();
    EXPECT_NE(r.find("\nLoaded Modules:\nAddress range    [*] Timestamp Path\n"), std::string::npos) << r;
    EXPECT_NE(r.find(Fmt("%p..%p*  %08RX32  %s\n", uBase, uBase + pNt->OptionalHeader.SizeOfImage - 1,
                         pNt->FileHeader.TimeDateStamp, exe.c_str())), std::string::npos) << r;
    EXPECT_NE(r.find(Fmt("\nPotential code addresses on the stack:\nXcpt PC : %p - %#010RX32 bytes into %s\n",
                         static_cast<uintptr_t>(ctx.Eip), static_cast<uint32_t>(ctx.Eip - uBase), exe.c_str())),
              std::string::npos) << r;
    EXPECT_NE(r.find(" bytes into " + exe + "\n", r.find("Xcpt PC") + 8), std::string::npos)
        << "the return addresses on the stack point into the program";
    EXPECT_NE(r.find("PEB/CommandLine: " + Narrow(GetCommandLineW()) + "\n"), std::string::npos) << r;
}

TEST(XcptFilter, WildStackPointerIsNeverRead)
{
    /* Without the stack-limits query, on a thread whose stack top is close to the filter:
       a context stack pointer just above the top would widen a window read past it. */
    ReportCapture capture(true);
    g_pfnGetCurrentThreadStackLimits = nullptr;
    for (uintptr_t offWild : { static_cast<uintptr_t>(0x800), static_cast<uintptr_t>(0x3000) })
    {
        std::string report;
        WildArgs args = { offWild, 0 };
        HANDLE hThread = CreateThread(nullptr, 64 * 1024, FilterWithWildStack, &args, 0, nullptr);
        ASSERT_NE(hThread, nullptr);
        WaitForSingleObject(hThread, INFINITE);
        CloseHandle(hThread);
        report.swap(g_strReport);

        size_t const off = report.find("\nStack ");
        ASSERT_NE(off, std::string::npos) << report;
        unsigned long uDumpBase = 0, cbDump = 0;
        ASSERT_EQ(sscanf(report.c_str() + off, "\nStack %lx, dumping %lx bytes", &uDumpBase, &cbDump), 2) << report;
        EXPECT_LE(uDumpBase + cbDump, args.uTop) << report;
        EXPECT_EQ(report.find("Potential code addresses"), std::string::npos) << report;
        EXPECT_NE(report.find("PEB/CommandLine: "), std::string::npos) << "the report went on to its end";
    }

    /* A stack pointer near zero or at the top of the address space. */
    for (DWORD uEsp : { 0x10ul, 0xFFFFFFF0ul })
    {
        g_strReport.clear();
        CONTEXT ctx = {};
        ctx.Esp = uEsp;
        EXCEPTION_POINTERS ptrs = { nullptr, &ctx };
        rtR3WinUnhandledXcptFilter(&ptrs);
        EXPECT_EQ(g_strReport.find("ExceptionCode"), std::string::npos);
        EXPECT_EQ(g_strReport.find("Potential code addresses"), std::string::npos) << g_strReport;
        EXPECT_NE(g_strReport.find("PEB/CommandLine: "), std::string::npos);
    }
}
