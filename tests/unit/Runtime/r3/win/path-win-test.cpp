/* The current directory and drive, setting the current directory, and moving files and
 * directories, on the real file system in a directory of the test's own. */
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <windows.h>
#include "rt/path.h"
#include "rt/fsmode.h"
#include "scratch-dir.h"

namespace {

/** A directory of the test's own, made the current directory for the test's duration. */
class PathWin : public testing::Test
{
protected:
    void SetUp() override
    {
        GetCurrentDirectoryW(MAX_PATH, m_wszSaved);
        m_strDir = m_Scratch.path();
        m_strDir[0] = static_cast<char>(toupper(m_strDir[0]));
        ASSERT_EQ(m_strDir[1], ':');
    }
    void TearDown() override { SetCurrentDirectoryW(m_wszSaved); }

    std::string cwd()
    {
        char sz[8192];
        EXPECT_EQ(RTPathGetCurrentDir(sz, sizeof(sz)), INF_SUCCESS);
        return sz;
    }

    /** A directory chain below the scratch directory longer than the classic 260-unit limit,
     *  with non-ASCII names; created through the long form. */
    std::string makeDeepDir()
    {
        std::string str = m_strDir;
        for (int i = 0; i < 5; i++)
        {
            str += "\\" + std::string(60, static_cast<char>('a' + i)) + "-\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
            EXPECT_TRUE(CreateDirectoryW(LongForm(str).c_str(), nullptr));
        }
        return str;
    }

