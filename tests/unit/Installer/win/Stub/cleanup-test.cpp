/* Clean-up: what each pass closes and deletes, what it keeps, when it gives up and what it
 * reports, on the real file system with the pauses recorded instead of waited for. */
#include <gtest/gtest.h>
#include <functional>
#include "stub-test-support.h"
#include "stream-capture.h"
#include "scratch-dir.h"
#include "process-runner.h"
#include "NimbStubCleanup.h"
#include "rt/mem.h"

namespace {

std::vector<DWORD> g_aSleeps;
/** Called at each pause: lets a test change the world between passes. */
std::function<void(size_t)> g_fnAtSleep;

void WINAPI RecordSleep(DWORD cMillies)
{
    g_aSleeps.push_back(cMillies);
    if (g_fnAtSleep)
        g_fnAtSleep(g_aSleeps.size());
}

class Cleanup : public ::testing::Test
{
protected:
    void SetUp() override
    {
        InitCleanupList();
        g_aSleeps.clear();
        g_fnAtSleep = nullptr;
        g_pfnCleanupSleep = RecordSleep;
    }
    void TearDown() override
    {
        FreeCleanupList();
        g_pfnCleanupSleep = Sleep;
    }

    /** A file record holding @p path open for reading, as extraction leaves it. */
    CleanupRecord *AddOpenFile(const std::string &path, int32_t index)
    {
        EXPECT_TRUE(WriteWholeFile(path, "data"));
        CleanupRecord *pRecord = AddCleanupRecord(path.c_str(), true);
        pRecord->packageIndex = index;
        EXPECT_TRUE(RT_SUCCESS(RTFileOpenNamed(&pRecord->handle.hFile, path.c_str(), RTFOPEN_READ | RTFOPEN_DENY_WRITE | RTFOPEN_OPEN)));
        return pRecord;
    }
    CleanupRecord *AddOpenDir(const std::string &path, bool fKeep)
    {
        CleanupRecord *pRecord = AddCleanupRecord(path.c_str(), false);
        pRecord->keepOnDisk = fKeep;
        EXPECT_TRUE(RT_SUCCESS(RTDirOpenPath(&pRecord->handle.hDir, path.c_str())));
        return pRecord;
    }

