/* Windows version detection: the version-code table over synthetic version records, the
 * chain of version queries with queries that fail, and the real detection. */
#include <gtest/gtest.h>
#define WIN32_NO_STATUS
#include <windows.h>
#undef WIN32_NO_STATUS
#include <winternl.h>
#include <ntstatus.h>
#include <cstring>
#include "internal/r3-win.h"

namespace {

constexpr BYTE kWs = VER_NT_WORKSTATION;
constexpr BYTE kDc = VER_NT_DOMAIN_CONTROLLER;
constexpr BYTE kSrv = VER_NT_SERVER;

struct VersionCase
{
    DWORD    uPlatform, uMajor, uMinor, uBuild;
    BYTE     bProductType;
    uint32_t uCode;
};

/* Every row of the table at both ends of its ranges, and the combinations next to them. */
const VersionCase g_aVersionCases[] =
{
    /* 9x family: exact and ranged builds, only the low 16 bits of the build count. */
    { 1, 4,  0,   950, 0, 1 },   { 1, 4,  9, 0x040A03B6, 0, 1 },
    { 1, 4,  0,   949, 0, 0 },
    { 1, 4,  0,   951, 0, 2 },   { 1, 4,  3,  1080, 0, 2 },
    { 1, 4,  0,  1081, 0, 3 },   { 1, 4,  0, 65535, 0, 3 },
    { 1, 4, 10,  1998, 0, 4 },   { 1, 4, 10,  1997, 0, 0 },
    { 1, 4, 10,  1999, 0, 5 },   { 1, 4, 10,  2182, 0, 5 },
    { 1, 4, 10,  2183, 0, 6 },   { 1, 4, 10, 0x040A08AE, 0, 6 },
    { 1, 4, 90,  3000, 0, 7 },   { 1, 4, 90,     0, 0, 7 },
    { 1, 4, 11,  2222, 0, 0 },   { 1, 4, 91,  3000, 0, 0 },   { 1, 5,  0,  950, 0, 0 },
    { 1, 3, 10,   950, 0, 0 },
    /* NT 3.x, 4 and 5.x: the product type does not matter. */
    { 2, 3,  0,   528, kWs, 100 }, { 2, 3, 49,   528, kSrv, 100 },
    { 2, 3, 50,   807, kWs, 101 },
    { 2, 3, 51,  1057, kWs, 102 }, { 2, 3, 99,     0, kSrv, 102 },
    { 2, 4,  0,  1381, kWs, 103 }, { 2, 4, 90,  1381, kSrv, 103 },
    { 2, 5,  0,  2195, kSrv, 104 },
    { 2, 5,  1,  2600, kWs, 105 },
    { 2, 5,  2,  3790, kSrv, 107 }, { 2, 5, 7,    0, kWs, 107 },
    /* 6.x: workstation and the rest. */
    { 2, 6,  0,  6002, kWs, 108 }, { 2, 6, 0, 6002, kSrv, 109 }, { 2, 6, 0, 6002, kDc, 109 },
    { 2, 6,  1,  7601, kWs, 110 }, { 2, 6, 1, 7601, kSrv, 111 },
    { 2, 6,  2,  9200, kWs, 112 }, { 2, 6, 2, 9200, kSrv, 113 },
    { 2, 6,  3,  9600, kWs, 114 }, { 2, 6, 3, 9600, kSrv, 115 },
    { 2, 6,  4,  9841, kWs, 116 }, { 2, 6, 4, 9841, kSrv, 117 },
    { 2, 6,  5,     0, kWs, 199 },
    /* 10 and 11 at every build boundary. */
    { 2, 10, 0,     0, kWs, 116 }, { 2, 10, 0, 21999, kWs, 116 },
    { 2, 10, 0, 22000, kWs, 120 }, { 2, 10, 0, 26100, kWs, 120 }, { 2, 10, 0, 65535, kWs, 120 },
    { 2, 10, 0, 17762, kSrv, 117 }, { 2, 10, 0, 17763, kSrv, 118 },
    { 2, 10, 0, 20347, kSrv, 118 }, { 2, 10, 0, 20348, kDc, 119 },
    { 2, 10, 0, 26099, kSrv, 119 }, { 2, 10, 0, 26100, kSrv, 121 },
    { 2, 10, 0, 0x00014A65, kWs, 116 },  /* its low 16 bits are 19045 */
    { 2, 10, 0, 0, 0, 117 },             /* an unknown product type is not a workstation */
    /* Everything else in the NT family, and outside it. */
    { 2, 10, 1, 22000, kWs, 199 }, { 2, 11, 0, 30000, kWs, 199 }, { 2, 7, 0, 0, kWs, 199 },
    { 2, 2,  0,     0, kWs, 199 }, { 2, 0, 0, 0, 0, 199 },
    { 0, 10, 0, 19045, kWs, 0 },   { 3, 10, 0, 19045, kWs, 0 },
};

} /* namespace */

