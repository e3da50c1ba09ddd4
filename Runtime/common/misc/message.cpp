/* The runtime's message writer: prefixed message lines on the standard streams and the
 * fatal message of a failed runtime initialisation. */
#include "rt/message.h"
#include "rt/format.h"
#include "internal/startup.h"
#include "rt/string.h"

namespace {

/** The program name of every message; taken from the executable path record on first use. */
const char *g_pszMessageProgName = nullptr;

const char *rtMessageProgName()
{
    if (!g_pszMessageProgName)
    {
        uint32_t const offName = g_ProcExecPath.offName;
        g_pszMessageProgName = &g_ProcExecPath.szPath[offName < RTPROCEXECPATH_MAX ? offName : 0];
    }
    return g_pszMessageProgName;
}

bool rtMessageHasLineFeed(const char *psz)
{
    for (; *psz; psz++)
        if (*psz == '\n')
            return true;
    return false;
}

} /* namespace */

int RTMessageLines(PRTSTREAM pStream, const char *pszPrefix, const char *pszFormat, va_list args)
{
    if (!*pszFormat || (pszFormat[0] == '\n' && pszFormat[1] == '\0'))
    {
        RTStreamPrintf(pStream, "\n");
        return 0;
    }

    const char *pszProgName = rtMessageProgName();
    char *pszText = nullptr;
    va_list argsCopy;
    va_copy(argsCopy, args);
    int const cch = RTStrPrintAllocV(&pszText, pszFormat, argsCopy);
    va_end(argsCopy);
    if (cch < 0 || !pszText)
    {
        /* No memory for the text: still tell the user, unprefixed after the first line. */
        RTStreamPrintf(pStream, "%s: %s", pszProgName, pszPrefix);
        RTStreamPrintfV(pStream, pszFormat, args);
        if (!rtMessageHasLineFeed(pszFormat))
            RTStreamPrintf(pStream, "\n");
        return 0;
    }

    /* The text is ours: terminate each line in place. */
    char *pszLine = pszText;
    while (*pszLine)
    {
        if (*pszLine == '\n')
        {
            RTStreamPrintf(pStream, "\n");
            pszLine++;
            continue;
        }
        char *pszEnd = pszLine;
        while (*pszEnd && *pszEnd != '\n')
            pszEnd++;
        bool const fMore = *pszEnd == '\n';
        *pszEnd = '\0';
        RTStreamPrintf(pStream, "%s: %s%s\n", pszProgName, pszPrefix, pszLine);
        pszLine = fMore ? pszEnd + 1 : pszEnd;
    }
    RTStrRelease(pszText);
    return 0;
}

int RTMessageToStdErr(const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    RTMessageLines(g_pStreamStdErr, "error: ", pszFormat, args);
    va_end(args);
    return 0;
}

int RTMessageToStdOut(const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    RTMessageLines(g_pStreamStdOut, "info: ", pszFormat, args);
    va_end(args);
    return 0;
}

int RTMessageInitFailed(RTSTATUS rc)
{
    uint32_t const offName = g_ProcExecPath.offName;
    if (   offName != 0 && offName < RTPROCEXECPATH_MAX
        && g_ProcExecPath.szPath[0] != '\0' && g_ProcExecPath.szPath[offName] != '\0')
        RTStreamPrintf(g_pStreamStdErr, "%s: fatal error: RTR3Init: %Rrc\n", &g_ProcExecPath.szPath[offName], rc);
    else
        RTStreamPrintf(g_pStreamStdErr, "fatal error: RTR3Init: %Rrc\n", rc);
    return RTEXITCODE_INIT;
}
