/* A program that names its own option value families converts strings and the types of
 * the families it names as usual, and fails an option of a type it left out with the
 * status of an undefined type. */
#include <gtest/gtest.h>
#include "process-runner.h"

TEST(GetOptFamilies, OnlyTheNamedFamiliesConvert)
{
    struct Case { const wchar_t *args; const char *out; unsigned exitCode; };
    static const Case s_aCases[] =
    {
        { L"--str x --flag yes --flag OFF", "str x\r\nflag true\r\nflag false\r\n", 0 },
        { L"--flag maybe",                  "ERR_OPTION_UNKNOWN maybe\r\n", 2 },
        { L"--str x --num 5",               "str x\r\nERR_INTERNAL_FAULT \r\n", 2 },
    };
    std::wstring const exe = BuildPath("programs/getopt-families.exe");
    for (const Case &c : s_aCases)
    {
        ProcessResult const r = RunProcess(exe, QuoteArg(exe) + L" " + c.args);
        ASSERT_TRUE(r.started);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.out;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }
}
