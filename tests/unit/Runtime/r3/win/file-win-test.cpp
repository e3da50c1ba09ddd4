/* Files: the open-flag word, open actions, share modes, reads and writes, positions, size,
 * the information record and file identity, removal, all against the real file system. */
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "rt/file.h"
#include "rt/status.h"
#include "scratch-dir.h"
#include "process-runner.h"
#include "leak-check.h"
#include "import-patch.h"

namespace {

/* Opens a file and closes it when the test ends. */
struct FileGuard
{
    RTFILE h = NIL_RTFILE;
    ~FileGuard() { RTFileClose(h); }
};

RTSTATUS OpenEx(const std::string &path, uint64_t fOpen, FileGuard &f, uint32_t *penmAction = nullptr)
{
    return RTFileOpenNamedEx(path.c_str(), fOpen, &f.h, penmAction);
}

constexpr uint64_t kCreateReplaceDenyWrite0700 = 0x1C000322; /* write, deny write, create-or-replace, 0700 */
constexpr uint64_t kReadDenyWrite              = 0x721;      /* read, deny write, open existing */

} /* namespace */

TEST(FileOpen, BadFlagWordsAreRefusedAndLeaveNoHandle)
{
    ScratchDir dir;
    std::string const path = dir / "f";
    ASSERT_TRUE(WriteWholeFile(path, "x"));
    static const uint64_t s_afBad[] =
    {
        0,                                                  /* neither data nor attribute access */
        RTFOPEN_READ | 0x8,                                 /* reserved bits */
        RTFOPEN_READ | 0x4000,
        RTFOPEN_READ | 0x80000000,
        RTFOPEN_READ | RTFOPEN_TRUNCATE,                    /* truncate without write */
        RTFOPEN_WRITE | 0x400, RTFOPEN_WRITE | 0x500, RTFOPEN_WRITE | 0x600,   /* invalid actions */
        RTFOPEN_WRITE | RTFOPEN_OPEN | RTFOPEN_NOT_CONTENT_INDEXED,
        RTFOPEN_WRITE | RTFOPEN_NOT_CONTENT_INDEXED,        /* action 0 means open */
        RTFOPEN_READ | 0x90, RTFOPEN_READ | 0xF0,           /* invalid share codes */
    };
    for (uint64_t fOpen : s_afBad)
    {
        RTFILE h = 1234;
        uint32_t enmAction = 99;
        EXPECT_EQ(RTFileOpenNamedEx(path.c_str(), fOpen, &h, &enmAction), ERR_BAD_ARGUMENT) << std::hex << fOpen;
        EXPECT_EQ(h, NIL_RTFILE);
        EXPECT_EQ(enmAction, 0u);
    }

    /* The upper half carries no meaning; attribute access alone is enough to open, not to
       read; inheritance is asked for. */
    FileGuard f1, f2, f3;
    EXPECT_EQ(OpenEx(path, RTFOPEN_READ | (UINT64_C(0xFFFFFFFF) << 32), f1), INF_SUCCESS);
    EXPECT_EQ(OpenEx(path, RTFOPEN_ATTR_READ | RTFOPEN_OPEN, f2), INF_SUCCESS);
    char ch;
    EXPECT_EQ(RTFileRead(f2.h, &ch, 1, nullptr), ERR_ACCESS_REFUSED);
    EXPECT_EQ(OpenEx(path, RTFOPEN_READ | RTFOPEN_INHERIT, f3), INF_SUCCESS);
    DWORD fInfo = 0;
    ASSERT_TRUE(GetHandleInformation(reinterpret_cast<HANDLE>(f3.h), &fInfo));
    EXPECT_TRUE(fInfo & HANDLE_FLAG_INHERIT);
    ASSERT_TRUE(GetHandleInformation(reinterpret_cast<HANDLE>(f1.h), &fInfo));
    EXPECT_FALSE(fInfo & HANDLE_FLAG_INHERIT);
}

