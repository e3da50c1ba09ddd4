/* The executable's directory from start-up's path record. */
#include <gtest/gtest.h>
#include <string>
#include "rt/path.h"
#include "rt/startup.h"

namespace {

/** Puts @a pszPath into the record as start-up would, and restores the record afterwards. */
class PathExeDir : public testing::Test
{
protected:
    void TearDown() override { g_ProcExecPath = m_Saved; }
    void record(const char *pszPath)
    {
        RTPROCEXECPATH &Rec = g_ProcExecPath;
        memset(&Rec, 0, sizeof(Rec));
        Rec.cchPath = static_cast<uint32_t>(strlen(pszPath));
        memcpy(Rec.szPath, pszPath, Rec.cchPath);
        rtStartupSplitExecPath(Rec.szPath, Rec.cchPath, &Rec.cchDir, &Rec.offName);
    }
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
        record(c.pszExe);
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
