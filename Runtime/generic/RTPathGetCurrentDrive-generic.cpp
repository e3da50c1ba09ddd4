/* The current drive: the root of the current directory (RTPathGetCurrentDrive). */
#include "rt/path.h"
#include "rt/mem.h"
#include "rt/string.h"
#include "internal/path.h"


/** Cuts a current directory down to its drive ("C:") or its server and share
 *  ("\\server\share"); false when it has neither. */
static bool rtPathCutToDrive(char *psz)
{
    if (psz[0] && psz[1] == ':')
    {
        psz[2] = '\0';
        return true;
    }
    if (!rtPathIsAnySep(psz[0]) || !rtPathIsAnySep(psz[1]) || !psz[2] || rtPathIsAnySep(psz[2]))
        return false;
    size_t off = 2;
    while (psz[off] && !rtPathIsAnySep(psz[off]))
        off++;
    size_t offShare = off;
    while (rtPathIsAnySep(psz[offShare]))
        offShare++;
    if (psz[offShare])
    {
        off = offShare;
        while (psz[off] && !rtPathIsAnySep(psz[off]))
            off++;
    }
    psz[off] = '\0';
    return true;
}

RTSTATUS RTPathGetCurrentDrive(char *pszPath, size_t cbPath)
{
    RTSTATUS rc = RTPathGetCurrentDir(pszPath, cbPath);
    if (RT_SUCCESS(rc))
        return rtPathCutToDrive(pszPath) ? INF_SUCCESS : ERR_INTERNAL_FAULT_4;
    if (rc != ERR_BUFFER_TOO_SMALL)
        return rc;

    size_t const cbScratch = 65536;
    char *pszScratch = static_cast<char *>(RTMemAlloc(cbScratch));
    if (!pszScratch)
        return ERR_SCRATCH_ALLOC_FAILED;
    rc = RTPathGetCurrentDir(pszScratch, cbScratch);
    if (RT_SUCCESS(rc))
        rc = rtPathCutToDrive(pszScratch) ? RTStrCopyBounded(pszPath, cbPath, pszScratch) : ERR_INTERNAL_FAULT_4;
    RTMemFree(pszScratch);
    return rc;
}
