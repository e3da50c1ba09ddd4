/* Assertion reports: what the hooks receive, the kept detail text and its append limit,
 * the caller's error state across a report, and the panic policy's reading of NIMB_ASSERT. */
#include <gtest/gtest.h>
#include <windows.h>
#include <cstring>
#include <string>
#include "rt/assert.h"

namespace {
std::string g_strLocation;
std::string g_strDetail;

void LocationHook(const char *pszFormat, const char *pszExpr, const char *pszFile, int32_t iLine, const char *pszFunction)
{
    char sz[512];
    snprintf(sz, sizeof(sz), "%s|%s|%s|%d|%s", pszFormat, pszExpr, pszFile, iLine, pszFunction);
    g_strLocation = sz;
}

void DetailHook(const char *pszFormat, va_list args)
{
    char sz[512];
    vsnprintf(sz, sizeof(sz), pszFormat, args);
    g_strDetail += sz;
}

struct AssertLast
{
    const char *pszExpr, *pszFile;
    int32_t iLine;
    const char *pszFunction;
    char szMsg1[1024];
    char szMsg2[4096];
    uint32_t cchMsg2;
};
} /* namespace */

extern "C" AssertLast g_RTAssertLast;

TEST(Assert, ReportsReachTheHooksAndKeepTheCallersErrors)
{
    g_pfnAssertLocationHook = LocationHook;
    g_pfnAssertDetailHook = DetailHook;
    SetLastError(1234);
    RTAssertReportLocation("a == b", 42, "file.cpp", "int f(void)");
    EXPECT_EQ(GetLastError(), 1234u);
    EXPECT_EQ(g_strLocation, "\n!!Assertion Failed!!\nExpression: %s\nLocation  : %s(%d) %s\n|a == b|file.cpp|42|int f(void)");
    EXPECT_STREQ(g_RTAssertLast.szMsg1, "\n!!Assertion Failed!!\nExpression: a == b\nLocation  : file.cpp(42) int f(void)\n");

    RTAssertReportDetail("value %d\n", 7);
    RTAssertReportDetailAppend("and %s\n", "more");
    EXPECT_EQ(GetLastError(), 1234u);
    EXPECT_EQ(g_strDetail, "value 7\nand more\n");
    EXPECT_STREQ(g_RTAssertLast.szMsg2, "value 7\nand more\n");
    EXPECT_EQ(g_RTAssertLast.cchMsg2, 17u);

    /* Near the end of the kept buffer an append leaves the text alone but is still shown. */
    std::string const strLong(4092, 'x');
    RTAssertReportDetail("%s", strLong.c_str());
    g_strDetail.clear();
    RTAssertReportDetailAppend("tail");
    EXPECT_EQ(g_RTAssertLast.cchMsg2, 4092u);
    EXPECT_EQ(std::string(g_RTAssertLast.szMsg2), strLong);
    EXPECT_EQ(g_strDetail, "tail");

    g_pfnAssertLocationHook = nullptr;
    g_pfnAssertDetailHook = nullptr;
}

TEST(Assert, PanicPolicyFollowsTheEnvironment)
{
    struct { const wchar_t *pwszValue; bool fPanic; } const s_aCases[] =
    {
        { nullptr, true }, { L"breakpoint", true }, { L"panic", true },
        { L"disabled", false }, { L"Panic", false }, { L"", false }, { L"panic!", false },
        { L"a-value-longer-than-the-policy-ever-reads", false },
    };
    for (const auto &c : s_aCases)
    {
        SetEnvironmentVariableW(L"NIMB_ASSERT", c.pwszValue);
        SetLastError(77);
        EXPECT_EQ(RTAssertPanicPolicy(), c.fPanic) << (c.pwszValue ? c.pwszValue : L"(unset)");
        EXPECT_EQ(GetLastError(), 77u);
    }
    SetEnvironmentVariableW(L"NIMB_ASSERT", nullptr);
}

TEST(Assert, ErrorStateRestoresOnlyWhatWasSaved)
{
    RTERRSTATE State;
    SetLastError(5);
    RTErrStateSave(&State);
    EXPECT_EQ(State.u32Magic, RTERRSTATE_MAGIC);
    SetLastError(6);
    RTErrStateRestore(&State);
    EXPECT_EQ(GetLastError(), 5u);

    RTERRSTATE Garbage = { 0x1234, 99, 0 };
    RTErrStateRestore(&Garbage);
    EXPECT_EQ(GetLastError(), 5u);
}
