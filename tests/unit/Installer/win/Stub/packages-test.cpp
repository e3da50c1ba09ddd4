/* Extraction of the packages: which are written and under which names, the checks of the
 * payload, the byte-for-byte verification and the hold on every verified file, run
 * in-process against payloads in a stub copy loaded as a resource module. */
#include <gtest/gtest.h>
#include <functional>
#include <regex>
#include "stub-test-support.h"
#include "stream-capture.h"
#include "scratch-dir.h"
#include "process-runner.h"
#include "access-list.h"
#include "payload-writer.h"
#include "NimbStubPackages.h"
#include "NimbStubDirAccess.h"
#include "rt/mem.h"
#include "import-patch.h"
#include <winternl.h>
#include <cstring>
#include <algorithm>

namespace {

/** Bytes that differ from block to block, so that a shifted block shows. */
std::string Blob(size_t cb, unsigned uSeed)
{
    std::string str(cb, '\0');
    uint32_t u = uSeed * 2654435761u + 1;
    for (auto &ch : str)
        ch = static_cast<char>((u = u * 1103515245u + 12345u) >> 16);
    return str;
}

/** The host that the replaced kernel32 lookup describes. */
enum class Host { Bits64, Bits32, NoWow64Function, Wow64CallFails };
Host g_enmHost = Host::Bits64;

BOOL WINAPI FakeIsWow64Process(HANDLE, PBOOL pfWow64)
{
    *pfWow64 = g_enmHost == Host::Bits64;
    return g_enmHost != Host::Wow64CallFails;
}

FARPROC WINAPI FakeGetProcAddress(HMODULE hMod, LPCSTR pszName)
{
    if (std::string(pszName) != "IsWow64Process")
        return GetProcAddress(hMod, pszName);
    if (g_enmHost == Host::NoWow64Function)
        return nullptr;
    return reinterpret_cast<FARPROC>(reinterpret_cast<void *>(FakeIsWow64Process));
}

/** A payload in a stub copy, read through g_PayloadCalls, and a clean list around each
 *  test; the current directory, which extraction changes, is restored. */
class Extract : public ::testing::Test
{
protected:
    void Load(const std::vector<TestResource> &resources)
    {
        std::string const strExe = m_Scratch / "payload.exe";
        ASSERT_TRUE(WriteTestInstaller(strExe, resources));
        m_hPayload = LoadLibraryExW(Widen(strExe).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(m_hPayload, nullptr);
        g_PayloadCalls.hModule = m_hPayload;
    }
    void Load(const std::vector<TestPackage> &packages) { Load(PayloadResources(packages)); }

    void SetUp() override
    {
        GetCurrentDirectoryW(MAX_PATH, m_wszCwd);
        InitCleanupList();
        g_pfnCleanupSleep = NoSleep;
        g_enmHost = Host::Bits64;
        g_PayloadCalls.pfnGetProcAddress = FakeGetProcAddress;
    }
    void TearDown() override
    {
        SetCurrentDirectoryW(m_wszCwd);
        RunCleanup(nullptr);
        FreeCleanupList();
        g_pfnCleanupSleep = Sleep;
        g_PayloadCalls = { nullptr, GetProcAddress, RTFileRead, RTFileQueryInfo };
        if (m_hPayload)
            FreeLibrary(m_hPayload);
    }

    /** Extracts the loaded payload into @p strDir (created there when missing). */
    int Run(const std::string &strDir, bool fOnlyExtract, uint32_t cPackages)
    {
        CleanupRecord *pDirRecord = nullptr;
        return ExtractPackages(cPackages, strDir.c_str(), fOnlyExtract, &pDirRecord);
    }

    /** The names in @p strDir, sorted. */
    std::vector<std::string> Names(const std::string &strDir)
    {
        std::vector<std::string> aNames;
        WIN32_FIND_DATAW Data;
        HANDLE const hFind = FindFirstFileW(Widen(strDir + "\\*").c_str(), &Data);
        if (hFind != INVALID_HANDLE_VALUE)
        {
            do
                if (Data.cFileName[0] != L'.' || (Data.cFileName[1] && Data.cFileName[1] != L'.'))
                    aNames.push_back(Narrow(Data.cFileName));
            while (FindNextFileW(hFind, &Data));
            FindClose(hFind);
        }
        std::sort(aNames.begin(), aNames.end());
        return aNames;
    }

    BoxRecorder m_Boxes;
    ScratchDir  m_Scratch;
    HMODULE     m_hPayload = nullptr;
    WCHAR       m_wszCwd[MAX_PATH];
};

const std::vector<TestPackage> &FourArchitectures()
{
    static const std::vector<TestPackage> s_aPackages =
    {
        { PACKAGE_ARCH_ANY,   "any.cab",   Blob(65536, 1) },   /* one whole block */
        { PACKAGE_ARCH_X86,   "x86.msi",   Blob(65537, 2) },   /* a block and one byte */
        { PACKAGE_ARCH_AMD64, "amd64.msi", Blob(131072, 3) },  /* an exact multiple */
        { 7,                  "other.msi", Blob(1, 4) },
    };
    return s_aPackages;
}

TEST_F(Extract, ExtractOnlyWritesEveryPackageUnderItsStoredName)
{
    Load(FourArchitectures());
    std::string const strDir = m_Scratch / "out";
    ASSERT_TRUE(CreateDirectoryW(Widen(strDir).c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(strDir + "\\any.cab", "an older file"));
    for (Host enmHost : { Host::Bits64, Host::Bits32 })
    {
        g_enmHost = enmHost;
        ASSERT_EQ(Run(strDir, true, 4), 0);
        EXPECT_EQ(Names(strDir), (std::vector<std::string>{ "amd64.msi", "any.cab", "other.msi", "x86.msi" }));
        for (const auto &P : FourArchitectures())
            EXPECT_EQ(ReadWholeFile(strDir + "\\" + P.fileName), P.blob) << P.fileName;
        RunCleanup(nullptr);
    }
    EXPECT_TRUE(PathExists(strDir));   /* the user's directory stays */
    EXPECT_TRUE(m_Boxes.Calls().empty());
}

TEST_F(Extract, InstallWritesWhatSuitsTheHostArchitectureSpecificUnderUniqueNames)
{
    Load(FourArchitectures());
    struct { Host enmHost; const char *pszUnique; } const s_aCases[] =
    {
        { Host::Bits64, "amd64.msi" }, { Host::Bits32, "x86.msi" },
        { Host::NoWow64Function, "x86.msi" },   /* no such function: a 32-bit system */
        { Host::Wow64CallFails, "x86.msi" },
    };
    std::regex const reUnique("[0-9a-z]{24}\\.msi");
    for (const auto &C : s_aCases)
    {
        g_enmHost = C.enmHost;
        std::string const strDir = m_Scratch / "install";
        ASSERT_EQ(Run(strDir, false, 4), 0);
        std::vector<std::string> aNames = Names(strDir);
        ASSERT_EQ(aNames.size(), 2u);
        if (aNames[0] == "any.cab")
            std::swap(aNames[0], aNames[1]);
        EXPECT_EQ(aNames[1], "any.cab");
        EXPECT_TRUE(std::regex_match(aNames[0], reUnique)) << aNames[0];
        const TestPackage &Expected = FourArchitectures()[C.enmHost == Host::Bits64 ? 2 : 1];
        EXPECT_EQ(ReadWholeFile(strDir + "\\" + aNames[0]), Expected.blob) << C.pszUnique;
        CleanupRecord *pRecord = FindPackageCleanupRecord(C.enmHost == Host::Bits64 ? 2 : 1);
        ASSERT_NE(pRecord, nullptr);
        EXPECT_EQ(std::string(pRecord->path), strDir + "\\" + aNames[0]);
        pRecord = FindPackageCleanupRecord(0);
        ASSERT_NE(pRecord, nullptr);
        EXPECT_EQ(std::string(pRecord->path), strDir + "\\any.cab") << "the record follows the move";

        /* Both held until clean-up: others may read, as Windows Installer does (sharing
         * only reads), but neither write nor delete nor rename. */
        for (const std::string &strName : aNames)
        {
            std::wstring const wstrFile = Widen(strDir + "\\" + strName);
            HANDLE h = CreateFileW(wstrFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            EXPECT_NE(h, INVALID_HANDLE_VALUE) << strName;
            CloseHandle(h);
            for (DWORD fAccess : { static_cast<DWORD>(GENERIC_WRITE), static_cast<DWORD>(DELETE) })
            {
                h = CreateFileW(wstrFile.c_str(), fAccess, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
                EXPECT_EQ(h, INVALID_HANDLE_VALUE) << strName << " " << std::hex << fAccess;
                CloseHandle(h);
            }
        }

        /* A directory extraction made is its own to remove. */
        SetCurrentDirectoryW(m_wszCwd);
        RunCleanup(nullptr);
        EXPECT_FALSE(PathExists(strDir));
    }
    EXPECT_TRUE(m_Boxes.Calls().empty());
}

TEST_F(Extract, NoPackagesStillOpensTheDirectory)
{
    Load(std::vector<TestPackage>{});
    std::string const strDir = m_Scratch / "empty";
    ASSERT_EQ(Run(strDir, false, 0), 0);
    CleanupRecord *pDir = reinterpret_cast<CleanupRecord *>(g_InstallerState.cleanupList.next);
    EXPECT_FALSE(pDir->isFile);
    EXPECT_TRUE(RTDirHandleValid(pDir->handle.hDir));
    EXPECT_TRUE(Names(strDir).empty());
}

/* Verification seams: the query and the read of the second reader are replaced so that
 * the file seems to have changed after it was written. */
int g_cQueries;
enum class Change { None, Size, Identity, Block, WholeBlock, WholeBlockEnd } g_enmChange;

RTSTATUS ChangingQuery(RTFILE hFile, RTFILESTATS *pStats, uint32_t enmAttr)
{
    RTSTATUS const rc = RTFileQueryInfo(hFile, pStats, enmAttr);
    if (++g_cQueries == 2)
    {
        if (g_enmChange == Change::Size)
            pStats->cbObject++;
        else if (g_enmChange == Change::Identity)
            pStats->u.Unix.idFile ^= 0x100000000ull;
    }
    return rc;
}

int g_cReads;
RTSTATUS ChangingRead(RTFILE hFile, void *pvBuf, size_t cb, size_t *pcbRead)
{
    RTSTATUS const rc = RTFileRead(hFile, pvBuf, cb, pcbRead);
    ++g_cReads;
    if (g_cReads == 2 && g_enmChange == Change::Block)
        static_cast<uint8_t *>(pvBuf)[cb - 1] ^= 1;
    else if (g_cReads == 1 && g_enmChange == Change::WholeBlock)
        static_cast<uint8_t *>(pvBuf)[12345] ^= 0x80;   /* inside a word, inside a full block */
    else if (g_cReads == 1 && g_enmChange == Change::WholeBlockEnd)
        static_cast<uint8_t *>(pvBuf)[cb - 1] ^= 0x01;  /* the last word of a full block */
    return rc;
}

TEST_F(Extract, VerificationCatchesEveryKindOfChange)
{
    Load(std::vector<TestPackage>{ { PACKAGE_ARCH_ANY, "p.msi", Blob(65537, 6) } });
    g_PayloadCalls.pfnFileQueryInfo = ChangingQuery;
    g_PayloadCalls.pfnFileRead = ChangingRead;
    struct { Change enmChange; std::string strDetail; } const s_aCases[] =
    {
        { Change::Size,     "error: #0: File size of '%s' changed: 65 538, expected 65 537\r\n" },
        { Change::Identity, "error: #0: File ID of '%s' changed: " },
        { Change::Block,    "error: #0: File '%s' has change (mismatch in 0x1 byte block at 0x10000)\r\n" },
        { Change::WholeBlock, "error: #0: File '%s' has change (mismatch in 0x10000 byte block at 0x0)\r\n" },
        { Change::WholeBlockEnd, "error: #0: File '%s' has change (mismatch in 0x10000 byte block at 0x0)\r\n" },
    };
    for (const auto &C : s_aCases)
    {
        g_enmChange = C.enmChange;
        g_cQueries = g_cReads = 0;
        std::string const strDir = m_Scratch / "v";
        StreamCapture Err(&g_pStreamStdErr);
        m_Boxes.Calls().clear();
        EXPECT_EQ(Run(strDir, false, 1), 1);
        /* Verified under its unique name, before it moves to the stored one. */
        std::string strDetail = C.strDetail;
        strDetail.replace(strDetail.find("%s"), 2, strDir + "\\" + std::string(24, '?') + ".msi");
        std::string strText = Err.Text().substr(0, strDetail.size());
        if (strText.size() == strDetail.size())
            strText.replace(strDetail.find('?'), 24, 24, '?');
        EXPECT_EQ(strText, strDetail) << Err.Text();
        ASSERT_EQ(m_Boxes.Calls().size(), 1u);
        EXPECT_EQ(m_Boxes.Calls()[0].strText, "Error extracting package #0 (p.msi): ERR_CONTENT_MISMATCH");
        EXPECT_TRUE(Names(strDir).empty()) << "the file that failed is gone at once";
        SetCurrentDirectoryW(m_wszCwd);
        RunCleanup(nullptr);
        EXPECT_FALSE(PathExists(strDir));
    }
}

TEST_F(Extract, MalformedPayloadIsRefusedBeforeAnythingIsWritten)
{
    auto const Header = [](uint32_t uArch, const std::string &strResource, const std::string &strFile, size_t cb)
    {
        PackageHeader H = {};
        H.architecture = uArch;
        std::memcpy(H.resourceName, strResource.data(), std::min(strResource.size(), sizeof(H.resourceName)));
        std::memcpy(H.fileName, strFile.data(), std::min(strFile.size(), sizeof(H.fileName)));
        return std::string(reinterpret_cast<const char *>(&H), cb);
    };
    struct { std::string strHeader; const char *pszFault; } const s_aCases[] =
    {
        { Header(1, "BIN_01", "short.msi", 255),                 "header too short" },
        { Header(1, std::string(28, 'R'), "a.msi", 256),         "resource name not terminated" },
        { Header(1, "BIN_01", std::string(224, 'f'), 256),       "file name not terminated" },
        { Header(1, "BIN_01", "..\\escape.msi", 256),            "file name not a plain file name" },
        { Header(1, "BIN_01", "sub/x.msi", 256),                 "file name not a plain file name" },
        { Header(1, "BIN_01", "C:x.msi", 256),                   "file name not a plain file name" },
        { Header(1, "BIN_01", "..", 256),                        "file name not a plain file name" },
        { Header(1, "BIN_01", "CON", 256),                       "file name not a plain file name" },
        { Header(1, "BIN_01", "lpt1.msi", 256),                  "file name not a plain file name" },
        { Header(1, "BIN_01", "", 256),                          "file name not a plain file name" },
        { Header(1, "BIN_01", "trailing.", 256),                 "file name not a plain file name" },
    };
    for (const auto &C : s_aCases)
    {
        std::vector<TestResource> aResources = PayloadResources({ { PACKAGE_ARCH_ANY, "good.msi", "good" } });
        aResources.push_back({ "HDR_01", C.strHeader });
        aResources.push_back({ "BIN_01", "bad" });
        aResources[0].second[15] = 2;
        Load(aResources);
        m_Boxes.Calls().clear();
        std::string const strDir = m_Scratch / "m";
        ASSERT_TRUE(CreateDirectoryW(Widen(strDir).c_str(), nullptr));
        EXPECT_EQ(Run(strDir, true, 2), 1);
        ASSERT_EQ(m_Boxes.Calls().size(), 1u);
        EXPECT_EQ(m_Boxes.Calls()[0].strText, std::string("Internal package error: Package header #1 is malformed (") + C.pszFault + ")");
        EXPECT_TRUE(Names(strDir).empty());
        EXPECT_FALSE(PathExists(m_Scratch / "escape.msi"));
        RemoveDirectoryW(Widen(strDir).c_str());
        FreeLibrary(m_hPayload);
        m_hPayload = nullptr;
    }
}

TEST_F(Extract, ResourceLookupStatuses)
{
    Load(std::vector<TestResource>{ { "ONE", "1" } });
    const void *pv = nullptr;
    uint32_t cb = 0;
    EXPECT_EQ(LoadEmbeddedResource(nullptr, &pv, &cb), ERR_BAD_ARGUMENT);
    EXPECT_EQ(LoadEmbeddedResource("MISSING", &pv, &cb), ERR_DEVICE_FAILURE);
    ASSERT_EQ(LoadEmbeddedResource("one", &pv, nullptr), INF_SUCCESS);
    EXPECT_EQ(*static_cast<const char *>(pv), '1');
    EXPECT_EQ(LoadPackageHeader(3), nullptr);
    ASSERT_EQ(m_Boxes.Calls().size(), 1u);
    EXPECT_EQ(m_Boxes.Calls()[0].strText, "Internal error: Could not find package header #3: ERR_DEVICE_FAILURE");
}

TEST_F(Extract, RecordThatCannotBeAllocatedLeavesNoFile)
{
    Load(std::vector<TestPackage>{ { PACKAGE_ARCH_ANY, "p.msi", "data" } });
    std::string const strFile = m_Scratch / "p.msi";
    RTFILE hFile = NIL_RTFILE;
    ASSERT_EQ(RTFileOpenNamed(&hFile, strFile.c_str(), EXTRACT_OPEN_UNIQUE), INF_SUCCESS);
    /* Only the record's block fails: path and record share one allocation. */
    static size_t s_cbRecord;
    s_cbRecord = offsetof(CleanupRecord, path) + strFile.size() + 1;
    g_pfnRTMemAllocHook = [](size_t cb) { return cb != s_cbRecord; };
    RTSTATUS const rc = WritePackageFile("BIN_00", strFile.c_str(), hFile, 0, false, nullptr);
    g_pfnRTMemAllocHook = nullptr;
    EXPECT_EQ(rc, ERR_OUT_OF_MEMORY);
    EXPECT_FALSE(PathExists(strFile));
    EXPECT_EQ(g_InstallerState.cleanupList.next, &g_InstallerState.cleanupList);
}

/* A close of the writer that fails: the handle is used up all the same, so that nothing may
 * close its value again, which by then may name another object. */
std::wstring g_wstrFailClosePath;
HANDLE g_hFailedClose;
std::vector<HANDLE> g_ahClosedAfterFailure;
typedef BOOL (WINAPI *PFNCLOSEHANDLE)(HANDLE);
PFNCLOSEHANDLE g_pfnRealCloseHandle;

BOOL WINAPI FailingFirstClose(HANDLE h)
{
    if (g_hFailedClose)
    {
        g_ahClosedAfterFailure.push_back(h);
        return g_pfnRealCloseHandle(h);
    }
    WCHAR wszPath[MAX_PATH];
    DWORD const cwc = GetFinalPathNameByHandleW(h, wszPath, MAX_PATH, FILE_NAME_NORMALIZED);
    if (cwc && cwc < MAX_PATH && std::wstring(wszPath).find(g_wstrFailClosePath) != std::wstring::npos)
    {
        g_hFailedClose = h;
        g_pfnRealCloseHandle(h);
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return g_pfnRealCloseHandle(h);
}

TEST_F(Extract, WriterCloseThatFailsIsNotClosedAgain)
{
    Load(std::vector<TestPackage>{ { PACKAGE_ARCH_ANY, "close-fails.msi", "data" } });
    g_wstrFailClosePath = L"\\c\\";   /* the first handle closed inside the directory: the writer */
    g_hFailedClose = nullptr;
    g_ahClosedAfterFailure.clear();
    std::string const strDir = m_Scratch / "c";
    StreamCapture Err(&g_pStreamStdErr);
    {
        ImportPatch Patch("kernel32.dll", "CloseHandle", reinterpret_cast<void *>(FailingFirstClose));
        ASSERT_TRUE(Patch.Ok());
        g_pfnRealCloseHandle = reinterpret_cast<PFNCLOSEHANDLE>(Patch.Old());
        EXPECT_EQ(Run(strDir, false, 1), 1);
        ASSERT_NE(g_hFailedClose, nullptr) << "the writer was never closed";
        EXPECT_EQ(Err.Text().rfind("error: #0: RTFileClose('" + strDir + "\\", 0), 0u) << Err.Text();
        EXPECT_NE(Err.Text().find(".msi') failed: "), std::string::npos) << Err.Text();
        SetCurrentDirectoryW(m_wszCwd);
        RunCleanup(nullptr);
    }
    EXPECT_EQ(std::count(g_ahClosedAfterFailure.begin(), g_ahClosedAfterFailure.end(), g_hFailedClose), 0);
    EXPECT_FALSE(PathExists(strDir));
}

TEST_F(Extract, StoredNameThatCannotBeReplacedIsReportedAndLeftAlone)
{
    /* What holds the stored name stays as it is, nothing is written through it, and the
     * package written for it is removed: a directory there, and a file another opener
     * holds without sharing (a sharing conflict). */
    Load(std::vector<TestPackage>{ { PACKAGE_ARCH_ANY, "p.msi", "payload" } });
    struct { bool fDirectory; const char *pszDetail; const char *pszStatus; } const s_aCases[] =
    {
        { true,  "' for writing: ERR_ACCESS_REFUSED (-38) - Access denied\r\n", "ERR_ACCESS_REFUSED" },
        { false, "' for writing: ERR_SHARING_CONFLICT (-114) - The file is in use by another process\r\n",
          "ERR_SHARING_CONFLICT" },
    };
    for (const auto &C : s_aCases)
    {
        std::string const strDir = m_Scratch / (C.fDirectory ? "dir" : "held");
        std::string const strStored = strDir + "\\p.msi";
        ASSERT_TRUE(CreateDirectoryW(Widen(strDir).c_str(), nullptr));
        HANDLE hHeld = INVALID_HANDLE_VALUE;
        if (C.fDirectory)
        {
            ASSERT_TRUE(CreateDirectoryW(Widen(strStored).c_str(), nullptr));
            ASSERT_TRUE(WriteWholeFile(strStored + "\\inside", "target"));
        }
        else
        {
            ASSERT_TRUE(WriteWholeFile(strStored, "theirs"));
            hHeld = CreateFileW(Widen(strStored).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(hHeld, INVALID_HANDLE_VALUE);
        }
        StreamCapture Err(&g_pStreamStdErr);
        m_Boxes.Calls().clear();
        EXPECT_EQ(Run(strDir, true, 1), 1);
        EXPECT_EQ(Err.Text(), "error: #0: Failed to create/replace '" + strStored + C.pszDetail);
        ASSERT_EQ(m_Boxes.Calls().size(), 1u);
        EXPECT_EQ(m_Boxes.Calls()[0].strText, std::string("Error extracting package #0 (p.msi): ") + C.pszStatus);
        CloseHandle(hHeld);
        EXPECT_EQ(Names(strDir), std::vector<std::string>{ "p.msi" });
        EXPECT_EQ(ReadWholeFile(C.fDirectory ? strStored + "\\inside" : strStored), C.fDirectory ? "target" : "theirs");
        SetCurrentDirectoryW(m_wszCwd);
        RunCleanup(nullptr);
    }
}

TEST_F(Extract, PackageThatFailsIsRemovedAndThoseBeforeItStay)
{
    /* The second package's blob is missing: extraction stops there, with nothing of it
     * left, not even under its unique name; the first stays, as extract-only runs leave
     * what they wrote. */
    std::vector<TestResource> aResources = PayloadResources({ { PACKAGE_ARCH_ANY, "first.cab", "first" },
                                                              { PACKAGE_ARCH_ANY, "second.cab", "second" } });
    aResources.erase(std::remove_if(aResources.begin(), aResources.end(),
                                    [](const TestResource &R) { return R.first == "BIN_01"; }), aResources.end());
    Load(aResources);
    std::string const strDir = m_Scratch / "partial";
    StreamCapture Err(&g_pStreamStdErr);
    EXPECT_EQ(Run(strDir, true, 2), 1);
    EXPECT_EQ(Err.Text(), "error: #1: Failed to locate resource 'BIN_01': ERR_DEVICE_FAILURE\r\n");
    EXPECT_EQ(Names(strDir), std::vector<std::string>{ "first.cab" });
    EXPECT_EQ(ReadWholeFile(strDir + "\\first.cab"), "first");
}

/* The access list the installer sets on a directory it creates, as the platform receives
 * it: Wine keeps only the permission bits it derives from a list, and reads back a list
 * made from those bits, so the list cannot be read back from the file system here. */
struct SetSecurityCall
{
    std::wstring      wstrObject;   /**< the final path of the handle the list was set on */
    SECURITY_INFORMATION fInfo = 0;
    std::vector<BYTE> abSecDesc;    /**< self-relative copy */
};
std::vector<SetSecurityCall> g_aSetSecurityCalls;
typedef NTSTATUS (NTAPI *PFNNTSETSECURITYOBJECT)(HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR);
PFNNTSETSECURITYOBJECT g_pfnRealSetSecurity;

NTSTATUS NTAPI RecordingSetSecurityObject(HANDLE hObject, SECURITY_INFORMATION fInfo, PSECURITY_DESCRIPTOR pSecDesc)
{
    SetSecurityCall Call;
    Call.fInfo = fInfo;
    WCHAR wszPath[MAX_PATH];
    DWORD const cwc = GetFinalPathNameByHandleW(hObject, wszPath, MAX_PATH, FILE_NAME_NORMALIZED);
    if (cwc && cwc < MAX_PATH)
        Call.wstrObject = wszPath;
    DWORD cb = 0;
    MakeSelfRelativeSD(pSecDesc, nullptr, &cb);
    Call.abSecDesc.resize(cb);
    if (!MakeSelfRelativeSD(pSecDesc, Call.abSecDesc.data(), &cb))
        Call.abSecDesc.clear();
    g_aSetSecurityCalls.push_back(Call);
    return g_pfnRealSetSecurity(hObject, fInfo, pSecDesc);
}

TEST_F(Extract, DirectoryItCreatesGetsAPrivateAccessList)
{
    ImportPatch Patch("ntdll.dll", "NtSetSecurityObject", reinterpret_cast<void *>(RecordingSetSecurityObject));
    ASSERT_TRUE(Patch.Ok());
    g_pfnRealSetSecurity = reinterpret_cast<PFNNTSETSECURITYOBJECT>(Patch.Old());
    g_aSetSecurityCalls.clear();

    /* A directory the user names and that exists is left as it is. */
    Load(std::vector<TestPackage>{ { PACKAGE_ARCH_ANY, "p.cab", "data" } });
    std::string const strOld = m_Scratch / "old";
    ASSERT_TRUE(CreateDirectoryW(Widen(strOld).c_str(), nullptr));
    ASSERT_EQ(Run(strOld, false, 1), 0);
    EXPECT_TRUE(g_aSetSecurityCalls.empty());

    std::string const strNew = m_Scratch / "new";
    ASSERT_EQ(Run(strNew, false, 1), 0);
    ASSERT_EQ(g_aSetSecurityCalls.size(), 1u);
    SetSecurityCall const &Call = g_aSetSecurityCalls[0];
    EXPECT_EQ(Call.fInfo, static_cast<SECURITY_INFORMATION>(DACL_SECURITY_INFORMATION));
    /* Set on the directory itself (Wine gives the handle's path in its own form). */
    EXPECT_NE(Narrow(Call.wstrObject).find("\\new"), std::string::npos) << Narrow(Call.wstrObject);
    ASSERT_FALSE(Call.abSecDesc.empty());

    EXPECT_EQ(PrivateAccessListFault(const_cast<BYTE *>(Call.abSecDesc.data())), "");
}

} /* namespace */
