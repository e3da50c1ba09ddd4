/* Appending and joining, and the text lookups: suffix, file name, separators. */
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "rt/path.h"
#include "rt/mem.h"
#include "rt/string.h"

namespace {

TEST(PathAppend, OneSeparatorBetween)
{
    struct { const char *pszPath; const char *pszTail; uint32_t fStyle; const char *pszExpect; } const aCases[] = {
        { "C:",                "x",      RTPSTYLE_HOST, "C:x" },
        { "C:\\dir\\\\",       "\\x",    RTPSTYLE_HOST, "C:\\dir\\x" },
        { "C:\\dir/",          "//x",    RTPSTYLE_DOS,  "C:\\dir/x" },
        { "C:\\dir",           "x",      RTPSTYLE_DOS,  "C:\\dir\\x" },
        { "C:\\dir",           "\\/x",   RTPSTYLE_DOS,  "C:\\dir/x" },
        { "C:\\\\\\",          "x",      RTPSTYLE_DOS,  "C:\\x" },
        { "\\\\srv\\share\\\\", "\\x",   RTPSTYLE_DOS,  "\\\\srv\\share\\x" },
        { "\\\\srv\\\\",       "x",      RTPSTYLE_DOS,  "\\\\srv\\\\x" },
        { "",                  "\\x",    RTPSTYLE_DOS,  "\\x" },
        { "dir",               "",       RTPSTYLE_DOS,  "dir" },
        { "dir\\",             "\\\\",   RTPSTYLE_DOS,  "dir\\" },
        { "C:",                "x",      RTPSTYLE_UNIX, "C:/x" },
        { "/",                 "//x",    RTPSTYLE_UNIX, "/x" },
        { "///",               "x",      RTPSTYLE_UNIX, "/x" },
        { "a\\",               "b",      RTPSTYLE_UNIX, "a\\/b" },
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(testing::Message() << c.pszPath << " + " << c.pszTail);
        char sz[64];
        strcpy(sz, c.pszPath);
        EXPECT_EQ(RTPathAppendStrEx(sz, sizeof(sz), c.pszTail, RTSTR_MAX, c.fStyle), INF_SUCCESS);
        EXPECT_STREQ(sz, c.pszExpect);
    }
}

TEST(PathAppend, LimitsAndErrors)
{
    char sz[16];
    strcpy(sz, "dir");
    EXPECT_EQ(RTPathAppendStrEx(sz, sizeof(sz), "abcdef", 2, RTPSTYLE_DOS), INF_SUCCESS);
    EXPECT_STREQ(sz, "dir\\ab");
    EXPECT_EQ(RTPathAppendStrEx(sz, sizeof(sz), "abcdef", 0, RTPSTYLE_DOS), INF_SUCCESS);
    EXPECT_EQ(RTPathAppendStr(sz, sizeof(sz), nullptr), INF_SUCCESS);
    EXPECT_STREQ(sz, "dir\\ab");

    /* Exactly full fits; one more byte leaves the buffer and what follows it untouched. */
    char ab[12];
    memset(ab, 'G', sizeof(ab));
    strcpy(ab, "dir");
    EXPECT_EQ(RTPathAppendStr(ab, 8, "abc"), INF_SUCCESS);
    EXPECT_STREQ(ab, "dir\\abc");
    EXPECT_EQ(RTPathAppendStr(ab, 8, "d"), ERR_BUFFER_TOO_SMALL);
    EXPECT_STREQ(ab, "dir\\abc");
    EXPECT_EQ(ab[8], 'G');
    ab[0] = '\0';
    EXPECT_EQ(RTPathAppendStr(ab, 4, "abcd"), ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(ab[0], '\0');

    memset(ab, 'x', sizeof(ab));
    EXPECT_EQ(RTPathAppendStr(ab, sizeof(ab), "y"), ERR_BAD_ARGUMENT);   /* no terminator */
    EXPECT_EQ(RTPathAppendStr(nullptr, 8, "y"), ERR_BAD_POINTER);
    strcpy(ab, "d");
    EXPECT_EQ(RTPathAppendStr(ab, sizeof(ab), reinterpret_cast<const char *>(16)), ERR_BAD_POINTER);
    EXPECT_EQ(RTPathAppendStrEx(ab, sizeof(ab), "y", RTSTR_MAX, 3), ERR_BAD_FLAGS);
}

TEST(PathJoin, IntoAndAllocated)
{
    char sz[16];
    EXPECT_EQ(RTPathJoinInto(sz, sizeof(sz), "C:\\dir\\", "\\file"), INF_SUCCESS);
    EXPECT_STREQ(sz, "C:\\dir\\file");
    EXPECT_EQ(RTPathJoinInto(sz, 4, "abcd", "x"), ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(RTPathJoinInto(sz, 6, "abcd", "x"), ERR_BUFFER_TOO_SMALL);
    EXPECT_STREQ(sz, "abcd");

    char *psz = RTPathJoinA("C:", "x");
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "C:x");
    RTStrRelease(psz);
    psz = RTPathJoinA("extract\\", ".custom");
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "extract\\.custom");
    RTStrRelease(psz);
    psz = RTPathJoinA("", "");
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "");
    RTStrRelease(psz);

