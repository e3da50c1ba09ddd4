/* Streams on Windows: the standard streams' handles. */
#include "internal/stream.h"
#include "rt/err.h"
#include <windows.h>

RTFILE rtStrmStdNativeFile(int iStdIndex, bool *pfConsole)
{
    static constexpr DWORD s_aStdHandles[3] = { STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE };
    *pfConsole = false;
    HANDLE const hNative = GetStdHandle(s_aStdHandles[iStdIndex]);
    if (!hNative || hNative == INVALID_HANDLE_VALUE)
        return NIL_RTFILE;
    RTFILE hFile = NIL_RTFILE;
    if (RT_FAILURE(RTFileAdoptNative(&hFile, reinterpret_cast<intptr_t>(hNative))))
        return NIL_RTFILE;
    DWORD fMode;
    *pfConsole = GetConsoleMode(hNative, &fMode) != FALSE;
    return hFile;
}
