/* Information by path: the record of files and directories by each query method, locked
 * files, NT object-namespace names, links, and bad arguments. */
#include "internal/file-win.h"
#include <gtest/gtest.h>
#include <string>
#include "rt/dir.h"
#include "rt/file.h"
#include "rt/status.h"
#include "internal/pathint-win.h"
#include "internal/r3-win.h"
#include "scratch-dir.h"
#include "fake-reparse.h"

namespace {

/* The full-attributes query is found by runtime initialisation, which these tests do not
   run; they offer it or withhold it themselves. */
struct FullAttrsQuery
{
    explicit FullAttrsQuery(bool fOffer)
    {
        g_pfnNtQueryFullAttributesFile = fOffer ? reinterpret_cast<PFNRTNTQUERYFULLATTRIBUTESFILE>(
            reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryFullAttributesFile"))) : nullptr;
    }
    ~FullAttrsQuery() { g_pfnNtQueryFullAttributesFile = m_pfnSaved; }
    PFNRTNTQUERYFULLATTRIBUTESFILE m_pfnSaved = g_pfnNtQueryFullAttributesFile;
};

} /* namespace */

TEST(PathQuery, FilesAndDirectories)
{
    ScratchDir dir;
    FullAttrsQuery const offered(true);
    std::string const file = dir / "SETUP.EXE";
    ASSERT_TRUE(WriteWholeFile(file, std::string(1234, 's')));

    /* Without Unix attributes the full-attributes query answers and the name's suffix
       counts; with them a handle is opened and the identity filled in. */
    RTFILESTATS stNone, stUnix, stHandle;
    ASSERT_EQ(RTPathQueryStats(file.c_str(), &stNone, RTFATTR_NONE, RTPATHQ_FOLLOW_LINK), INF_SUCCESS);
    EXPECT_EQ(stNone.cbObject, 1234);
    EXPECT_EQ(stNone.fMode & RTFS_UNIX_MASK, RTFS_TYPE_FILE | 0777);
    EXPECT_EQ(stNone.enmAttr, RTFATTR_NONE);
    ASSERT_EQ(RTPathQueryStats(file.c_str(), &stUnix, RTFATTR_UNIX, RTPATHQ_ON_LINK | RTPATHQ_NO_AUTOMOUNT), INF_SUCCESS);
    EXPECT_EQ(stUnix.cbObject, 1234);
    EXPECT_EQ(stUnix.fMode & RTFS_TYPE_MASK, RTFS_TYPE_FILE);
    EXPECT_EQ(stUnix.ModificationTime, stNone.ModificationTime);
    EXPECT_EQ(stUnix.BirthTime, stNone.BirthTime);

    RTFILE h;
    ASSERT_EQ(RTFileOpenNamed(&h, file.c_str(), RTFOPEN_READ), INF_SUCCESS);
    ASSERT_EQ(RTFileQueryInfo(h, &stHandle, RTFATTR_UNIX), INF_SUCCESS);
    RTFileClose(h);
    EXPECT_EQ(stUnix.u.Unix.idFile, stHandle.u.Unix.idFile);
    EXPECT_EQ(stUnix.u.Unix.idVolume, stHandle.u.Unix.idVolume);
    EXPECT_EQ(stUnix.u.Unix.cHardLinks, stHandle.u.Unix.cHardLinks);

    /* Without the full-attributes query a handle answers for every kind. */
    {
        FullAttrsQuery const withheld(false);
        RTFILESTATS st;
        ASSERT_EQ(RTPathQueryStats(file.c_str(), &st, RTFATTR_NONE, RTPATHQ_FOLLOW_LINK), INF_SUCCESS);
        EXPECT_EQ(st.cbObject, 1234);
        EXPECT_EQ(st.fMode & RTFS_UNIX_MASK, RTFS_TYPE_FILE | 0666) << "a handle knows no name";
        EXPECT_EQ(st.ModificationTime, stNone.ModificationTime);
    }

    for (uint32_t enmAttr : { RTFATTR_NONE, RTFATTR_UNIX })
    for (bool fOffer : { true, false })
    {
        FullAttrsQuery const query(fOffer);
        RTFILESTATS st;
        ASSERT_EQ(RTPathQueryStats(dir.path().c_str(), &st, enmAttr, RTPATHQ_FOLLOW_LINK), INF_SUCCESS);
        EXPECT_EQ(st.fMode & (RTFS_UNIX_MASK | RTFS_DOS_DIRECTORY), RTFS_TYPE_DIRECTORY | RTFS_DOS_DIRECTORY | 0777);
        ASSERT_EQ(RTPathQueryStats((dir.path() + "\\").c_str(), &st, enmAttr, RTPATHQ_FOLLOW_LINK), INF_SUCCESS);
        EXPECT_EQ(st.fMode & RTFS_TYPE_MASK, RTFS_TYPE_DIRECTORY);
        EXPECT_EQ(RTPathQueryStats((dir / "missing").c_str(), &st, enmAttr, RTPATHQ_FOLLOW_LINK), ERR_FILE_MISSING);
        EXPECT_EQ(RTPathQueryStats((dir / "missing\\x").c_str(), &st, enmAttr, RTPATHQ_FOLLOW_LINK), ERR_PATH_MISSING);
    }
}

TEST(PathQuery, BadArguments)
{
    ScratchDir dir;
    RTFILESTATS st;
    std::string const path = dir.path();
    EXPECT_EQ(RTPathQueryStats(nullptr, &st, RTFATTR_NONE, RTPATHQ_FOLLOW_LINK), ERR_BAD_POINTER);
    EXPECT_EQ(RTPathQueryStats(reinterpret_cast<const char *>(0x40), &st, RTFATTR_NONE, RTPATHQ_FOLLOW_LINK), ERR_BAD_POINTER);
    EXPECT_EQ(RTPathQueryStats(path.c_str(), nullptr, RTFATTR_NONE, RTPATHQ_FOLLOW_LINK), ERR_BAD_POINTER);
    EXPECT_EQ(RTPathQueryStats("", &st, RTFATTR_NONE, RTPATHQ_FOLLOW_LINK), ERR_BAD_ARGUMENT);
    for (uint32_t enmAttr : { 0u, 6u })
        EXPECT_EQ(RTPathQueryStats(path.c_str(), &st, enmAttr, RTPATHQ_FOLLOW_LINK), ERR_BAD_ARGUMENT);
    for (uint32_t fFlags : { 0u, 3u, 4u, 7u, 8u, 0x10002u })
        EXPECT_EQ(RTPathQueryStats(path.c_str(), &st, RTFATTR_NONE, fFlags), ERR_BAD_ARGUMENT) << fFlags;
}

TEST(PathQuery, LockedFile)
{
    ScratchDir dir;
    FullAttrsQuery const offered(true);
    std::string const file = dir / "locked.bin";
    ASSERT_TRUE(WriteWholeFile(file, "1234567"));
    HANDLE hLock = CreateFileW(LongForm(file).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hLock, INVALID_HANDLE_VALUE);
    for (uint32_t enmAttr : { RTFATTR_NONE, RTFATTR_UNIX })
    {
        RTFILESTATS st;
        ASSERT_EQ(RTPathQueryStats(file.c_str(), &st, enmAttr, RTPATHQ_FOLLOW_LINK), INF_SUCCESS) << enmAttr;
        EXPECT_EQ(st.cbObject, 7);
        EXPECT_EQ(st.fMode & RTFS_TYPE_MASK, RTFS_TYPE_FILE);
    }
    CloseHandle(hLock);
}

/* Files that cannot be opened even for their attributes (system-locked files) are described
   from their parent's listing; the platform here opens any file for its attributes, so the
   listing is asked directly and must agree with the handle query. */
TEST(PathQuery, ParentListingAgreesWithHandle)
{
    ScratchDir dir;
    std::string const file = dir / "listed.dat", sub = dir / "subdir";
    ASSERT_TRUE(WriteWholeFile(file, std::string(777, 'l')));
    ASSERT_TRUE(CreateDirectoryW(LongForm(sub).c_str(), nullptr));

    auto const byListing = [](const std::string &path, RTFILESTATS *pStats, uint32_t enmAttr)
    {
        UNICODE_STRING NtName;
        HANDLE hRootDir;
        RTSTATUS rc = RTPathToNtName(&NtName, &hRootDir, path.c_str());
        if (RT_FAILURE(rc))
            return rc;
        alignas(8) static uint8_t s_abBuf[RTPATHQ_LIST_BUF_SIZE];
        rc = rtPathQueryByDirListing(hRootDir, &NtName, pStats, enmAttr, s_abBuf);
        RTPathNtNameFree(&NtName, &hRootDir);
        return rc;
    };

    for (std::string const &path : { file, sub, sub + "\\" })
    {
        RTFILESTATS stList, stHandle;
        memset(&stList, 0x5A, sizeof(stList));
        ASSERT_EQ(byListing(path, &stList, RTFATTR_UNIX), INF_SUCCESS) << path;
        ASSERT_EQ(RTPathQueryStats(path.c_str(), &stHandle, RTFATTR_UNIX, RTPATHQ_FOLLOW_LINK), INF_SUCCESS);
        EXPECT_EQ(stList.cbObject, stHandle.cbObject) << path;
        EXPECT_EQ(stList.fMode, stHandle.fMode) << path;
        EXPECT_EQ(stList.ModificationTime, stHandle.ModificationTime) << path;
        EXPECT_EQ(stList.BirthTime, stHandle.BirthTime) << path;
        EXPECT_EQ(stList.u.Unix.idVolume, stHandle.u.Unix.idVolume) << path;
        EXPECT_EQ(stList.u.Unix.cHardLinks, 1u);
        EXPECT_EQ(stList.u.Unix.uid, UINT32_MAX);
    }
    RTFILESTATS st;
    EXPECT_EQ(byListing(dir / "missing", &st, RTFATTR_NONE), ERR_FILE_MISSING);
    EXPECT_EQ(byListing(dir / "missing\\x", &st, RTFATTR_NONE), ERR_FILE_MISSING) << "the parent itself is missing";
    /* A parent outside the file system is looked up in the object namespace. */
    ASSERT_EQ(byListing("\\\\:zuntnt:\\Device", &st, RTFATTR_NONE), INF_SUCCESS);
    EXPECT_EQ(st.fMode, 0x1041FFu);
}

TEST(PathQuery, ObjectNamespace)
{
    FullAttrsQuery const offered(true);
    RTFILESTATS st;
    memset(&st, 0x5A, sizeof(st));
    ASSERT_EQ(RTPathQueryStats("\\\\:zuntnt:\\", &st, RTFATTR_UNIX, RTPATHQ_FOLLOW_LINK), INF_SUCCESS);
    EXPECT_EQ(st.fMode, 0x1041FFu);
    EXPECT_EQ(st.cbObject, 0);
    EXPECT_EQ(static_cast<uint64_t>(st.BirthTime), UINT64_C(0x5E6684F4B3960000)) << "native time 0";
    EXPECT_EQ(st.AccessTime, st.BirthTime);
    EXPECT_EQ(st.u.Unix.uid, UINT32_MAX);

    for (const char *pszDir : { "\\\\:zuntnt:\\Device", "\\\\:zuntnt:\\BaseNamedObjects", "\\\\:zuntnt:\\Device\\" })
    {
        ASSERT_EQ(RTPathQueryStats(pszDir, &st, RTFATTR_NONE, RTPATHQ_FOLLOW_LINK), INF_SUCCESS) << pszDir;
        EXPECT_EQ(st.fMode, 0x1041FFu) << pszDir;
        EXPECT_TRUE(RTDirExists(pszDir)) << pszDir;
    }
    /* "\??" holds the drive letters as symbolic links. */
    ASSERT_EQ(RTPathQueryStats("\\\\:zuntnt:\\??\\C:", &st, RTFATTR_NONE, RTPATHQ_ON_LINK), INF_SUCCESS);
    EXPECT_EQ(st.fMode, 0x400A1FFu);
    EXPECT_EQ(RTPathQueryStats("\\\\:zuntnt:\\NoSuchObjectHere", &st, RTFATTR_NONE, RTPATHQ_FOLLOW_LINK), ERR_FILE_MISSING);
    EXPECT_FALSE(RTDirExists("\\\\:zuntnt:\\NoSuchObjectHere"));
}

TEST(PathQuery, SymbolicLinks)
{
    ScratchDir dir;
    std::string const target = dir / "target", link = dir / "link", fileLink = dir / "filelink";
    ASSERT_TRUE(CreateDirectoryW(LongForm(target).c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(target + "\\f.txt", "abc"));
    /* Some systems report success without making a link. */
    if (   !CreateSymbolicLinkW(LongForm(link).c_str(), LongForm(target).c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY)
        || !PathExists(link))
        GTEST_SKIP() << "symbolic links cannot be made here";
    ASSERT_TRUE(CreateSymbolicLinkW(LongForm(fileLink).c_str(), LongForm(target + "\\f.txt").c_str(), 0));

    RTFILESTATS st;
    ASSERT_EQ(RTPathQueryStats(link.c_str(), &st, RTFATTR_UNIX, RTPATHQ_ON_LINK), INF_SUCCESS);
    EXPECT_EQ(st.fMode & RTFS_TYPE_MASK, RTFS_TYPE_SYMLINK);
    ASSERT_EQ(RTPathQueryStats(link.c_str(), &st, RTFATTR_UNIX, RTPATHQ_FOLLOW_LINK), INF_SUCCESS);
    EXPECT_EQ(st.fMode & RTFS_TYPE_MASK, RTFS_TYPE_DIRECTORY);
    ASSERT_EQ(RTPathQueryStats(fileLink.c_str(), &st, RTFATTR_NONE, RTPATHQ_ON_LINK), INF_SUCCESS);
    EXPECT_EQ(st.fMode & RTFS_TYPE_MASK, RTFS_TYPE_SYMLINK);
    ASSERT_EQ(RTPathQueryStats(fileLink.c_str(), &st, RTFATTR_NONE, RTPATHQ_FOLLOW_LINK), INF_SUCCESS);
    EXPECT_EQ(st.fMode & RTFS_TYPE_MASK, RTFS_TYPE_FILE);
    EXPECT_EQ(st.cbObject, 3);

    EXPECT_TRUE(RTDirExists(link.c_str()));
    /* Removal refuses the link and leaves it and its target alone. */
    EXPECT_EQ(RTFileRemove(fileLink.c_str()), ERR_IS_REPARSE_POINT);
    EXPECT_TRUE(PathExists(fileLink));
    EXPECT_TRUE(PathExists(target + "\\f.txt"));

}

/* Where links cannot be made, reparse points are simulated over the native calls: a
   symbolic link is described as such only when asked, and never removed; any other
   reparse point is traversed. */
TEST(PathQuery, ReparsePointsByTag)
{
    ScratchDir dir;
    std::string const dlink = dir / "dlink", flink = dir / "flink";
    ASSERT_TRUE(CreateDirectoryW(LongForm(dlink).c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(flink, "12345"));
    RTFILESTATS st;
    {
        FakeReparsePoints fake(RTFREPARSE_TAG_SYMLINK);
        ASSERT_TRUE(fake.Ok());
        ASSERT_EQ(RTPathQueryStats(dlink.c_str(), &st, RTFATTR_UNIX, RTPATHQ_ON_LINK), INF_SUCCESS);
        EXPECT_EQ(st.fMode & RTFS_TYPE_MASK, RTFS_TYPE_SYMLINK);
        EXPECT_TRUE(st.fMode & RTFS_DOS_REPARSE_POINT);
        ASSERT_EQ(RTPathQueryStats(flink.c_str(), &st, RTFATTR_UNIX, RTPATHQ_ON_LINK), INF_SUCCESS);
        EXPECT_EQ(st.fMode & RTFS_TYPE_MASK, RTFS_TYPE_SYMLINK);
        EXPECT_EQ(st.cbObject, 5);
        ASSERT_EQ(RTPathQueryStats(dlink.c_str(), &st, RTFATTR_UNIX, RTPATHQ_FOLLOW_LINK), INF_SUCCESS);
        EXPECT_EQ(st.fMode & (RTFS_TYPE_MASK | RTFS_DOS_REPARSE_POINT), RTFS_TYPE_DIRECTORY);

        EXPECT_EQ(RTFileRemove(flink.c_str()), ERR_IS_REPARSE_POINT);
        EXPECT_TRUE(PathExists(flink));
    }
    {
        FakeReparsePoints fake(IO_REPARSE_TAG_MOUNT_POINT);
        ASSERT_EQ(RTPathQueryStats(dlink.c_str(), &st, RTFATTR_UNIX, RTPATHQ_ON_LINK), INF_SUCCESS);
        EXPECT_EQ(st.fMode & (RTFS_TYPE_MASK | RTFS_DOS_REPARSE_POINT), RTFS_TYPE_DIRECTORY) << "traversed";
        ASSERT_EQ(fake.LinkOpens().size(), 2u);
        EXPECT_TRUE(fake.LinkOpens()[0] & FILE_OPEN_REPARSE_POINT);
        EXPECT_FALSE(fake.LinkOpens()[1] & FILE_OPEN_REPARSE_POINT);
        EXPECT_EQ(RTFileRemove(flink.c_str()), ERR_IS_REPARSE_POINT);
        EXPECT_TRUE(PathExists(flink));
    }
    EXPECT_EQ(RTFileRemove(flink.c_str()), INF_SUCCESS);
}
