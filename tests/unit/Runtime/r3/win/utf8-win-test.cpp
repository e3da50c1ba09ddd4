/* Conversion of UTF-8 to the active or a given ANSI code page. */
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "rt/string.h"
#include "rt/mem.h"

namespace {

TEST(Utf8ToCodePage, ConvertsWithDefaultCharacterForWhatIsMissing)
{
    struct { unsigned uCodePage; const char *pszIn; const char *pszOut; } const aCases[] = {
        { 1252,    "abc",                         "abc" },
        { 1252,    "caf\xc3\xa9 \xe2\x82\xac",    "caf\xe9 \x80" },
        { 1252,    "\xe6\x97\xa5\xe6\x9c\xac",    "??" },        /* not in the code page */
        { 932,     "\xe6\x97\xa5",                "\x93\xfa" },  /* Shift-JIS */
        { CP_UTF8, "caf\xc3\xa9 \xf0\x9f\x98\x80", "caf\xc3\xa9 \xf0\x9f\x98\x80" },
        { 1252,    "",                            "" },
        { CP_UTF8, "",                            "" },
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(testing::Message() << c.uCodePage << ": " << c.pszIn);
        char *psz = reinterpret_cast<char *>(1);
        ASSERT_EQ(RTStrUtf8ToCodePageEx(&psz, c.pszIn, c.uCodePage), INF_SUCCESS);
        ASSERT_NE(psz, nullptr);
        EXPECT_EQ(std::string(psz), c.pszOut);
        RTStrRelease(psz);
    }
}

TEST(Utf8ToCodePage, ActiveCodePage)
{
    char *psz = nullptr;
    ASSERT_EQ(RTStrUtf8ToCodePage(&psz, "plain ASCII"), INF_SUCCESS);
    EXPECT_STREQ(psz, "plain ASCII");
    RTStrRelease(psz);
}

TEST(Utf8ToCodePage, InvalidInputAndAllocationFailures)
{
    for (unsigned uCodePage : { 1252u, static_cast<unsigned>(CP_UTF8) })
    {
        char *psz = reinterpret_cast<char *>(1);
        EXPECT_EQ(RTStrUtf8ToCodePageEx(&psz, "ab\xed\xa0\x80", uCodePage), ERR_UTF8_SURROGATE);
        EXPECT_EQ(psz, nullptr);
        EXPECT_EQ(RTStrUtf8ToCodePageEx(&psz, "\xff", uCodePage), ERR_UTF8_MALFORMED);
        EXPECT_EQ(psz, nullptr);
    }

    /* Fail the first allocation (the UTF-16 copy), then the second (the result). */
    static int s_cAllowed;
    g_pfnRTMemAllocHook = [](size_t) { return s_cAllowed-- > 0; };
    struct { int cAllowed; unsigned uCodePage; RTSTATUS rc; } const aCases[] = {
        { 0, 1252,    ERR_UTF16_ALLOC_FAILED },
        { 1, 1252,    ERR_SCRATCH_ALLOC_FAILED },
        { 0, CP_UTF8, ERR_STRING_ALLOC_FAILED },
    };
    for (const auto &c : aCases)
    {
        s_cAllowed = c.cAllowed;
        char *psz = reinterpret_cast<char *>(1);
        EXPECT_EQ(RTStrUtf8ToCodePageEx(&psz, "abc", c.uCodePage), c.rc);
        EXPECT_EQ(psz, nullptr);
    }
    s_cAllowed = 0;
    char *psz = reinterpret_cast<char *>(1);
    EXPECT_EQ(RTStrUtf8ToCodePageEx(&psz, "", 1252), ERR_STRING_ALLOC_FAILED);
    EXPECT_EQ(psz, nullptr);
    g_pfnRTMemAllocHook = nullptr;
}

TEST(Utf8ToCodePage, UnknownCodePageIsAPlatformError)
{
    char *psz = reinterpret_cast<char *>(1);
    RTSTATUS const rc = RTStrUtf8ToCodePageEx(&psz, "abc", 12345);
    EXPECT_LT(rc, 0);
    EXPECT_EQ(psz, nullptr);
}

} /* namespace */
