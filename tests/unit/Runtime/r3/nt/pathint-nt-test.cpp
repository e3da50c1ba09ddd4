/* UTF-8 paths as NT object names, and opening by path and by name through the native API. */
#include <gtest/gtest.h>
#include <string>
#include <windows.h>
#include <winternl.h>
#include "internal/pathint-win.h"
#include "rt/path.h"
#include "rt/mem.h"
#include "leak-check.h"
#include "process-runner.h"
#include "runtime-text.h"

namespace {

/** Converts and checks the record's shape; returns the name as UTF-8, or "" on failure. */
std::string NtName(const std::string &strPath, RTSTATUS *prc = nullptr)
{
    UNICODE_STRING Name;
    HANDLE hRoot = INVALID_HANDLE_VALUE;
    RTSTATUS const rc = RTPathToNtName(&Name, &hRoot, strPath.c_str());
    if (prc)
        *prc = rc;
    if (RT_FAILURE(rc))
    {
        EXPECT_EQ(Name.Buffer, nullptr);
        return "";
    }
    EXPECT_EQ(hRoot, nullptr);
    EXPECT_EQ(Name.MaximumLength, Name.Length + 2);
    EXPECT_EQ(Name.Buffer[Name.Length / 2], L'\0');
    std::string const str = Narrow(std::wstring(Name.Buffer, Name.Length / 2));
    RTPathNtNameFree(&Name, &hRoot);
    EXPECT_EQ(Name.Buffer, nullptr);
    return str;
}

TEST(PathNtName, Conversions)
{
    std::string const strCwd = CurrentDir();
    struct { std::string strPath, strName; } const aCases[] = {
        { "C:\\dir\\..\\file.txt",          "\\??\\C:\\file.txt" },
        { "c:/a//b/",                        "\\??\\C:\\a\\b\\" },
        { "\\\\server\\share\\x",            "\\??\\UNC\\server\\share\\x" },
        { "//server/share/../x",             "\\??\\UNC\\server\\share\\x" },
        /* "\\?\" is taken literally, "\\.\" is normalised. */
        { "\\\\?\\C:\\x\\..\\y",             "\\??\\C:\\x\\..\\y" },
        { "//?/C:/x",                        "\\??\\C:/x" },
        { "\\\\.\\C:\\a\\..\\b",             "\\??\\C:\\b" },
        { "//./pipe/x",                      "\\??\\pipe\\x" },
        /* A literal NT object name. */
        { "\\\\:zuntnt:\\Device\\..\\Null",  "\\Device\\..\\Null" },
        { "//:zuntnt:/BaseNamedObjects",     "/BaseNamedObjects" },
        /* Relative and rooted paths become absolute first. */
        { "x\\y",                            "\\??\\" + strCwd + "\\x\\y" },
        { "\\tmp",                           "\\??\\" + strCwd.substr(0, 2) + "\\tmp" },
        { "C:\\\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80", "\\??\\C:\\\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80" },
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(c.strPath);
        EXPECT_EQ(NtName(c.strPath), c.strName);
    }
}

TEST(PathNtName, PrefixOfOldSystems)
{
    /* Systems before NT 4.0 only know "\DosDevices\"; the choice follows the version the
     * process environment block records, which the test lowers for a moment. */
    ULONG *puMajor = reinterpret_cast<ULONG *>(reinterpret_cast<uint8_t *>(NtCurrentTeb()->ProcessEnvironmentBlock)
                                               + (sizeof(void *) == 4 ? 0xA4 : 0x118));
    ULONG const uSaved = *puMajor;
    ASSERT_GE(uSaved, 4u);
    *puMajor = 3;
    std::string const strDrive = NtName("C:\\a\\..\\x"), strUnc = NtName("\\\\srv\\share\\x"),
                      strLiteral = NtName("\\\\?\\C:\\y"), strDevice = NtName("\\\\.\\pipe\\p");
    *puMajor = uSaved;
    EXPECT_EQ(strDrive, "\\DosDevices\\C:\\x");
    EXPECT_EQ(strUnc, "\\DosDevices\\UNC\\srv\\share\\x");
    EXPECT_EQ(strLiteral, "\\DosDevices\\C:\\y");
    EXPECT_EQ(strDevice, "\\DosDevices\\pipe\\p");
}

TEST(PathNtName, LengthLimit)
{
    /* "\??\" plus the path may take 32,766 units; the path is made absolute through heap
     * buffers when it outgrows the first one. */
    std::string const strMax = "C:\\" + std::string(32766 - 4 - 3, 'a');
    RTSTATUS rc;
    EXPECT_EQ(NtName(strMax, &rc).size(), 32766u);
    EXPECT_EQ(rc, INF_SUCCESS);
    NtName(strMax + "a", &rc);
    EXPECT_EQ(rc, ERR_FILENAME_TOO_LONG);

    std::string const strLiteral = "\\\\?\\C:\\" + std::string(32766 - 7, 'b');
    EXPECT_EQ(NtName(strLiteral, &rc).size(), 32766u);
    NtName(strLiteral + "b", &rc);
    EXPECT_EQ(rc, ERR_FILENAME_TOO_LONG);

    /* Surrogate pairs count two units. */
    std::string strWide = "C:\\";
    while (strWide.size() < 3 + 4 * 16381)
        strWide += "\xF0\x9F\x98\x80";
    NtName(strWide, &rc);
    EXPECT_EQ(rc, ERR_FILENAME_TOO_LONG);
}

TEST(PathNtName, BadInput)
{
    UNICODE_STRING Name;
    HANDLE hRoot;
    EXPECT_EQ(RTPathToNtName(&Name, &hRoot, nullptr), ERR_BAD_POINTER);
    EXPECT_EQ(RTPathToNtName(nullptr, &hRoot, "x"), ERR_BAD_POINTER);
    EXPECT_EQ(RTPathToNtName(&Name, reinterpret_cast<HANDLE *>(4), "x"), ERR_BAD_POINTER);
    EXPECT_FALSE(LeavesHeapBlocks([&] {
        EXPECT_EQ(RTPathToNtName(&Name, &hRoot, ""), ERR_PATH_EMPTY);
        EXPECT_EQ(RTPathToNtName(&Name, &hRoot, "C:\\\xC0\x80"), ERR_UTF8_MALFORMED);
        EXPECT_EQ(RTPathToNtName(&Name, &hRoot, "\\\\?\\\xFF"), ERR_UTF8_MALFORMED);
        EXPECT_EQ(Name.Buffer, nullptr);
        EXPECT_EQ(RTPathToNtName(&Name, &hRoot, ("C:\\" + std::string(40000, 'x')).c_str()), ERR_FILENAME_TOO_LONG);

        g_pfnRTMemAllocHook = [](size_t) { return false; };
        EXPECT_LT(RTPathToNtName(&Name, &hRoot, "C:\\x"), 0);
        EXPECT_EQ(RTPathToNtName(&Name, &hRoot, ("C:\\" + std::string(5000, 'x')).c_str()), ERR_SCRATCH_ALLOC_FAILED);
        g_pfnRTMemAllocHook = nullptr;
    }));
}

constexpr ACCESS_MASK g_fReadAttr = FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr ULONG g_fShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ULONG g_fSyncIo = 0x20; /* FILE_SYNCHRONOUS_IO_NONALERT */
constexpr ULONG g_fDirFile = 0x1, g_fNonDirFile = 0x40;

TEST(PathNtOpen, FilesAndDirectories)
{
    wchar_t wszExe[MAX_PATH];
    DWORD const cwc = GetModuleFileNameW(nullptr, wszExe, MAX_PATH);
    std::string const strExe = Narrow(std::wstring(wszExe, cwc));

    HANDLE h = nullptr;
    bool fObjDir = true;
    ASSERT_EQ(RTNtOpenByPath(strExe.c_str(), g_fReadAttr, g_fShareAll, g_fSyncIo | g_fNonDirFile, 0, &h, &fObjDir), INF_SUCCESS);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(fObjDir);
    BY_HANDLE_FILE_INFORMATION Info;
    EXPECT_TRUE(GetFileInformationByHandle(h, &Info));
    EXPECT_EQ(RTNtCloseHandle(h), INF_SUCCESS);

    std::string const strDir = strExe.substr(0, strExe.rfind('\\'));
    for (const std::string &strPath : { strDir, strDir + "\\", std::string("\\\\?\\") + strDir, std::string("C:\\") })
    {
        SCOPED_TRACE(strPath);
        ASSERT_EQ(RTNtOpenByPath(strPath.c_str(), g_fReadAttr, g_fShareAll, g_fSyncIo | g_fDirFile, 0, &h, nullptr), INF_SUCCESS);
        EXPECT_EQ(RTNtCloseHandle(h), INF_SUCCESS);
    }

    /* A bare volume name opens as the volume's root directory. */
    UNICODE_STRING Name;
    RtlInitUnicodeString(&Name, L"\\??\\C:");
    ASSERT_EQ(RTNtOpenByName(nullptr, &Name, g_fReadAttr, g_fShareAll, g_fSyncIo | g_fDirFile, 0, &h, nullptr), INF_SUCCESS);
    EXPECT_EQ(RTNtCloseHandle(h), INF_SUCCESS);
}

TEST(PathNtOpen, FailuresLeaveNothingBehind)
{
    LeakCheck Leaks;
    HANDLE h = nullptr;
    EXPECT_LT(RTNtOpenByPath("C:\\nimb-missing-dir\\x", g_fReadAttr, g_fShareAll, g_fSyncIo, 0, &h, nullptr), 0);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    h = nullptr;
    EXPECT_EQ(RTNtOpenByPath("", g_fReadAttr, g_fShareAll, g_fSyncIo, 0, &h, nullptr), ERR_PATH_EMPTY);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(RTNtOpenByPath("x", g_fReadAttr, g_fShareAll, g_fSyncIo, 0, nullptr, nullptr), ERR_BAD_POINTER);
    EXPECT_EQ(RTNtOpenByName(nullptr, nullptr, g_fReadAttr, g_fShareAll, g_fSyncIo, 0, &h, nullptr), ERR_BAD_POINTER);
    /* The retry with a separator appended and the object-directory fallback fail too. */
    UNICODE_STRING Name;
    RtlInitUnicodeString(&Name, L"\\??\\C:\\nimb-missing");
    EXPECT_LT(RTNtOpenByName(nullptr, &Name, g_fReadAttr, g_fShareAll, g_fSyncIo, 0, &h, nullptr), 0);
    bool fObjDir = true;
    EXPECT_LT(RTNtOpenByPath("\\\\:zuntnt:\\nimb-missing", GENERIC_READ, g_fShareAll, 0, 0, &h, &fObjDir), 0);
    EXPECT_FALSE(fObjDir);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(Leaks.HandleLeft());
    EXPECT_LT(RTNtCloseHandle(reinterpret_cast<HANDLE>(0x7ff0)), 0);
}

TEST(PathNtOpen, ObjectDirectoryOnlyForLiteralNames)
{
    HANDLE h = nullptr;
    bool fObjDir = false;
    ASSERT_EQ(RTNtOpenByPath("\\\\:zuntnt:\\BaseNamedObjects\\", GENERIC_READ, g_fShareAll, 0, 0, &h, &fObjDir),
              INF_SUCCESS);
    EXPECT_TRUE(fObjDir);
    EXPECT_EQ(RTNtCloseHandle(h), INF_SUCCESS);

    /* Without the mark asked for there is no fallback. */
    EXPECT_LT(RTNtOpenByPath("\\\\:zuntnt:\\BaseNamedObjects", GENERIC_READ, g_fShareAll, 0, 0, &h, nullptr), 0);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
}

} /* namespace */
