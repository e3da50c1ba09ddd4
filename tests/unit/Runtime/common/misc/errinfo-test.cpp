/* The error-information record: reset, store and formatted store. */
#include <gtest/gtest.h>
#include <cstring>
#include "rt/err.h"

namespace {

/* A reason buffer of 8 bytes followed by guard bytes that no store may touch. */
struct GuardedInfo
{
    char      ach[8 + 8];
    RTERRINFO info;

    explicit GuardedInfo(uint32_t cb = 8)
    {
        memset(ach, '#', sizeof(ach));
        RTErrInfoInit(&info, ach, cb);
    }
    bool GuardIntact(size_t cbUsed = 8) const
    {
        for (size_t i = cbUsed; i < sizeof(ach); i++)
            if (ach[i] != '#')
                return false;
        return true;
    }
};

} /* namespace */

TEST(ErrInfo, StoreCopiesTruncatesAndReturnsTheStatus)
{
    GuardedInfo g;
    EXPECT_EQ(RTErrInfoStore(&g.info, ERR_FILE_MISSING, "short"), ERR_FILE_MISSING);
    EXPECT_STREQ(g.ach, "short");
    EXPECT_TRUE(RTErrInfoHasReason(&g.info));
    EXPECT_EQ(g.info.iResult, ERR_FILE_MISSING);

    EXPECT_EQ(RTErrInfoStore(&g.info, WRN_TRAILING_CHARS, "abcdefghijkl"), WRN_TRAILING_CHARS);
    EXPECT_STREQ(g.ach, "abcdefg");
    EXPECT_EQ(g.info.iResult, WRN_TRAILING_CHARS);
    EXPECT_TRUE(g.GuardIntact());
}

TEST(ErrInfo, StoreFFormatsAndTruncates)
{
    GuardedInfo g;
    EXPECT_EQ(RTErrInfoStoreF(&g.info, ERR_OUT_OF_MEMORY, "%s=%d", "n", 42), ERR_OUT_OF_MEMORY);
    EXPECT_STREQ(g.ach, "n=42");
    EXPECT_EQ(RTErrInfoStoreF(&g.info, ERR_OUT_OF_MEMORY, "Failed to allocate %zu bytes", size_t(4096)),
              ERR_OUT_OF_MEMORY);
    EXPECT_STREQ(g.ach, "Failed ");
    EXPECT_TRUE(RTErrInfoHasReason(&g.info));
    EXPECT_TRUE(g.GuardIntact());
}

TEST(ErrInfo, ResetClearsOnlyTheReason)
{
    GuardedInfo g;
    g.info.uMarks |= 0x3;   /* bits of the record's creator */
    RTErrInfoStore(&g.info, ERR_BAD_NAME, "bad");
    RTErrInfoReset(&g.info);
    EXPECT_EQ(g.info.uMarks, (ERRINFO_SIGNATURE << 16) | 0x3);
    EXPECT_EQ(g.info.iResult, 0);
    EXPECT_EQ(g.ach[0], '\0');
    EXPECT_EQ(g.info.pszReason, g.ach);
    EXPECT_EQ(g.info.cbReason, 8u);
}

TEST(ErrInfo, NoRecordOrNoRoom)
{
    RTErrInfoReset(nullptr);
    EXPECT_EQ(RTErrInfoStore(nullptr, ERR_BAD_HANDLE, "x"), ERR_BAD_HANDLE);
    EXPECT_EQ(RTErrInfoStoreF(nullptr, ERR_BAD_HANDLE, "%s", "x"), ERR_BAD_HANDLE);
    EXPECT_EQ(RTErrInfoStore(reinterpret_cast<RTERRINFO *>(0x10), ERR_BAD_HANDLE, "x"), ERR_BAD_HANDLE);

    /* A zero-sized buffer receives nothing, but the status is still recorded. */
    GuardedInfo g(0);
    EXPECT_EQ(RTErrInfoStore(&g.info, ERR_TIMED_OUT, "abc"), ERR_TIMED_OUT);
    EXPECT_EQ(RTErrInfoStoreF(&g.info, ERR_TIMED_OUT, "%d", 1), ERR_TIMED_OUT);
    EXPECT_EQ(g.info.iResult, ERR_TIMED_OUT);
    EXPECT_TRUE(RTErrInfoHasReason(&g.info));
    RTErrInfoReset(&g.info);
    EXPECT_TRUE(g.GuardIntact(0));
}
