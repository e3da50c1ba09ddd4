/* Test support: texts the runtime gives. */
#include "runtime-text.h"
#include "rt/format.h"
#include "rt/path.h"

std::string StatusText(const char *pszFormat, RTSTATUS rc)
{
    char sz[512];
    RTStrPrintBuf(sz, sizeof(sz), pszFormat, rc);
    return sz;
}

std::string CurrentDir()
{
    char sz[1024];
    return RT_SUCCESS(RTPathGetCurrentDir(sz, sizeof(sz))) ? sz : "";
}
