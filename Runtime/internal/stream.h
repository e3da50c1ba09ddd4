/* Stream internals shared with their tests. */
#pragma once
#include "rt/types.h"
#include "rt/file.h"

/** Turns a stream mode string into the file open flags and the binary flag. */
RTSTATUS rtStrmParseMode(const char *pszMode, uint64_t *pfOpen, bool *pfBinary);

/** The platform's handle of standard stream @p iStdIndex (0 input, 1 output, 2 error),
 *  adopted as a file, and in @p pfConsole whether it is a console; NIL_RTFILE when the
 *  process has none. */
RTFILE rtStrmStdNativeFile(int iStdIndex, bool *pfConsole);
