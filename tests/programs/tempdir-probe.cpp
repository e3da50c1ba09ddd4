/* Test program for the temporary-directory lookup: asks for it with a buffer of the size
 * given as the only argument (default 260) and prints the status and the text on one line:
 * "<status> <path>". */
#include "rt/path.h"
#include "rt/stream.h"
#include "rt/strconv.h"

extern "C" int main(int argc, char **argv, char **envp)
{
    (void)envp;
    uint32_t cbBuf = 260;
    if (argc > 1)
        RTStrParseU32(argv[1], nullptr, 10, &cbBuf);
    char szPath[1024];
    if (cbBuf > sizeof(szPath))
        cbBuf = sizeof(szPath);
    szPath[0] = '\0';
    RTSTATUS const rc = RTPathTempDir(szPath, cbBuf);
    RTPrintfStdOut("%d %s\n", rc, RT_SUCCESS(rc) ? szPath : "");
    return 0;
}
