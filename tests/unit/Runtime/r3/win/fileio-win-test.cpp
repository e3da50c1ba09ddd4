/* Reads and writes when the system refuses: requests too large for its memory go again in
 * chunks, and a full disk is worded by the file system's largest file. The platform calls
 * are replaced in this program's import table, so the real code paths run. */
#include <gtest/gtest.h>
#define WIN32_NO_STATUS
#include <windows.h>
#undef WIN32_NO_STATUS
#include <winternl.h>
#include <ntstatus.h>
#include <string>
#include <vector>
#include "rt/file.h"
#include "rt/status.h"
#include "scratch-dir.h"
#include "import-patch.h"

namespace {

/* What the replaced transfer calls do: refuse requests above a size for lack of memory,
   fail with a given error from a given total on, and record every request. */
struct FakeIo
{
    size_t              cbMaxRequest = SIZE_MAX;
    size_t              cbFailFrom = SIZE_MAX;
    DWORD               dwFailError = ERROR_DISK_FULL;
    size_t              cbDone = 0;
    std::vector<size_t> requests;
    BOOL (WINAPI *pfnRealWrite)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) = nullptr;
    BOOL (WINAPI *pfnRealRead)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) = nullptr;
};
FakeIo g_Fake;

bool FakeRefuses(DWORD cb)
{
    g_Fake.requests.push_back(cb);
    if (cb > g_Fake.cbMaxRequest)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return true;
    }
    if (g_Fake.cbDone + cb > g_Fake.cbFailFrom)
    {
        SetLastError(g_Fake.dwFailError);
        return true;
    }
    return false;
}

BOOL WINAPI FakeWriteFile(HANDLE h, LPCVOID pv, DWORD cb, LPDWORD pcb, LPOVERLAPPED pOv)
{
    if (FakeRefuses(cb))
        return FALSE;
    BOOL const fOk = g_Fake.pfnRealWrite(h, pv, cb, pcb, pOv);
    g_Fake.cbDone += *pcb;
    return fOk;
}

BOOL WINAPI FakeReadFile(HANDLE h, LPVOID pv, DWORD cb, LPDWORD pcb, LPOVERLAPPED pOv)
{
    if (FakeRefuses(cb))
        return FALSE;
    BOOL const fOk = g_Fake.pfnRealRead(h, pv, cb, pcb, pOv);
    g_Fake.cbDone += *pcb;
    return fOk;
}

/* The volume reports this file-system name. */
const wchar_t *g_pwszFakeFs = L"FAT";

NTSTATUS NTAPI FakeQueryVolume(HANDLE, PIO_STATUS_BLOCK, PVOID pv, ULONG cb, FS_INFORMATION_CLASS enmClass)
{
    if (enmClass != FileFsAttributeInformation)
        return STATUS_INVALID_INFO_CLASS;
    auto *pInfo = static_cast<FILE_FS_ATTRIBUTE_INFORMATION *>(pv);
    memset(pv, 0, cb);
    pInfo->FileSystemNameLength = ULONG(wcslen(g_pwszFakeFs) * sizeof(WCHAR));
    memcpy(pInfo->FileSystemName, g_pwszFakeFs, pInfo->FileSystemNameLength);
    return STATUS_SUCCESS;
}

class FileIoFault : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_Fake = FakeIo();
        g_Fake.pfnRealWrite = reinterpret_cast<decltype(g_Fake.pfnRealWrite)>(m_Write.Old());
        g_Fake.pfnRealRead = reinterpret_cast<decltype(g_Fake.pfnRealRead)>(m_Read.Old());
        ASSERT_TRUE(m_Write.Ok() && m_Read.Ok()) << "the transfer calls are not imported by this program";
        ASSERT_EQ(RTFileOpenNamed(&m_hFile, (m_Dir / "f").c_str(), RTFOPEN_READWRITE | RTFOPEN_CREATE), INF_SUCCESS);
        for (size_t i = 0; i < m_Data.size(); i++)
            m_Data[i] = uint8_t(i * 13 + (i >> 9));
    }
    void TearDown() override
    {
        RTFileClose(m_hFile);
    }

    ScratchDir           m_Dir;
    ImportPatch          m_Write{"kernel32.dll", "WriteFile", reinterpret_cast<void *>(FakeWriteFile)};
    ImportPatch          m_Read{"kernel32.dll", "ReadFile", reinterpret_cast<void *>(FakeReadFile)};
    RTFILE               m_hFile = NIL_RTFILE;
    std::vector<uint8_t> m_Data = std::vector<uint8_t>(100000);
};

} /* namespace */

