/* A program that names its own typed-directive families prints those and treats every
 * other type as unknown; the types of the families it names keep reading their arguments
 * in order. One that leaves the floating-point conversion out prints nothing for a float
 * directive, whatever its width, and the arguments after it still line up. */
#include <gtest/gtest.h>
#include "process-runner.h"

TEST(FormatFamilies, OnlyTheNamedFamiliesPrint)
{
    std::wstring const exe = BuildPath("programs/format-families.exe");
    ProcessResult const r = RunProcess(exe, QuoteArg(exe));
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.out, "ERR_OPTION_UNKNOWN|beef|true|cb|es|uuid|timespec|xs|n|x]|c|42\r\n"
                     "[|||]7\r\n");
    EXPECT_EQ(r.err, "");
}
