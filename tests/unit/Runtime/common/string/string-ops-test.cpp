/* Bounded copy and append, and the string comparisons. */
#include <gtest/gtest.h>
#include <string>
#include "rt/string.h"

namespace {

TEST(StrOps, CopyBounded)
{
    struct { const char *pszSrc; size_t cb; RTSTATUS rc; const char *pszResult; } const aCases[] = {
        { "abcdef", 4, ERR_BUFFER_TOO_SMALL, "abc" },
        { "abc",    4, INF_SUCCESS,          "abc" },
        { "abcd",   4, ERR_BUFFER_TOO_SMALL, "abc" },
        { "",       1, INF_SUCCESS,          "" },
        { "a",      1, ERR_BUFFER_TOO_SMALL, "" },
        { "a",      0, ERR_BUFFER_TOO_SMALL, nullptr },   /* nothing written */
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(testing::Message() << c.pszSrc << " into " << c.cb);
        char ab[8];
        memset(ab, 'x', sizeof(ab));
        EXPECT_EQ(RTStrCopyBounded(ab, c.cb, c.pszSrc), c.rc);
        if (c.pszResult)
            EXPECT_STREQ(ab, c.pszResult);
        else
            EXPECT_EQ(ab[0], 'x');
        EXPECT_EQ(ab[c.cb], 'x');
    }
}

TEST(StrOps, AppendBounded)
{
    struct { const char *pszStart; size_t cb; const char *pszSrc; RTSTATUS rc; const char *pszResult; } const aCases[] = {
        { "ab",  8, "cd",     INF_SUCCESS,          "abcd" },
        { "ab",  5, "cdef",   ERR_BUFFER_TOO_SMALL, "abcd" },
        { "abc", 4, "d",      ERR_BUFFER_TOO_SMALL, "abc" },
        { "",    3, "xyz",    ERR_BUFFER_TOO_SMALL, "xy" },
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(testing::Message() << c.pszStart << " + " << c.pszSrc << " into " << c.cb);
        char ab[12];
        memset(ab, 'x', sizeof(ab));
        strcpy(ab, c.pszStart);
        EXPECT_EQ(RTStrAppendBounded(ab, c.cb, c.pszSrc), c.rc);
        EXPECT_STREQ(ab, c.pszResult);
        EXPECT_EQ(ab[c.cb], 'x');
    }

    char abNoTerm[5] = { 'a', 'b', 'c', 'd', 'x' };
    EXPECT_EQ(RTStrAppendBounded(abNoTerm, 4, "e"), ERR_BAD_ARGUMENT);
    EXPECT_EQ(0, memcmp(abNoTerm, "abcdx", 5));
}

int Sign(int i)
{
    return i < 0 ? -1 : i > 0 ? 1 : 0;
}

TEST(StrOps, CompareAsciiNoCase)
{
    struct { const char *psz1; const char *pszAscii; int iSign; } const aCases[] = {
        { ".MSI",             ".msi",  0 },
        { ".Cab",             ".cab",  0 },
        { ".msi",             ".MSI",  0 },
        { "",                 "",      0 },
        { ".ms",              ".msi", -1 },
        { ".msix",            ".msi",  1 },
        { "a",                "B",    -1 },
        { "[",                "a",    -1 },    /* '[' follows 'Z' but precedes 'a' */
        { "\xc3\xa9",         "e",     1 },    /* non-ASCII in the first string is greater */
        { "\xc3\xa9",         "E",     1 },
        { "a\xff",            "a",     1 },    /* bad byte: byte-wise from there */
        { "a\xff",            "a\xff", 0 },
        { "\x80",             "z",     1 },
        { nullptr,            "a",    -1 },
        { "a",                nullptr, 1 },
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(testing::Message() << "case " << &c - aCases);
        EXPECT_EQ(Sign(RTStrCompareAsciiNoCase(c.psz1, c.pszAscii)), c.iSign);
    }
    const char *psz = "same";
    EXPECT_EQ(RTStrCompareAsciiNoCase(psz, psz), 0);
    EXPECT_EQ(RTStrCompareAsciiNoCase(nullptr, nullptr), 0);
}

TEST(StrOps, CompareNullSafe)
{
    struct { const char *psz1; const char *psz2; int iSign; } const aCases[] = {
        { nullptr, nullptr,  0 },
        { nullptr, "",      -1 },
        { "",      nullptr,  1 },
        { "abc",   "abc",    0 },
        { "abc",   "abd",   -1 },
        { "ab",    "abc",   -1 },
        { "\xc3",  "a",      1 },    /* bytes compare unsigned */
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(testing::Message() << "case " << &c - aCases);
        EXPECT_EQ(Sign(RTStrCompareNullSafe(c.psz1, c.psz2)), c.iSign);
    }
}

} /* namespace */
