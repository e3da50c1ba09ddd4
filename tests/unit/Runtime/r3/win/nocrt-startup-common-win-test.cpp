/* The start-up's raw standard-error writers, the executable path record and the fix-up of
 * section tails. */
#include <gtest/gtest.h>
#include "internal/startup.h"
#include "rt/string.h"
#include "read-to-end.h"
#include <windows.h>
#include <functional>
#include <string>

namespace {

/** Runs @p fn with standard error pointed at a pipe and returns what it wrote. */
std::string CaptureStdErr(const std::function<void()> &fn)
{
    HANDLE hRead, hWrite;
    EXPECT_TRUE(CreatePipe(&hRead, &hWrite, nullptr, 1 << 16));
    HANDLE const hOld = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_ERROR_HANDLE, hWrite);
    fn();
    SetStdHandle(STD_ERROR_HANDLE, hOld);
    CloseHandle(hWrite);
    std::string out;
    ReadToEnd(hRead, out);
    CloseHandle(hRead);
    return out;
}

TEST(StartupWriters, Formats)
{
    const struct { std::function<void()> fn; const char *pszExpected; } aCases[] = {
        { [] { rtStartupWrite("ab\0c", 4); }, "ab\0c" },
        { [] { rtStartupWriteStatus("rc=", 3, 0); }, "rc=0\r\n" },
        { [] { rtStartupWriteStatus("rc=", 3, -62); }, "rc=-62\r\n" },
        { [] { rtStartupWriteStatus("", 0, INT32_MIN); }, "-2147483648\r\n" },
        { [] { rtStartupWriteStatus("x ", 2, INT32_MAX); }, "x 2147483647\r\n" },
        { [] { rtStartupWriteDecHex(0); }, "0 (0x0)" },
        { [] { rtStartupWriteDecHex(3010); }, "3010 (0xbc2)" },
        { [] { rtStartupWriteDecHex(0xFFFFFFFF); }, "4294967295 (0xffffffff)" },
        { [] { rtStartupWriteHex(0); }, "0x0" },
        { [] { rtStartupWriteHex(0xABCDEF12); }, "0xabcdef12" },
        { [] { rtStartupWriteHex8(0); }, "00000000" },
        { [] { rtStartupWriteHex8(0xABC); }, "00000abc" },
        { [] { rtStartupWriteHex8(0xDEADBEEF); }, "deadbeef" },
        { [] { rtStartupWriteString("text"); }, "text" },
        { [] { rtStartupWriteString(""); }, "" },
        { [] { rtStartupWriteString(nullptr); }, "<pszString=00000000>" },
        { [] { rtStartupWriteString(reinterpret_cast<const char *>(0x10)); }, "<pszString=00000010>" },
        { [] { rtStartupWriteString(reinterpret_cast<const char *>(0xFFF)); }, "<pszString=00000fff>" },
        { [] { rtStartupWriteString(reinterpret_cast<const char *>(0xFFFFF000)); }, "<pszString=fffff000>" },
    };
    for (size_t i = 0; i < sizeof(aCases) / sizeof(aCases[0]); i++)
    {
        std::string const expected(aCases[i].pszExpected, i == 0 ? 4 : strlen(aCases[i].pszExpected));
        EXPECT_EQ(CaptureStdErr(aCases[i].fn), expected) << "case " << i;
    }
}

TEST(StartupExecPath, SplitsDirectoryAndName)
{
    const struct { const char *pszPath; uint32_t cchDir, offName; } aCases[] = {
        { "C:\\dir\\prog.exe", 6, 7 },
        { "C:\\prog.exe", 3, 3 },                 /* the root keeps its separator */
        { "C:/prog.exe", 3, 3 },
        { "C:prog.exe", 2, 2 },
        { "C:\\dir\\\\/prog.exe", 6, 9 },         /* trailing separators dropped */
        { "\\\\server\\share\\prog.exe", 14, 15 },
        { "/prog.exe", 1, 1 },
        { "prog.exe", 0, 0 },
        { "", 0, 0 },
        { "C:\\dir\\", 6, 7 },
    };
    for (const auto &c : aCases)
    {
        uint32_t cchDir = 99, offName = 99;
        rtStartupSplitExecPath(c.pszPath, static_cast<uint32_t>(strlen(c.pszPath)), &cchDir, &offName);
        EXPECT_EQ(cchDir, c.cchDir) << c.pszPath;
        EXPECT_EQ(offName, c.offName) << c.pszPath;
    }
}

void ExpectRecordEmpty()
{
    EXPECT_EQ(g_ProcExecPath.szPath[0], '\0');
    EXPECT_EQ(g_ProcExecPath.cchPath, 0u);
    EXPECT_EQ(g_ProcExecPath.cchDir, 0u);
    EXPECT_EQ(g_ProcExecPath.offName, 0u);
}

TEST(StartupExecPath, RecordsTheRunningProgram)
{
    std::string const err = CaptureStdErr(initProcExecPath);
    EXPECT_EQ(err, "");
    std::string const path(g_ProcExecPath.szPath);
    EXPECT_EQ(path.size(), g_ProcExecPath.cchPath);
    EXPECT_EQ(path.substr(g_ProcExecPath.offName), "unit-Runtime-r3-win.exe");
    EXPECT_EQ(g_ProcExecPath.cchDir + 1, g_ProcExecPath.offName);
    EXPECT_EQ(path.substr(0, 2), "Z:");
}

