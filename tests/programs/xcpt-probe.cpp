/* Test program for the unhandled-exception report: initialises the runtime (which puts
 * its filter in place), gives the report a logger through the hooks, whose lines go to
 * the file named by the first argument, and then reads address zero. What happens next
 * is the platform's to decide. */
#include <windows.h>
#include "rt/format.h"
#include "rt/init.h"
#include "rt/log.h"
#include "rt/xcpt.h"

static HANDLE g_hLogFile = INVALID_HANDLE_VALUE;
/** Any address that passes the pointer test: the print hook below ignores the instance. */
static RTLOGINSTANCE *const g_pProbeLogger = reinterpret_cast<RTLOGINSTANCE *>(0x5a5a0000);

static RTSTATUS ProbePrintV(RTLOGINSTANCE *, uint32_t, uint32_t, const char *pszFormat, va_list args)
{
    static char s_szLine[65536];
    size_t const cch = RTStrPrintBufV(s_szLine, sizeof(s_szLine), pszFormat, args);
    DWORD cbWritten;
    WriteFile(g_hLogFile, s_szLine, static_cast<DWORD>(cch), &cbWritten, nullptr);
    return INF_SUCCESS;
}

static RTLOGINSTANCE *ProbeLogger(void)
{
    return g_pProbeLogger;
}

extern "C" int main(int argc, char **argv, char **envp)
{
    (void)envp;
    if (argc < 2 || RT_FAILURE(RTR3InitForExe(argc, &argv, RTINIT_F_SYSTEM32_ONLY)))
        return 2;
    g_hLogFile = CreateFileA(argv[1], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (g_hLogFile == INVALID_HANDLE_VALUE)
        return 3;
    g_pfnLogPrintV = ProbePrintV;
    RTXcptSetLoggerHooks(ProbeLogger, nullptr);
    /* The pointer is read from a volatile so that the compiler cannot see it is null: a
     * store it knows to go to address zero is compiled as a trap instruction instead. */
    volatile int *volatile pNowhere = nullptr;
    *pNowhere = 1;
    return 0;
}
