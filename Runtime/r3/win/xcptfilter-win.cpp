/* The runtime's top-level exception filter, installed by runtime initialisation, and the
 * filter it displaced. */
#include "internal-r3-win.h"

LPTOP_LEVEL_EXCEPTION_FILTER g_pfnXcptFilterPrev = nullptr;

LONG WINAPI rtR3WinUnhandledXcptFilter(PEXCEPTION_POINTERS pXcptPtrs)
{
    /* No component of this program registers a logger for exception reports, so the
     * exception goes straight on: to the filter we displaced, or to the platform's default
     * handling, which ends the process. */
    LPTOP_LEVEL_EXCEPTION_FILTER const pfnPrev = g_pfnXcptFilterPrev;
    if (pfnPrev)
        return pfnPrev(pXcptPtrs);
    return EXCEPTION_CONTINUE_SEARCH;
}
