/* A program that leaves the generator's state text out gets ERR_NOT_IMPLEMENTED from saving
 * and restoring, with its buffer and size untouched, and draws as any other program. */
#include <gtest/gtest.h>
#include "process-runner.h"

TEST(RandNoState, SaveAndRestoreAreNotImplemented)
{
    std::wstring const exe = BuildPath("programs/rand-no-state.exe");
    ProcessResult const r = RunProcess(exe, QuoteArg(exe));
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.out, "ERR_NOT_IMPLEMENTED|ERR_NOT_IMPLEMENTED|25|16807|\r\n");
    EXPECT_EQ(r.err, "");
}
