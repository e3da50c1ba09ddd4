/* NimbStub.exe's run up to Windows Installer, on stub copies carrying payloads of the
 * test's own: extract-only runs, install runs that clean up after themselves, the
 * single-instance refusal and the refusal of a malformed payload, with exact output, exit
 * codes and what is left on disk. Runs are silent: without a display a box fails at once. */
#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>
#include <cstring>
#include <functional>
#include <memory>
#include <regex>
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

/** The Unix name of a Windows path, or "" when it has none. */
std::string UnixName(const std::string &strPath)
{
    typedef char *(CDECL *PFNUNIXNAME)(LPCWSTR);
    auto const pfnUnixName = reinterpret_cast<PFNUNIXNAME>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    char *pszName = pfnUnixName ? pfnUnixName(Widen(strPath).c_str()) : nullptr;
    std::string strName = pszName ? pszName : "";
    HeapFree(GetProcessHeap(), 0, pszName);
    return strName;
}

/** Starts Unix program @p pszProgram with @p aArgs, as Wine starts one from the Windows
 *  side, and waits until @p fnDone says its work is done (30 s at most). Wine gives such a
 *  program no process handle to wait on nor an exit code: its effect tells.
 *  @returns whether the work was done. */
bool RunUnix(const char *pszProgram, const std::vector<std::string> &aArgs, const std::function<bool()> &fnDone)
{
    std::wstring wstrCmd = Widen(pszProgram);
    for (const std::string &strArg : aArgs)
        wstrCmd += L" " + QuoteArg(Widen(strArg));
    STARTUPINFOW Start = { sizeof(Start) };
    PROCESS_INFORMATION Proc;
    if (!CreateProcessW(Widen(pszProgram).c_str(), wstrCmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &Start, &Proc))
        return false;
    CloseHandle(Proc.hThread);
    CloseHandle(Proc.hProcess);
    for (DWORD msStart = GetTickCount(); !fnDone(); Sleep(50))
        if (GetTickCount() - msStart > 30000)
            return false;
    return true;
}

/** Plants a link at @p strLink that leads to @p strTarget (full Windows paths). Wine can
 *  make neither symbolic links nor junctions (its CreateSymbolicLinkW succeeds without
 *  making anything, and it refuses to set reparse points), so the test makes a Unix
 *  symbolic link with ln. Wine shows one to a directory as a directory reparse point, and
 *  one to a file as a plain file. */
