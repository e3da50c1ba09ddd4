/* The running executable's full path, as runtime initialisation records it. */
#include "internal/r3-win.h"
#include "rt/err.h"
#include "internal/startup.h"
#include "rt/string.h"

RTSTATUS rtProcInitExePath(char *pszPath, size_t cbPath)
{
    WCHAR wszPath[RTPROCEXECPATH_MAX];
    DWORD const cwc = GetModuleFileNameW(GetModuleHandleA(nullptr), wszPath, RT_ELEMENTS(wszPath));
    if (cwc == 0)
        return RTErrConvertFromWinError(GetLastError());
    /* A name cut at the buffer's end comes back unterminated with the full count; the
     * conversion is bounded by the count and fails for lack of room rather than record a
     * truncated path. */
    return RTUtf16ToUtf8Ex(wszPath, cwc, &pszPath, cbPath, nullptr);
}