TEST(FileOpen, BadArgumentsAndMissingFiles)
{
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(dir / "f", "x"));
    {
        /* Warm up what the first open allocates for good. */
        RTFILE h;
        ASSERT_EQ(RTFileOpenNamed(&h, (dir / "f").c_str(), RTFOPEN_READ), INF_SUCCESS);
        RTFileClose(h);
    }
    LeakCheck const handles;
    EXPECT_FALSE(LeavesHeapBlocks([&] {
        RTFILE h = 1234;
        EXPECT_EQ(RTFileOpenNamed(nullptr, (dir / "f").c_str(), RTFOPEN_READ), ERR_BAD_ARGUMENT);
        EXPECT_EQ(RTFileOpenNamed(&h, nullptr, RTFOPEN_READ), ERR_BAD_ARGUMENT);
        EXPECT_EQ(RTFileOpenNamed(reinterpret_cast<RTFILE *>(0x10), (dir / "f").c_str(), RTFOPEN_READ), ERR_BAD_ARGUMENT);
        EXPECT_EQ(RTFileOpenNamed(&h, (dir / "missing").c_str(), RTFOPEN_READ), ERR_FILE_MISSING);
        EXPECT_EQ(h, NIL_RTFILE);
        EXPECT_EQ(RTFileOpenNamed(&h, (dir / "no\\such\\dir").c_str(), RTFOPEN_READ), ERR_PATH_MISSING);
        EXPECT_EQ(RTFileOpenNamed(&h, dir.path().c_str(), RTFOPEN_WRITE), ERR_ACCESS_REFUSED);
        EXPECT_EQ(h, NIL_RTFILE);
        uint32_t enmAction = 0;
        EXPECT_EQ(RTFileOpenNamedEx((dir / "f").c_str(), RTFOPEN_WRITE | RTFOPEN_CREATE, &h, &enmAction), ERR_NAME_TAKEN);
        EXPECT_EQ(RTFileOpenNamed(&h, "", RTFOPEN_READ), ERR_PATH_MISSING);
        EXPECT_EQ(RTFileOpenNamed(&h, "\xFF\xFE", RTFOPEN_READ), ERR_UTF8_MALFORMED);
        EXPECT_EQ(RTFileOpenNamed(&h, (dir.path() + "\\" + std::string(40000, 'n')).c_str(), RTFOPEN_READ),
                  ERR_FILENAME_TOO_LONG);
        EXPECT_EQ(RTFileRemove((dir / "missing").c_str()), ERR_FILE_MISSING);
        RTFILESTATS st;
        EXPECT_EQ(RTPathQueryStats((dir / "missing").c_str(), &st, RTFATTR_UNIX, RTPATHQ_FOLLOW_LINK), ERR_FILE_MISSING);
        EXPECT_EQ(h, NIL_RTFILE);
    }));
    EXPECT_FALSE(handles.HandleLeft());
}

TEST(FileOpen, ActionsTaken)
{
    ScratchDir dir;
    std::string const path = dir / "f";
    uint32_t enmAction = 0;
    {
        FileGuard f;
        ASSERT_EQ(OpenEx(path, kCreateReplaceDenyWrite0700, f, &enmAction), INF_SUCCESS);
        EXPECT_EQ(enmAction, RTFACTION_CREATED);
        ASSERT_EQ(RTFileWrite(f.h, "hello", 5, nullptr), INF_SUCCESS);
    }
    {
        FileGuard f;
        ASSERT_EQ(OpenEx(path, kCreateReplaceDenyWrite0700, f, &enmAction), INF_SUCCESS);
        EXPECT_EQ(enmAction, RTFACTION_REPLACED);
        uint64_t cb = 1;
        EXPECT_EQ(RTFileSizeOf(f.h, &cb), INF_SUCCESS);
        EXPECT_EQ(cb, 0u);
        ASSERT_EQ(RTFileWrite(f.h, "hello", 5, nullptr), INF_SUCCESS);
    }
    {
        FileGuard f;
        EXPECT_EQ(OpenEx(path, RTFOPEN_WRITE | RTFOPEN_CREATE, f, &enmAction), ERR_NAME_TAKEN);
        EXPECT_EQ(enmAction, RTFACTION_EXISTED);
        EXPECT_EQ(f.h, NIL_RTFILE);
    }
    {
        FileGuard f;
        ASSERT_EQ(OpenEx(path, RTFOPEN_READWRITE | RTFOPEN_OPEN_CREATE, f, &enmAction), INF_SUCCESS);
        EXPECT_EQ(enmAction, RTFACTION_OPENED);
        EXPECT_EQ(ReadWholeFile(path), "hello");
    }
    {
        /* Only creating and opening always read the last error; a stale one changes nothing. */
        FileGuard f;
        SetLastError(ERROR_ALREADY_EXISTS);
        ASSERT_EQ(OpenEx(path, RTFOPEN_READ | RTFOPEN_OPEN, f, &enmAction), INF_SUCCESS);
        EXPECT_EQ(enmAction, RTFACTION_OPENED);
    }
    {
        FileGuard f;
        ASSERT_EQ(OpenEx(path, RTFOPEN_WRITE | RTFOPEN_OPEN_CREATE | RTFOPEN_TRUNCATE, f, &enmAction), INF_SUCCESS);
        EXPECT_EQ(enmAction, RTFACTION_TRUNCATED);
        EXPECT_EQ(ReadWholeFile(path), "");
        ASSERT_EQ(RTFileWrite(f.h, "again", 5, nullptr), INF_SUCCESS);
    }
    {
        FileGuard f;
        ASSERT_EQ(OpenEx(path, RTFOPEN_WRITE | RTFOPEN_TRUNCATE, f, &enmAction), INF_SUCCESS);
        EXPECT_EQ(enmAction, RTFACTION_TRUNCATED);
        EXPECT_EQ(ReadWholeFile(path), "");
    }
    {
        FileGuard f;
        ASSERT_EQ(OpenEx(dir / "new", RTFOPEN_WRITE | RTFOPEN_OPEN_CREATE | RTFOPEN_TRUNCATE, f, &enmAction), INF_SUCCESS);
        EXPECT_EQ(enmAction, RTFACTION_CREATED);
    }
}

