/* The runtime heap and its failure seam. */
#include <gtest/gtest.h>
#include "rt/mem.h"
#include "rt/status.h"

TEST(Mem, AllocReallocFree)
{
    char *p = static_cast<char *>(RTMemAllocZ(16));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(p[i], 0);
    p = static_cast<char *>(RTMemRealloc(p, 4096));
    ASSERT_NE(p, nullptr);
    RTMemFree(p);
    RTMemFree(nullptr);
}

TEST(Mem, HookFailsAllocationsOnPurpose)
{
    g_pfnRTMemAllocHook = [](size_t) { return false; };
    EXPECT_EQ(RTMemAlloc(8), nullptr);
    EXPECT_EQ(RTMemAllocZ(8), nullptr);
    g_pfnRTMemAllocHook = nullptr;
    EXPECT_LT(ERR_BAD_ARGUMENT, 0);
}
