/* The standard streams as another process sees them: buffering of redirected output,
 * newline translation, code-page conversion, bad text and missing handles. */
#include <gtest/gtest.h>
#include <windows.h>
#include "process-runner.h"
#include "rt/status.h"

namespace {

ProcessResult RunProbe(const std::wstring &args)
{
    std::wstring exe = BuildPath("programs/stream-probe.exe");
    return RunProcess(exe, QuoteArg(exe) + L" " + args);
}

} /* namespace */

TEST(StreamE2E, RedirectedOutputIsWrittenOutAtExit)
{
    ProcessResult r = RunProbe(L"lines more");
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.out, "a\r\nbc\r\n");
    EXPECT_EQ(r.err, "");
}

TEST(StreamE2E, PendingOutputNeedsTheExitRoutine)
{
    /* The first line is written out at once (line buffering until the handle shows it is
       no console); what follows waits in the buffer and is lost without the exit routine. */
    ProcessResult r = RunProbe(L"lines more die");
    EXPECT_EQ(r.exitCode, 7u);
    EXPECT_EQ(r.out, "a\r\n");
}

TEST(StreamE2E, UnbufferedWritesAtOnce)
{
    ProcessResult r = RunProbe(L"unbuffered lines die");
    EXPECT_EQ(r.out, "a\r\nb");
    /* The mode the program chose outlasts the first write's finding that the handle is no
       console: the next piece goes out at once too. */
    r = RunProbe(L"unbuffered lines more die");
    EXPECT_EQ(r.out, "a\r\nbc\r\n");

    /* A changed mode governs the next write that brings bytes; an empty piece brings
       none and leaves the waiting bytes where they are. */
    r = RunProbe(L"open unbuffered nul die");
    EXPECT_EQ(r.out, "");
    r = RunProbe(L"open unbuffered nul more die");
    EXPECT_EQ(r.out, "xc\r\n");
}

TEST(StreamE2E, TextIsConvertedToTheAnsiCodePage)
{
    ProcessResult r = RunProbe(L"stderr");
    ASSERT_TRUE(r.started);
    /* The child runs with the same code page as we do. */
    const wchar_t wsz[] = L"\u00e9\u20ac|";
    char sz[16] = {};
    int cb = WideCharToMultiByte(GetACP(), 0, wsz, -1, sz, sizeof(sz), nullptr, nullptr);
    ASSERT_GT(cb, 1);
    EXPECT_EQ(r.err, std::string(sz) + "\r\n");
    EXPECT_EQ(r.exitCode, 0u);
}

TEST(StreamE2E, MalformedTextDropsOnlyThatPiece)
{
    ProcessResult r = RunProbe(L"bad-utf8 more");
    EXPECT_EQ(r.out, "c\r\n");
    EXPECT_EQ(r.exitCode, 0u);
}

TEST(StreamE2E, MissingOrClosedHandleIsLatched)
{
    ProcessResult r = RunProbe(L"no-stdout more more");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.exitCode, static_cast<uint32_t>(-ERR_BAD_HANDLE));

    /* A handle closed after the stream found it: the write fails, and so does every
       later one, without touching the handle again. */
    r = RunProbe(L"more unbuffered close-stdout more more");
    EXPECT_EQ(r.out, "c\r\n");
    EXPECT_EQ(r.exitCode, static_cast<uint32_t>(-ERR_BAD_HANDLE));
}
