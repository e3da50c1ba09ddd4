/* The logger's process-wide slots and its print entry points. */
#include "rt/log.h"
#include "internal/log.h"

RTLOGINSTANCE *g_pLogDefault = nullptr;
RTLOGINSTANCE *g_pLogRelease = nullptr;
PFNRTLOGPRINTV g_pfnLogPrintV = nullptr;
PFNRTLOGFLUSH g_pfnLogFlush = nullptr;
PFNRTLOGRELLOOKUP g_pfnLogRelLookup = nullptr;

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

void rtLogRelAssert(const char *pszFile, int iLine, const char *pszFunction, const char *pszExpr,
                    const char *pszDetailFormat, ...)
{
    PFNRTLOGRELLOOKUP const pfnLookup = g_pfnLogRelLookup;
    RTLOGINSTANCE *const pLogger = pfnLookup ? pfnLookup(RTLOG_REL_ASSERT_FLAGS | (RTLOG_REL_ASSERT_GROUP << 16))
                                             : nullptr;
    PFNRTLOGPRINTV const pfnPrintV = g_pfnLogPrintV;
    if (!pLogger || !pfnPrintV)
        return;
    RTLogPrintEx(pLogger, RTLOG_REL_ASSERT_FLAGS, RTLOG_REL_ASSERT_GROUP, "AssertLogRel %s(%d) %s: %s\n",
                 pszFile, iLine, pszFunction, pszExpr);
    va_list args;
    va_start(args, pszDetailFormat);
    pfnPrintV(pLogger, RTLOG_REL_ASSERT_FLAGS, RTLOG_REL_ASSERT_GROUP, pszDetailFormat, args);
    va_end(args);
}
