/* winquery: asks the Windows side what an installation left behind, for the scripts and
 * the end-to-end tests.
 *   winquery product {PRODUCT-CODE}        Windows Installer's state of the product
 *   winquery component {PRODUCT} {COMP}    where Windows Installer put the component's key
 *                                          file for that product
 *   winquery cert STORE SHA1-HEX           whether the local machine's STORE holds the
 *                                          certificate with that thumbprint
 *   winquery regvalue KEY NAME             a string value under HKEY_LOCAL_MACHINE\KEY
 *                                          (64-bit view first, then 32-bit)
 * Prints the answer on one line; exits 0 for "installed", "found", a path or a value, else 1
 * (125 for bad usage). */
#include <windows.h>
#include <msi.h>
#include <wincrypt.h>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

int queryProduct(const wchar_t *pwszProductCode)
{
    INSTALLSTATE const enmState = MsiQueryProductStateW(pwszProductCode);
    const char *pszState = enmState == INSTALLSTATE_DEFAULT ? "installed"
                         : enmState == INSTALLSTATE_UNKNOWN ? "unknown"
                         : enmState == INSTALLSTATE_ABSENT  ? "absent"
                         : enmState == INSTALLSTATE_ADVERTISED ? "advertised" : "other";
    printf("%s (%d)\n", pszState, static_cast<int>(enmState));
    return enmState == INSTALLSTATE_DEFAULT ? 0 : 1;
}

int queryComponent(const wchar_t *pwszProductCode, const wchar_t *pwszComponentCode)
{
    wchar_t wszPath[MAX_PATH * 4];
    DWORD cwcPath = MAX_PATH * 4;
    INSTALLSTATE const enmState = MsiGetComponentPathW(pwszProductCode, pwszComponentCode, wszPath, &cwcPath);
    if (enmState != INSTALLSTATE_LOCAL)
    {
        printf("not installed locally (%d)\n", static_cast<int>(enmState));
        return 1;
    }
    char szUtf8[MAX_PATH * 12];
    WideCharToMultiByte(CP_UTF8, 0, wszPath, -1, szUtf8, sizeof(szUtf8), nullptr, nullptr);
    puts(szUtf8);
    return 0;
}

int queryCertificate(const wchar_t *pwszStore, const wchar_t *pwszHex)
{
    std::vector<BYTE> abHash;
    for (size_t i = 0; pwszHex[i] && pwszHex[i + 1]; i += 2)
    {
        wchar_t const wsz[3] = { pwszHex[i], pwszHex[i + 1], 0 };
        abHash.push_back(static_cast<BYTE>(wcstoul(wsz, nullptr, 16)));
    }
    HCERTSTORE const hStore = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                            CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG
                                            | CERT_STORE_READONLY_FLAG, pwszStore);
    if (!hStore)
    {
        printf("absent (no store, error %lu)\n", GetLastError());
        return 1;
    }
    CRYPT_HASH_BLOB Blob = { static_cast<DWORD>(abHash.size()), abHash.data() };
    PCCERT_CONTEXT const pCert = CertFindCertificateInStore(hStore, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                            CERT_FIND_SHA1_HASH, &Blob, nullptr);
    puts(pCert ? "found" : "absent");
    if (pCert)
        CertFreeCertificateContext(pCert);
    CertCloseStore(hStore, 0);
    return pCert ? 0 : 1;
}

int queryRegistryValue(const wchar_t *pwszKey, const wchar_t *pwszName)
{
    /* A 64-bit package writes to the 64-bit view, a 32-bit one to the 32-bit view. */
    wchar_t wszValue[1024];
    LSTATUS rc = ERROR_FILE_NOT_FOUND;
    for (REGSAM fView : { KEY_WOW64_64KEY, KEY_WOW64_32KEY })
    {
        HKEY hKey = nullptr;
        rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, pwszKey, 0, KEY_READ | fView, &hKey);
        if (rc != ERROR_SUCCESS)
            continue;
        DWORD cbValue = sizeof(wszValue);
        rc = RegGetValueW(hKey, nullptr, pwszName, RRF_RT_REG_SZ, nullptr, wszValue, &cbValue);
        RegCloseKey(hKey);
        if (rc == ERROR_SUCCESS)
            break;
    }
    if (rc != ERROR_SUCCESS)
    {
        printf("absent (error %ld)\n", static_cast<long>(rc));
        return 1;
    }
    char szUtf8[4096];
    WideCharToMultiByte(CP_UTF8, 0, wszValue, -1, szUtf8, sizeof(szUtf8), nullptr, nullptr);
    puts(szUtf8);
    return 0;
}

} /* namespace */

int wmain(int argc, wchar_t **argv)
{
    if (argc == 3 && wcscmp(argv[1], L"product") == 0)
        return queryProduct(argv[2]);
    if (argc == 4 && wcscmp(argv[1], L"component") == 0)
        return queryComponent(argv[2], argv[3]);
    if (argc == 4 && wcscmp(argv[1], L"cert") == 0)
        return queryCertificate(argv[2], argv[3]);
    if (argc == 4 && wcscmp(argv[1], L"regvalue") == 0)
        return queryRegistryValue(argv[2], argv[3]);
    fputs("usage: winquery product {CODE} | component {PRODUCT} {COMPONENT} | cert STORE SHA1"
          " | regvalue KEY NAME\n", stderr);
    return 125;
}
