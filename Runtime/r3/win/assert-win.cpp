/* Assertion reports on standard error and through the hooks, the last-assertion record,
 * the panic policy, and the fatal end of a broken invariant. None of it allocates. */
#include "internal/r3-win.h"
#include "internal/assert.h"
#include "rt/atomic.h"
#include "rt/env.h"
#include "rt/format.h"
#include "rt/string.h"

PFNRTASSERTLOCATIONHOOK g_pfnAssertLocationHook = nullptr;
PFNRTASSERTDETAILHOOK   g_pfnAssertDetailHook = nullptr;

/** The last assertion, overwritten by each; kept for debuggers and crash dumps. */
struct RTASSERTLAST
{
    const char       *pszExpr;
    const char       *pszFile;
    int32_t           iLine;
    const char       *pszFunction;
    char              szMsg1[1024];
    char              szMsg2[4096];
    volatile uint32_t cchMsg2;
};
RTASSERTLAST g_RTAssertLast;

namespace {

constexpr char g_szLocationFormat[] = "\n!!Assertion Failed!!\nExpression: %s\nLocation  : %s(%d) %s\n";

/** Appended detail text stops this far before the end of the kept buffer. */
constexpr uint32_t RTASSERT_DETAIL_APPEND_LIMIT = sizeof(g_RTAssertLast.szMsg2) - 4;

} /* namespace */

static void rtAssertWriteStdErr(const char *pch, size_t cch)
{
    HANDLE const hStdErr = GetStdHandle(STD_ERROR_HANDLE);
    if (hStdErr && hStdErr != INVALID_HANDLE_VALUE)
    {
        DWORD cbWritten;
        WriteFile(hStdErr, pch, static_cast<DWORD>(cch), &cbWritten, nullptr);
    }
}

void RTAssertReportLocation(const char *pszExpr, int32_t iLine, const char *pszFile, const char *pszFunction)
{
    g_RTAssertLast.pszExpr = pszExpr;
    g_RTAssertLast.pszFile = pszFile;
    g_RTAssertLast.iLine = iLine;
    g_RTAssertLast.pszFunction = pszFunction;
    RTStrPrintBuf(g_RTAssertLast.szMsg1, sizeof(g_RTAssertLast.szMsg1), g_szLocationFormat,
                  pszExpr, pszFile, iLine, pszFunction);

    RTERRSTATE State;
    RTErrStateSave(&State);
    PFNRTASSERTLOCATIONHOOK const pfnHook = g_pfnAssertLocationHook;
    if (pfnHook)
        pfnHook(g_szLocationFormat, pszExpr, pszFile, iLine, pszFunction);

    char szMsg[2048];
    size_t const cch = RTStrPrintBuf(szMsg, sizeof(szMsg), g_szLocationFormat,
                                     RT_VALID_PTR(pszExpr) ? pszExpr : "<none>",
                                     RT_VALID_PTR(pszFile) ? pszFile : "<none>", iLine,
                                     RT_VALID_PTR(pszFunction) ? pszFunction : "");
    rtAssertWriteStdErr(szMsg, cch);
    RTErrStateRestore(&State);
}

/** Offers the detail to the hook and writes it afresh to standard error. */
static void rtAssertDetailOut(const char *pszFormat, va_list args)
{
    RTERRSTATE State;
    RTErrStateSave(&State);
    PFNRTASSERTDETAILHOOK const pfnHook = g_pfnAssertDetailHook;
    if (pfnHook)
    {
        va_list argsHook;
        va_copy(argsHook, args);
        pfnHook(pszFormat, argsHook);
        va_end(argsHook);
    }
    char szMsg[4096];
    size_t const cch = RTStrPrintBufV(szMsg, sizeof(szMsg), pszFormat, args);
    rtAssertWriteStdErr(szMsg, cch);
    RTErrStateRestore(&State);
}

void RTAssertReportDetailV(const char *pszFormat, va_list args)
{
    va_list argsKept;
    va_copy(argsKept, args);
    size_t const cch = RTStrPrintBufV(g_RTAssertLast.szMsg2, sizeof(g_RTAssertLast.szMsg2), pszFormat, argsKept);
    va_end(argsKept);
    RTAtomicXchgU32(&g_RTAssertLast.cchMsg2, static_cast<uint32_t>(cch));
    rtAssertDetailOut(pszFormat, args);
}

void RTAssertReportDetailAppendV(const char *pszFormat, va_list args)
{
    RTAtomicFullBarrier();
    uint32_t const off = g_RTAssertLast.cchMsg2;
    if (off < RTASSERT_DETAIL_APPEND_LIMIT)
    {
        va_list argsKept;
        va_copy(argsKept, args);
        size_t const cch = RTStrPrintBufV(&g_RTAssertLast.szMsg2[off], sizeof(g_RTAssertLast.szMsg2) - off,
                                          pszFormat, argsKept);
        va_end(argsKept);
        RTAtomicXchgU32(&g_RTAssertLast.cchMsg2, off + static_cast<uint32_t>(cch));
    }
    rtAssertDetailOut(pszFormat, args);
}

void RTAssertReportDetail(const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    RTAssertReportDetailV(pszFormat, args);
    va_end(args);
}

void RTAssertReportDetailAppend(const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    RTAssertReportDetailAppendV(pszFormat, args);
    va_end(args);
}

bool RTAssertPanicPolicy(void)
{
    RTERRSTATE State;
    RTErrStateSave(&State);
    char szValue[32];
    RTSTATUS const rc = RTEnvQuery("NIMB_ASSERT", szValue, sizeof(szValue), nullptr);
    RTErrStateRestore(&State);
    if (rc == ERR_ENV_VARIABLE_MISSING)
        return true;
    if (RT_FAILURE(rc))
        return false;
    return !RTStrCompareNullSafe(szValue, "breakpoint") || !RTStrCompareNullSafe(szValue, "panic");
}

void rtAssertFatal(const char *pszExpr, int32_t iLine, const char *pszFile, const char *pszFunction,
                   const char *pszFormat, ...)
{
    RTAssertReportLocation(pszExpr, iLine, pszFile, pszFunction);
    va_list args;
    va_start(args, pszFormat);
    RTAssertReportDetailV(pszFormat, args);
    va_end(args);
    RTAssertPanicPolicy();
    __asm__ __volatile__("int3");
}

/*
 * Error state.
 */

void RTErrStateSave(RTERRSTATE *pState)
{
    pState->u32Magic = RTERRSTATE_MAGIC;
    pState->uLastError = GetLastError();
    PFNWSAGETLASTERROR const pfnGet = g_pfnWSAGetLastError;
    pState->iSocketError = pfnGet ? pfnGet() : RTERRSTATE_NO_SOCKETS;
}

void RTErrStateRestore(const RTERRSTATE *pState)
{
    if (pState->u32Magic != RTERRSTATE_MAGIC)
        return;
    PFNWSASETLASTERROR const pfnSet = g_pfnWSASetLastError;
    if (pfnSet && pState->iSocketError != RTERRSTATE_NO_SOCKETS)
        pfnSet(pState->iSocketError);
    SetLastError(pState->uLastError);
}