    ScratchDir  m_Scratch;
    std::string m_strDir;
    wchar_t     m_wszSaved[MAX_PATH];
};

TEST_F(PathWin, CurrentDirectoryQueries)
{
    /* The drive letter comes back upper case whatever case it was set in. */
    std::wstring wstrLower = LongForm(m_strDir).substr(4);
    wstrLower[0] = static_cast<wchar_t>(towlower(wstrLower[0]));
    ASSERT_TRUE(SetCurrentDirectoryW(wstrLower.c_str()));
    EXPECT_EQ(cwd(), m_strDir);

    std::vector<char> Buf(m_strDir.size() + 8, 'G');
    EXPECT_EQ(RTPathGetCurrentDir(Buf.data(), m_strDir.size() + 1), INF_SUCCESS);
    EXPECT_EQ(Buf[m_strDir.size() + 1], 'G');
    Buf.assign(Buf.size(), 'G');
    EXPECT_EQ(RTPathGetCurrentDir(Buf.data(), m_strDir.size()), ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(Buf[m_strDir.size()], 'G');
    EXPECT_EQ(RTPathGetCurrentDir(Buf.data(), 0), ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(RTPathGetCurrentDir(nullptr, 10), ERR_BAD_POINTER);

    /* The drive's own directory keeps the letter's case as the platform gives it. */
    char sz[1024];
    EXPECT_EQ(RTPathGetDriveCurrentDir(m_strDir[0], sz, sizeof(sz)), INF_SUCCESS);
    EXPECT_EQ(std::string(sz).substr(1, m_strDir.size() - 1), m_strDir.substr(1));
    EXPECT_EQ(RTPathGetDriveCurrentDir('1', sz, sizeof(sz)), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTPathGetDriveCurrentDir('C', sz, 0), ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(RTPathGetDriveCurrentDir('C', sz, 2), ERR_BUFFER_TOO_SMALL);

    char ab[8];
    memset(ab, 'G', sizeof(ab));
    EXPECT_EQ(RTPathGetCurrentDrive(ab, 3), INF_SUCCESS);
    EXPECT_EQ(std::string(ab), m_strDir.substr(0, 2));
    EXPECT_EQ(ab[3], 'G');
    memset(ab, 'G', sizeof(ab));
    EXPECT_EQ(RTPathGetCurrentDrive(ab, 2), ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(ab[2], 'G');
    EXPECT_EQ(RTPathGetCurrentDrive(ab, 0), ERR_BUFFER_TOO_SMALL);
}

TEST_F(PathWin, SetCurrentDirectory)
{
    ASSERT_TRUE(CreateDirectoryW(LongForm(m_Scratch / "sub").c_str(), nullptr));
    EXPECT_EQ(RTPathSetCurrentDir((m_Scratch / "sub/").c_str()), INF_SUCCESS);
    EXPECT_EQ(cwd(), m_strDir + "\\sub");
    EXPECT_EQ(RTPathSetCurrentDir(".."), INF_SUCCESS);
    EXPECT_EQ(cwd(), m_strDir);
    EXPECT_EQ(RTPathSetCurrentDir("sub\\.\\"), INF_SUCCESS);
    EXPECT_EQ(cwd(), m_strDir + "\\sub");
    /* A drive root keeps its separator. */
    EXPECT_EQ(RTPathSetCurrentDir(m_strDir.substr(0, 3).c_str()), INF_SUCCESS);
    EXPECT_EQ(cwd(), m_strDir.substr(0, 3));

    EXPECT_LT(RTPathSetCurrentDir((m_Scratch / "missing").c_str()), 0);
    EXPECT_EQ(cwd(), m_strDir.substr(0, 3));
    EXPECT_EQ(RTPathSetCurrentDir(""), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTPathSetCurrentDir(nullptr), ERR_BAD_POINTER);
}

TEST_F(PathWin, LongCurrentDirectory)
{
    std::string const strDeep = makeDeepDir();
    ASSERT_GT(strDeep.size(), 300u);
    ASSERT_EQ(RTPathSetCurrentDir(strDeep.c_str()), INF_SUCCESS);
    EXPECT_EQ(cwd(), strDeep);

    /* Relative paths below it go through the long form. */
    ASSERT_TRUE(WriteWholeFile(strDeep + "\\f.txt", "deep"));
    EXPECT_EQ(RTPathMove("f.txt", "g.txt", 0, RTFS_TYPE_FILE), INF_SUCCESS);
    EXPECT_EQ(ReadWholeFile(strDeep + "\\g.txt"), "deep");
    char sz[1024];
    size_t cb = sizeof(sz);
    ASSERT_EQ(RTPathAbsEx(nullptr, "..\\x", RTPSTYLE_HOST, sz, &cb), INF_SUCCESS);
    EXPECT_EQ(std::string(sz), strDeep.substr(0, strDeep.rfind('\\')) + "\\x");
    SetCurrentDirectoryW(m_wszSaved);
}

TEST_F(PathWin, MoveFilesAndDirectories)
{
    std::string const strA = m_Scratch / "a.txt", strB = m_Scratch / "b \xC3\xA9.txt", strC = m_Scratch / "c.txt";
    ASSERT_TRUE(WriteWholeFile(strA, "A"));
    EXPECT_EQ(RTPathMove(strA.c_str(), strB.c_str(), 0, 0), INF_SUCCESS);
    EXPECT_FALSE(PathExists(strA));
    EXPECT_EQ(ReadWholeFile(strB), "A");

    /* An existing destination is only replaced when asked to. */
    ASSERT_TRUE(WriteWholeFile(strC, "C"));
    EXPECT_LT(RTFileMoveTo(strB.c_str(), strC.c_str(), 0), 0);
    EXPECT_EQ(ReadWholeFile(strB), "A");
    EXPECT_EQ(ReadWholeFile(strC), "C");
    EXPECT_EQ(RTFileMoveTo(strB.c_str(), strC.c_str(), RTFILEMOVE_F_REPLACE), INF_SUCCESS);
    EXPECT_FALSE(PathExists(strB));
    EXPECT_EQ(ReadWholeFile(strC), "A");

    /* Directories move with their contents; the required type is checked first. */
    std::string const strDir = m_Scratch / "dir", strDir2 = m_Scratch / "dir2";
    ASSERT_TRUE(CreateDirectoryW(LongForm(strDir).c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(strDir + "\\inner", "I"));
    EXPECT_EQ(RTFileMoveTo(strDir.c_str(), strDir2.c_str(), 0), ERR_IS_DIRECTORY);
    EXPECT_EQ(RTPathMove(strC.c_str(), strDir2.c_str(), 0, RTFS_TYPE_DIRECTORY), ERR_NOT_DIRECTORY);
    EXPECT_TRUE(PathExists(strDir));
    EXPECT_TRUE(PathExists(strC));
    EXPECT_EQ(RTPathMove(strDir.c_str(), strDir2.c_str(), 0, RTFS_TYPE_DIRECTORY), INF_SUCCESS);
    EXPECT_EQ(ReadWholeFile(strDir2 + "\\inner"), "I");
    EXPECT_FALSE(PathExists(strDir));

    /* Into and out of a directory deeper than the classic limit. */
    std::string const strDeep = makeDeepDir() + "\\deep \xE2\x82\xAC.txt";
    EXPECT_EQ(RTFileMoveTo(strC.c_str(), strDeep.c_str(), 0), INF_SUCCESS);
    EXPECT_EQ(ReadWholeFile(strDeep), "A");
    EXPECT_EQ(RTPathMove(strDeep.c_str(), strA.c_str(), 0, 0), INF_SUCCESS);
    EXPECT_EQ(ReadWholeFile(strA), "A");

    EXPECT_LT(RTPathMove(strC.c_str(), strB.c_str(), 0, RTFS_TYPE_FILE), 0);   /* no source */
    EXPECT_LT(RTPathMove(strC.c_str(), strB.c_str(), 0, 0), 0);
    EXPECT_EQ(RTFileMoveTo(strA.c_str(), strB.c_str(), 2), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTFileMoveTo(nullptr, strB.c_str(), 0), ERR_BAD_POINTER);
    EXPECT_EQ(RTFileMoveTo(strA.c_str(), reinterpret_cast<const char *>(1), 0), ERR_BAD_POINTER);
    EXPECT_EQ(RTPathMove(nullptr, strB.c_str(), 0, 0), ERR_BAD_POINTER);
    EXPECT_TRUE(PathExists(strA));
}

} /* namespace */
