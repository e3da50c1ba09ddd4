/* The package loop without Windows Installer: which packages it takes, what it makes of
 * each kind of file, and when it stops. The payload is a packed installer of the build,
 * loaded as data. */
#include <gtest/gtest.h>
#include "stub-test-support.h"
#include "stream-capture.h"
#include "process-runner.h"
#include "NimbStubCleanup.h"
#include "NimbStubInstall.h"
#include "NimbStubPackages.h"

namespace {

/** Reads the payload of install-plain.exe (one package, "plain.msi", for any host) and
 *  starts with an empty clean-up list. */
class PackageLoop : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_hModule = LoadLibraryExW(BuildPath("fixtures/installers/install-plain.exe").c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(m_hModule, nullptr);
        g_PayloadCalls.hModule = m_hModule;
        InitCleanupList();
        InitRunSettings(&m_Settings);
    }
    void TearDown() override
    {
        FreeCleanupList();
        g_PayloadCalls = m_SavedCalls;
        if (m_hModule)
            FreeLibrary(m_hModule);
    }
    /** Lists @p pszPath as the file of package 0. */
    void ListPackageFile(const char *pszPath)
    {
        CleanupRecord *pRecord = AddCleanupRecord(pszPath, true /*isFile*/);
        ASSERT_NE(pRecord, nullptr);
        pRecord->packageIndex = 0;
    }

    HMODULE      m_hModule = nullptr;
    PayloadCalls m_SavedCalls = g_PayloadCalls;
    RunSettings  m_Settings;
    BoxRecorder  m_Rec;
};

TEST_F(PackageLoop, APackageMissingFromTheListIsAnError)
{
    StreamCapture Err(&g_pStreamStdErr);
    EXPECT_EQ(InstallPackages(1, &m_Settings, 0), 1);
    EXPECT_EQ(Err.Text(), "error: Package #0 not found in cleanup records\r\n");
    EXPECT_TRUE(m_Rec.Calls().empty());
}

TEST_F(PackageLoop, CabinetsWaitAndFilesOfNoKnownKindStopTheRun)
{
    /* A cabinet (any case) only sits beside its package: an earlier result stays. */
    ListPackageFile("C:/Extract/plain.CAB");
    EXPECT_EQ(InstallPackages(1, &m_Settings, ERROR_SUCCESS_REBOOT_REQUIRED), ERROR_SUCCESS_REBOOT_REQUIRED);
    EXPECT_TRUE(m_Rec.Calls().empty());

    /* The newest record of the index counts; its path gets backslashes. */
    ListPackageFile("C:/Extract/plain");
    EXPECT_EQ(InstallPackages(1, &m_Settings, 0), 1);
    ASSERT_EQ(m_Rec.Calls().size(), 1u);
    EXPECT_EQ(m_Rec.Calls()[0].strText, "Internal error: Do not know how to handle file 'plain.msi' (C:\\Extract\\plain).");
}

TEST_F(PackageLoop, AFailedRunOrAStartedRestartInstallsNothingMore)
{
    ListPackageFile("C:/Extract/plain.msi");
    StreamCapture Err(&g_pStreamStdErr);
    for (int rc : { 1, 2, int(ERROR_SUCCESS_REBOOT_INITIATED) })
        EXPECT_EQ(InstallPackages(1, &m_Settings, rc), rc);
    EXPECT_EQ(Err.Text(), "");
    EXPECT_TRUE(m_Rec.Calls().empty());
}

} /* namespace */
