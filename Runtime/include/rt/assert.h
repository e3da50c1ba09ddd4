/* Assertion reports: the expression and location, a free-form detail message, the policy
 * that says whether fatal assertions stop, and the saving of the thread's error state
 * around report output. */
#pragma once
#include "rt/types.h"

/** Receives the first assertion message: the format and its four arguments (expression,
 *  file, line, function). */
typedef void (*PFNRTASSERTLOCATIONHOOK)(const char *pszFormat, const char *pszExpr, const char *pszFile,
                                        int32_t iLine, const char *pszFunction);
/** Receives the detail message. */
typedef void (*PFNRTASSERTDETAILHOOK)(const char *pszFormat, va_list args);

/** The thread's error state as saved around report output. */
struct RTERRSTATE
{
    uint32_t u32Magic;          /**< RTERRSTATE_MAGIC once saved */
    uint32_t uLastError;        /**< the platform's last-error value */
    int32_t  iSocketError;      /**< the socket layer's, or RTERRSTATE_NO_SOCKETS */
};
inline constexpr uint32_t RTERRSTATE_MAGIC      = 0x19520117;
/** The socket layer's code for "not initialised": its error was not saved. */
inline constexpr int32_t  RTERRSTATE_NO_SOCKETS = 10093;

RT_C_DECLS_BEGIN

extern PFNRTASSERTLOCATIONHOOK g_pfnAssertLocationHook;
extern PFNRTASSERTDETAILHOOK   g_pfnAssertDetailHook;

/** Writes the first message of an assertion to the hook and to standard error. */
void RTAssertReportLocation(const char *pszExpr, int32_t iLine, const char *pszFile, const char *pszFunction);
/** Writes the detail message, replacing the kept one. */
void RTAssertReportDetail(const char *pszFormat, ...);
void RTAssertReportDetailV(const char *pszFormat, va_list args);
/** Writes the detail message, appending to the kept one while it has room. */
void RTAssertReportDetailAppend(const char *pszFormat, ...);
void RTAssertReportDetailAppendV(const char *pszFormat, va_list args);
/** True when the environment asks fatal assertions to stop (NIMB_ASSERT unset,
 *  "breakpoint" or "panic"). */
bool RTAssertPanicPolicy(void);

void RTErrStateSave(RTERRSTATE *pState);
/** Restores a saved state; a record that was never saved is ignored. */
void RTErrStateRestore(const RTERRSTATE *pState);

RT_C_DECLS_END
