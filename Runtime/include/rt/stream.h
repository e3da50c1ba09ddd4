/* Buffered, lockable, formatted text output: the standard streams and streams opened on a
 * path, with printf-style output through the format engine. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

struct RTSTREAMOBJ;
typedef RTSTREAMOBJ *PRTSTREAM;

/** RTStreamSetBuffering modes. */
inline constexpr int RTSTREAMBUF_FULL = 1;
inline constexpr int RTSTREAMBUF_LINE = 2;
inline constexpr int RTSTREAMBUF_NONE = 3;

RT_C_DECLS_BEGIN

/** Where messages go; replaceable (the installer points both at its console). Load the
 *  pointer at the time of printing. */
extern PRTSTREAM g_pStreamStdOut;
extern PRTSTREAM g_pStreamStdErr;
/** The standard streams themselves. */
extern PRTSTREAM const g_pStdIn;
extern PRTSTREAM const g_pStdOut;
extern PRTSTREAM const g_pStdErr;

/** Opens a stream on a file. Mode letters: r, w, a (access, the last wins), + (read and
 *  write), x (with w: create only), b (binary), t (text), e or N (not inherited), E
 *  (inherited). The stream lives until process exit. */
RTSTATUS RTStreamOpenPath(const char *pszPath, const char *pszMode, PRTSTREAM *ppStream);
RTSTATUS RTStreamSetBuffering(PRTSTREAM pStream, int enmMode);
/** Returns the number of bytes formatted, -1 when the stream has already failed, or
 *  ERR_BAD_ARGUMENT for an invalid stream. Write errors are latched in the stream. */
int      RTStreamPrintfV(PRTSTREAM pStream, const char *pszFormat, va_list args);
int      RTStreamPrintf(PRTSTREAM pStream, const char *pszFormat, ...);
int      RTPrintfStdOut(const char *pszFormat, ...);
/** The latched status of a stream (0 while healthy), ERR_BAD_HANDLE for an invalid one. */
RTSTATUS RTStreamGetStatus(PRTSTREAM pStream);
/** Process-exit routine: writes out, retires and closes every stream. */
void     RTStreamTerminate(void);

RT_C_DECLS_END
