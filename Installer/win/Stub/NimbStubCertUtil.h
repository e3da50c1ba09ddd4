/* Certificate installation: adding a DER-encoded certificate to a system certificate store. */
#pragma once
#include <windows.h>
#include <wincrypt.h>
#include <stdint.h>

/** Where the publisher certificate goes: this store of the local machine
 *  (CERT_SYSTEM_STORE_LOCAL_MACHINE). */
inline constexpr char TRUSTED_PUBLISHER_STORE[] = "TrustedPublisher";

/** Adds the DER-encoded certificate @p pbCert (@p cbCert bytes) to the system store
 *  @p pszStoreName opened with @p fOpenFlags (a store location and open flags), replacing
 *  a copy already there. The store is created when missing, whatever @p fOpenFlags says.
 *  @returns true when the certificate is in the store afterwards; false after a line on
 *  standard error naming the failed step and the platform's error. */
bool AddCertificateToStore(uint32_t fOpenFlags, const char *pszStoreName, const uint8_t *pbCert, uint32_t cbCert);
