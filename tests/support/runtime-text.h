/* Test support: texts the runtime gives, in the forms tests compare them: a status code as
 * the formatter prints it, and the current directory. */
#pragma once
#include <string>
#include "rt/status.h"

/** @p rc printed through the runtime's formatter with @p pszFormat (one status directive). */
std::string StatusText(const char *pszFormat, RTSTATUS rc);

/** The runtime's current directory, or "" when it cannot be read. */
std::string CurrentDir();
