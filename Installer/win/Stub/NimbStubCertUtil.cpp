/* Certificate installation into a system certificate store. */
#include "NimbStubCertUtil.h"
#include "rt/message.h"
#include "rt/string.h"
#include <windows.h>
#include <wincrypt.h>

namespace {

/** Certificates and stores are DER X.509 inside PKCS #7 encoding. */
constexpr DWORD CERT_ENCODING = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
static_assert(CERT_ENCODING == 0x10001, "certificate encoding");

/** The platform's last error, as the signed number the messages print. */
int lastError()
{
    return static_cast<int>(GetLastError());
}

} /* namespace */

bool AddCertificateToStore(uint32_t fOpenFlags, const char *pszStoreName, const uint8_t *pbCert, uint32_t cbCert)
{
    PCCERT_CONTEXT const pCert = CertCreateCertificateContext(CERT_ENCODING, pbCert, cbCert);
    if (!pCert)
    {
        RTMessageToStdErr("Unable to get certificate context: %d", lastError());
        return false;
    }

    /* A store that does not exist yet is created: the open-existing flag never goes through. */
    HCERTSTORE hStore = nullptr;
    RTUTF16 *pwszStoreName = nullptr;
    if (RT_SUCCESS(RTStrToUtf16(pszStoreName, &pwszStoreName)))
    {
        hStore = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, CERT_ENCODING, 0,
                               fOpenFlags & ~static_cast<uint32_t>(CERT_STORE_OPEN_EXISTING_FLAG), pwszStoreName);
        RTUtf16Release(pwszStoreName);
    }
    if (!hStore)
    {
        RTMessageToStdErr("Unable to open certificates store: %d", lastError());
        CertFreeCertificateContext(pCert);
        return false;
    }

    bool const fAdded = CertAddCertificateContextToStore(hStore, pCert, CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE;
    if (!fAdded)
        RTMessageToStdErr("Unable to install certificate: %d", lastError());
    CertCloseStore(hStore, CERT_CLOSE_STORE_CHECK_FLAG);
    CertFreeCertificateContext(pCert);
    return fAdded;
}
