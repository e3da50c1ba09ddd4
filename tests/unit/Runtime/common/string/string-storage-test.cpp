/* Allocation, cloning, resizing and release of UTF-8 and UTF-16 strings. */
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "rt/string.h"
#include "rt/mem.h"

namespace {

size_t BlockSize(const void *pv)
{
    return HeapSize(GetProcessHeap(), 0, pv);
}

struct FailAllocations
{
    FailAllocations() { g_pfnRTMemAllocHook = [](size_t) { return false; }; }
    ~FailAllocations() { g_pfnRTMemAllocHook = nullptr; }
};

TEST(StrStorage, NewAndClone)
{
    for (size_t cb : { 0, 1, 17 })
    {
        char *psz = RTStrNew(cb);
        ASSERT_NE(psz, nullptr);
        EXPECT_EQ(psz[0], '\0');
        EXPECT_EQ(BlockSize(psz), cb ? cb : 1);
        RTStrRelease(psz);
    }
    RTStrRelease(nullptr);

    char *psz = RTStrClone("abc\xc3\xa9");
    EXPECT_STREQ(psz, "abc\xc3\xa9");
    RTStrRelease(psz);
    EXPECT_EQ(RTStrClone(nullptr), nullptr);

    psz = RTStrCloneN("abcdef", 3);
    EXPECT_STREQ(psz, "abc");
    EXPECT_EQ(BlockSize(psz), 4u);
    RTStrRelease(psz);
    psz = RTStrCloneN("ab", 10);                /* stops at the terminator */
    EXPECT_STREQ(psz, "ab");
    EXPECT_EQ(BlockSize(psz), 3u);
    RTStrRelease(psz);

    ASSERT_EQ(RTStrCloneMax(&psz, "hello", 4), INF_SUCCESS);
    EXPECT_STREQ(psz, "hell");
    RTStrRelease(psz);

    FailAllocations Fail;
    EXPECT_EQ(RTStrNew(4), nullptr);
    EXPECT_EQ(RTStrClone("x"), nullptr);
    psz = reinterpret_cast<char *>(1);
    EXPECT_EQ(RTStrCloneMax(&psz, "hello", 4), ERR_STRING_ALLOC_FAILED);
    EXPECT_EQ(psz, nullptr);
}

TEST(StrStorage, Resize)
{
    char *psz = nullptr;
    ASSERT_EQ(RTStrResize(&psz, 8), INF_SUCCESS);           /* from nothing: a new empty string */
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(psz[0], '\0');
    EXPECT_EQ(psz[7], '\0');
    memcpy(psz, "abcdefg", 8);

    ASSERT_EQ(RTStrResize(&psz, 4), INF_SUCCESS);           /* shrinking cuts and terminates */
    EXPECT_STREQ(psz, "abc");
    ASSERT_EQ(RTStrResize(&psz, 64), INF_SUCCESS);          /* growing keeps the text */
    EXPECT_STREQ(psz, "abc");
    EXPECT_EQ(psz[63], '\0');

    {
        FailAllocations Fail;
        char *pszOld = psz;
        EXPECT_EQ(RTStrResize(&psz, 4096), ERR_STRING_ALLOC_FAILED);
        EXPECT_EQ(psz, pszOld);
        EXPECT_STREQ(psz, "abc");
    }

    EXPECT_EQ(RTStrResize(&psz, 0), INF_SUCCESS);
    EXPECT_EQ(psz, nullptr);
}

TEST(Utf16Storage, NewCloneLength)
{
    struct { size_t cb; size_t cbBlock; } const aSizes[] = { { 0, 2 }, { 1, 2 }, { 2, 2 }, { 3, 4 }, { 10, 10 } };
    for (const auto &c : aSizes)
    {
        RTUTF16 *pwsz = RTUtf16New(c.cb);
        ASSERT_NE(pwsz, nullptr);
        EXPECT_EQ(pwsz[0], 0);
        EXPECT_EQ(BlockSize(pwsz), c.cbBlock);
        RTUtf16Release(pwsz);
    }
    EXPECT_EQ(RTUtf16New(RTSTR_MAX), nullptr);              /* rounding up must not wrap to 2 bytes */

    EXPECT_EQ(RTUtf16Length(nullptr), 0u);
    EXPECT_EQ(RTUtf16Length(L""), 0u);
    EXPECT_EQ(RTUtf16Length(L"ab\x20ac"), 3u);

    RTUTF16 *pwsz = RTUtf16Clone(L"ab\x20ac");
    EXPECT_EQ(std::wstring(pwsz), L"ab\x20ac");
    EXPECT_EQ(BlockSize(pwsz), 8u);
    RTUtf16Release(pwsz);
    RTUtf16Release(nullptr);

    FailAllocations Fail;
    EXPECT_EQ(RTUtf16New(8), nullptr);
    EXPECT_EQ(RTUtf16Clone(L"x"), nullptr);
}

TEST(Utf16Storage, Resize)
{
    RTUTF16 *pwsz = nullptr;
    ASSERT_EQ(RTUtf16Resize(&pwsz, 5), INF_SUCCESS);        /* rounded up to 6 bytes */
    EXPECT_EQ(BlockSize(pwsz), 6u);
    EXPECT_EQ(pwsz[0], 0);
    EXPECT_EQ(pwsz[2], 0);
    pwsz[0] = 'a';
    pwsz[1] = 'b';
    pwsz[2] = 'c';

    ASSERT_EQ(RTUtf16Resize(&pwsz, 32), INF_SUCCESS);
    EXPECT_EQ(pwsz[0], 'a');
    EXPECT_EQ(pwsz[2], 'c');
    EXPECT_EQ(pwsz[15], 0);

    ASSERT_EQ(RTUtf16Resize(&pwsz, 4), INF_SUCCESS);        /* shrinking zeroes the last unit */
    EXPECT_EQ(pwsz[0], 'a');
    EXPECT_EQ(pwsz[1], 0);

    {
        FailAllocations Fail;
        RTUTF16 *pwszOld = pwsz;
        EXPECT_EQ(RTUtf16Resize(&pwsz, 4096), ERR_UTF16_ALLOC_FAILED);
        EXPECT_EQ(pwsz, pwszOld);
        EXPECT_EQ(pwsz[0], 'a');
    }
    EXPECT_EQ(RTUtf16Resize(&pwsz, RTSTR_MAX), ERR_UTF16_ALLOC_FAILED);

    EXPECT_EQ(RTUtf16Resize(&pwsz, 0), INF_SUCCESS);
    EXPECT_EQ(pwsz, nullptr);
}

} /* namespace */