TEST_F(FileIoFault, LargeRequestsGoAgainInChunks)
{
    /* Nothing above 5000 bytes gets through: chunks start at half the size rounded up to
       256 and capped at 32 KiB, and halve until they fit. */
    g_Fake.cbMaxRequest = 5000;
    ASSERT_EQ(RTFileWrite(m_hFile, m_Data.data(), m_Data.size(), nullptr), INF_SUCCESS);
    std::vector<size_t> const expectWrites = { 100000, 32768, 16384, 8192, 4096 };
    ASSERT_GE(g_Fake.requests.size(), expectWrites.size());
    EXPECT_TRUE(std::equal(expectWrites.begin(), expectWrites.end(), g_Fake.requests.begin()));
    EXPECT_EQ(g_Fake.cbDone, m_Data.size());

    /* Reads cap their chunks at 16 KiB; with a count output the first chunk ends the call. */
    g_Fake.requests.clear();
    ASSERT_EQ(RTFileSetPos(m_hFile, 0, RTFSEEK_BEGIN, nullptr), INF_SUCCESS);
    std::vector<uint8_t> back(m_Data.size());
    size_t cbRead = 0;
    ASSERT_EQ(RTFileRead(m_hFile, back.data(), back.size(), &cbRead), INF_SUCCESS);
    EXPECT_EQ(cbRead, 4096u);
    EXPECT_EQ(g_Fake.requests, (std::vector<size_t>{ 100000, 16384, 8192, 4096 }));
    ASSERT_EQ(RTFileRead(m_hFile, back.data() + cbRead, back.size() - cbRead, nullptr), INF_SUCCESS);
    EXPECT_EQ(back, m_Data);

    /* Small requests: half of 301 rounds up to 256; the chunk never goes below 8 bytes. */
    g_Fake.requests.clear();
    g_Fake.cbMaxRequest = 100;
    EXPECT_EQ(RTFileWrite(m_hFile, m_Data.data(), 301, nullptr), INF_SUCCESS);
    EXPECT_EQ(g_Fake.requests, (std::vector<size_t>{ 301, 256, 128, 64, 64, 64, 64, 45 }));
    g_Fake.requests.clear();
    g_Fake.cbMaxRequest = 2;
    EXPECT_EQ(RTFileWrite(m_hFile, m_Data.data(), 3, nullptr), ERR_OUT_OF_MEMORY);
    EXPECT_EQ(g_Fake.requests, (std::vector<size_t>(7, 3))) << "the chunk halves from 256 to 8, then the call gives up";
}

TEST_F(FileIoFault, DiskFullIsWordedByTheLargestFile)
{
    /* Below 2 GiB a full disk is a full disk, whatever the file system. */
    g_Fake.cbFailFrom = 1000;
    ImportPatch fs("ntdll.dll", "NtQueryVolumeInformationFile", reinterpret_cast<void *>(FakeQueryVolume));
    ASSERT_TRUE(fs.Ok());
    EXPECT_EQ(RTFileWrite(m_hFile, m_Data.data(), 5000, nullptr), ERR_NO_SPACE_LEFT);

    /* At 4 GiB on FAT the file is too big; on NTFS the disk is still full. */
    ASSERT_EQ(RTFileSetPos(m_hFile, (INT64_C(4) << 30) - 100, RTFSEEK_BEGIN, nullptr), INF_SUCCESS);
    g_Fake.cbDone = 0;
    g_pwszFakeFs = L"FAT";
    EXPECT_EQ(RTFileWrite(m_hFile, m_Data.data(), 5000, nullptr), ERR_FILE_TOO_BIG);
    g_pwszFakeFs = L"FAT32";
    EXPECT_EQ(RTFileWrite(m_hFile, m_Data.data(), 5000, nullptr), ERR_FILE_TOO_BIG);
    g_pwszFakeFs = L"NTFS";
    EXPECT_EQ(RTFileWrite(m_hFile, m_Data.data(), 5000, nullptr), ERR_NO_SPACE_LEFT);
    /* Between 2 and 4 GiB only HPFS is full. */
    ASSERT_EQ(RTFileSetPos(m_hFile, INT64_C(3) << 30, RTFSEEK_BEGIN, nullptr), INF_SUCCESS);
    g_pwszFakeFs = L"FAT";
    EXPECT_EQ(RTFileWrite(m_hFile, m_Data.data(), 5000, nullptr), ERR_NO_SPACE_LEFT);
    g_pwszFakeFs = L"HPFS";
    EXPECT_EQ(RTFileWrite(m_hFile, m_Data.data(), 5000, nullptr), ERR_FILE_TOO_BIG);

    /* The kind table compares names exactly. */
    uint32_t enmKind = 99;
    for (auto const &k : { std::pair<const wchar_t *, uint32_t>{ L"exFAT", RTFSKIND_EXFAT }, { L"UDF", RTFSKIND_UDF },
                           { L"CDFS", RTFSKIND_ISO9660 }, { L"ReFS", RTFSKIND_REFS },
                           { L"NimbSharedFolderFS", RTFSKIND_NIMBSF }, { L"ntfs", RTFSKIND_UNKNOWN },
                           { L"FAT3", RTFSKIND_UNKNOWN }, { L"", RTFSKIND_UNKNOWN } })
    {
        g_pwszFakeFs = k.first;
        EXPECT_EQ(RTFileFsKind(m_hFile, &enmKind), INF_SUCCESS);
        EXPECT_EQ(enmKind, k.second);
    }
}

TEST_F(FileIoFault, PartialTransfersWithAndWithoutCount)
{
    /* A write that runs out of space part-way: with a count the first transfer's bytes are
       reported; without, the failure is. */
    g_Fake.cbFailFrom = 70000;
    g_Fake.cbMaxRequest = 60000;
    size_t cb = 0;
    EXPECT_EQ(RTFileWrite(m_hFile, m_Data.data(), m_Data.size(), &cb), INF_SUCCESS);
    EXPECT_EQ(cb, 32768u);
    EXPECT_EQ(RTFileWrite(m_hFile, m_Data.data(), m_Data.size(), nullptr), ERR_NO_SPACE_LEFT);
    EXPECT_EQ(RTFileGetPos(m_hFile), 65536u) << "the position is where the transfers left it";
}
