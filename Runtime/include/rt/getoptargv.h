/* Splitting a command line into an argument vector, by the Windows quoting rules or by
 * Bourne shell rules. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

/** Quoting styles, in bits 0-1 of the flags; the other two values are invalid. */
inline constexpr uint32_t ARGVSPLIT_WINDOWS    = 0;
inline constexpr uint32_t ARGVSPLIT_SHELL      = 1;
inline constexpr uint32_t ARGVSPLIT_STYLE_MASK = 3;
/** Write the arguments over the input string instead of into a new block. */
inline constexpr uint32_t ARGVSPLIT_INPLACE    = 4;

RT_C_DECLS_BEGIN

/**
 * Splits a zero-terminated UTF-8 command line into arguments.
 *
 * @param ppapszArgv    Receives the argument array, closed by a null pointer.
 * @param pcArgs        Receives the number of arguments.
 * @param pszCmdLine    The command line. With ARGVSPLIT_INPLACE it is overwritten with the
 *                      arguments, must be writable and must outlive the vector.
 * @param fFlags        ARGVSPLIT_WINDOWS or ARGVSPLIT_SHELL, optionally ARGVSPLIT_INPLACE.
 * @param pszSeparators The code points that separate arguments; null for " \t\n\r".
 *
 * The arguments lie one after another in one text block that the first entry points at
 * (unless ARGVSPLIT_INPLACE); RTGetOptArgvFree releases block and array. On failure nothing
 * stays allocated and the outputs are left unchanged.
 */
RTSTATUS RTGetOptArgvSplit(char ***ppapszArgv, int *pcArgs, const char *pszCmdLine, uint32_t fFlags,
                           const char *pszSeparators);

/** Frees a vector from RTGetOptArgvSplit called with the same flags; null is allowed. */
void     RTGetOptArgvFree(char **papszArgv, uint32_t fFlags);

RT_C_DECLS_END
