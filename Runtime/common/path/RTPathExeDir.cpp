/* The directory of the running executable, from the path record start-up keeps
 * (RTPathExeDir). */
#include "rt/path.h"
#include "internal/startup.h"
#include <string.h>

RTSTATUS RTPathExeDir(char *pszPath, size_t cbPath)
{
    RTPROCEXECPATH const &Rec = g_ProcExecPath;
    if (!Rec.cchPath)
        return ERR_WRONG_STATE;
    if (Rec.cchDir >= cbPath)
        return ERR_BUFFER_TOO_SMALL;
    if (!RT_VALID_PTR(pszPath))
        return ERR_BAD_POINTER;
    memcpy(pszPath, Rec.szPath, Rec.cchDir);
    pszPath[Rec.cchDir] = '\0';
    return INF_SUCCESS;
}