TEST(InitWinVersion, CodeForEveryRowAndItsNeighbours)
{
    for (const VersionCase &c : g_aVersionCases)
    {
        OSVERSIONINFOEXW Info{};
        Info.dwOSVersionInfoSize = sizeof(Info);
        Info.dwPlatformId = c.uPlatform;
        Info.dwMajorVersion = c.uMajor;
        Info.dwMinorVersion = c.uMinor;
        Info.dwBuildNumber = c.uBuild;
        Info.wProductType = c.bProductType;
        EXPECT_EQ(rtR3InitWinVerCode(&Info), c.uCode)
            << "platform " << c.uPlatform << " " << c.uMajor << "." << c.uMinor << " build " << c.uBuild
            << " product " << unsigned(c.bProductType);
    }
}

/*
 * The query chain, driven by fake queries that answer or fail as a case says.
 */

namespace {

struct FakeQueries
{
    bool  fRtlGetVersion;          /**< RtlGetVersion answers */
    bool  fGetVersionExW284;       /**< GetVersionExW accepts the extended record */
    bool  fGetVersionExW276;       /**< GetVersionExW accepts the short record */
    DWORD uGetVersion;
    int   iNtProductType;          /**< -1: RtlGetNtProductType fails */
};

FakeQueries g_Fake;
DWORD g_acbSeen[4];
unsigned g_cSeen;

void FillCommon(OSVERSIONINFOW *pInfo, DWORD uMajor)
{
    pInfo->dwMajorVersion = uMajor;
    pInfo->dwMinorVersion = 0;
    pInfo->dwBuildNumber = 19045;
    pInfo->dwPlatformId = VER_PLATFORM_WIN32_NT;
    wcscpy(pInfo->szCSDVersion, L"SP");
}

LONG NTAPI FakeRtlGetVersion(PRTL_OSVERSIONINFOW pInfo)
{
    g_acbSeen[g_cSeen++ & 3] = pInfo->dwOSVersionInfoSize;
    if (!g_Fake.fRtlGetVersion)
        return STATUS_NOT_IMPLEMENTED;
    FillCommon(pInfo, 10);
    reinterpret_cast<OSVERSIONINFOEXW *>(pInfo)->wProductType = VER_NT_SERVER;
    return STATUS_SUCCESS;
}

BOOL WINAPI FakeGetVersionExW(LPOSVERSIONINFOW pInfo)
{
    DWORD const cb = pInfo->dwOSVersionInfoSize;
    g_acbSeen[g_cSeen++ & 3] = cb;
    if (cb == sizeof(OSVERSIONINFOEXW) && g_Fake.fGetVersionExW284)
    {
        FillCommon(pInfo, 6);
        reinterpret_cast<OSVERSIONINFOEXW *>(pInfo)->wProductType = VER_NT_DOMAIN_CONTROLLER;
        return TRUE;
    }
    if (cb == sizeof(OSVERSIONINFOW) && g_Fake.fGetVersionExW276)
    {
        FillCommon(pInfo, 5);
        /* What a short-record system leaves beyond the record must not count. */
        return TRUE;
    }
    return FALSE;
}

DWORD WINAPI FakeGetVersion(void)
{
    return g_Fake.uGetVersion;
}

BOOLEAN NTAPI FakeRtlGetNtProductType(PULONG puType)
{
    if (g_Fake.iNtProductType < 0)
        return FALSE;
    *puType = static_cast<ULONG>(g_Fake.iNtProductType);
    return TRUE;
}

} /* namespace */