TEST(StartupExecPath, FailuresReportAndLeaveTheRecordEmpty)
{
    std::wstring const ok = L"C:\\\u00e9\\prog.exe";
    std::wstring const wide(1400, L'\u65e5'); /* 4200 bytes of UTF-8: too long for the record */
    const struct { std::wstring path; uint32_t cwc, uLastError; const char *pszErr; } aCases[] = {
        { L"", 0, ERROR_FILE_NOT_FOUND, "initProcExecPath: GetModuleFileNameW failed: 2 (0x2)\r\n" },
        /* A full buffer means the name was cut: refused rather than recorded truncated. */
        { std::wstring(RTPROCEXECPATH_MAX, L'a'), RTPROCEXECPATH_MAX, 0,
          "initProcExecPath: GetModuleFileNameW failed: 122 (0x7a)\r\n" },
        { L"C:\\a\xD800.exe", 8, 0, "initProcExecPath: RTUtf16ToUtf8Ex failed: -62\r\n" },
        { wide, static_cast<uint32_t>(wide.size()), 0, "initProcExecPath: RTUtf16ToUtf8Ex failed: -41\r\n" },
    };
    for (const auto &c : aCases)
    {
        /* Each failure also clears what an earlier success left. */
        rtStartupSetExecPath(ok.c_str(), static_cast<uint32_t>(ok.size()), 0);
        ASSERT_STREQ(g_ProcExecPath.szPath, "C:\\\xc3\xa9\\prog.exe");
        EXPECT_EQ(g_ProcExecPath.cchPath, 14u);
        EXPECT_EQ(g_ProcExecPath.cchDir, 5u);
        EXPECT_EQ(g_ProcExecPath.offName, 6u);

        EXPECT_EQ(CaptureStdErr([&] { rtStartupSetExecPath(c.path.c_str(), c.cwc, c.uLastError); }), c.pszErr);
        ExpectRecordEmpty();
    }
}

/*
 * Section tails: a small image laid out in memory by hand, one read-only section and one
 * writable section whose virtual size goes past their raw data.
 */
TEST(StartupSectionTails, ZeroedAndProtectionRestored)
{
    constexpr size_t cbPage = 0x1000;
    uint8_t *pbImage = static_cast<uint8_t *>(VirtualAlloc(nullptr, 3 * cbPage, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(pbImage, nullptr);
    memset(pbImage + cbPage, 0xAA, 2 * cbPage);

    auto *pDosHdr = reinterpret_cast<IMAGE_DOS_HEADER *>(pbImage);
    pDosHdr->e_magic = IMAGE_DOS_SIGNATURE;
    pDosHdr->e_lfanew = 0x80;
    auto *pNtHdrs = reinterpret_cast<IMAGE_NT_HEADERS32 *>(pbImage + 0x80);
    pNtHdrs->Signature = IMAGE_NT_SIGNATURE;
    pNtHdrs->FileHeader.NumberOfSections = 2;
    pNtHdrs->FileHeader.SizeOfOptionalHeader = sizeof(IMAGE_OPTIONAL_HEADER32);
    IMAGE_SECTION_HEADER *paSections = IMAGE_FIRST_SECTION(pNtHdrs);
    paSections[0].VirtualAddress = cbPage;
    paSections[0].SizeOfRawData = 0x100;
    paSections[0].Misc.VirtualSize = 0x300;
    paSections[0].Characteristics = IMAGE_SCN_MEM_READ | IMAGE_SCN_MEM_EXECUTE | IMAGE_SCN_CNT_CODE;
    paSections[1].VirtualAddress = 2 * cbPage;
    paSections[1].SizeOfRawData = 0x10;
    paSections[1].Misc.VirtualSize = 0x800;
    paSections[1].Characteristics = IMAGE_SCN_MEM_READ | IMAGE_SCN_MEM_WRITE;
    DWORD fOld;
    ASSERT_TRUE(VirtualProtect(pbImage + cbPage, cbPage, PAGE_EXECUTE_READ, &fOld));

    rtStartupZeroSectionTails(pbImage);

    auto const expectRange = [](const uint8_t *pb, size_t offStart, size_t offEnd, uint8_t bExpected) {
        for (size_t off = offStart; off < offEnd; off++)
            if (pb[off] != bExpected)
            {
                ADD_FAILURE() << "byte " << off << " is " << int(pb[off]) << ", not " << int(bExpected);
                return;
            }
    };
    expectRange(pbImage + cbPage, 0, 0x100, 0xAA);
    expectRange(pbImage + cbPage, 0x100, 0x300, 0);
    expectRange(pbImage + cbPage, 0x300, cbPage, 0xAA);
    expectRange(pbImage + 2 * cbPage, 0, 0x10, 0xAA);
    expectRange(pbImage + 2 * cbPage, 0x10, 0x800, 0);
    expectRange(pbImage + 2 * cbPage, 0x800, cbPage, 0xAA);

    MEMORY_BASIC_INFORMATION mbi;
    ASSERT_EQ(VirtualQuery(pbImage + cbPage, &mbi, sizeof(mbi)), sizeof(mbi));
    EXPECT_EQ(mbi.Protect, static_cast<DWORD>(PAGE_EXECUTE_READ));
    VirtualFree(pbImage, 0, MEM_RELEASE);
}

} /* namespace */
