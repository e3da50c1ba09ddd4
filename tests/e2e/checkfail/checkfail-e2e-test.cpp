/* The stack-check reports as another process sees them: the exact text on standard error
 * and the exit code, for each hook called as compiled code calls it. */
#include <gtest/gtest.h>
#include <windows.h>
#include <regex>
#include "process-runner.h"

namespace {

ProcessResult RunProbe(const wchar_t *pwszWhat)
{
    std::wstring exe = BuildPath("programs/checkfail-probe.exe");
    return RunProcess(exe, QuoteArg(exe) + L" " + pwszWhat);
}

} /* namespace */

TEST(CheckFailE2E, EachHookReportsAndEnds)
{
    ProcessResult r = RunProbe(L"cookie");
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, STATUS_STACK_BUFFER_OVERRUN);
    ASSERT_EQ(r.out.size(), 17u) << r.out;
    EXPECT_EQ(r.err, "\r\n\r\n!!Stack cookie corruption!!\r\n\r\nexpected" + r.out.substr(0, 8) + ", found "
                     + r.out.substr(9, 8) + "\r\n");

    r = RunProbe(L"vars");
    EXPECT_EQ(r.exitCode, STATUS_STACK_BUFFER_OVERRUN);
    EXPECT_EQ(r.err, "\r\n\r\n!!Stack corruption!!\r\n\r\n" + r.out + " LB 0x6 - <pszString=00000010>\r\n");

    /* The registers are the probe's at the call: their values are checked for form only. */
    r = RunProbe(L"esp");
    EXPECT_EQ(r.exitCode, STATUS_STACK_BUFFER_OVERRUN);
    EXPECT_TRUE(std::regex_match(r.err, std::regex("\r\n\r\n!!ESP check failed!!\r\n\r\n"
                                                   "eip=[0-9a-f]{8} esp=[0-9a-f]{8} ebp=[0-9a-f]{8}\r\n"))) << r.err;

    r = RunProbe(L"range");
    EXPECT_EQ(r.exitCode, STATUS_STACK_BUFFER_OVERRUN);
    EXPECT_TRUE(std::regex_match(r.err, std::regex("\r\n\r\n!!Range check failed at [0-9a-f]{8}!!\r\n"))) << r.err;

    /* The registers printed are the exception context's, not the checker's. */
    r = RunProbe(L"context");
    EXPECT_EQ(r.exitCode, STATUS_STACK_BUFFER_OVERRUN);
    ASSERT_EQ(r.out.size(), 26u) << r.out;
    EXPECT_EQ(r.err, "\r\n\r\n!!Context (stack) check failed!!\r\n\r\nPC=" + r.out.substr(0, 8) + " SP="
                     + r.out.substr(9, 8) + " BP=" + r.out.substr(18, 8) + "\r\n");
    EXPECT_EQ(r.out.substr(0, 17), "00401234 00000010");
}
