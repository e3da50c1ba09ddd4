/* Absolute paths against a base, the current directory and the current drive, their size
 * reports, and the allocating variant. */
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <windows.h>
#include "rt/path.h"
#include "rt/mem.h"
#include "rt/string.h"
#include "leak-check.h"
#include "process-runner.h"

namespace {

/** Runs each test in a directory of its own, "<temp>\nimb-abs-<pid>\cwd", and gives the
 *  placeholders {cwd}, {par} (its parent) and {drv} (its drive) for expected results. */
class PathAbs : public testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t wsz[MAX_PATH];
        GetCurrentDirectoryW(MAX_PATH, wsz);
        m_wstrSaved = wsz;
        GetTempPathW(MAX_PATH, wsz);
        m_wstrParent = std::wstring(wsz) + L"nimb-abs-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(m_wstrParent.c_str(), nullptr);
        std::wstring const wstrCwd = m_wstrParent + L"\\cwd";
        CreateDirectoryW(wstrCwd.c_str(), nullptr);
        ASSERT_TRUE(SetCurrentDirectoryW(wstrCwd.c_str()));
        GetCurrentDirectoryW(MAX_PATH, wsz);
        m_strCwd = Narrow(wsz);
        m_strCwd[0] = static_cast<char>(toupper(m_strCwd[0]));
        m_strPar = m_strCwd.substr(0, m_strCwd.rfind('\\'));
    }

    void TearDown() override
    {
        SetCurrentDirectoryW(m_wstrSaved.c_str());
        RemoveDirectoryW((m_wstrParent + L"\\cwd").c_str());
        RemoveDirectoryW(m_wstrParent.c_str());
    }

    std::string expand(const char *psz) const
    {
        std::string s = psz;
        std::string strCwdSlashes = m_strCwd;
        for (char &ch : strCwdSlashes)
            ch = ch == '\\' ? '/' : ch;
        for (auto [pszKey, strValue] : { std::pair<const char *, std::string>{ "{cwd}", m_strCwd },
                                         { "{cwd/}", strCwdSlashes },
                                         { "{par}", m_strPar }, { "{drv}", m_strCwd.substr(0, 2) } })
            for (size_t off; (off = s.find(pszKey)) != std::string::npos;)
                s.replace(off, strlen(pszKey), strValue);
        return s;
    }

    std::wstring m_wstrSaved, m_wstrParent;
    std::string  m_strCwd, m_strPar;
};

struct AbsCase
{
    const char *pszBase;
    const char *pszPath;
    uint32_t    fFlags;
    const char *pszExpect;
};