    BoxRecorder m_Boxes;
    ScratchDir  m_Dir;
};

CleanupRecord *recordOfHead()
{
    return reinterpret_cast<CleanupRecord *>(g_InstallerState.cleanupList.next);
}

bool ListEmpty()
{
    return g_InstallerState.cleanupList.next == &g_InstallerState.cleanupList;
}

TEST_F(Cleanup, RecordsStartEmptyAndRunNewestFirst)
{
    CleanupRecord *pDir = AddCleanupRecord("C:\\d", false);
    CleanupRecord *pFile = AddCleanupRecord("C:\\d\\f.msi", true);
    EXPECT_EQ(pFile->packageIndex, -1);
    EXPECT_EQ(pFile->handle.hFile, NIL_RTFILE);
    EXPECT_EQ(pDir->handle.hDir, nullptr);
    EXPECT_FALSE(pFile->keepOnDisk);
    EXPECT_STREQ(pFile->path, "C:\\d\\f.msi");
    EXPECT_EQ(g_InstallerState.cleanupList.next, &pFile->link);
    EXPECT_EQ(pFile->link.next, &pDir->link);
    EXPECT_EQ(g_InstallerState.cleanupList.previous, &pDir->link);
    pFile->packageIndex = 4;
    EXPECT_EQ(FindPackageCleanupRecord(4), pFile);
    EXPECT_EQ(FindPackageCleanupRecord(0), nullptr);
}

TEST_F(Cleanup, OutOfMemoryIsReported)
{
    /* Only the record's block fails; the message still gets its memory. */
    g_pfnRTMemAllocHook = [](size_t cb) { return cb != offsetof(CleanupRecord, path) + sizeof("C:\\x"); };
    CleanupRecord *pRecord = AddCleanupRecord("C:\\x", true);
    g_pfnRTMemAllocHook = nullptr;
    EXPECT_EQ(pRecord, nullptr);
    ASSERT_EQ(m_Boxes.Calls().size(), 1u);
    EXPECT_EQ(m_Boxes.Calls()[0].strText, "Out of memory!");
    EXPECT_TRUE(ListEmpty());
}

TEST_F(Cleanup, EmptyListReturnsAtOnce)
{
    EXPECT_EQ(RunCleanup(nullptr), INF_SUCCESS);
    EXPECT_TRUE(g_aSleeps.empty());
}

TEST_F(Cleanup, NormalRunFinishesInTheFirstPass)
{
    std::string const strDir = m_Dir / "x";
    ASSERT_TRUE(CreateDirectoryW(Widen(strDir).c_str(), nullptr));
    AddOpenDir(strDir, false);
    AddOpenFile(strDir + "\\a.msi", 0);
    AddOpenFile(strDir + "\\b.cab", 1);
    /* Items already gone count as deleted. */
    AddCleanupRecord((strDir + "\\gone.msi").c_str(), true);
    AddCleanupRecord((m_Dir / "gone-dir").c_str(), false);
    /* The extra directory is gone too once the listed one is. */
    EXPECT_EQ(RunCleanup(strDir.c_str()), ERR_FILE_MISSING);
    EXPECT_FALSE(PathExists(strDir));
    EXPECT_TRUE(ListEmpty());
    EXPECT_TRUE(g_aSleeps.empty());
    EXPECT_TRUE(m_Boxes.Calls().empty());
}

TEST_F(Cleanup, UsersDirectoryIsClosedButKept)
{
    CleanupRecord *pDir = AddOpenDir(m_Dir.path(), true);
    RTDIR const hDir = pDir->handle.hDir;
    AddOpenFile(m_Dir / "a.msi", 0);
    EXPECT_EQ(RunCleanup(nullptr), INF_SUCCESS);
    EXPECT_TRUE(PathExists(m_Dir.path()));
    EXPECT_FALSE(PathExists(m_Dir / "a.msi"));
    EXPECT_FALSE(RTDirHandleValid(hDir));
    EXPECT_TRUE(ListEmpty());
}

TEST_F(Cleanup, FileInUseIsRetriedAndReportedOnceAfterTheLastPass)
{
    std::string const strFile = m_Dir / "held.msi";
    AddOpenFile(strFile, 2);
    /* Another opener that does not share deletion, as Windows Installer may be. */
    HANDLE const hOther = CreateFileW(Widen(strFile).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hOther, INVALID_HANDLE_VALUE);
    RunCleanup(nullptr);
    CloseHandle(hOther);

    EXPECT_EQ(g_aSleeps, (std::vector<DWORD>{ 100, 3000, 3000, 3000 }));
    ASSERT_EQ(m_Boxes.Calls().size(), 1u);
    EXPECT_EQ(m_Boxes.Calls()[0].strText.rfind("Failed to delete temporary file '" + strFile + "': ", 0), 0u)
        << m_Boxes.Calls()[0].strText;
    EXPECT_TRUE(PathExists(strFile));
    EXPECT_FALSE(ListEmpty());   /* the record stays, its handle closed */
    EXPECT_EQ(recordOfHead()->handle.hFile, NIL_RTFILE);
}

TEST_F(Cleanup, FileReleasedBetweenPassesIsDeletedThen)
{
    std::string const strFile = m_Dir / "held.msi";
    AddOpenFile(strFile, 0);
    HANDLE hOther = CreateFileW(Widen(strFile).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    g_fnAtSleep = [&](size_t cSleeps) { if (cSleeps == 2) { CloseHandle(hOther); hOther = nullptr; } };
    RunCleanup(nullptr);
    EXPECT_EQ(g_aSleeps, (std::vector<DWORD>{ 100, 3000 }));
    EXPECT_FALSE(PathExists(strFile));
    EXPECT_TRUE(m_Boxes.Calls().empty());
    EXPECT_TRUE(ListEmpty());
}

TEST_F(Cleanup, DirectoriesWithUnlistedEntriesStaySilentlyAfterTheLastPass)
{
    /* The extraction directory with a copied, non-empty ".custom" inside. */
    std::string const strDir = m_Dir / "x", strCustom = strDir + "\\.custom";
    ASSERT_TRUE(CreateDirectoryW(Widen(strDir).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(Widen(strCustom).c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(strCustom + "\\user.txt", "u"));
    AddOpenDir(strDir, false);
    AddOpenDir(strCustom, false);
    EXPECT_EQ(RunCleanup(strDir.c_str()), ERR_DIRECTORY_HAS_ENTRIES);
    EXPECT_EQ(g_aSleeps, (std::vector<DWORD>{ 100, 3000, 3000, 3000 }));
    EXPECT_TRUE(PathExists(strCustom + "\\user.txt"));
    EXPECT_TRUE(m_Boxes.Calls().empty());
    EXPECT_TRUE(ListEmpty());
}

} /* namespace */
