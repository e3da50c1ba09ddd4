/* NimbStub.exe's run up to Windows Installer, on stub copies carrying payloads of the
 * test's own: extract-only runs, install runs that clean up after themselves, the
 * single-instance refusal and the refusal of a malformed payload, with exact output, exit
 * codes and what is left on disk. Runs are silent: without a display a box fails at once. */
#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>
#include <cstring>
#include <string>
#include "process-runner.h"
#include "scratch-dir.h"
#include "payload-writer.h"
#include "NimbStubPayload.h"

namespace {

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

TEST_F(RunSequence, InstallRunRemovesWhatItMadeAndKeepsTheUsersDirectory)
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
    WIN32_FIND_DATAW Data;
    HANDLE const hFind = FindFirstFileW(Widen(m_Scratch / "tmp\\*").c_str(), &Data);
    int cEntries = 0;
    if (hFind != INVALID_HANDLE_VALUE)
    {
        do
            cEntries += Data.cFileName[0] != L'.';
        while (FindNextFileW(hFind, &Data));
        FindClose(hFind);
    }
    EXPECT_EQ(cEntries, 0);

    std::string const strUser = m_Scratch / "user";
    ASSERT_TRUE(CreateDirectoryW(Widen(strUser).c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(strUser + "\\mine.txt", "mine"));
    R = Stub(L"--silent --path " + QuoteArg(Widen(strUser)));
    EXPECT_EQ(R.exitCode, 0u) << R.err;
    EXPECT_EQ(ReadWholeFile(strUser + "\\mine.txt"), "mine");
    EXPECT_FALSE(PathExists(strUser + "\\any.cab"));
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

} /* namespace */
