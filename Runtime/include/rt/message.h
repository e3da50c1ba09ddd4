/* Messages for the user on the standard streams: every line of a message prefixed with
 * the program name and a kind ("error: ", "info: "), and the fatal message of a failed
 * runtime initialisation. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"
#include "rt/stream.h"

/** Exit code of a process whose runtime initialisation failed. */
inline constexpr int RTEXITCODE_INIT = 3;

RT_C_DECLS_BEGIN

/** Writes the formatted message to standard error, each line as "<program>: error: <line>".
 *  @returns 0. */
int RTMessageToStdErr(const char *pszFormat, ...);
/** The same on standard output with the prefix "info: ". @returns 0. */
int RTMessageToStdOut(const char *pszFormat, ...);
/** Formats the message and writes each of its lines to @p pStream as the program name,
 *  ": ", @p pszPrefix and the line. An empty line stays empty, a final line feed adds no
 *  line. If the message cannot be formatted into memory it is written unprefixed after one
 *  prefix, as it comes. Write errors are ignored. @returns 0. */
int RTMessageLines(PRTSTREAM pStream, const char *pszPrefix, const char *pszFormat, va_list args);
/** Writes "<program>: fatal error: RTR3Init: <status>" to standard error, without the
 *  program name when the executable path record holds none. @returns RTEXITCODE_INIT. */
int RTMessageInitFailed(RTSTATUS rc);

RT_C_DECLS_END
