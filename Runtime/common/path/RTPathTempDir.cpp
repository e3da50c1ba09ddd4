/* The temporary directory: the first of a fixed list of environment variables that holds
 * a value, made absolute so that it names the same place whatever the current directory
 * becomes later. */
#include "rt/path.h"
#include "rt/env.h"
#include "rt/string.h"
#include "internal/path.h"

namespace {

/** Asked in this order. */
constexpr const char *g_apszTempDirVars[] = { "ZUNT_TMPDIR", "TMP", "TEMP", "USERPROFILE" };
/** When none of them is set. */
constexpr char g_szTempDirFallback[] = "/tmp";

} /* namespace */

/** True for "X:\..." and for paths that begin with two separators (UNC and device forms):
 *  their meaning does not depend on the current directory or drive. */
static bool rtPathTempDirIsAbsolute(const char *psz)
{
    if (rtPathIsAnySep(psz[0]))
        return rtPathIsAnySep(psz[1]);
    return rtPathHasDrive(psz) && rtPathIsAnySep(psz[2]);
}

RTSTATUS RTPathTempDir(char *pszPath, size_t cbPath)
{
    if (!RT_VALID_PTR(pszPath))
        return ERR_BAD_POINTER;
    for (const char *pszVar : g_apszTempDirVars)
    {
        size_t cchValue = 0;
        RTSTATUS const rc = RTEnvQuery(pszVar, pszPath, cbPath, &cchValue);
        /* An empty value is as good as none: it would name the current directory. */
        if (rc == ERR_ENV_VARIABLE_MISSING || (RT_SUCCESS(rc) && cchValue == 0))
            continue;
        if (RT_FAILURE(rc) || rtPathTempDirIsAbsolute(pszPath))
            return rc;

        char *const pszValue = RTStrClone(pszPath);
        if (!pszValue)
            return ERR_OUT_OF_MEMORY;
        size_t cbAbs = cbPath;
        RTSTATUS const rcAbs = RTPathAbsEx(nullptr, pszValue, RTPSTYLE_HOST, pszPath, &cbAbs);
        RTStrRelease(pszValue);
        return rcAbs;
    }
    if (cbPath < sizeof(g_szTempDirFallback))
        return ERR_BUFFER_TOO_SMALL;
    return RTStrCopyBounded(pszPath, cbPath, g_szTempDirFallback);
}