AbsCase const g_aAbsCases[] = {
    /* Absolute paths: only "." goes, the drive letter is upper-cased. */
    { nullptr, "c:\\a\\.\\b",              RTPSTYLE_HOST, "C:\\a\\b" },
    { nullptr, "C:/a//b/",                 RTPSTYLE_DOS,  "C:\\a\\b\\" },
    { nullptr, "C:\\a",                    RTPSTYLE_DOS | RTABS_TRAILING_SLASH, "C:\\a\\" },
    { nullptr, "C:\\",                     RTPSTYLE_DOS | RTABS_TRAILING_SLASH, "C:\\" },
    { nullptr, "\\\\server\\share\\x",     RTPSTYLE_DOS,  "\\\\server\\share\\x" },
    { nullptr, "//server",                 RTPSTYLE_DOS,  "\\\\server" },
    /* ".." never removes a root or a UNC share; it does remove after a special server. */
    { nullptr, "C:\\dir\\..\\x",           RTPSTYLE_DOS,  "C:\\x" },
    { nullptr, "C:\\..",                   RTPSTYLE_DOS,  "C:\\" },
    { nullptr, "c:\\a\\..\\..\\b\\",       RTPSTYLE_DOS,  "C:\\b\\" },
    { nullptr, "\\\\server\\share\\..\\x", RTPSTYLE_DOS,  "\\\\server\\share\\x" },
    { nullptr, "\\\\server\\share\\..",    RTPSTYLE_DOS,  "\\\\server\\share" },
    { nullptr, "\\\\?\\C:\\x\\..\\y",      RTPSTYLE_DOS,  "\\\\?\\C:\\y" },
    { nullptr, "\\\\.\\a\\..\\..\\b",      RTPSTYLE_DOS,  "\\\\.\\b" },
    /* Rooted at a separator: the current drive, or the base's drive or server and share. */
    { nullptr,             "\\tmp",        RTPSTYLE_DOS,  "{drv}\\tmp" },
    { nullptr,             "/",            RTPSTYLE_DOS,  "{drv}\\" },
    { nullptr,             "\\a\\..\\..",  RTPSTYLE_DOS | RTABS_TRAILING_SLASH, "{drv}\\" },
    { "d:\\foo",           "\\tmp",        RTPSTYLE_DOS,  "D:\\tmp" },
    { "\\\\srv\\share\\d", "\\tmp",        RTPSTYLE_DOS,  "\\\\srv\\share\\tmp" },
    { "//srv/share",       "\\tmp\\",      RTPSTYLE_DOS,  "\\\\srv\\share\\tmp\\" },
    { "\\\\srv\\",         "\\tmp",        RTPSTYLE_DOS,  "\\\\srv\\tmp" },
    { "\\\\?\\C:\\x",      "\\tmp",        RTPSTYLE_DOS,  "\\\\?\\tmp" },
    { "relative",          "\\tmp",        RTPSTYLE_DOS,  "{drv}\\tmp" },
    /* Relative to the current directory. */
    { nullptr, "x/y/",                     RTPSTYLE_DOS,  "{cwd}\\x\\y\\" },
    { nullptr, "x",                        RTPSTYLE_DOS | RTABS_TRAILING_SLASH, "{cwd}\\x\\" },
    { nullptr, ".",                        RTPSTYLE_DOS,  "{cwd}" },
    { nullptr, ".\\",                      RTPSTYLE_DOS,  "{cwd}\\" },
    { nullptr, "..",                       RTPSTYLE_DOS,  "{par}" },
    { nullptr, "..\\x",                    RTPSTYLE_DOS | RTABS_KEEP_BASE, "{par}\\x" },
    { nullptr, "..\\x",                    RTPSTYLE_DOS | RTABS_KEEP_CWD, "{cwd}\\x" },
    { nullptr, "a\\..\\..\\b",             RTPSTYLE_DOS,  "{par}\\b" },
    { nullptr, "{drv}x",                   RTPSTYLE_DOS,  "{cwd}\\x" },
    /* Relative to a base. */
    { "C:\\base",          "x",            RTPSTYLE_DOS,  "C:\\base\\x" },
    { "C:\\base\\sub",     "..\\x",        RTPSTYLE_DOS,  "C:\\base\\x" },
    { "C:\\base",          "..\\..\\x",    RTPSTYLE_DOS,  "C:\\x" },
    { "C:\\base",          "..\\..\\x",    RTPSTYLE_DOS | RTABS_KEEP_BASE, "C:\\base\\x" },
    { "C:\\base",          "..\\x",        RTPSTYLE_DOS | RTABS_KEEP_CWD, "C:\\x" },
    { "C:\\base\\",        ".",            RTPSTYLE_DOS,  "C:\\base" },
    { "C:\\",              "x",            RTPSTYLE_DOS,  "C:\\x" },
    { "\\\\srv\\share",    "..\\x",        RTPSTYLE_DOS,  "\\\\srv\\share\\x" },
    { "\\\\srv\\",         "x",            RTPSTYLE_DOS,  "\\\\srv\\x" },
    { "c:\\base",          "C:x",          RTPSTYLE_DOS,  "C:\\base\\x" },
    { "C:\\a\\\\b",        "x",            RTPSTYLE_DOS,  "C:\\a\\b\\x" },
    { "C:\\a\\.\\b\\..",   "x",            RTPSTYLE_DOS,  "C:\\a\\x" },
    { "sub",               "x",            RTPSTYLE_DOS,  "{cwd}\\sub\\x" },
    { "C:\\base",          "x",            RTPSTYLE_DOS | RTABS_TRAILING_SLASH, "C:\\base\\x\\" },
    /* A drive-relative path on another drive than the base's uses its own drive. */
    { "C:\\base",          "Z:x",          RTPSTYLE_DOS,  "Z:\\x" },
    /* Unix style. */
    { nullptr,             "/a/../b//c/.", RTPSTYLE_UNIX, "/b/c" },
    { "/base/dir",         "../x\\y",      RTPSTYLE_UNIX, "/base/x\\y" },
    { "/",                 "x/",           RTPSTYLE_UNIX, "/x/" },
    { nullptr,             "x/../y\\z",   RTPSTYLE_UNIX, "{cwd/}/y\\z" },
};

