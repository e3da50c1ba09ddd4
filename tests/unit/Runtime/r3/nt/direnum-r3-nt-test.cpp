/* The native open of directory handles: file-system directories, NT object directories for
 * literal NT names, and symbolic links refused or followed. */
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "rt/dir.h"
#include "rt/status.h"
#include "internal/dir.h"
#include "scratch-dir.h"
#include "leak-check.h"
#include "fake-reparse.h"

TEST(DirNative, FileSystemAndObjectDirectories)
{
    ScratchDir dir;
    RTDIR hDir = nullptr;
    for (uint32_t fFlags : { 0u, RTDIROPEN_NO_SYMLINKS })
    {
        ASSERT_EQ(RTDirOpenFilteredPath(&hDir, dir.path().c_str(), RTDIRFILTER_NONE, fFlags), INF_SUCCESS);
        EXPECT_FALSE(hDir->fIsObjDir);
        EXPECT_NE(hDir->hDir, -1);
        EXPECT_EQ(RTDirClose(hDir), INF_SUCCESS);
    }

    for (uint32_t fFlags : { 0u, RTDIROPEN_NO_ABS_PATH })
    {
        ASSERT_EQ(RTDirOpenFilteredPath(&hDir, "\\\\:zuntnt:\\Device", RTDIRFILTER_NONE, fFlags), INF_SUCCESS) << fFlags;
        EXPECT_TRUE(hDir->fIsObjDir);
        EXPECT_EQ(RTDirClose(hDir), INF_SUCCESS);
    }
    RTSTATUS const rc = RTDirOpenFilteredPath(&hDir, "\\\\:zuntnt:\\NoSuchObjectDir", RTDIRFILTER_NONE, 0);
    EXPECT_TRUE(rc == ERR_FILE_MISSING || rc == ERR_PATH_MISSING) << rc;
    EXPECT_EQ(hDir, nullptr);
}

TEST(DirNative, SymbolicLinksRefusedOnRequest)
{
    ScratchDir dir;
    std::string const target = dir / "target", link = dir / "link";
    ASSERT_TRUE(CreateDirectoryW(LongForm(target).c_str(), nullptr));
    /* Some systems report success without making a link. */
    if (   !CreateSymbolicLinkW(LongForm(link).c_str(), LongForm(target).c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY)
        || !PathExists(link))
        GTEST_SKIP() << "symbolic links cannot be made here";

    RTDIR hDir = nullptr;
    EXPECT_EQ(RTDirOpenFilteredPath(&hDir, link.c_str(), RTDIRFILTER_NONE, RTDIROPEN_NO_SYMLINKS), ERR_IS_REPARSE_POINT);
    EXPECT_EQ(hDir, nullptr);
    ASSERT_EQ(RTDirOpenFilteredPath(&hDir, link.c_str(), RTDIRFILTER_NONE, 0), INF_SUCCESS);
    RTDirClose(hDir);
    ASSERT_EQ(RTDirOpenFilteredPath(&hDir, (link + "\\").c_str(), RTDIRFILTER_NONE, RTDIROPEN_NO_SYMLINKS), INF_SUCCESS)
        << "a trailing separator asks for the target";
    RTDirClose(hDir);
}

/* Where links cannot be made, reparse points are simulated over the native calls. */
TEST(DirNative, ReparsePointsByTag)
{
    ScratchDir dir;
    std::string const dlink = dir / "dlink";
    ASSERT_TRUE(CreateDirectoryW(LongForm(dlink).c_str(), nullptr));
    RTDIR hDir = nullptr;
    {
        FakeReparsePoints fake(IO_REPARSE_TAG_SYMLINK);
        ASSERT_TRUE(fake.Ok());
        LeakCheck const handles;
        EXPECT_FALSE(LeavesHeapBlocks([&] {
            EXPECT_EQ(RTDirOpenFilteredPath(&hDir, dlink.c_str(), RTDIRFILTER_NONE, RTDIROPEN_NO_SYMLINKS),
                      ERR_IS_REPARSE_POINT);
            EXPECT_EQ(hDir, nullptr);
        }));
        EXPECT_FALSE(handles.HandleLeft());
        /* One open per try above, each asking for the reparse point itself. */
        ASSERT_GE(fake.LinkOpens().size(), 1u);
        for (uint32_t fOptions : fake.LinkOpens())
            EXPECT_TRUE(fOptions & FILE_OPEN_REPARSE_POINT);

        /* Followed without the flag, and with a trailing separator. */
        for (std::string const &path : { dlink, dlink + "\\" })
            for (uint32_t fFlags : { 0u, RTDIROPEN_NO_SYMLINKS })
            {
                if (path == dlink && fFlags)
                    continue;
                ASSERT_EQ(RTDirOpenFilteredPath(&hDir, path.c_str(), RTDIRFILTER_NONE, fFlags), INF_SUCCESS) << path;
                EXPECT_FALSE(fake.LinkOpens().back() & FILE_OPEN_REPARSE_POINT);
                RTDirClose(hDir);
            }
    }
    {
        FakeReparsePoints fake(IO_REPARSE_TAG_MOUNT_POINT);
        ASSERT_EQ(RTDirOpenFilteredPath(&hDir, dlink.c_str(), RTDIRFILTER_NONE, RTDIROPEN_NO_SYMLINKS), INF_SUCCESS);
        ASSERT_EQ(fake.LinkOpens().size(), 2u) << "opened again without the reparse-point option";
        EXPECT_TRUE(fake.LinkOpens()[0] & FILE_OPEN_REPARSE_POINT);
        EXPECT_FALSE(fake.LinkOpens()[1] & FILE_OPEN_REPARSE_POINT);
        EXPECT_EQ(RTDirClose(hDir), INF_SUCCESS);
    }
}
