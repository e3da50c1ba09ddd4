/* Certificate installation against the platform's own certificate stores, checked where
 * the stores keep their certificates: the registry, by thumbprint. */
#include <gtest/gtest.h>
#include "stub-test-support.h"
#include "stream-capture.h"
#include "scratch-dir.h"
#include "NimbStubCertUtil.h"
#include <wincrypt.h>
#include <algorithm>

namespace {

/** A self-signed test certificate and its SHA-1 thumbprint. */
constexpr wchar_t g_wszThumbprint[] = L"59D425D76CF1580E84EC48FAFC9653E875F7A325";
constexpr char g_szStore[] = "NimbUnitTestStore";
constexpr wchar_t g_wszStoreKey[] = L"Software\\Microsoft\\SystemCertificates\\NimbUnitTestStore";

std::string TestCertificate()
{
    /* The source tree is a Unix path; Wine shows the Unix root as drive Z:. */
    std::string strPath = "Z:" NIMB_SOURCE_DIR "/tests/fixtures/cert/unit-publisher.der";
    std::replace(strPath.begin(), strPath.end(), '/', '\\');
    return ReadWholeFile(strPath);
}

bool StoreHoldsTestCertificate()
{
    std::wstring const strKey = std::wstring(g_wszStoreKey) + L"\\Certificates\\" + g_wszThumbprint;
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, strKey.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

void DeleteTestStore()
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, g_wszStoreKey);
}

TEST(AddCertificateToStore, CreatesAMissingStoreDespiteOpenExistingAndReplacesAnExistingCopy)
{
    BoxRecorder Rec;
    StreamCapture Err(&g_pStreamStdErr);
    DeleteTestStore();
    std::string const strCert = TestCertificate();
    ASSERT_GT(strCert.size(), 100u);
    auto const pbCert = reinterpret_cast<const uint8_t *>(strCert.data());

    for (int i = 0; i < 2; i++)
    {
        SCOPED_TRACE(i);
        EXPECT_TRUE(AddCertificateToStore(CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG, g_szStore,
                                          pbCert, static_cast<uint32_t>(strCert.size())));
        EXPECT_TRUE(StoreHoldsTestCertificate());
    }
    EXPECT_EQ(Err.Text(), "");
    DeleteTestStore();
}

TEST(AddCertificateToStore, FailuresNameTheStepAndLeaveTheStoreAlone)
{
    BoxRecorder Rec;
    StreamCapture Err(&g_pStreamStdErr);
    DeleteTestStore();
    std::string const strCert = TestCertificate();
    auto const pbCert = reinterpret_cast<const uint8_t *>(strCert.data());
    /* Not a certificate: the first byte of the DER sequence is missing. */
    EXPECT_FALSE(AddCertificateToStore(CERT_SYSTEM_STORE_LOCAL_MACHINE, g_szStore, pbCert + 1,
                                       static_cast<uint32_t>(strCert.size() - 1)));
    /* A store name that is not UTF-8. */
    EXPECT_FALSE(AddCertificateToStore(CERT_SYSTEM_STORE_LOCAL_MACHINE, "Nimb\xff", pbCert,
                                       static_cast<uint32_t>(strCert.size())));
    EXPECT_FALSE(StoreHoldsTestCertificate());

    std::string const strErr = Err.Text();
    std::string const strFirst = "NimbStub.exe: error: Unable to get certificate context: ";
    std::string const strSecond = "NimbStub.exe: error: Unable to open certificates store: ";
    size_t const offSecond = strErr.find('\n') + 1;
    EXPECT_EQ(strErr.compare(0, strFirst.size(), strFirst), 0) << strErr;
    EXPECT_EQ(strErr.compare(offSecond, strSecond.size(), strSecond), 0) << strErr;
    EXPECT_EQ(std::count(strErr.begin(), strErr.end(), '\n'), 2);
    EXPECT_TRUE(Rec.Calls().empty());
}

} /* namespace */
