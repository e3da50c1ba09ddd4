/* The copy of ".custom" from beside the installer into the extraction directory: what
 * counts as nothing to copy, what is copied and listed, and what a failure leaves. The
 * installer's own directory is made a scratch directory through the executable path. */
#include <gtest/gtest.h>
#include <cstddef>
#include "stub-test-support.h"
#include "scratch-dir.h"
#include "process-runner.h"
#include "exec-path.h"
#include "leak-check.h"
#include "NimbStubCleanup.h"
#include "NimbStubCustomDir.h"
#include "rt/dir.h"
#include "rt/mem.h"

namespace {

class CustomDir : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetTestExecPath((m_Scratch / "NimbStub.exe").c_str());
        ASSERT_TRUE(CreateDirectoryW(Widen(m_strDest).c_str(), nullptr));
        InitCleanupList();
        g_pfnCleanupSleep = NoSleep;
    }
    void TearDown() override
    {
        RunCleanup(nullptr);
        FreeCleanupList();
        g_pfnCleanupSleep = Sleep;
        SetTestExecPath("C:\\Stub\\NimbStub.exe");
    }
    bool ListEmpty() const { return g_InstallerState.cleanupList.next == &g_InstallerState.cleanupList; }

    BoxRecorder       m_Boxes;
    ScratchDir        m_Scratch;
    std::string const m_strDest = m_Scratch / "extract";
};

TEST_F(CustomDir, NothingOrAFileIsNothingToCopy)
{
    EXPECT_EQ(CopyCustomDirectory(m_strDest.c_str()), 0);
    ASSERT_TRUE(WriteWholeFile(m_Scratch / ".custom", "a file, not a directory"));
    EXPECT_EQ(CopyCustomDirectory(m_strDest.c_str()), 0);
    EXPECT_TRUE(ListEmpty());
    EXPECT_FALSE(PathExists(m_strDest + "\\.custom"));
    EXPECT_TRUE(m_Boxes.Calls().empty());
}

TEST_F(CustomDir, TreeIsCopiedAndItsDirectoryListedWithAHandle)
{
    ASSERT_TRUE(CreateDirectoryW(Widen(m_Scratch / ".custom").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(Widen(m_Scratch / ".custom\\sub").c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(m_Scratch / ".custom\\sub\\a.txt", "custom"));
    EXPECT_EQ(CopyCustomDirectory(m_strDest.c_str()), 0);
    EXPECT_EQ(ReadWholeFile(m_strDest + "\\.custom\\sub\\a.txt"), "custom");
    ASSERT_FALSE(ListEmpty());
    auto const *pRecord = reinterpret_cast<const CleanupRecord *>(g_InstallerState.cleanupList.next);
    EXPECT_EQ(std::string(pRecord->path), m_strDest + "\\.custom");
    EXPECT_FALSE(pRecord->isFile);
    EXPECT_FALSE(pRecord->keepOnDisk);
    EXPECT_TRUE(RTDirHandleValid(pRecord->handle.hDir));
    EXPECT_EQ(pRecord->link.next, &g_InstallerState.cleanupList) << "one record only";
    EXPECT_TRUE(m_Boxes.Calls().empty());
}

TEST_F(CustomDir, RecordThatCannotBeAllocatedLeavesNothingOnTheHeap)
{
    ASSERT_TRUE(CreateDirectoryW(Widen(m_Scratch / ".custom").c_str(), nullptr));
    /* Only the record's block fails: the joined path has a block of its own. */
    static size_t s_cbRecord;
    s_cbRecord = offsetof(CleanupRecord, path) + m_strDest.size() + sizeof("\\.custom");
    bool const fLeaks = LeavesHeapBlocks([&] {
        m_Boxes.Calls().clear();
        g_pfnRTMemAllocHook = [](size_t cb) { return cb != s_cbRecord; };
        int const rc = CopyCustomDirectory(m_strDest.c_str());
        g_pfnRTMemAllocHook = nullptr;
        EXPECT_EQ(rc, 1);
        ASSERT_EQ(m_Boxes.Calls().size(), 1u);
        EXPECT_EQ(m_Boxes.Calls()[0].strText, "Out of memory!");
    });
    EXPECT_FALSE(fLeaks);
    EXPECT_TRUE(ListEmpty());
}

} /* namespace */
