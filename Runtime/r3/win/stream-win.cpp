/* Streams on Windows: the standard streams' handles. */
#include "internal/stream.h"
#include "rt/err.h"
#include <windows.h>

RTFILE rtStrmStdNativeFile(int iStdIndex, bool *pfConsole)
{
    /* The platform numbers its standard handles downwards in the same order. */
    static_assert(STD_OUTPUT_HANDLE == STD_INPUT_HANDLE - 1 && STD_ERROR_HANDLE == STD_INPUT_HANDLE - 2,
                  "standard handle numbers follow the stream indexes");
    *pfConsole = false;
    HANDLE const hNative = GetStdHandle(STD_INPUT_HANDLE - static_cast<DWORD>(iStdIndex));
    if (!hNative || hNative == INVALID_HANDLE_VALUE)
        return NIL_RTFILE;
    RTFILE hFile = NIL_RTFILE;
    if (RT_FAILURE(RTFileAdoptNative(&hFile, reinterpret_cast<intptr_t>(hNative))))
        return NIL_RTFILE;
    DWORD fMode;
    *pfConsole = GetConsoleMode(hNative, &fMode) != FALSE;
    return hFile;
}
