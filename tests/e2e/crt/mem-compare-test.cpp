/* The block compare of programs without a C runtime orders blocks as a byte-by-byte
 * compare does, whatever their lengths, alignments and the place of a difference. */
#include <gtest/gtest.h>
#include "process-runner.h"

TEST(MemCompare, AgreesWithAByteLoop)
{
    std::wstring const exe = BuildPath("programs/mem-compare-probe.exe");
    ProcessResult const r = RunProcess(exe, QuoteArg(exe));
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exitCode, 0u);
}
