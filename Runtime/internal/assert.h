/* The runtime's own broken-invariant stop, which its locks and thread registry call. */
#pragma once
#include "rt/assert.h"

RT_C_DECLS_BEGIN

/** A broken invariant: both messages, the policy, then a breakpoint trap whatever the
 *  policy said (a debugger may continue past it). */
void rtAssertFatal(const char *pszExpr, int32_t iLine, const char *pszFile, const char *pszFunction,
                   const char *pszFormat, ...);

RT_C_DECLS_END