/* Each case resolves as expected; and every buffer size short of the result fails without
 * writing past the buffer and reports a size that then works. */
TEST_F(PathAbs, ResolutionAndShortBuffers)
{
    std::vector<char> Buf;
    for (const AbsCase &c : g_aAbsCases)
    {
        std::string const strPath = expand(c.pszPath), strExpect = expand(c.pszExpect);
        SCOPED_TRACE(testing::Message() << (c.pszBase ? c.pszBase : "(no base)") << " + " << strPath
                                        << " flags " << std::hex << c.fFlags);
        char sz[512];
        size_t cb = sizeof(sz);
        ASSERT_EQ(RTPathAbsEx(c.pszBase, strPath.c_str(), c.fFlags, sz, &cb), INF_SUCCESS);
        EXPECT_EQ(std::string(sz), strExpect);
        EXPECT_EQ(cb, strExpect.size());

        for (size_t cbBuf = 0; cbBuf <= strExpect.size(); cbBuf++)
        {
            Buf.assign(cbBuf + 16, 'G');
            cb = cbBuf;
            ASSERT_EQ(RTPathAbsEx(c.pszBase, strPath.c_str(), c.fFlags, Buf.data(), &cb), ERR_BUFFER_TOO_SMALL)
                << "size " << cbBuf;
            for (size_t i = cbBuf; i < Buf.size(); i++)
                ASSERT_EQ(Buf[i], 'G') << "written at " << i << " with size " << cbBuf;
            ASSERT_GT(cb, strExpect.size()) << "size " << cbBuf;
            ASSERT_LT(cb, strExpect.size() + 70000) << "size " << cbBuf;

            Buf.assign(cb, 'G');
            size_t cbRetry = cb;
            ASSERT_EQ(RTPathAbsEx(c.pszBase, strPath.c_str(), c.fFlags, Buf.data(), &cbRetry), INF_SUCCESS);
            ASSERT_EQ(std::string(Buf.data()), strExpect);
        }
    }
}

TEST_F(PathAbs, ExactSizeReports)
{
    /* Absolute and merged results report exactly what they need. */
    struct { const char *pszBase; const char *pszPath; } const aCases[] = {
        { nullptr, "C:\\a\\..\\bb\\." }, { "C:\\base", "x\\y" }, { "D:\\", "\\tmp" }, { nullptr, "x" },
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(c.pszPath);
        char sz[512];
        size_t cb = sizeof(sz);
        ASSERT_EQ(RTPathAbsEx(c.pszBase, c.pszPath, RTPSTYLE_DOS, sz, &cb), INF_SUCCESS);
        size_t const cchResult = cb;
        cb = cchResult;
        EXPECT_EQ(RTPathAbsEx(c.pszBase, c.pszPath, RTPSTYLE_DOS, sz, &cb), ERR_BUFFER_TOO_SMALL);
        EXPECT_EQ(cb, cchResult + 1);
    }
}