TEST(FileOpen, CreatedFileAttributes)
{
    ScratchDir dir;
    /* Some file systems keep only a few attributes; find out with the platform alone. */
    HANDLE hCtl = CreateFileW(LongForm(dir / "control").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY, nullptr);
    ASSERT_NE(hCtl, INVALID_HANDLE_VALUE);
    CloseHandle(hCtl);
    SetFileAttributesW(LongForm(dir / "control").c_str(), FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (!(GetFileAttributesW(LongForm(dir / "control").c_str()) & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED))
        GTEST_SKIP() << "this file system does not keep the not-content-indexed attribute";
    {
        FileGuard f;
        ASSERT_EQ(OpenEx(dir / "plain", RTFOPEN_WRITE | RTFOPEN_CREATE, f), INF_SUCCESS);
        FileGuard g;
        ASSERT_EQ(OpenEx(dir / "unindexed", RTFOPEN_WRITE | RTFOPEN_CREATE | RTFOPEN_NOT_CONTENT_INDEXED, g), INF_SUCCESS);
        FileGuard t;
        ASSERT_EQ(OpenEx(dir / "temp", RTFOPEN_WRITE | RTFOPEN_CREATE | RTFOPEN_TEMPORARY, t), INF_SUCCESS);
    }
    EXPECT_FALSE(GetFileAttributesW(LongForm(dir / "plain").c_str()) & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    EXPECT_TRUE(GetFileAttributesW(LongForm(dir / "unindexed").c_str()) & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    EXPECT_TRUE(GetFileAttributesW(LongForm(dir / "temp").c_str()) & FILE_ATTRIBUTE_TEMPORARY);
}

TEST(FileOpen, ShareCodesDenyWhatTheySay)
{
    ScratchDir dir;
    std::string const path = dir / "f";
    ASSERT_TRUE(WriteWholeFile(path, "data"));

    /* A deny-write holder: others may read but not write. */
    {
        FileGuard holder;
        ASSERT_EQ(OpenEx(path, kReadDenyWrite, holder), INF_SUCCESS);
        FileGuard w, r;
        EXPECT_EQ(OpenEx(path, RTFOPEN_WRITE | RTFOPEN_DENY_NONE, w), ERR_SHARING_CONFLICT);
        EXPECT_EQ(w.h, NIL_RTFILE);
        EXPECT_EQ(OpenEx(path, RTFOPEN_READ | RTFOPEN_DENY_NONE, r), INF_SUCCESS);
    }
    /* A writer blocks a reader that wants to deny writes. */
    {
        FileGuard writer, r;
        ASSERT_EQ(OpenEx(path, RTFOPEN_WRITE | RTFOPEN_DENY_NONE, writer), INF_SUCCESS);
        EXPECT_EQ(OpenEx(path, kReadDenyWrite, r), ERR_SHARING_CONFLICT);
    }
    /* Share code 0 is deny-none: a second reader and a writer both get in. */
    {
        FileGuard first, reader, writer;
        ASSERT_EQ(OpenEx(path, RTFOPEN_READ, first), INF_SUCCESS);
        EXPECT_EQ(OpenEx(path, RTFOPEN_READ, reader), INF_SUCCESS);
        EXPECT_EQ(OpenEx(path, RTFOPEN_WRITE, writer), INF_SUCCESS);
    }
    /* Deny read, and deny both. */
    {
        FileGuard holder, r, w;
        ASSERT_EQ(OpenEx(path, RTFOPEN_WRITE | RTFOPEN_DENY_READ, holder), INF_SUCCESS);
        EXPECT_EQ(OpenEx(path, RTFOPEN_READ, r), ERR_SHARING_CONFLICT);
        EXPECT_EQ(OpenEx(path, RTFOPEN_WRITE, w), INF_SUCCESS);
    }
    {
        FileGuard holder, r;
        ASSERT_EQ(OpenEx(path, RTFOPEN_READ | RTFOPEN_DENY_READWRITE, holder), INF_SUCCESS);
        EXPECT_EQ(OpenEx(path, RTFOPEN_READ, r), ERR_SHARING_CONFLICT);
    }
}

/* Run by ShareCodesHoldAcrossProcesses in a second process: opens the file named by the
   environment with the flags given there and prints the status. */
TEST(FileOpen, DISABLED_ShareChild)
{
    char szPath[4096], szFlags[32];
    ASSERT_NE(GetEnvironmentVariableA("NIMB_SHARE_CHILD_PATH", szPath, sizeof(szPath)), 0u);
    ASSERT_NE(GetEnvironmentVariableA("NIMB_SHARE_CHILD_FLAGS", szFlags, sizeof(szFlags)), 0u);
    RTFILE h;
    RTSTATUS const rc = RTFileOpenNamed(&h, szPath, strtoull(szFlags, nullptr, 0));
    printf("child-rc=%d\n", rc);
    RTFileClose(h);
}

TEST(FileOpen, ShareCodesHoldAcrossProcesses)
{
    ScratchDir dir;
    std::string const path = dir / "shared";
    ASSERT_TRUE(WriteWholeFile(path, "data"));
    wchar_t wszExe[MAX_PATH];
    GetModuleFileNameW(nullptr, wszExe, MAX_PATH);
    auto const childOpen = [&](uint64_t fOpen)
    {
        ProcessOptions opts;
        opts.extraEnv = L"NIMB_SHARE_CHILD_PATH=" + Widen(path) + L"\nNIMB_SHARE_CHILD_FLAGS=" + std::to_wstring(fOpen);
        ProcessResult const r = RunProcess(wszExe, QuoteArg(wszExe) + L" --gtest_also_run_disabled_tests"
                                                   L" --gtest_filter=FileOpen.DISABLED_ShareChild", opts);
        size_t const off = r.out.find("child-rc=");
        if (off == std::string::npos)
        {
            ADD_FAILURE() << "no answer from the second process: " << r.out << r.err;
            return INT32_MIN;
        }
        return atoi(r.out.c_str() + off + 9);
    };
    {
        FileGuard holder;
        ASSERT_EQ(OpenEx(path, kReadDenyWrite, holder), INF_SUCCESS);
        EXPECT_EQ(childOpen(RTFOPEN_WRITE), ERR_SHARING_CONFLICT);
        EXPECT_EQ(childOpen(RTFOPEN_READ), INF_SUCCESS);
    }
    {
        FileGuard writer;
        ASSERT_EQ(OpenEx(path, RTFOPEN_WRITE, writer), INF_SUCCESS);
        EXPECT_EQ(childOpen(kReadDenyWrite), ERR_SHARING_CONFLICT);
    }
    EXPECT_EQ(childOpen(kReadDenyWrite), INF_SUCCESS);
}

TEST(FileIo, WholeAndPartialTransfers)
{
    ScratchDir dir;
    FileGuard f;
    ASSERT_EQ(OpenEx(dir / "f", RTFOPEN_READWRITE | RTFOPEN_CREATE, f), INF_SUCCESS);

    std::vector<uint8_t> data(300000);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    ASSERT_EQ(RTFileWrite(f.h, data.data(), data.size(), nullptr), INF_SUCCESS);
    EXPECT_EQ(RTFileGetPos(f.h), data.size());
    size_t cb = 12345;
    EXPECT_EQ(RTFileWrite(f.h, data.data(), 0, &cb), INF_SUCCESS);
    EXPECT_EQ(cb, 12345u) << "a zero-byte write leaves the count alone";

    uint64_t off = 1;
    ASSERT_EQ(RTFileSetPos(f.h, 0, RTFSEEK_BEGIN, &off), INF_SUCCESS);
    EXPECT_EQ(off, 0u);
    std::vector<uint8_t> back(data.size() + 16, 0xEE);
    ASSERT_EQ(RTFileRead(f.h, back.data(), data.size(), nullptr), INF_SUCCESS);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
    EXPECT_EQ(back[data.size()], 0xEE) << "nothing written past the requested size";

    /* At the end: a whole read fails, a counted one reports 0. */
    EXPECT_EQ(RTFileRead(f.h, back.data(), 1, nullptr), ERR_FILE_END_REACHED);
    cb = 99;
    EXPECT_EQ(RTFileRead(f.h, back.data(), 10, &cb), INF_SUCCESS);
    EXPECT_EQ(cb, 0u);
    cb = 99;
    EXPECT_EQ(RTFileRead(f.h, back.data(), 0, &cb), INF_SUCCESS);
    EXPECT_EQ(cb, 0u);

    /* Near the end a counted read is short; a whole read of the same size fails. */
    ASSERT_EQ(RTFileSetPos(f.h, -3, RTFSEEK_END, &off), INF_SUCCESS);
    EXPECT_EQ(off, data.size() - 3);
    EXPECT_EQ(RTFileRead(f.h, back.data(), 10, &cb), INF_SUCCESS);
    EXPECT_EQ(cb, 3u);
    EXPECT_EQ(0, memcmp(back.data(), &data[data.size() - 3], 3));
    ASSERT_EQ(RTFileSetPos(f.h, -3, RTFSEEK_END, nullptr), INF_SUCCESS);
    EXPECT_EQ(RTFileRead(f.h, back.data(), 10, nullptr), ERR_FILE_END_REACHED);
}

TEST(FileIo, AppendWritesAtTheEnd)
{
    ScratchDir dir;
    std::string const path = dir / "log";
    ASSERT_TRUE(WriteWholeFile(path, "abc"));
    FileGuard f;
    ASSERT_EQ(OpenEx(path, RTFOPEN_WRITE | RTFOPEN_APPEND, f), INF_SUCCESS);
    ASSERT_EQ(RTFileSetPos(f.h, 0, RTFSEEK_BEGIN, nullptr), INF_SUCCESS);
    ASSERT_EQ(RTFileWrite(f.h, "def", 3, nullptr), INF_SUCCESS);
    EXPECT_EQ(ReadWholeFile(path), "abcdef");
}

TEST(FileIo, WrongAccessAndBadHandles)
{
    ScratchDir dir;
    std::string const path = dir / "f";
    ASSERT_TRUE(WriteWholeFile(path, "abc"));
    FileGuard f;
    ASSERT_EQ(OpenEx(path, RTFOPEN_READ, f), INF_SUCCESS);
    EXPECT_EQ(RTFileWrite(f.h, "x", 1, nullptr), ERR_ACCESS_REFUSED);
    EXPECT_EQ(ReadWholeFile(path), "abc");

    char buf[4];
    uint64_t cb;
    EXPECT_EQ(RTFileRead(NIL_RTFILE, buf, 1, nullptr), ERR_BAD_HANDLE);
    EXPECT_EQ(RTFileWrite(NIL_RTFILE + 0x1000, "x", 1, nullptr), ERR_BAD_HANDLE);
    EXPECT_EQ(RTFileGetPos(0x1230), UINT64_MAX);
    EXPECT_EQ(RTFileSizeOf(0x1230, &cb), ERR_BAD_HANDLE);
    EXPECT_EQ(RTFileSync(0x1230), ERR_BAD_HANDLE);
    EXPECT_EQ(RTFileSetPos(f.h, 0, 3, nullptr), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTFileClose(NIL_RTFILE), INF_SUCCESS);
    EXPECT_EQ(RTFileClose(0x1230), ERR_BAD_HANDLE);
}

TEST(FileIo, PositionsAndSizeBeyondFourGiB)
{
    ScratchDir dir;
    FileGuard f;
    ASSERT_EQ(OpenEx(dir / "f", RTFOPEN_READWRITE | RTFOPEN_CREATE, f), INF_SUCCESS);
    int64_t const off5G = INT64_C(5) << 30;
    uint64_t off = 0;
    ASSERT_EQ(RTFileSetPos(f.h, off5G, RTFSEEK_BEGIN, &off), INF_SUCCESS);
    EXPECT_EQ(off, static_cast<uint64_t>(off5G));
    ASSERT_EQ(RTFileSetPos(f.h, -1, RTFSEEK_CURRENT, &off), INF_SUCCESS);
    EXPECT_EQ(RTFileGetPos(f.h), static_cast<uint64_t>(off5G - 1));
    ASSERT_EQ(RTFileWrite(f.h, "z", 1, nullptr), INF_SUCCESS);
    uint64_t cb = 0;
    ASSERT_EQ(RTFileSizeOf(f.h, &cb), INF_SUCCESS);
    EXPECT_EQ(cb, static_cast<uint64_t>(off5G));
    EXPECT_EQ(RTFileSync(f.h), INF_SUCCESS);
    /* A position before the start is refused and changes nothing. */
    EXPECT_EQ(RTFileSetPos(f.h, -10, RTFSEEK_BEGIN, &off), ERR_NEGATIVE_OFFSET);
    EXPECT_EQ(RTFileGetPos(f.h), static_cast<uint64_t>(off5G));
}

/* A disk or volume handle has no file size; its geometry tells. Neither can be opened
   here, so the size query and the device requests are replaced. */
namespace {
uint32_t g_uFakeMedia;
bool     g_fFakeLength;
DWORD WINAPI FakeGetFileSize(HANDLE, LPDWORD)
{
    SetLastError(ERROR_INVALID_FUNCTION);
    return INVALID_FILE_SIZE;
}
BOOL WINAPI FakeDeviceIoControl(HANDLE, DWORD uCode, LPVOID, DWORD, LPVOID pvOut, DWORD cbOut, LPDWORD pcbRet, LPOVERLAPPED)
{
    if (uCode == 0x70000 && cbOut >= 24)
    {
        uint32_t const au[6] = { 1000, 0, g_uFakeMedia, 16, 63, 512 }; /* cylinders (64 bits), media, tracks, sectors, bytes */
        memcpy(pvOut, au, 24);
        *pcbRet = 24;
        return TRUE;
    }
    if (uCode == 0x7405C && g_fFakeLength && cbOut >= 8)
    {
        uint64_t const cb = UINT64_C(500107862016);
        memcpy(pvOut, &cb, 8);
        *pcbRet = 8;
        return TRUE;
    }
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
}
} /* namespace */

TEST(FileIo, SizeOfDisks)
{
    ImportPatch size("kernel32.dll", "GetFileSize", reinterpret_cast<void *>(FakeGetFileSize));
    ImportPatch ioctl("kernel32.dll", "DeviceIoControl", reinterpret_cast<void *>(FakeDeviceIoControl));
    ASSERT_TRUE(size.Ok() && ioctl.Ok());
    HANDLE const hAny = GetCurrentProcess();
    uint64_t cb = 0;
    g_uFakeMedia = 12; /* fixed */
    g_fFakeLength = false;
    EXPECT_EQ(RTFileSizeOf(reinterpret_cast<RTFILE>(hAny), &cb), INF_SUCCESS);
    EXPECT_EQ(cb, UINT64_C(1000) * 16 * 63 * 512);
    g_fFakeLength = true;
    EXPECT_EQ(RTFileSizeOf(reinterpret_cast<RTFILE>(hAny), &cb), INF_SUCCESS);
    EXPECT_EQ(cb, UINT64_C(500107862016)) << "the length information is more exact than the geometry";
    g_uFakeMedia = 11; /* removable */
    EXPECT_EQ(RTFileSizeOf(reinterpret_cast<RTFILE>(hAny), &cb), INF_SUCCESS);
    g_uFakeMedia = 0;  /* unknown media: the size query's own failure counts */
    EXPECT_EQ(RTFileSizeOf(reinterpret_cast<RTFILE>(hAny), &cb), ERR_BAD_FUNCTION);
}

TEST(FileIo, SizeLimitWording)
{
    ScratchDir dir;
    FileGuard f;
    ASSERT_EQ(OpenEx(dir / "f", RTFOPEN_WRITE | RTFOPEN_CREATE, f), INF_SUCCESS);
    uint32_t enmKind = 99;
    ASSERT_EQ(RTFileFsKind(f.h, &enmKind), INF_SUCCESS);
    EXPECT_EQ(RTFileCheckSizeLimit(f.h, 0x7FFFFFFE), ERR_NO_SPACE_LEFT);
    /* Only file systems with a per-file limit turn a disk-full failure into "too big". */
    RTSTATUS const rcBig = enmKind == RTFSKIND_FAT || enmKind == RTFSKIND_HPFS || enmKind == RTFSKIND_ISO9660
                         ? ERR_FILE_TOO_BIG : ERR_NO_SPACE_LEFT;
    EXPECT_EQ(RTFileCheckSizeLimit(f.h, UINT64_C(1) << 44), rcBig);
    EXPECT_EQ(RTFileCheckSizeLimit(NIL_RTFILE, UINT64_C(1) << 44), ERR_NO_SPACE_LEFT);
}

TEST(FileInfo, ModeFromAttributes)
{
    static const struct
    {
        uint32_t    fAttrs;
        const char *pszName;
        uint32_t    uTag;
        uint32_t    fHint;
        uint32_t    fMode;
    } s_aCases[] =
    {
        { 0,                                        "SETUP.EXE",  0, 0, 0x81FF },
        { 0,                                        "README.TXT", 0, 0, 0x81B6 },
        { RTFS_DOS_READONLY,                        "SETUP.EXE",  0, 0, RTFS_DOS_READONLY | 0x816D },
        { RTFS_DOS_READONLY,                        "README.TXT", 0, 0, RTFS_DOS_READONLY | 0x8124 },
        { 0,                                        "run.Bat",    0, 0, 0x81FF },
        { 0,                                        "x.cmd",      0, 0, 0x81FF },
        { 0,                                        "x.btm",      0, 0, 0x81FF },
        { 0,                                        "x.com",      0, 0, 0x81FF },
        { 0,                                        "exe",        0, 0, 0x81B6 },
        { 0,                                        ".exe",       0, 0, 0x81FF },
        { 0,                                        "a.exe.txt",  0, 0, 0x81B6 },
        { RTFS_DOS_DIRECTORY,                       nullptr,      0, 0, RTFS_DOS_DIRECTORY | 0x41FF },
        { RTFS_DOS_DIRECTORY | RTFS_DOS_READONLY,   nullptr,      0, 0, RTFS_DOS_DIRECTORY | RTFS_DOS_READONLY | 0x41FF },
        { 0,                                        nullptr,      0, 0x4000, RTFS_DOS_DIRECTORY | 0x41FF },
        { RTFS_DOS_REPARSE_POINT,                   "link",       IO_REPARSE_TAG_SYMLINK, 0, RTFS_DOS_REPARSE_POINT | 0xA1B6 },
        { RTFS_DOS_REPARSE_POINT | RTFS_DOS_DIRECTORY, nullptr,   IO_REPARSE_TAG_SYMLINK, 0,
          RTFS_DOS_REPARSE_POINT | RTFS_DOS_DIRECTORY | 0xA1FF },
        { RTFS_DOS_REPARSE_POINT | RTFS_DOS_DIRECTORY, nullptr,   IO_REPARSE_TAG_MOUNT_POINT, 0,
          RTFS_DOS_REPARSE_POINT | RTFS_DOS_DIRECTORY | 0x41FF },            /* a junction stays a directory */
        { 0,                                        "x",          IO_REPARSE_TAG_SYMLINK, 0, 0x81B6 }, /* tag without the attribute */
        { RTFS_DOS_DEVICE,                          "",           0, 0, 0x4081B6 },
        { RTFS_DOS_ARCHIVE | 0xFFFF,                "x",          0, 0, RTFS_DOS_ARCHIVE | 0x81B6 }, /* low half ignored */
    };
    for (auto const &c : s_aCases)
        EXPECT_EQ(RTFileModeFromAttributes(c.fAttrs, c.pszName, 0, c.uTag, c.fHint), c.fMode)
            << (c.pszName ? c.pszName : "(null)") << " " << std::hex << c.fAttrs;
    /* An explicit length limits the name. */
    EXPECT_EQ(RTFileModeFromAttributes(0, "SETUP.EXE.TXT", 9, 0, 0), 0x81FFu);
}

TEST(FileInfo, RecordIdentityAndKinds)
{
    ScratchDir dir;
    std::string const pathA = dir / "a", pathB = dir / "b";
    ASSERT_TRUE(WriteWholeFile(pathA, std::string(5000, 'a')));
    ASSERT_TRUE(WriteWholeFile(pathB, "b"));

    FILETIME ftNow;
    GetSystemTimeAsFileTime(&ftNow);
    int64_t const nsNow = (static_cast<int64_t>((static_cast<uint64_t>(ftNow.dwHighDateTime) << 32) | ftNow.dwLowDateTime)
                           - INT64_C(116444736000000000)) * 100;

    RTFILESTATS a1, a2, b;
    {
        FileGuard f;
        ASSERT_EQ(OpenEx(pathA, RTFOPEN_READ, f), INF_SUCCESS);
        ASSERT_EQ(RTFileQueryInfo(f.h, &a1, RTFATTR_UNIX), INF_SUCCESS);
    }
    {
        FileGuard f;
        ASSERT_EQ(OpenEx(pathA, kReadDenyWrite, f), INF_SUCCESS);
        ASSERT_EQ(RTFileQueryInfo(f.h, &a2, RTFATTR_UNIX), INF_SUCCESS);
    }
    {
        FileGuard f;
        ASSERT_EQ(OpenEx(pathB, RTFOPEN_READ, f), INF_SUCCESS);
        ASSERT_EQ(RTFileQueryInfo(f.h, &b, RTFATTR_UNIX), INF_SUCCESS);
    }
    EXPECT_EQ(a1.cbObject, 5000);
    EXPECT_GE(a1.cbAllocated, 0);
    EXPECT_EQ(a1.fMode & RTFS_TYPE_MASK, RTFS_TYPE_FILE);
    EXPECT_EQ(a1.fMode & RTFS_PERM_MASK, 0666u);
    EXPECT_FALSE(a1.fMode & RTFS_DOS_DIRECTORY);
    EXPECT_EQ(a1.enmAttr, RTFATTR_UNIX);
    EXPECT_EQ(a1.u.Unix.uid, UINT32_MAX);
    EXPECT_EQ(a1.u.Unix.gid, UINT32_MAX);
    EXPECT_GE(a1.u.Unix.cHardLinks, 1u);
    for (int64_t t : { a1.ModificationTime, a1.BirthTime, a1.ChangeTime, a1.AccessTime })
    {
        EXPECT_LT(t, nsNow + INT64_C(60000000000));
        EXPECT_GT(t, nsNow - INT64_C(600000000000));
    }
    /* The identity: the same across openings, different between files, same volume. */
    EXPECT_NE(a1.u.Unix.idFile, 0u);
    EXPECT_EQ(a1.u.Unix.idFile, a2.u.Unix.idFile);
    EXPECT_EQ(a1.u.Unix.idVolume, a2.u.Unix.idVolume);
    EXPECT_NE(a1.u.Unix.idFile, b.u.Unix.idFile);
    EXPECT_EQ(a1.u.Unix.idVolume, b.u.Unix.idVolume);
    EXPECT_EQ(b.cbObject, 1);

    /* The other kinds carry their defaults. */
    FileGuard f;
    ASSERT_EQ(OpenEx(pathA, RTFOPEN_ATTR_READ, f), INF_SUCCESS);
    RTFILESTATS st;
    memset(&st, 0x5A, sizeof(st));
    ASSERT_EQ(RTFileQueryInfo(f.h, &st, RTFATTR_UNIX_OWNER), INF_SUCCESS);
    EXPECT_EQ(st.enmAttr, RTFATTR_UNIX_OWNER);
    EXPECT_EQ(st.u.UnixOwner.id, UINT32_MAX);
    EXPECT_STREQ(st.u.UnixOwner.szName, "");
    ASSERT_EQ(RTFileQueryInfo(f.h, &st, RTFATTR_EA_SIZE), INF_SUCCESS);
    EXPECT_EQ(st.u.EASize.cb, 0u);
    ASSERT_EQ(RTFileQueryInfo(f.h, &st, RTFATTR_NONE), INF_SUCCESS);
    EXPECT_EQ(st.enmAttr, RTFATTR_NONE);
    EXPECT_EQ(st.cbObject, 5000);

    EXPECT_EQ(RTFileQueryInfo(f.h, &st, 0), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTFileQueryInfo(f.h, &st, 6), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTFileQueryInfo(f.h, nullptr, RTFATTR_NONE), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTFileQueryInfo(NIL_RTFILE, &st, RTFATTR_NONE), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTFileQueryInfo(0x1230, &st, RTFATTR_NONE), ERR_BAD_HANDLE);
}

TEST(FileInfo, ConsoleHandleIsADevice)
{
    /* Give the test a console of its own so that the handle is a real console. */
    FreeConsole();
    if (!AllocConsole())
        GTEST_SKIP() << "no console can be made here";
    HANDLE hCon = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hCon, INVALID_HANDLE_VALUE);
    RTFILESTATS st;
    memset(&st, 0x5A, sizeof(st));
    EXPECT_EQ(RTFileQueryInfo(reinterpret_cast<RTFILE>(hCon), &st, RTFATTR_UNIX), INF_SUCCESS);
    EXPECT_EQ(st.fMode, 0x4081B6u);
    EXPECT_EQ(st.cbObject, 0);
    EXPECT_EQ(st.BirthTime, 0);
    EXPECT_EQ(st.enmAttr, RTFATTR_UNIX);
    EXPECT_EQ(st.u.Unix.uid, UINT32_MAX);
    EXPECT_TRUE(RTFileHandleUsable(reinterpret_cast<RTFILE>(hCon)));
    CloseHandle(hCon);
    FreeConsole();
}

TEST(FileInfo, HandleUsableAndAdopt)
{
    ScratchDir dir;
    FileGuard f;
    ASSERT_EQ(OpenEx(dir / "f", RTFOPEN_WRITE | RTFOPEN_CREATE, f), INF_SUCCESS);
    EXPECT_TRUE(RTFileHandleUsable(f.h));
    EXPECT_FALSE(RTFileHandleUsable(NIL_RTFILE));
    EXPECT_FALSE(RTFileHandleUsable(0x1230));

    RTFILE h = 77;
    EXPECT_EQ(RTFileAdoptNative(&h, -1), ERR_BAD_HANDLE);
    EXPECT_EQ(RTFileAdoptNative(&h, f.h), INF_SUCCESS);
    EXPECT_EQ(h, f.h);
}

TEST(FileRemove, FilesDirectoriesAndOpenFiles)
{
    ScratchDir dir;
    std::string const path = dir / "f";
    ASSERT_TRUE(WriteWholeFile(path, "x"));
    EXPECT_EQ(RTFileRemove(path.c_str()), INF_SUCCESS);
    EXPECT_FALSE(PathExists(path));
    EXPECT_EQ(RTFileRemove(path.c_str()), ERR_FILE_MISSING);
    EXPECT_EQ(RTFileRemove((dir / "no\\such").c_str()), ERR_PATH_MISSING);

    EXPECT_EQ(RTFileRemove(dir.path().c_str()), ERR_IS_DIRECTORY);
    EXPECT_TRUE(PathExists(dir.path()));

    /* A file open without delete sharing stays; one that shares delete goes. */
    ASSERT_TRUE(WriteWholeFile(path, "x"));
    {
        FileGuard f;
        ASSERT_EQ(OpenEx(path, RTFOPEN_READ | RTFOPEN_DENY_NONE, f), INF_SUCCESS);
        EXPECT_EQ(RTFileRemove(path.c_str()), ERR_SHARING_CONFLICT);
        EXPECT_TRUE(PathExists(path));
    }
    {
        FileGuard f;
        ASSERT_EQ(OpenEx(path, RTFOPEN_READ | RTFOPEN_SHARE_DELETE, f), INF_SUCCESS);
        EXPECT_EQ(RTFileRemove(path.c_str()), INF_SUCCESS);
    }
    EXPECT_FALSE(PathExists(path));

    EXPECT_EQ(RTFileRemove(nullptr), ERR_BAD_POINTER);
    EXPECT_EQ(RTFileRemove(reinterpret_cast<const char *>(0x20)), ERR_BAD_POINTER);
    EXPECT_EQ(RTFileRemove(""), ERR_PATH_EMPTY);
}

TEST(FilePaths, NonAsciiLongAndPrefixedNames)
{
    ScratchDir dir;
    /* Non-ASCII names round-trip through the file system. */
    std::string const unicode = dir / "\xC3\xA9t\xC3\xA9-\xE6\x97\xA5\xE6\x9C\xAC-\xF0\x9F\x98\x80.txt";
    {
        FileGuard f;
        ASSERT_EQ(OpenEx(unicode, RTFOPEN_WRITE | RTFOPEN_CREATE, f), INF_SUCCESS);
        ASSERT_EQ(RTFileWrite(f.h, "u", 1, nullptr), INF_SUCCESS);
    }
    EXPECT_EQ(ReadWholeFile(unicode), "u");
    EXPECT_EQ(GetFileAttributesW((Widen(dir.path()) + L"\\\u00e9t\u00e9-\u65e5\u672c-\U0001F600.txt").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(RTFileRemove(unicode.c_str()), INF_SUCCESS);

    /* Paths longer than 260 characters. */
    std::string deep = dir.path();
    for (int i = 0; i < 6; i++)
    {
        deep += "\\" + std::string(60, static_cast<char>('a' + i));
        ASSERT_TRUE(CreateDirectoryW(LongForm(deep).c_str(), nullptr));
    }
    std::string const longPath = deep + "\\file.bin";
    ASSERT_GT(longPath.size(), 300u);
    {
        FileGuard f;
        ASSERT_EQ(OpenEx(longPath, RTFOPEN_WRITE | RTFOPEN_CREATE, f), INF_SUCCESS);
        ASSERT_EQ(RTFileWrite(f.h, "long", 4, nullptr), INF_SUCCESS);
    }
    EXPECT_EQ(ReadWholeFile(longPath), "long");
    RTFILESTATS st;
    EXPECT_EQ(RTPathQueryStats(longPath.c_str(), &st, RTFATTR_NONE, RTPATHQ_FOLLOW_LINK), INF_SUCCESS);
    EXPECT_EQ(st.cbObject, 4);
    EXPECT_EQ(RTFileRemove(longPath.c_str()), INF_SUCCESS);
    EXPECT_FALSE(PathExists(longPath));

    /* The long-path and device prefixes. */
    std::string const path = dir / "p";
    ASSERT_TRUE(WriteWholeFile(path, "pp"));
    for (std::string const prefixed : { "\\\\?\\" + path, "\\\\.\\" + path })
    {
        FileGuard f;
        ASSERT_EQ(OpenEx(prefixed, RTFOPEN_READ, f), INF_SUCCESS) << prefixed;
        char buf[2];
        EXPECT_EQ(RTFileRead(f.h, buf, 2, nullptr), INF_SUCCESS);
    }
    EXPECT_EQ(RTFileRemove(("\\\\?\\" + path).c_str()), INF_SUCCESS);
}
