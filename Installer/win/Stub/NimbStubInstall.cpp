/* The installing end of the run: certificates, then the packages through Windows Installer. */
#include "NimbStubInstall.h"
#include "NimbStubCertificates.h"
#include "NimbStubCertUtil.h"
#include "NimbStubCleanup.h"
#include "NimbStubMsi.h"
#include "NimbStubPackages.h"
#include "rt/path.h"
#include "rt/string.h"

int InstallCertificates()
{
    for (uint32_t i = 0; i < g_cEmbeddedCertificates; i++)
        if (!AddCertificateToStore(CERT_SYSTEM_STORE_LOCAL_MACHINE, TRUSTED_PUBLISHER_STORE,
                                   g_aEmbeddedCertificates[i].pbData, g_aEmbeddedCertificates[i].cbData))
            return ReportError("Failed to add our certificate(s) to trusted publisher store.");
    return 0;
}

bool InstallMayContinue(int rcRun)
{
    /* A restart that Windows Installer has already started ends the run: no further
     * installation may race the shutdown. */
    return rcRun == ERROR_SUCCESS || rcRun == ERROR_SUCCESS_REBOOT_REQUIRED;
}

int InstallPackages(uint32_t cPackages, const RunSettings *pSettings, int rcRun)
{
    bool const fHost64 = HostIs64Bit();
    const char *pszLogPath = pSettings->msiLogPath[0] ? pSettings->msiLogPath : nullptr;
    for (uint32_t i = 0; i < cPackages && InstallMayContinue(rcRun); i++)
    {
        const PackageHeader *pHeader = LoadPackageHeader(i);
        if (!pHeader)
            return 1;
        if (!PackageSuitsHost(pHeader, fHost64))
            continue;
        CleanupRecord *pRecord = FindPackageCleanupRecord(static_cast<int32_t>(i));
        if (!pRecord)
            return ConsoleError("Package #%u not found in cleanup records", i);

        RTPathToBackslashes(pRecord->path);
        const char *pszSuffix = RTPathSuffix(pRecord->path);
        int rcPackage = 0;
        if (pszSuffix && RTStrCompareAsciiNoCase(pszSuffix, PACKAGE_SUFFIX_MSI) == 0)
            rcPackage = RunWindowsInstaller(pRecord->path, pSettings->msiArguments, pszLogPath);
        else if (!pszSuffix || RTStrCompareAsciiNoCase(pszSuffix, PACKAGE_SUFFIX_CAB) != 0)
            rcPackage = ReportError("Internal error: Do not know how to handle file '%s' (%s).",
                                    pHeader->fileName, pRecord->path);
        if (rcPackage != 0)
            rcRun = rcPackage;
    }
    return rcRun;
}
