/* The executable's directory from start-up's path record. */
#include <gtest/gtest.h>
#include <string>
#include "rt/path.h"
#include "internal/startup.h"
#include "exec-path.h"

namespace {

/** Restores the executable path record after each test. */
class PathExeDir : public testing::Test
{
protected:
    void TearDown() override { g_ProcExecPath = m_Saved; }
    RTPROCEXECPATH m_Saved = g_ProcExecPath;
};

TEST_F(PathExeDir, DirectoryWithoutTrailingSeparator)
{
    struct { const char *pszExe, *pszDir; } const aCases[] = {
        { "C:\\Program Files\\Nimb\\NimbStub.exe", "C:\\Program Files\\Nimb" },
        { "C:\\NimbStub.exe",                       "C:\\" },
        { "\\\\srv\\share\\dir\\\\x.exe",           "\\\\srv\\share\\dir" },
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(c.pszExe);
        SetTestExecPath(c.pszExe);
        size_t const cchDir = strlen(c.pszDir);
        char ab[64];
        memset(ab, 'G', sizeof(ab));
        EXPECT_EQ(RTPathExeDir(ab, cchDir + 1), INF_SUCCESS);
        EXPECT_STREQ(ab, c.pszDir);
        EXPECT_EQ(ab[cchDir + 1], 'G');
        memset(ab, 'G', sizeof(ab));
        EXPECT_EQ(RTPathExeDir(ab, cchDir), ERR_BUFFER_TOO_SMALL);
        EXPECT_EQ(ab[0], 'G');
    }
    EXPECT_EQ(RTPathExeDir(nullptr, 64), ERR_BAD_POINTER);
}

TEST_F(PathExeDir, NothingRecorded)
{
    memset(&g_ProcExecPath, 0, sizeof(g_ProcExecPath));
    char ab[8];
    EXPECT_EQ(RTPathExeDir(ab, sizeof(ab)), ERR_WRONG_STATE);
}

} /* namespace */
