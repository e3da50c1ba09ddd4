/* After runtime initialisation a bare library name is looked up in the system directory
 * only: a library planted beside the program loads before initialisation and not after. */
#include <gtest/gtest.h>
#include "process-runner.h"

TEST(InitDllSearch, PlantedLibraryLoadsBeforeInitialisationOnly)
{
    ProcessResult const r = RunProcess(BuildPath("programs/init-dll-search.exe"), L"init-dll-search");
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 1u) << r.err;
    EXPECT_EQ(r.err, "before: loaded\r\n"
                     "init: 0\r\n"
                     "after: not loaded, error 126 (0x7e)\r\n"
                     "system: loaded\r\n");
}
