/* Test program for the standard streams: each command-line word is a scenario, run in
 * order; the exit code is the standard output stream's latched status, negated. */
#include <windows.h>
#include "rt/stream.h"
#include "rt/string.h"

static bool rtProbeIs(const char *psz, const char *pszWord)
{
    return RTStrCompareNullSafe(psz, pszWord) == 0;
}

extern "C" int main(int argc, char **argv, char **envp)
{
    (void)envp;
    for (int i = 1; i < argc; i++)
    {
        const char *psz = argv[i];
        if (rtProbeIs(psz, "lines"))            /* a complete line, then one left open */
            RTPrintfStdOut("a\nb");
        else if (rtProbeIs(psz, "open"))        /* a line left open */
            RTPrintfStdOut("x");
        else if (rtProbeIs(psz, "nul"))         /* a piece that converts to nothing */
            RTPrintfStdOut("%c", 0);
        else if (rtProbeIs(psz, "more"))
            RTPrintfStdOut("c\n");
        else if (rtProbeIs(psz, "stderr"))      /* converted to the ANSI code page */
            RTStreamPrintf(g_pStdErr, "%s|\n", "\xC3\xA9\xE2\x82\xAC");
        else if (rtProbeIs(psz, "bad-utf8"))    /* fails the piece, not the stream */
            RTPrintfStdOut("%s", "x\xFFy");
        else if (rtProbeIs(psz, "no-stdout"))
            SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
        else if (rtProbeIs(psz, "close-stdout"))    /* the handle goes away under the stream */
            CloseHandle(GetStdHandle(STD_OUTPUT_HANDLE));
        else if (rtProbeIs(psz, "unbuffered"))
            RTStreamSetBuffering(g_pStdOut, RTSTREAMBUF_NONE);
        else if (rtProbeIs(psz, "die"))         /* ends without the exit routines */
            TerminateProcess(GetCurrentProcess(), 7);
    }
    return -RTStreamGetStatus(g_pStdOut);
}