TEST(InitWinVersion, QueryChainFallsBackAndFixesTheProductType)
{
    struct Case
    {
        const char *pszName;
        FakeQueries Fake;
        bool        fWithRtlGetVersion, fWithGetVersionExW, fWithProductType;
        DWORD       uMajor, uMinor, uBuild;
        BYTE        bProductType;
        unsigned    cQueries;        /**< record queries made before the answer */
    };
    static const Case s_aCases[] =
    {
        { "RtlGetVersion answers",      { true,  true,  true,  0, 3 }, true,  true,  true,  10, 0, 19045, VER_NT_SERVER, 1 },
        { "extended GetVersionExW",     { false, true,  true,  0, 3 }, true,  true,  true,   6, 0, 19045, VER_NT_DOMAIN_CONTROLLER, 2 },
        { "no RtlGetVersion",           { false, true,  true,  0, 3 }, false, true,  true,   6, 0, 19045, VER_NT_DOMAIN_CONTROLLER, 1 },
        { "short GetVersionExW",        { false, false, true,  0, 3 }, true,  true,  true,   5, 0, 19045, 3, 3 },
        { "short, product type fails",  { false, false, true,  0, -1 }, true, true,  true,   5, 0, 19045, VER_NT_WORKSTATION, 3 },
        { "short, no product query",    { false, false, true,  0, 3 }, true,  true,  false,  5, 0, 19045, VER_NT_WORKSTATION, 3 },
        { "GetVersion",                 { false, false, false, 0x0A280105, 2 }, true, true, true, 5, 1, 0x0A28, 2, 3 },
        { "GetVersion, top bit set",    { false, false, false, 0xC0000A04, -1 }, true, true, true, 4, 10, 511, VER_NT_WORKSTATION, 3 },
        { "nothing but GetVersion",     { false, false, false, 0x23F00206, 1 }, false, false, true, 6, 2, 0x23F0, VER_NT_WORKSTATION, 0 },
    };
    for (const Case &c : s_aCases)
    {
        SCOPED_TRACE(c.pszName);
        g_Fake = c.Fake;
        g_cSeen = 0;
        RTR3WINVERQUERIES const Queries =
        {
            c.fWithRtlGetVersion ? FakeRtlGetVersion : nullptr,
            c.fWithGetVersionExW ? FakeGetVersionExW : nullptr,
            FakeGetVersion,
            c.fWithProductType ? FakeRtlGetNtProductType : nullptr,
        };
        OSVERSIONINFOEXW Info;
        memset(&Info, 0xA5, sizeof(Info));
        rtR3InitQueryWinVersion(&Queries, &Info);

        EXPECT_EQ(Info.dwOSVersionInfoSize, sizeof(OSVERSIONINFOEXW));
        EXPECT_EQ(Info.dwMajorVersion, c.uMajor);
        EXPECT_EQ(Info.dwMinorVersion, c.uMinor);
        EXPECT_EQ(Info.dwBuildNumber, c.uBuild);
        EXPECT_EQ(Info.dwPlatformId, DWORD(VER_PLATFORM_WIN32_NT));
        EXPECT_EQ(Info.wProductType, c.bProductType);
        /* Nothing of an earlier attempt or of the caller's memory survives. */
        EXPECT_EQ(Info.wServicePackMajor, 0);
        EXPECT_EQ(Info.wSuiteMask, 0);
        EXPECT_EQ(Info.wReserved, 0);
        EXPECT_EQ(g_cSeen, c.cQueries);
        /* Each query saw the record size it expects, in the order of the chain. */
        static const DWORD s_acbOrder[] = { sizeof(OSVERSIONINFOEXW), sizeof(OSVERSIONINFOEXW), sizeof(OSVERSIONINFOW) };
        unsigned const iFirst = c.fWithRtlGetVersion ? 0 : 1;
        for (unsigned i = 0; i < c.cQueries; i++)
            EXPECT_EQ(g_acbSeen[i], s_acbOrder[iFirst + i]) << "query " << i;
    }
}

TEST(InitWinVersion, RealDetectionGivesAnNtCode)
{
    HMODULE const hModNtDll = GetModuleHandleW(L"ntdll.dll");
    RTR3WINVERQUERIES const Queries =
    {
        reinterpret_cast<PFNRTLGETVERSION>(reinterpret_cast<void *>(GetProcAddress(hModNtDll, "RtlGetVersion"))),
        GetVersionExW,
        GetVersion,
        reinterpret_cast<PFNRTLGETNTPRODUCTTYPE>(reinterpret_cast<void *>(GetProcAddress(hModNtDll, "RtlGetNtProductType"))),
    };
    OSVERSIONINFOEXW Info;
    rtR3InitQueryWinVersion(&Queries, &Info);
    uint32_t const uCode = rtR3InitWinVerCode(&Info);
    EXPECT_GE(uCode, 104u) << Info.dwMajorVersion << "." << Info.dwMinorVersion << " build " << Info.dwBuildNumber;
    EXPECT_LT(uCode, 199u);
    EXPECT_GE(Info.dwMajorVersion, 5u);
    EXPECT_NE(Info.wProductType, 0);
}

TEST(InitExePath, FillsTheCallersBufferAndNoMore)
{
    wchar_t wsz[MAX_PATH];
    DWORD const cwc = GetModuleFileNameW(nullptr, wsz, MAX_PATH);
    char szExpect[MAX_PATH * 3];
    int const cchExpect = WideCharToMultiByte(CP_UTF8, 0, wsz, int(cwc), szExpect, sizeof(szExpect), nullptr, nullptr);
    szExpect[cchExpect] = '\0';

    for (size_t cbBuf : { size_t(cchExpect) + 1, size_t(cchExpect), size_t(1) })
    {
        char abBuf[MAX_PATH * 3 + 16];
        memset(abBuf, 0x5A, sizeof(abBuf));
        RTSTATUS const rc = rtProcInitExePath(abBuf, cbBuf);
        if (cbBuf > size_t(cchExpect))
        {
            EXPECT_EQ(rc, INF_SUCCESS);
            EXPECT_STREQ(abBuf, szExpect);
        }
        else
            EXPECT_EQ(rc, ERR_BUFFER_TOO_SMALL) << cbBuf;
        for (size_t i = cbBuf; i < cbBuf + 16; i++)
            ASSERT_EQ(abBuf[i], 0x5A) << "guard byte " << i - cbBuf << " after " << cbBuf;
    }
}
