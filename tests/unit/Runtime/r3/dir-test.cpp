/* Directories: existence, creation with its mode check, removal, and directory handles with
 * their paths and filters, against the real file system. */
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "rt/dir.h"
#include "rt/file.h"
#include "rt/mem.h"
#include "rt/status.h"
#include "internal/dir.h"
#include "scratch-dir.h"
#include "process-runner.h"
#include "leak-check.h"

namespace {

struct DirGuard
{
    RTDIR h = nullptr;
    ~DirGuard()
    {
        if (RTDirHandleValid(h))
            RTDirClose(h);
    }
};

} /* namespace */

TEST(DirMake, CreatesOnceAndChecksTheMode)
{
    ScratchDir dir;
    std::string const path = dir / "new";
    EXPECT_FALSE(RTDirExists(path.c_str()));
    ASSERT_EQ(RTDirMake(path.c_str(), 0700, 0), INF_SUCCESS);
    EXPECT_TRUE(RTDirExists(path.c_str()));
    EXPECT_EQ(RTDirMake(path.c_str(), 0700, 0), ERR_NAME_TAKEN);
    EXPECT_EQ(RTDirMake((dir / "missing\\child").c_str(), 0700, 0), ERR_PATH_MISSING);

    /* The not-content-indexed attribute, unless asked to keep indexing; checked only where
       the file system keeps the attribute at all. */
    ASSERT_EQ(RTDirMake((dir / "indexed").c_str(), 0700, RTDIRMAKE_KEEP_INDEXED), INF_SUCCESS);
    EXPECT_FALSE(GetFileAttributesW(LongForm(dir / "indexed").c_str()) & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    SetFileAttributesW(LongForm(dir / "indexed").c_str(), FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (GetFileAttributesW(LongForm(dir / "indexed").c_str()) & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED)
        EXPECT_TRUE(GetFileAttributesW(LongForm(path).c_str()) & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);

    static const struct { uint32_t fMode; RTSTATUS rc; } s_aModes[] =
    {
        { RTFS_TYPE_FILE | RTFS_DOS_DIRECTORY | 0700,       ERR_BAD_MODE },
        { RTFS_TYPE_SYMLINK | RTFS_DOS_DIRECTORY,           ERR_BAD_MODE },
        { RTFS_DOS_REPARSE_POINT,                           ERR_BAD_MODE },
        { RTFS_DOS_REPARSE_POINT | RTFS_DOS_DIRECTORY,      ERR_BAD_MODE },
        { RTFS_TYPE_DIRECTORY | RTFS_DOS_DIRECTORY | 0755,  INF_SUCCESS },
        { RTFS_TYPE_FILE | 0644,                            INF_SUCCESS },
        { RTFS_DOS_REPARSE_POINT | 0700,                    INF_SUCCESS },
        { 0,                                                INF_SUCCESS },
    };
    int i = 0;
    for (auto const &m : s_aModes)
    {
        std::string const sub = dir / ("m" + std::to_string(i++));
        EXPECT_EQ(RTDirMake(sub.c_str(), m.fMode, 0), m.rc) << std::hex << m.fMode;
        EXPECT_EQ(PathExists(sub), m.rc == INF_SUCCESS);
    }
}

TEST(DirMake, ExistsAndDeleteByKind)
{
    ScratchDir dir;
    std::string const file = dir / "file", sub = dir / "sub";
    ASSERT_TRUE(WriteWholeFile(file, "x"));
    ASSERT_EQ(RTDirMake(sub.c_str(), 0700, 0), INF_SUCCESS);
    ASSERT_TRUE(WriteWholeFile(sub + "\\entry", "y"));

    EXPECT_TRUE(RTDirExists(dir.path().c_str()));
    EXPECT_TRUE(RTDirExists((dir.path() + "\\").c_str()));
    EXPECT_FALSE(RTDirExists(file.c_str()));
    EXPECT_FALSE(RTDirExists((dir / "missing").c_str()));
    EXPECT_FALSE(RTDirExists(""));
    EXPECT_FALSE(RTDirExists(nullptr));

    EXPECT_EQ(RTDirDelete(sub.c_str()), ERR_DIRECTORY_HAS_ENTRIES);
    EXPECT_TRUE(PathExists(sub + "\\entry"));
    EXPECT_EQ(RTDirDelete(file.c_str()), ERR_NOT_DIRECTORY);
    EXPECT_TRUE(PathExists(file));
    ASSERT_TRUE(DeleteFileW(LongForm(sub + "\\entry").c_str()));
    EXPECT_EQ(RTDirDelete(sub.c_str()), INF_SUCCESS);
    EXPECT_FALSE(PathExists(sub));
    EXPECT_EQ(RTDirDelete(sub.c_str()), ERR_FILE_MISSING);
    EXPECT_EQ(RTDirDelete(nullptr), ERR_BAD_POINTER);
    EXPECT_EQ(RTDirMake(nullptr, 0700, 0), ERR_BAD_POINTER);
}

TEST(DirMake, NonAsciiAndLongPaths)
{
    ScratchDir dir;
    std::string const unicode = dir / "\xD0\xBA\xD0\xB0\xD1\x82\xD0\xB0\xD0\xBB\xD0\xBE\xD0\xB3-\xE2\x82\xAC";
    ASSERT_EQ(RTDirMake(unicode.c_str(), 0700, 0), INF_SUCCESS);
    EXPECT_NE(GetFileAttributesW((Widen(dir.path()) + L"\\\u043a\u0430\u0442\u0430\u043b\u043e\u0433-\u20ac").c_str()),
              INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(RTDirExists(unicode.c_str()));

    std::string deep = dir.path();
    for (int i = 0; i < 5; i++)
    {
        deep += "\\" + std::string(70, static_cast<char>('k' + i));
        ASSERT_EQ(RTDirMake(deep.c_str(), 0700, 0), INF_SUCCESS) << deep.size();
    }
    ASSERT_GT(deep.size(), 300u);
    EXPECT_TRUE(RTDirExists(deep.c_str()));
    {
        DirGuard d;
        EXPECT_EQ(RTDirOpenPath(&d.h, deep.c_str()), INF_SUCCESS);
    }
    EXPECT_EQ(RTDirDelete(deep.c_str()), INF_SUCCESS);
    EXPECT_FALSE(RTDirExists(deep.c_str()));
}

TEST(DirOpen, HoldsTheDirectoryInPlace)
{
    ScratchDir dir;
    std::string const sub = dir / "held";
    ASSERT_EQ(RTDirMake(sub.c_str(), 0700, 0), INF_SUCCESS);
    RTDIR hDir = nullptr;
    ASSERT_EQ(RTDirOpenPath(&hDir, sub.c_str()), INF_SUCCESS);
    ASSERT_TRUE(RTDirHandleValid(hDir));
    EXPECT_STREQ(hDir->pszPath, (sub + "\\").c_str());
    EXPECT_EQ(hDir->cchPath, sub.size() + 1);
    EXPECT_EQ(hDir->enmFilter, RTDIRFILTER_NONE);
    EXPECT_EQ(hDir->pfnFilter, nullptr);
    EXPECT_FALSE(hDir->fDirSlash);

    EXPECT_NE(RTDirDelete(sub.c_str()), INF_SUCCESS);
    EXPECT_TRUE(PathExists(sub));

    EXPECT_EQ(RTDirClose(hDir), INF_SUCCESS);
    EXPECT_FALSE(RTDirHandleValid(hDir));
    EXPECT_EQ(RTDirClose(hDir), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTDirClose(nullptr), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTDirDelete(sub.c_str()), INF_SUCCESS);
}

TEST(DirOpen, BadInputAndMissingDirectories)
{
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(dir / "file", "x"));
    RTDIR hDir = reinterpret_cast<RTDIR>(0x1234);
    EXPECT_EQ(RTDirOpenPath(nullptr, dir.path().c_str()), ERR_BAD_POINTER);
    EXPECT_EQ(RTDirOpenPath(&hDir, nullptr), ERR_BAD_POINTER);
    EXPECT_EQ(RTDirOpenPath(&hDir, reinterpret_cast<const char *>(0xFFFFF000)), ERR_BAD_POINTER);
    EXPECT_EQ(RTDirOpenFilteredPath(reinterpret_cast<RTDIR *>(8), dir.path().c_str(), 1, 0), ERR_BAD_POINTER);

    static const struct { uint32_t enmFilter, fFlags; RTSTATUS rc; } s_aBad[] =
    {
        { 0, 0, ERR_BAD_ARGUMENT }, { 5, 0, ERR_BAD_ARGUMENT },
        { 3, 0, ERR_NOT_IMPLEMENTED }, { 4, 0, ERR_NOT_IMPLEMENTED },
        { RTDIRFILTER_NONE, 0x10, ERR_BAD_FLAGS }, { RTDIRFILTER_NONE, 0x80000000, ERR_BAD_FLAGS },
    };
    for (auto const &b : s_aBad)
    {
        hDir = reinterpret_cast<RTDIR>(0x1234);
        EXPECT_EQ(RTDirOpenFilteredPath(&hDir, dir.path().c_str(), b.enmFilter, b.fFlags), b.rc);
        EXPECT_EQ(hDir, nullptr);
    }

    /* Failures leave no handle open and nothing allocated. */
    {
        LeakCheck const control;
        DirGuard held;
        ASSERT_EQ(RTDirOpenPath(&held.h, dir.path().c_str()), INF_SUCCESS);
        ASSERT_TRUE(control.HandleLeft()) << "an open directory must be noticed";
        ASSERT_GT(control.HeapBlocksGained(), 0);
    }
    LeakCheck const handles;
    EXPECT_FALSE(LeavesHeapBlocks([&] {
        hDir = reinterpret_cast<RTDIR>(0x1234);
        EXPECT_EQ(RTDirOpenPath(&hDir, (dir / "missing").c_str()), ERR_FILE_MISSING);
        EXPECT_EQ(hDir, nullptr);
        EXPECT_EQ(RTDirOpenPath(&hDir, (dir / "missing\\deeper").c_str()), ERR_PATH_MISSING);
        /* A file: the directory path always ends with a separator, which a file's name cannot. */
        RTSTATUS const rcFile = RTDirOpenPath(&hDir, (dir / "file").c_str());
        EXPECT_TRUE(rcFile == ERR_NOT_DIRECTORY || rcFile == ERR_BAD_NAME) << rcFile;
        EXPECT_EQ(RTDirOpenPath(&hDir, ""), ERR_OUT_OF_MEMORY);
        EXPECT_EQ(RTDirOpenFilteredPath(&hDir, (dir / "\xFF*").c_str(), RTDIRFILTER_WILDCARD, 0), ERR_UTF8_MALFORMED);
        /* Every allocation failing in turn. */
        for (int iFail = 0; iFail < 12; iFail++)
        {
            static int s_cLeft;
            s_cLeft = iFail;
            g_pfnRTMemAllocHook = [](size_t) { return s_cLeft-- > 0; };
            RTSTATUS rc = RTDirOpenFilteredPath(&hDir, (dir / "*.txt").c_str(), RTDIRFILTER_WILDCARD, 0);
            g_pfnRTMemAllocHook = nullptr;
            if (RT_SUCCESS(rc))
                EXPECT_EQ(RTDirClose(hDir), INF_SUCCESS);
            else
                EXPECT_EQ(hDir, nullptr);
        }
    }));
    EXPECT_FALSE(handles.HandleLeft());
}

TEST(DirOpen, PathsAndFilters)
{
    ScratchDir dir;
    std::string const base = dir.path();
    std::wstring const cwdSaved = [] { wchar_t w[MAX_PATH]; GetCurrentDirectoryW(MAX_PATH, w); return std::wstring(w); }();
    ASSERT_TRUE(SetCurrentDirectoryW(Widen(base).c_str()));

    static const struct
    {
        const char *pszPath;
        uint32_t    enmFilter;
        uint32_t    fFlags;
        const char *pszDir;      /* relative to the scratch directory unless it starts with '.' */
        const char *pszFilter;
        uint32_t    enmKind;
        bool        fDirSlash;
    } s_aCases[] =
    {
        { "sub",          RTDIRFILTER_NONE,     0,                     "sub\\", "",       RTDIRFILTER_NONE,     false },
        { "sub/",         RTDIRFILTER_NONE,     0,                     "sub\\", "",       RTDIRFILTER_NONE,     true  },
        { "sub\\*.TXT",   RTDIRFILTER_WILDCARD, 0,                     "sub\\", "*.TXT",  RTDIRFILTER_WILDCARD, true  },
        { "sub\\",        RTDIRFILTER_WILDCARD, 0,                     "sub\\", "",       RTDIRFILTER_NONE,     true  },
        { "a*",           RTDIRFILTER_WILDCARD, 0,                     "",      "a*",     RTDIRFILTER_WILDCARD, true  },
        { "sub",          RTDIRFILTER_NONE,     RTDIROPEN_NO_ABS_PATH, ".sub\\", "",      RTDIRFILTER_NONE,     false },
        { "sub/",         RTDIRFILTER_NONE,     RTDIROPEN_NO_ABS_PATH, ".sub/",  "",      RTDIRFILTER_NONE,     true  },
        { "sub/x?",       RTDIRFILTER_WILDCARD, RTDIROPEN_NO_ABS_PATH, ".sub/",  "x?",    RTDIRFILTER_WILDCARD, true  },
        { "x?",           RTDIRFILTER_WILDCARD, RTDIROPEN_NO_ABS_PATH, ".\\",    "x?",    RTDIRFILTER_WILDCARD, true  },
        { "sub",          RTDIRFILTER_NONE,     0x3,                   "sub\\", "",       RTDIRFILTER_NONE,     false },
    };
    ASSERT_EQ(RTDirMake((dir / "sub").c_str(), 0700, 0), INF_SUCCESS);
    for (auto const &c : s_aCases)
    {
        DirGuard d;
        ASSERT_EQ(RTDirOpenFilteredPath(&d.h, c.pszPath, c.enmFilter, c.fFlags), INF_SUCCESS) << c.pszPath;
        std::string const expected = c.pszDir[0] == '.' ? std::string(c.pszDir + (c.pszDir[1] == '\\' ? 0 : 1))
                                                        : base + "\\" + c.pszDir;
        EXPECT_EQ(d.h->pszPath, expected) << c.pszPath;
        EXPECT_EQ(d.h->cchPath, expected.size());
        EXPECT_STREQ(d.h->pszFilter, c.pszFilter) << c.pszPath;
        EXPECT_EQ(d.h->enmFilter, c.enmKind) << c.pszPath;
        EXPECT_EQ(d.h->fDirSlash, c.fDirSlash) << c.pszPath;
        EXPECT_EQ(d.h->fFlags, c.fFlags);
        EXPECT_EQ(d.h->pwszNtFilter != nullptr, c.enmKind == RTDIRFILTER_WILDCARD) << c.pszPath;
    }
    SetCurrentDirectoryW(cwdSaved.c_str());
}

TEST(DirOpen, FilterMatching)
{
    ScratchDir dir;
    static const struct
    {
        const char *pszFilter;
        bool        fPredicate;
        const char *pszYes[4];
        const char *pszNo[4];
    } s_aCases[] =
    {
        { "A*.TXT",  true,  { "a.txt", "ABC.txt", "A.TXT", "aé.Txt" },  { "b.txt", "a.txt2", "a.tx", "" } },
        { "a***b",   true,  { "ab", "axxb", "a*b", nullptr },           { "a", "abc", "b", nullptr } },
        { "??.c",    true,  { "ab.c", "éé.C", nullptr, nullptr },       { "a.c", "abc.c", nullptr, nullptr } },
        { "<.txt",   true,  { "a.b.txt", ".txt", "x.TXT", nullptr },    { "a.txt.x", "atxt", nullptr, nullptr } },
        { "<",       true,  { "abc", "", nullptr },                     { "a.b", nullptr } },
        { "ab>>.c",  true,  { "ab.c", "abx.c", "abxy.c", nullptr },     { "abxyz.c", nullptr } },
        { "a\"",     true,  { "a", "a.", nullptr },                     { "ab", "a.b", nullptr } },
        { "readme",  true,  { "README", "ReadMe", nullptr },            { "readme.txt", "readm", "readmex", nullptr } },
        { "\xC3\xA9t\xC3\xA9", true, { "\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9", nullptr }, { "ete", nullptr } },
        { "*",       false, { nullptr },                                { nullptr } },
        { "<\".",    false, { nullptr },                                { nullptr } },
    };
    for (auto const &c : s_aCases)
    {
        DirGuard d;
        std::string const path = dir / c.pszFilter;
        ASSERT_EQ(RTDirOpenFilteredPath(&d.h, path.c_str(), RTDIRFILTER_WILDCARD, 0), INF_SUCCESS) << c.pszFilter;
        EXPECT_STREQ(d.h->pszFilter, c.pszFilter);
        ASSERT_EQ(d.h->pfnFilter != nullptr, c.fPredicate) << c.pszFilter;
        if (!d.h->pfnFilter)
            continue;
        for (const char *pszName : c.pszYes)
            if (pszName)
                EXPECT_TRUE(d.h->pfnFilter(d.h, pszName)) << c.pszFilter << " vs " << pszName;
        for (const char *pszName : c.pszNo)
            if (pszName)
                EXPECT_FALSE(d.h->pfnFilter(d.h, pszName)) << c.pszFilter << " vs " << pszName;
    }

    /* Runs of '*' are collapsed in the compiled filter, other characters upper-cased. */
    DirGuard d;
    ASSERT_EQ(RTDirOpenFilteredPath(&d.h, (dir / "a**?b").c_str(), RTDIRFILTER_WILDCARD, 0), INF_SUCCESS);
    ASSERT_EQ(d.h->cucFilter, 4u);
    EXPECT_EQ(d.h->puszFilter[0], RTUNICP('A'));
    EXPECT_EQ(d.h->puszFilter[1], RTUNICP('*'));
    EXPECT_EQ(d.h->puszFilter[2], RTUNICP('?'));
    EXPECT_EQ(d.h->puszFilter[3], RTUNICP('B'));
    EXPECT_EQ(d.h->puszFilter[4], 0u);

    /* A pattern that would recurse without end is cut off, not followed. */
    std::string pattern, name(400, 'a');
    for (int i = 0; i < 300; i++)
        pattern += "*a";
    pattern += "b";
    DirGuard deep;
    ASSERT_EQ(RTDirOpenFilteredPath(&deep.h, (dir / pattern).c_str(), RTDIRFILTER_WILDCARD, 0), INF_SUCCESS);
    EXPECT_FALSE(deep.h->pfnFilter(deep.h, name.c_str()));
    EXPECT_FALSE(deep.h->pfnFilter(deep.h, (name + "b").c_str())) << "deeper than the limit counts as no match";
}