    EXPECT_EQ(RTPathJoinA(nullptr, "x"), nullptr);
    g_pfnRTMemAllocHook = [](size_t) { return false; };
    EXPECT_EQ(RTPathJoinA("a", "b"), nullptr);
    g_pfnRTMemAllocHook = nullptr;
}

TEST(PathText, SuffixAndFileName)
{
    struct { const char *pszPath; const char *pszSuffix; const char *pszName; } const aCases[] = {
        { "C:\\dir\\file.txt",  ".txt",  "file.txt" },
        { "a.b/c",              nullptr, "c" },
        { "x.tar.gz",           ".gz",   "x.tar.gz" },
        { ".profile",           nullptr, ".profile" },
        { "dir\\.profile",      nullptr, ".profile" },
        { "dir\\..x",           ".x",    "..x" },
        { "name.",              nullptr, "name." },
        { "C:.msi",             nullptr, ".msi" },
        { "C:x.msi",            ".msi",  "x.msi" },
        { "dir\\",              nullptr, nullptr },
        { "C:",                 nullptr, nullptr },
        { "",                   nullptr, nullptr },
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(c.pszPath);
        const char *pszSuffix = RTPathSuffix(c.pszPath);
        const char *pszName = RTPathFileName(c.pszPath);
        if (c.pszSuffix)
        {
            ASSERT_NE(pszSuffix, nullptr);
            EXPECT_STREQ(pszSuffix, c.pszSuffix);
            EXPECT_EQ(pszSuffix, c.pszPath + strlen(c.pszPath) - strlen(c.pszSuffix));
        }
        else
            EXPECT_EQ(pszSuffix, nullptr);
        if (c.pszName)
            EXPECT_STREQ(pszName, c.pszName);
        else
            EXPECT_EQ(pszName, nullptr);
    }
}

TEST(PathText, SeparatorsAndTrailingSlash)
{
    char sz[8] = "a/b\\c/";
    EXPECT_EQ(RTPathToBackslashes(sz), sz);
    EXPECT_STREQ(sz, "a\\b\\c\\");

    struct { const char *pszPath; size_t cb; size_t cchResult; const char *pszExpect; } const aCases[] = {
        { "",      3, 2, ".\\" },
        { "",      2, 0, "" },
        { "dir",   5, 4, "dir\\" },
        { "dir",   4, 0, "dir" },
        { "dir/",  5, 4, "dir/" },
        { "C:",    3, 2, "C:" },
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(testing::Message() << '"' << c.pszPath << "\" size " << c.cb);
        char ab[16];
        memset(ab, 'G', sizeof(ab));
        strcpy(ab, c.pszPath);
        EXPECT_EQ(RTPathEnsureTrailingSlash(ab, c.cb), c.cchResult);
        EXPECT_STREQ(ab, c.pszExpect);
        EXPECT_EQ(ab[c.cb], 'G');
    }
}

} /* namespace */