TEST_F(PathAbs, BadInput)
{
    char sz[64];
    size_t cb = sizeof(sz);
    EXPECT_EQ(RTPathAbsEx(nullptr, "", RTPSTYLE_DOS, sz, &cb), ERR_PATH_EMPTY);
    for (uint32_t fFlags : { 3u, 4u, 0x80000u, 0x100u })
        EXPECT_EQ(RTPathAbsEx(nullptr, "x", fFlags, sz, &cb), ERR_BAD_FLAGS) << fFlags;
    EXPECT_EQ(RTPathAbsEx(nullptr, nullptr, RTPSTYLE_DOS, sz, &cb), ERR_BAD_POINTER);
    EXPECT_EQ(RTPathAbsEx(reinterpret_cast<const char *>(8), "x", RTPSTYLE_DOS, sz, &cb), ERR_BAD_POINTER);
    EXPECT_EQ(RTPathAbsEx(nullptr, "x", RTPSTYLE_DOS, nullptr, &cb), ERR_BAD_POINTER);
    EXPECT_EQ(RTPathAbsEx(nullptr, "x", RTPSTYLE_DOS, sz, nullptr), ERR_BAD_POINTER);
    /* A server without share or separator is no base to put a path under. */
    EXPECT_EQ(RTPathAbsEx("\\\\server", "x", RTPSTYLE_DOS, sz, &cb), ERR_PATH_ROOT_INCOMPLETE);
    /* A path too long to parse. */
    std::string const strLong(70000, 'a');
    cb = sizeof(sz);
    EXPECT_EQ(RTPathAbsEx(nullptr, strLong.c_str(), RTPSTYLE_DOS, sz, &cb), ERR_FILENAME_TOO_LONG);
    EXPECT_EQ(RTPathAbsolute("", sz, sizeof(sz)), ERR_PATH_EMPTY);
}

TEST_F(PathAbs, ManyComponentsUseAHeapRecord)
{
    std::string strPath = "C:\\";
    for (int i = 0; i < 400; i++)
        strPath += "d\\..\\";
    strPath += "x";
    char sz[64];
    size_t cb = sizeof(sz);
    ASSERT_EQ(RTPathAbsEx(nullptr, strPath.c_str(), RTPSTYLE_DOS, sz, &cb), INF_SUCCESS);
    EXPECT_STREQ(sz, "C:\\x");

    /* A heap record and a heap current directory both go again when the result does not fit. */
    std::string const strRel = strPath.substr(3);
    EXPECT_FALSE(LeavesHeapBlocks([&] {
        g_pfnRTMemAllocHook = [](size_t) { return false; };
        cb = sizeof(sz);
        EXPECT_EQ(RTPathAbsEx(nullptr, strPath.c_str(), RTPSTYLE_DOS, sz, &cb), ERR_SCRATCH_ALLOC_FAILED);
        g_pfnRTMemAllocHook = nullptr;
        cb = 4;
        EXPECT_EQ(RTPathAbsEx(nullptr, strRel.c_str(), RTPSTYLE_DOS, sz, &cb), ERR_BUFFER_TOO_SMALL);
    }));
}

std::vector<size_t> g_acbAllocs;

TEST_F(PathAbs, Dup)
{
    /* The first buffer is too small; the retry is sized from the reported need. */
    std::string const strLong = "C:\\" + std::string(3000, 'n');
    g_acbAllocs.clear();
    g_pfnRTMemAllocHook = [](size_t cb) { g_acbAllocs.push_back(cb); return true; };
    char *psz = RTPathAbsExDup(nullptr, strLong.c_str(), RTPSTYLE_DOS);
    g_pfnRTMemAllocHook = nullptr;
    ASSERT_NE(psz, nullptr);
    EXPECT_EQ(std::string(psz), strLong);
    EXPECT_EQ(g_acbAllocs, (std::vector<size_t>{ 2050, 3072 }));
    RTStrRelease(psz);

    psz = RTPathAbsExDup("C:\\base", "x\\..\\y", RTPSTYLE_DOS | RTABS_TRAILING_SLASH);
    ASSERT_NE(psz, nullptr);
    EXPECT_STREQ(psz, "C:\\base\\y\\");
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, psz), strlen(psz) + 1);   /* shrunk from 2050 */
    RTStrRelease(psz);

    EXPECT_EQ(RTPathAbsExDup(nullptr, "", RTPSTYLE_DOS), nullptr);
    EXPECT_EQ(RTPathAbsExDup(nullptr, "x", 3), nullptr);
    g_pfnRTMemAllocHook = [](size_t) { return false; };
    EXPECT_EQ(RTPathAbsExDup(nullptr, "x", RTPSTYLE_DOS), nullptr);
    g_pfnRTMemAllocHook = nullptr;
}

} /* namespace */
