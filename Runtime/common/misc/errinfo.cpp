/* The error-information record: clearing it and storing a status with a reason. */
#include "rt/err.h"
#include "rt/format.h"
#include "rt/string.h"

/* A record or buffer pointer that fails the pointer test is treated like null: the
 * caller asked for no details it could read back, and we must not write through it. */
static bool rtErrInfoHasBuffer(const RTERRINFO *pErrInfo)
{
    return pErrInfo->cbReason > 0 && RT_VALID_PTR(pErrInfo->pszReason);
}

void RTErrInfoReset(RTERRINFO *pErrInfo)
{
    if (!RT_VALID_PTR(pErrInfo))
        return;
    pErrInfo->uMarks &= ~ERRINFO_HAS_REASON;
    pErrInfo->iResult = 0;
    if (rtErrInfoHasBuffer(pErrInfo))
        pErrInfo->pszReason[0] = '\0';
}

RTSTATUS RTErrInfoStore(RTERRINFO *pErrInfo, RTSTATUS rc, const char *pszMsg)
{
    if (!RT_VALID_PTR(pErrInfo))
        return rc;
    if (rtErrInfoHasBuffer(pErrInfo))
        RTStrCopyBounded(pErrInfo->pszReason, pErrInfo->cbReason, RT_VALID_PTR(pszMsg) ? pszMsg : "");
    pErrInfo->iResult = rc;
    pErrInfo->uMarks |= ERRINFO_HAS_REASON;
    return rc;
}

RTSTATUS RTErrInfoStoreV(RTERRINFO *pErrInfo, RTSTATUS rc, const char *pszFormat, va_list args)
{
    if (!RT_VALID_PTR(pErrInfo))
        return rc;
    if (rtErrInfoHasBuffer(pErrInfo))
    {
        if (RT_VALID_PTR(pszFormat))
            RTStrPrintBufV(pErrInfo->pszReason, pErrInfo->cbReason, pszFormat, args);
        else
            pErrInfo->pszReason[0] = '\0';
    }
    pErrInfo->iResult = rc;
    pErrInfo->uMarks |= ERRINFO_HAS_REASON;
    return rc;
}

RTSTATUS RTErrInfoStoreF(RTERRINFO *pErrInfo, RTSTATUS rc, const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    RTErrInfoStoreV(pErrInfo, rc, pszFormat, args);
    va_end(args);
    return rc;
}
