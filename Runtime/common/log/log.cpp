/* The logger's process-wide slots and its print entry points. */
#include "rt/log.h"

RTLOGINSTANCE *g_pLogDefault = nullptr;
RTLOGINSTANCE *g_pLogRelease = nullptr;
PFNRTLOGPRINTV g_pfnLogPrintV = nullptr;
PFNRTLOGFLUSH g_pfnLogFlush = nullptr;

RTLOGINSTANCE *RTLogRelGetDefaultInstance(void)
{
    return g_pLogRelease;
}

void RTLogPrintEx(RTLOGINSTANCE *pLogger, uint32_t fFlags, uint32_t iGroup, const char *pszFormat, ...)
{
    PFNRTLOGPRINTV const pfnPrintV = g_pfnLogPrintV;
    if (!pfnPrintV)
        return;
    va_list args;
    va_start(args, pszFormat);
    pfnPrintV(pLogger, fFlags, iGroup, pszFormat, args);
    va_end(args);
}

RTSTATUS RTLogInstanceFlush(RTLOGINSTANCE *pLogger)
{
    PFNRTLOGFLUSH const pfnFlush = g_pfnLogFlush;
    if (!pfnFlush || (!pLogger && !g_pLogDefault))
        return INF_LOG_NO_INSTANCE;
    return pfnFlush(pLogger);
}

void RTLogPrint(RTLOGINSTANCE *pLogger, void *pvIgnored, const char *pszFormat, ...)
{
    (void)pvIgnored;
    PFNRTLOGPRINTV const pfnPrintV = g_pfnLogPrintV;
    if (!pfnPrintV)
        return;
    va_list args;
    va_start(args, pszFormat);
    pfnPrintV(pLogger, 0, RTLOG_NO_GROUP, pszFormat, args);
    va_end(args);
}
