/* The publisher certificates compiled into the installer: DER-encoded X.509 certificates
 * that a silent installation adds to the local machine's trusted-publisher store. The
 * table is generated at build time from the DER file chosen when the build is configured. */
#pragma once
#include <stdint.h>

/** One DER-encoded certificate. */
struct EmbeddedCertificate
{
    const uint8_t *pbData;
    uint32_t       cbData;
};

/** The table and its length (one entry in the delivered build). */
extern const EmbeddedCertificate g_aEmbeddedCertificates[];
extern const uint32_t g_cEmbeddedCertificates;
