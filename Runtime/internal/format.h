/* Contract between the format engine and its typed-directive dispatcher (%R...). */
#pragma once
#include "rt/format.h"

/** Scratch space the engine lends to a typed directive for building numbers and names. */
inline constexpr size_t RTFMT_SCRATCH_SIZE = 256;

RT_C_DECLS_BEGIN

/** Handles one typed directive. *ppszFormat points at the 'R'; the dispatcher consumes its
 *  arguments from *pArgs, moves the cursor past the type name and returns the number of
 *  bytes it output. For an unknown type it outputs nothing and leaves the cursor after the
 *  first letter following 'R'. */
size_t RTFmtRType(RTFmtOutputFn pfnOutput, void *pvOutput, const char **ppszFormat,
                  va_list *pArgs, int cchWidth, int cchPrecision, uint32_t fFlags,
                  char chArgSize, char *pszScratch);

RT_C_DECLS_END
