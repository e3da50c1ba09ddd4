/* Renaming an open file through its handle: onto a free name, onto an entry it may or may
 * not replace, and the cause a refused replacement reports, against the real file system. */
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "rt/file.h"
#include "rt/status.h"
#include "scratch-dir.h"
#include "process-runner.h"

namespace {

TEST(FileRename, ThroughTheHandleOntoWhatIsThere)
{
    /* What holds the new name first, whether it may be replaced, and the outcome. */
    enum class There { Nothing, File, HeldFile, Directory };
    struct { There enmThere; uint32_t fRename; RTSTATUS rc; } const s_aCases[] =
    {
        { There::Nothing,   0,                 INF_SUCCESS },
        { There::Nothing,   RTFRENAME_REPLACE, INF_SUCCESS },
        { There::File,      RTFRENAME_REPLACE, INF_SUCCESS },
        { There::HeldFile,  RTFRENAME_REPLACE, ERR_SHARING_CONFLICT },   /* in use, not merely refused */
        { There::Directory, RTFRENAME_REPLACE, ERR_ACCESS_REFUSED },
    };
    for (const auto &C : s_aCases)
    {
        SCOPED_TRACE(static_cast<int>(C.enmThere) * 2 + (C.fRename ? 1 : 0));
        ScratchDir Dir;
        std::string const strOld = Dir / "old.msi";
        std::string const strNew = Dir / "new.msi";
        ASSERT_TRUE(WriteWholeFile(strOld, "package"));
        HANDLE hHeld = INVALID_HANDLE_VALUE;
        if (C.enmThere == There::Directory)
            ASSERT_TRUE(CreateDirectoryW(Widen(strNew).c_str(), nullptr));
        else if (C.enmThere != There::Nothing)
            ASSERT_TRUE(WriteWholeFile(strNew, "theirs"));
        if (C.enmThere == There::HeldFile)
            hHeld = CreateFileW(Widen(strNew).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);

        /* Held as extraction holds a package that moves: readers allowed, nothing else. */
        HANDLE const hFile = CreateFileW(Widen(strOld).c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
        EXPECT_EQ(RTFileRenameByHandle(reinterpret_cast<RTFILE>(hFile), strNew.c_str(), C.fRename), C.rc);
        char ach[16] = {};
        DWORD cb = 0;
        EXPECT_TRUE(ReadFile(hFile, ach, sizeof(ach), &cb, nullptr));
        EXPECT_EQ(std::string(ach, cb), "package") << "the handle still holds the file";
        CloseHandle(hFile);
        CloseHandle(hHeld);

        if (RT_SUCCESS(C.rc))
        {
            EXPECT_EQ(ReadWholeFile(strNew), "package");
            EXPECT_FALSE(PathExists(strOld));
        }
        else
        {
            EXPECT_EQ(ReadWholeFile(strOld), "package");
            if (C.enmThere == There::Directory)
                EXPECT_TRUE(GetFileAttributesW(Widen(strNew).c_str()) & FILE_ATTRIBUTE_DIRECTORY);
            else
                EXPECT_EQ(ReadWholeFile(strNew), "theirs");
        }
        RemoveDirectoryW(Widen(strNew).c_str());
    }
}

TEST(FileRename, ExistingNameWithoutReplaceAndBadArgumentsChangeNothing)
{
    ScratchDir Dir;
    std::string const strOld = Dir / "old";
    std::string const strNew = Dir / "new";
    ASSERT_TRUE(WriteWholeFile(strOld, "package"));
    ASSERT_TRUE(WriteWholeFile(strNew, "theirs"));
    HANDLE const hFile = CreateFileW(Widen(strOld).c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    RTFILE const h = reinterpret_cast<RTFILE>(hFile);
    EXPECT_TRUE(RT_FAILURE(RTFileRenameByHandle(h, strNew.c_str(), 0)));
    EXPECT_EQ(RTFileRenameByHandle(h, strNew.c_str(), 2), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTFileRenameByHandle(h, nullptr, RTFRENAME_REPLACE), ERR_BAD_ARGUMENT);
    CloseHandle(hFile);
    EXPECT_EQ(ReadWholeFile(strOld), "package");
    EXPECT_EQ(ReadWholeFile(strNew), "theirs");
}

} /* namespace */
