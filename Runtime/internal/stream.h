/* Stream internals shared with their tests. */
#pragma once
#include "rt/types.h"

/** Turns a stream mode string into the file open flags and the binary flag. */
RTSTATUS rtStrmParseMode(const char *pszMode, uint64_t *pfOpen, bool *pfBinary);