bool PlantLink(const std::string &strTarget, const std::string &strLink)
{
    std::string const strUnixTarget = UnixName(strTarget);
    std::string const strUnixLink = UnixName(strLink);
    return !strUnixTarget.empty() && !strUnixLink.empty()
        && RunUnix("/bin/ln", { "-s", strUnixTarget, strUnixLink },
                   [&] { return GetFileAttributesW(Widen(strLink).c_str()) != INVALID_FILE_ATTRIBUTES; });
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
    /* A directory of someone else's, which a link in the user's directory leads to (links
     * at a stored name are among the cases of stored names below). */
    std::string const strTarget = m_Scratch / "target";
    ASSERT_TRUE(CreateDirectoryW(Widen(strTarget).c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(strTarget + "\\theirs.txt", "theirs"));

    /* At ".custom", with a ".custom" beside the installer to copy. */
    ASSERT_TRUE(CreateDirectoryW(Widen(m_Scratch / ".custom").c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(m_Scratch / ".custom\\custom.txt", "custom"));
    std::string const strUser2 = m_Scratch / "user2";
    ASSERT_TRUE(CreateDirectoryW(Widen(strUser2).c_str(), nullptr));
    ASSERT_TRUE(PlantLink(strTarget, strUser2 + "\\.custom"));
    ProcessResult const R = Stub(L"--silent --path " + QuoteArg(Widen(strUser2)));
    EXPECT_EQ(R.exitCode, 1u);
    EXPECT_EQ(R.err, "NimbStub.exe: error: Refusing to copy the '.custom' dir: '" + strUser2 + "\\.custom' is a link\r\n");
    EXPECT_EQ(Names(strTarget), std::vector<std::string>{ "theirs.txt" });
    EXPECT_EQ(ReadWholeFile(strTarget + "\\theirs.txt"), "theirs");
    EXPECT_EQ(Names(strUser2), std::vector<std::string>{ ".custom" }) << "the packages stay after a refusal";
}

/** A small file system mounted at a new directory for the life of the object, for writes
 *  that run out of space. Mounting takes the rights of root, which the tests have here and
 *  in the project's builds; without them Why() says what failed. */
class SmallFileSystem
{
public:
    SmallFileSystem(const std::string &strDir, uint64_t cbSize)
        : m_strDir(strDir), m_cbSize(cbSize), m_strUnixDir(UnixName(strDir))
    {
        if (m_strUnixDir.empty() || !CreateDirectoryW(Widen(strDir).c_str(), nullptr))
            m_strWhy = "cannot make the mount point " + strDir;
        else if (!RunUnix("/bin/mount", { "-t", "tmpfs", "-o", "size=" + std::to_string(cbSize), "tmpfs", m_strUnixDir },
                          [&] { return Capacity(strDir) == cbSize; }))
            m_strWhy = "cannot mount a tmpfs at " + m_strUnixDir + " (mounting takes root)";
    }
    ~SmallFileSystem()
    {
        /* Detached at once even while something still has it open, so that no mount
         * outlives the test. */
        if (m_strWhy.empty())
            RunUnix("/bin/umount", { "--lazy", m_strUnixDir }, [&] { return Capacity(m_strDir) != m_cbSize; });
    }
    const std::string &Why() const { return m_strWhy; }

private:
    static uint64_t Capacity(const std::string &strDir)
    {
        ULARGE_INTEGER cbFree, cbTotal;
        if (!GetDiskFreeSpaceExW(Widen(strDir).c_str(), &cbFree, &cbTotal, nullptr))
            return 0;
        return cbTotal.QuadPart;
    }

    std::string m_strDir;
    uint64_t    m_cbSize;
    std::string m_strUnixDir;
    std::string m_strWhy;
};

/** @p strText with every unique extraction name (24 random characters before a suffix)
 *  written as "%U" and every occurrence of @p strDir as "%D". */
std::string Normalized(std::string strText, const std::string &strDir)
{
    for (size_t off; (off = strText.find(strDir)) != std::string::npos; )
        strText.replace(off, strDir.size(), "%D");
    return std::regex_replace(strText, std::regex("%D\\\\[0-9a-z]{24}\\."), "%D\\%U.");
}

TEST_F(RunSequence, StoredNamesAreReplacedNeverWrittenThroughAndNoPartialPackageStays)
{
    /* Each case runs the installer on a directory of its own ("%D" in the texts, "%U" a
     * unique name), given with --path (or as the temporary directory to make one in), with
     * what the case puts there first. */
    std::string const strOutside = m_Scratch / "outside";
    ASSERT_TRUE(CreateDirectoryW(Widen(strOutside).c_str(), nullptr));
    std::string const strTheirs = strOutside + "\\theirs.txt";
    ASSERT_TRUE(WriteWholeFile(strTheirs, "theirs"));
    std::string const strShortcutMsi = ReadWholeFile(Narrow(BuildPath("fixtures/msi/shortcut.msi")));
    ASSERT_NE(strShortcutMsi, "<missing>");
    std::vector<TestPackage> const aCabs = { { PACKAGE_ARCH_ANY, "any.cab", std::string(65537, 'a') },
                                             { PACKAGE_ARCH_AMD64, "amd64.cab", "amd64" } };
    std::vector<TestPackage> const aFilling = { { PACKAGE_ARCH_ANY, "small.cab", "small" },
                                                { PACKAGE_ARCH_ANY, "big.cab", std::string(2 << 20, 'b') } };
    HANDLE hHeld = INVALID_HANDLE_VALUE;
    std::unique_ptr<SmallFileSystem> pSmall;
    std::string strSkipped;

    auto const NewDir = [](const std::string &D) { return CreateDirectoryW(Widen(D).c_str(), nullptr) != FALSE; };
    struct Case
    {
        const char *pszName;
        std::vector<TestPackage> aPackages;
        std::function<bool(const std::string &)> fnSetUp;   /**< false: not run */
        const wchar_t *pwszArgs;
        bool fTempDir;                                       /**< %D is the temporary directory, not --path */
        uint32_t uExit;
        std::string strOut, strErr;
        std::function<void(const std::string &)> fnCheck;
    };
    Case const aCases[] =
    {
        /* A link to someone else's file at a stored name is replaced itself: the package
         * takes its place (and an install run then removes the package). */
        { "file link, extract", aCabs,
          [&](const std::string &D) { return NewDir(D) && PlantLink(strTheirs, D + "\\any.cab"); },
          L"--silent --extract", false, 0, "Files were extracted to: %D\r\n", "",
          [&](const std::string &D) {
              EXPECT_EQ(ReadWholeFile(strTheirs), "theirs");
              EXPECT_TRUE(ReadWholeFile(D + "\\any.cab") == std::string(65537, 'a'));
              EXPECT_EQ(Names(D), (std::vector<std::string>{ "amd64.cab", "any.cab" }));
          } },
        { "file link, install", aCabs,
          [&](const std::string &D) { return NewDir(D) && PlantLink(strTheirs, D + "\\any.cab"); },
          L"--silent", false, 0, "", "",
          [&](const std::string &D) {
              EXPECT_EQ(ReadWholeFile(strTheirs), "theirs");
              EXPECT_EQ(Names(D), std::vector<std::string>());
          } },
        /* A link to a directory is no more replaced by a file than a directory is. */
        { "directory link", aCabs,
          [&](const std::string &D) { return NewDir(D) && PlantLink(strOutside, D + "\\any.cab"); },
          L"--silent --extract", false, 1, "",
          "error: #0: Failed to create/replace '%D\\any.cab' for writing: ERR_ACCESS_REFUSED (-38) - Access denied\r\n"
          "NimbStub.exe: error: Error extracting package #0 (any.cab): ERR_ACCESS_REFUSED\r\n",
          [&](const std::string &D) {
              EXPECT_EQ(Names(strOutside), std::vector<std::string>{ "theirs.txt" });
              EXPECT_EQ(ReadWholeFile(strTheirs), "theirs");
              EXPECT_EQ(Names(D), std::vector<std::string>{ "any.cab" });
          } },
        /* Held open without sharing by another process (this one). */
        { "in use", aCabs,
          [&](const std::string &D) {
              if (!NewDir(D) || !WriteWholeFile(D + "\\any.cab", "in use"))
                  return false;
              hHeld = CreateFileW(Widen(D + "\\any.cab").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
              return hHeld != INVALID_HANDLE_VALUE;
          },
          L"--silent", false, 1, "",
          "error: #0: Failed to create/replace '%D\\any.cab' for writing: "
          "ERR_SHARING_CONFLICT (-114) - The file is in use by another process\r\n"
          "NimbStub.exe: error: Error extracting package #0 (any.cab): ERR_SHARING_CONFLICT\r\n",
          [&](const std::string &D) {
              CloseHandle(hHeld);
              hHeld = INVALID_HANDLE_VALUE;
              EXPECT_EQ(Names(D), std::vector<std::string>{ "any.cab" });
              EXPECT_EQ(ReadWholeFile(D + "\\any.cab"), "in use");
          } },
        /* A disk that fills up: the package written before stays, the one that did not fit
         * is gone, and nothing has its name. */
        { "disk full", aFilling,
          [&](const std::string &D) {
              pSmall = std::make_unique<SmallFileSystem>(D, 1 << 20);
              strSkipped += pSmall->Why();
              return pSmall->Why().empty();
          },
          L"--silent --extract", false, 1, "",
          "error: #1: RTFileWrite('%D\\%U.cab',, 0x200000,) failed: ERR_NO_SPACE_LEFT\r\n"
          "NimbStub.exe: error: Error extracting package #1 (big.cab): ERR_NO_SPACE_LEFT\r\n",
          [&](const std::string &D) {
              EXPECT_EQ(Names(D), std::vector<std::string>{ "small.cab" });
              EXPECT_EQ(ReadWholeFile(D + "\\small.cab"), "small");
              pSmall.reset();
          } },
        /* Started from a console (this test program's), which a process keeps: it is
         * refused another, and the run goes on. That console cannot be opened as the
         * console's output here (its output is a pipe), so the summary comes on the
         * standard output. */
        { "verbose from a console", aCabs, [](const std::string &) { return true; },
          L"--silent --verbose", false, 0,
          "Extraction path          : %D\r\nSilent installation      : true\r\n"
          "Certificate installation : true\r\nAdditional MSI parameters: <None>\r\n"
          "Logging to file          : <None>\r\n", "",
          [&](const std::string &D) { EXPECT_FALSE(PathExists(D)); } },
        /* A package that makes a shortcut, which Wine answers by starting its menu builder
         * (turned off for the project's runs): the extraction directory goes all the same. */
        { "shortcut", { { PACKAGE_ARCH_ANY, "shortcut.msi", strShortcutMsi } }, NewDir,
          L"--silent", true, 0, "", "",
          [&](const std::string &D) {
              EXPECT_EQ(Names(D), std::vector<std::string>());
              RunProcess(L"C:\\windows\\system32\\msiexec.exe", L"msiexec /qn /x {6A1F1E10-0D3B-4C51-9B11-000000000005}");
          } },
    };
    for (const Case &C : aCases)
    {
        SCOPED_TRACE(C.pszName);
        std::string const strDir = m_Scratch / (std::string("case ") + C.pszName);
        ASSERT_TRUE(WriteTestInstaller(m_strExe, PayloadResources(C.aPackages)));
        if (!C.fnSetUp(strDir))
        {
            EXPECT_NE(strSkipped, "") << "the case could not be set up";
            continue;
        }
        ProcessOptions Opts;
        Opts.timeoutMs = 180000;
        std::wstring wstrArgs = C.pwszArgs;
        if (C.fTempDir)
            Opts.extraEnv = Widen("ZUNT_TMPDIR=" + strDir);
        else
            wstrArgs += L" --path " + QuoteArg(Widen(strDir));
        ProcessResult const R = Stub(wstrArgs, Opts);
        ASSERT_TRUE(R.started);
        EXPECT_EQ(R.exitCode, C.uExit);
        EXPECT_EQ(Normalized(R.out, strDir), C.strOut);
        EXPECT_EQ(Normalized(R.err, strDir), C.strErr);
        C.fnCheck(strDir);
    }
    if (!strSkipped.empty())
        GTEST_SKIP() << strSkipped;
}

} /* namespace */
