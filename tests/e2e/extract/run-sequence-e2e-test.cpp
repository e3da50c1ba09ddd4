/* NimbStub.exe's run up to Windows Installer, on stub copies carrying payloads of the
 * test's own: extract-only runs, install runs that clean up after themselves, the
 * single-instance refusal and the refusal of a malformed payload, with exact output, exit
 * codes and what is left on disk. Runs are silent: without a display a box fails at once. */
#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>
#include <cstring>
#include <string>
#include <vector>
#include "process-runner.h"
#include "access-list.h"
#include "scratch-dir.h"
#include "payload-writer.h"
#include "NimbStubPayload.h"

namespace {

/** Checks the access list of @p strPath as read back from the file system. */
void ExpectPrivateAccessList(const std::string &strPath)
{
    SCOPED_TRACE(strPath);
    PACL pAcl = nullptr;
    PSECURITY_DESCRIPTOR pSecDesc = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoW(Widen(strPath).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, &pAcl, nullptr, &pSecDesc), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(PrivateAccessListFault(pSecDesc), "");
    LocalFree(pSecDesc);
}

/** Whether the file system keeps an access list as set: Wine keeps only the permission
 *  bits it derives from a list, and reads back a list made from those bits. */
bool PlatformKeepsAccessLists(const std::string &strScratch)
{
    std::string const strProbe = strScratch + "\\acl-probe";
    std::vector<BYTE> abSid = CurrentUserSid();
    BYTE abAcl[256];
    PACL const pAcl = reinterpret_cast<PACL>(abAcl);
    if (!CreateDirectoryW(Widen(strProbe).c_str(), nullptr) || !InitializeAcl(pAcl, sizeof(abAcl), ACL_REVISION)
        || !AddAccessAllowedAce(pAcl, ACL_REVISION, FILE_ALL_ACCESS, abSid.data()))
        return false;
    std::wstring wstrProbe = Widen(strProbe);
    bool fKept = false;
    if (SetNamedSecurityInfoW(wstrProbe.data(), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              pAcl, nullptr) == ERROR_SUCCESS)
    {
        PACL pRead = nullptr;
        PSECURITY_DESCRIPTOR pSecDesc = nullptr;
        if (GetNamedSecurityInfoW(wstrProbe.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  &pRead, nullptr, &pSecDesc) == ERROR_SUCCESS)
        {
            fKept = pRead && pRead->AceCount == 1;
            LocalFree(pSecDesc);
        }
    }
    RemoveDirectoryW(wstrProbe.c_str());
    return fKept;
}

/** Plants a link at @p strLink that leads to @p strTarget (full Windows paths). Wine can
 *  make neither symbolic links nor junctions (its CreateSymbolicLinkW succeeds without
 *  making anything, and it refuses to set reparse points); it shows a Unix symbolic link
 *  to a directory as a directory reparse point, so the test makes one with ln. */
bool PlantLink(const std::string &strTarget, const std::string &strLink)
{
    typedef char *(CDECL *PFNUNIXNAME)(LPCWSTR);
    auto const pfnUnixName = reinterpret_cast<PFNUNIXNAME>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (!pfnUnixName)
        return false;
    char *pszTarget = pfnUnixName(Widen(strTarget).c_str());
    char *pszLink = pfnUnixName(Widen(strLink).c_str());
    bool fOk = false;
    if (pszTarget && pszLink)
    {
        std::wstring wstrCmd = L"/bin/ln -s " + QuoteArg(Widen(pszTarget)) + L" " + QuoteArg(Widen(pszLink));
        STARTUPINFOW Start = { sizeof(Start) };
        PROCESS_INFORMATION Proc;
        if (CreateProcessW(L"/bin/ln", wstrCmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Start, &Proc))
        {
            WaitForSingleObject(Proc.hProcess, 30000);
            CloseHandle(Proc.hThread);
            CloseHandle(Proc.hProcess);
            fOk = (GetFileAttributesW(Widen(strLink).c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        }
    }
    HeapFree(GetProcessHeap(), 0, pszTarget);
    HeapFree(GetProcessHeap(), 0, pszLink);
    return fOk;
}

/** The names in @p strDir, "." and ".." aside. */
std::vector<std::string> Names(const std::string &strDir)
{
    std::vector<std::string> aNames;
    WIN32_FIND_DATAW Data;
    HANDLE const hFind = FindFirstFileW(Widen(strDir + "\\*").c_str(), &Data);
    if (hFind != INVALID_HANDLE_VALUE)
    {
        do
            if (wcscmp(Data.cFileName, L".") && wcscmp(Data.cFileName, L".."))
                aNames.push_back(Narrow(Data.cFileName));
        while (FindNextFileW(hFind, &Data));
        FindClose(hFind);
    }
    return aNames;
}

class RunSequence : public ::testing::Test
{
protected:
    void SetUp() override
    {
        /* Cabinets only: an install run writes, verifies and removes them without handing
         * anything to Windows Installer. */
        m_strExe = m_Scratch / "NimbStub.exe";
        ASSERT_TRUE(WriteTestInstaller(m_strExe, PayloadResources({
            { PACKAGE_ARCH_ANY, "any.cab", std::string(65537, 'a') },
            { PACKAGE_ARCH_AMD64, "amd64.cab", "amd64" },
            { PACKAGE_ARCH_X86, "x86.cab", "x86" },
        })));
    }
    ProcessResult Stub(const std::wstring &wstrArgs, const ProcessOptions &Opts = {})
    {
        return RunProcess(Widen(m_strExe), L"NimbStub.exe " + wstrArgs, Opts);
    }

    ScratchDir  m_Scratch;
    std::string m_strExe;
};

TEST_F(RunSequence, ExtractOnlyReportsWhereAndLeavesTheFiles)
{
    /* A new directory, given with a forward slash, under one that exists. */
    std::string const strDir = m_Scratch / "new\\out";
    ASSERT_TRUE(CreateDirectoryW(Widen(m_Scratch / "new").c_str(), nullptr));
    ProcessResult const R = Stub(L"--silent --extract --path " + QuoteArg(Widen(m_Scratch / "new/out")));
    ASSERT_TRUE(R.started);
    EXPECT_EQ(R.exitCode, 0u);
    EXPECT_EQ(R.out, "Files were extracted to: " + m_Scratch / "new\\out" + "\r\n");
    EXPECT_EQ(R.err, "");
    EXPECT_TRUE(ReadWholeFile(strDir + "\\any.cab") == std::string(65537, 'a'));
    EXPECT_EQ(ReadWholeFile(strDir + "\\amd64.cab"), "amd64");
    EXPECT_EQ(ReadWholeFile(strDir + "\\x86.cab"), "x86");
}

TEST_F(RunSequence, InstallRunsRemoveWhatTheyMadeAndKeepTheUsersDirectory)
{
    /* A directory of its own under a relative temporary directory, and a --path of the
     * user's that exists already. */
    ASSERT_TRUE(CreateDirectoryW(Widen(m_Scratch / "tmp").c_str(), nullptr));
    ProcessOptions Opts;
    Opts.currentDir = Widen(m_Scratch.path());
    Opts.extraEnv = L"TMP=tmp\nTEMP=tmp";
    ProcessResult R = Stub(L"--silent", Opts);
    ASSERT_TRUE(R.started);
    EXPECT_EQ(R.exitCode, 0u) << R.err;
    EXPECT_EQ(R.err, "");
    EXPECT_EQ(Names(m_Scratch / "tmp"), std::vector<std::string>());

    std::string const strUser = m_Scratch / "user";
    ASSERT_TRUE(CreateDirectoryW(Widen(strUser).c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(strUser + "\\mine.txt", "mine"));
    R = Stub(L"--silent --path " + QuoteArg(Widen(strUser)));
    EXPECT_EQ(R.exitCode, 0u) << R.err;
    EXPECT_EQ(ReadWholeFile(strUser + "\\mine.txt"), "mine");
    EXPECT_FALSE(PathExists(strUser + "\\any.cab"));

    /* A --path that did not exist is the run's own: made, and removed again. */
    std::string const strNew = m_Scratch / "made";
    R = Stub(L"--silent --path " + QuoteArg(Widen(strNew)));
    EXPECT_EQ(R.exitCode, 0u) << R.err;
    EXPECT_EQ(R.err, "");
    EXPECT_FALSE(PathExists(strNew));
}

TEST_F(RunSequence, SecondInstallerIsRefusedBeforeItCreatesAnything)
{
    /* Held by this process, and held by one this process's user may not open (an
     * elevated installer or another user's). */
    SECURITY_DESCRIPTOR SecDesc;
    InitializeSecurityDescriptor(&SecDesc, SECURITY_DESCRIPTOR_REVISION);
    ACL EmptyAcl;
    InitializeAcl(&EmptyAcl, sizeof(EmptyAcl), ACL_REVISION);
    SetSecurityDescriptorDacl(&SecDesc, TRUE, &EmptyAcl, FALSE);
    SECURITY_ATTRIBUTES DenyAll = { sizeof(DenyAll), &SecDesc, FALSE };
    for (SECURITY_ATTRIBUTES *pSecAttr : { static_cast<SECURITY_ATTRIBUTES *>(nullptr), &DenyAll })
    {
        HANDLE const hMutex = CreateMutexW(pSecAttr, FALSE, L"NimbStubInstaller");
        ASSERT_NE(hMutex, nullptr);
        std::string const strDir = m_Scratch / "never";
        ProcessResult const R = Stub(L"--silent --path " + QuoteArg(Widen(strDir)));
        CloseHandle(hMutex);
        EXPECT_EQ(R.exitCode, 1u);
        EXPECT_EQ(R.err, "NimbStub.exe: error: Another installer is already running\r\n");
        EXPECT_FALSE(PathExists(strDir));
    }
}

TEST_F(RunSequence, MalformedPayloadWritesNothing)
{
    PackageHeader Header = {};
    Header.architecture = PACKAGE_ARCH_ANY;
    std::memcpy(Header.resourceName, "BIN_00", 6);
    std::memcpy(Header.fileName, "..\\..\\evil.msi", 14);
    ASSERT_TRUE(WriteTestInstaller(m_strExe, {
        { PAYLOAD_MANIFEST_NAME, std::string("NimbInstV1\0\0\0\0\0\1", 16) },
        { "HDR_00", std::string(reinterpret_cast<const char *>(&Header), sizeof(Header)) },
        { "BIN_00", "evil" },
    }));
    std::string const strDir = m_Scratch / "a\\b";
    ProcessResult const R = Stub(L"--silent --extract --path " + QuoteArg(Widen(strDir)));
    EXPECT_EQ(R.exitCode, 1u);
    EXPECT_EQ(R.err, "NimbStub.exe: error: Internal package error: Package header #0 is malformed "
                     "(file name not a plain file name)\r\n");
    EXPECT_FALSE(PathExists(m_Scratch / "evil.msi"));
    EXPECT_FALSE(PathExists(strDir));
}

TEST_F(RunSequence, DirectoriesTheInstallerCreatesArePrivate)
{
    /* A new --path directory, and the random temporary one, which a payload without a
     * manifest leaves behind (empty) so that it can be read back. Where the file system
     * cannot hold a list, the unit tests check the one the installer sets. */
    bool const fReadBack = PlatformKeepsAccessLists(m_Scratch.path());
    std::string const strNew = m_Scratch / "new";
    ProcessResult R = Stub(L"--silent --extract --path " + QuoteArg(Widen(strNew)));
    ASSERT_EQ(R.exitCode, 0u) << R.err;
    if (fReadBack)
        ExpectPrivateAccessList(strNew);

    ASSERT_TRUE(WriteTestInstaller(m_strExe, {}));
    ASSERT_TRUE(CreateDirectoryW(Widen(m_Scratch / "tmp").c_str(), nullptr));
    ProcessOptions Opts;
    Opts.extraEnv = Widen("TMP=" + m_Scratch / "tmp");
    R = Stub(L"--silent", Opts);
    EXPECT_EQ(R.exitCode, 1u);
    EXPECT_EQ(R.err, "NimbStub.exe: error: Internal package error: Manifest not found (ERR_DEVICE_FAILURE)\r\n");
    std::vector<std::string> const aNames = Names(m_Scratch / "tmp");
    ASSERT_EQ(aNames.size(), 1u);
    EXPECT_EQ(aNames[0].size(), 24u);
    if (!fReadBack)
        GTEST_SKIP() << "this file system does not keep access lists";
    ExpectPrivateAccessList(m_Scratch / "tmp" + "\\" + aNames[0]);
}

TEST_F(RunSequence, NothingIsWrittenThroughALinkPlantedInTheUsersDirectory)
{
    /* A directory of someone else's, which a link in the user's directory leads to; each
     * case in a directory of its own, since Wine cannot remove the link again. */
    std::string const strTarget = m_Scratch / "target";
    ASSERT_TRUE(CreateDirectoryW(Widen(strTarget).c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(strTarget + "\\theirs.txt", "theirs"));

    /* At a stored name. */
    std::string const strUser1 = m_Scratch / "user1";
    ASSERT_TRUE(CreateDirectoryW(Widen(strUser1).c_str(), nullptr));
    ASSERT_TRUE(PlantLink(strTarget, strUser1 + "\\any.cab"));
    ProcessResult R = Stub(L"--silent --path " + QuoteArg(Widen(strUser1)));
    EXPECT_EQ(R.exitCode, 1u);
    EXPECT_EQ(R.err, "error: #0: Failed to create/replace '" + strUser1 + "\\any.cab' for writing: ERR_NAME_TAKEN\r\n"
                     "NimbStub.exe: error: Error extracting package #0 (any.cab): ERR_NAME_TAKEN\r\n");
    EXPECT_EQ(Names(strTarget), std::vector<std::string>{ "theirs.txt" });

    /* At ".custom", with a ".custom" beside the installer to copy. */
    ASSERT_TRUE(CreateDirectoryW(Widen(m_Scratch / ".custom").c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(m_Scratch / ".custom\\custom.txt", "custom"));
    std::string const strUser2 = m_Scratch / "user2";
    ASSERT_TRUE(CreateDirectoryW(Widen(strUser2).c_str(), nullptr));
    ASSERT_TRUE(PlantLink(strTarget, strUser2 + "\\.custom"));
    R = Stub(L"--silent --path " + QuoteArg(Widen(strUser2)));
    EXPECT_EQ(R.exitCode, 1u);
    EXPECT_EQ(R.err, "NimbStub.exe: error: Refusing to copy the '.custom' dir: '" + strUser2 + "\\.custom' is a link\r\n");
    EXPECT_EQ(Names(strTarget), std::vector<std::string>{ "theirs.txt" });
    EXPECT_EQ(ReadWholeFile(strTarget + "\\theirs.txt"), "theirs");
    EXPECT_EQ(Names(strUser2), std::vector<std::string>{ ".custom" }) << "the packages stay after a refusal";
}

} /* namespace */
