/* The work behind runtime initialisation, for the start-up and the tests that drive it
 * with a program path of their own. */
#pragma once
#include "rt/init.h"

RT_C_DECLS_BEGIN

/** The work behind RTR3InitForExe; @p pszProgramPath, when given, replaces the path the
 *  platform reports for the executable. */
RTSTATUS rtR3InitOnce(uint32_t fFlags, int cArgs, char ***ppapszArgs, const char *pszProgramPath);

RT_C_DECLS_END
