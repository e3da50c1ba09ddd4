/* The message writer and the option parser's error report: the exact bytes each puts on
 * its stream, captured in a file (text mode, so every line ends in CR LF). */
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include "rt/format.h"
#include "rt/getopt.h"
#include "rt/mem.h"
#include "rt/message.h"
#include "internal/startup.h"
#include "exec-path.h"
#include "stream-capture.h"
#include "runtime-text.h"

namespace {

/** Names the program before anything caches the name. */
const bool g_fExecPathSet = (SetTestExecPath("C:\\Tools\\tool.exe"), true);

TEST(Message, LinesOfAnErrorEachGetNameAndPrefix)
{
    struct { const char *pszText; const char *pszExpected; } const s_aCases[] =
    {
        { "a\n\nb",  "tool.exe: error: a\r\n\r\ntool.exe: error: b\r\n" },
        { "a\n",     "tool.exe: error: a\r\n" },              /* no extra empty line */
        { "a\n\n",   "tool.exe: error: a\r\n\r\n" },
        { "\n\na",   "\r\n\r\ntool.exe: error: a\r\n" },
        { "one",     "tool.exe: error: one\r\n" },
        { "x\ny\nz", "tool.exe: error: x\r\ntool.exe: error: y\r\ntool.exe: error: z\r\n" },
    };
    for (const auto &Case : s_aCases)
    {
        StreamCapture Cap(&g_pStreamStdErr);
        EXPECT_EQ(RTMessageToStdErr("%s", Case.pszText), 0);
        EXPECT_EQ(Cap.Text(), Case.pszExpected) << Case.pszText;
    }
}

TEST(Message, EmptyOrLoneLineFeedFormatWritesOnlyALineFeed)
{
    for (const char *pszFormat : { "", "\n" })
    {
        StreamCapture Cap(&g_pStreamStdErr);
        EXPECT_EQ(RTMessageToStdErr(pszFormat), 0);
        EXPECT_EQ(Cap.Text(), "\r\n");
    }
    /* Only the format decides: a text that formats to nothing writes nothing. */
    StreamCapture Cap(&g_pStreamStdErr);
    RTMessageToStdErr("%s", "");
    EXPECT_EQ(Cap.Text(), "");
}

TEST(Message, InformationGoesToStandardOutput)
{
    StreamCapture CapOut(&g_pStreamStdOut);
    StreamCapture CapErr(&g_pStreamStdErr);
    EXPECT_EQ(RTMessageToStdOut("%u files\nin %s", 3u, "C:\\x"), 0);
    EXPECT_EQ(CapOut.Text(), "tool.exe: info: 3 files\r\ntool.exe: info: in C:\\x\r\n");
    EXPECT_EQ(CapErr.Text(), "");
}

bool FailEveryAllocation(size_t) { return false; }

TEST(Message, WithoutMemoryTheFormatIsWrittenAsItComes)
{
    StreamCapture Cap(&g_pStreamStdErr);
    RTStreamPrintf(Cap.Stream(), "[");  /* the stream's own buffer and lock exist now */
    g_pfnRTMemAllocHook = FailEveryAllocation;
    RTMessageToStdErr("n=%d", 5);
    RTMessageToStdErr("a\nb=%s", "c");
    g_pfnRTMemAllocHook = nullptr;
    /* A line feed anywhere in the format means the format ends its own lines. */
    EXPECT_EQ(Cap.Text(), "[tool.exe: error: n=5\r\ntool.exe: error: a\r\nb=c");
}

TEST(Message, InitFailureNamesTheProgramWhenItIsKnown)
{
    {
        StreamCapture Cap(&g_pStreamStdErr);
        EXPECT_EQ(RTMessageInitFailed(ERR_OUT_OF_MEMORY), 3);
        EXPECT_EQ(Cap.Text(), StatusText("tool.exe: fatal error: RTR3Init: %Rrc\r\n", ERR_OUT_OF_MEMORY));
    }

    /* Records that name no program: empty, name offset 0, offset past the buffer, a path
       that ends in a separator. */
    RTPROCEXECPATH const Saved = g_ProcExecPath;
    struct { const char *pszPath; uint32_t offName; } const s_aCases[] =
    {
        { "",               0 },
        { "tool.exe",       0 },
        { "C:\\tool.exe",   RTPROCEXECPATH_MAX },
        { "C:\\Tools\\",    9 },
    };
    for (const auto &Case : s_aCases)
    {
        memset(&g_ProcExecPath, 0, sizeof(g_ProcExecPath));
        strcpy(g_ProcExecPath.szPath, Case.pszPath);
        g_ProcExecPath.offName = Case.offName;
        StreamCapture Cap(&g_pStreamStdErr);
        EXPECT_EQ(RTMessageInitFailed(ERR_INTERNAL_FAULT_2), 3);
        EXPECT_EQ(Cap.Text(), StatusText("fatal error: RTR3Init: %Rrc\r\n", ERR_INTERNAL_FAULT_2)) << Case.pszPath;
    }
    g_ProcExecPath = Saved;
}

TEST(GetOptReportError, EveryKindOfResult)
{
    static const RTOPTDESC s_Path  = { "--path", 'p', OPTVAL_STRING };
    static const RTOPTDESC s_Count = { "--count", 'c', OPTVAL_U8 };
    struct { int rc; const void *pv; std::string strExpected; } const s_aCases[] =
    {
        { INF_OPTION_PLAIN_ARGUMENT,  "stray",   "Invalid parameter: stray" },
        { 'x',                        nullptr,   "Unhandled option: -x" },
        { '!',                        nullptr,   "Unhandled option: -!" },
        { '~',                        nullptr,   "Unhandled option: -~" },
        { ' ',                        nullptr,   "Unhandled option: 32 (0x20)" },
        { 0x7F,                       nullptr,   "Unhandled option: 127 (0x7f)" },
        { 1000,                       nullptr,   "Unhandled option: 1000 (0x3e8)" },
        { ERR_OPTION_UNKNOWN,         "--bogus", "Unknown option: '--bogus'" },
        { ERR_OPTION_VALUE_MALFORMED, &s_Count,  "The value given '--count' has an invalid format." },
        { ERR_OPTION_VALUE_MISSING,   &s_Path,   StatusText("--path: %Rrs", ERR_OPTION_VALUE_MISSING) },
        { ERR_UTF8_MALFORMED,         nullptr,   StatusText("%Rrs", ERR_UTF8_MALFORMED) },
    };
    for (const auto &Case : s_aCases)
    {
        RTOPTVALUE Value{};
        Value.psz = static_cast<const char *>(Case.pv);
        StreamCapture Cap(&g_pStreamStdErr);
        EXPECT_EQ(RTGetOptReportError(Case.rc, &Value), RTEXITCODE_SYNTAX);
        EXPECT_EQ(Cap.Text(), "tool.exe: error: " + Case.strExpected + "\r\n") << Case.rc;
    }
}

TEST(GetOptReportError, ReportsWhatTheParserReturned)
{
    static const RTOPTDESC s_aDescs[] = { { "--path", 'p', OPTVAL_STRING }, { "--level", 'l', OPTVAL_U8 } };
    struct { const char *pszArg1; const char *pszArg2; std::string strExpected; } const s_aCases[] =
    {
        { "--level", "256", "The value given '--level' has an invalid format." },
        { "--path",  nullptr, StatusText("--path: %Rrs", ERR_OPTION_VALUE_MISSING) },
        { "-q",      nullptr, "Unknown option: '-q'" },
        { "\xff",    nullptr, StatusText("%Rrs", ERR_UTF8_MALFORMED) },
    };
    for (const auto &Case : s_aCases)
    {
        char *apszArgs[] = { const_cast<char *>("tool"), const_cast<char *>(Case.pszArg1),
                             const_cast<char *>(Case.pszArg2) };
        RTOPTPARSER State;
        ASSERT_EQ(RTGetOptInit(&State, Case.pszArg2 ? 3 : 2, apszArgs, s_aDescs, 2, 1, 0), INF_SUCCESS);
        RTOPTVALUE Value;
        int const rc = RTGetOptNext(&State, &Value);
        ASSERT_LT(rc, 0) << Case.pszArg1;
        StreamCapture Cap(&g_pStreamStdErr);
        EXPECT_EQ(RTGetOptReportError(rc, &Value), 2);
        EXPECT_EQ(Cap.Text(), "tool.exe: error: " + Case.strExpected + "\r\n") << Case.pszArg1;
    }
}

} /* namespace */
