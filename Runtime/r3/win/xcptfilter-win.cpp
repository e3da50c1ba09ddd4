/* The runtime's top-level exception filter, installed by runtime initialisation, and the
 * filter it displaced. The report it can write lives apart (xcptreport-win) and comes into
 * a program only with the hooks that give it a logger. */
#include "internal/r3-win.h"
#include "rt/xcpt.h"

LPTOP_LEVEL_EXCEPTION_FILTER g_pfnXcptFilterPrev = nullptr;
PFNRTXCPTLOGGER g_pfnXcptLoggerFirst = nullptr;
PFNRTXCPTLOGGER g_pfnXcptLoggerSecond = nullptr;
PFNRTXCPTREPORT g_pfnRTXcptReport = nullptr;

LONG WINAPI rtR3WinUnhandledXcptFilter(PEXCEPTION_POINTERS pXcptPtrs)
{
    RTLOGINSTANCE *pLogger = nullptr;
    if (PFNRTXCPTLOGGER const pfnFirst = g_pfnXcptLoggerFirst)
        pLogger = pfnFirst();
    if (!pLogger)
        if (PFNRTXCPTLOGGER const pfnSecond = g_pfnXcptLoggerSecond)
            pLogger = pfnSecond();
    PFNRTXCPTREPORT const pfnReport = g_pfnRTXcptReport;
    if (pLogger && pfnReport)
        pfnReport(pLogger, pXcptPtrs);

    /* Then to the filter we displaced, or to the platform's default handling, which ends
     * the process. */
    LPTOP_LEVEL_EXCEPTION_FILTER const pfnPrev = g_pfnXcptFilterPrev;
    if (pfnPrev)
        return pfnPrev(pXcptPtrs);
    return EXCEPTION_CONTINUE_SEARCH;
}
