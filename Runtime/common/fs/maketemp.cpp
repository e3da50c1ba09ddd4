/* Directories and files with unique names: a run of 'X' in a template is overwritten with
 * random characters until the creation finds the name free. */
#include "rt/dir.h"
#include "rt/file.h"
#include "rt/path.h"
#include "rt/rand.h"

namespace {

/** The characters that replace the template's 'X'. */
constexpr char g_achTempAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyz";
static_assert(sizeof(g_achTempAlphabet) - 1 == 36, "36 replacement characters");
/** Names tried before giving up. */
constexpr unsigned RTTEMP_MAX_TEMP_ATTEMPTS = 10000;
/** A run inside the file name (not at its end) is three or more 'X'. */
constexpr size_t RTTEMP_MIN_INNER_RUN = 3;

} /* namespace */

/** Finds the run of 'X' to replace: the trailing run, or else the rightmost run of at
 *  least three inside the last component. False when there is none. */
static bool rtTempFindRun(char *pszTemplate, char **ppchFirst, size_t *pcchRun)
{
    size_t cch = 0;
    while (pszTemplate[cch])
        cch++;
    if (!cch)
        return false;
    size_t offEnd = cch;
    if (pszTemplate[cch - 1] != 'X')
    {
        const char *const pszName = RTPathFileName(pszTemplate);
        if (!pszName)
            return false;
        size_t const offName = static_cast<size_t>(pszName - pszTemplate);
        if (cch - offName <= RTTEMP_MIN_INNER_RUN)
            return false;
        for (offEnd = cch; offEnd - offName >= RTTEMP_MIN_INNER_RUN; offEnd--)
            if (   pszTemplate[offEnd - 1] == 'X' && pszTemplate[offEnd - 2] == 'X'
                && pszTemplate[offEnd - 3] == 'X')
                break;
        if (offEnd - offName < RTTEMP_MIN_INNER_RUN)
            return false;
    }
    size_t offStart = offEnd;
    while (offStart > 0 && pszTemplate[offStart - 1] == 'X')
        offStart--;
    *ppchFirst = &pszTemplate[offStart];
    *pcchRun = offEnd - offStart;
    return true;
}

/** Tries names from the template until one is free: with @p phFile as a file opened with
 *  @p fOpen, else as a directory with @p fMode. On failure the template is emptied so that
 *  nobody takes it for a created name. One copy serves both kinds. */
[[gnu::noinline]] static RTSTATUS rtTempCreateUnique(char *pszTemplate, RTFILE *phFile, uint64_t fOpen, uint32_t fMode)
{
    char *pchRun;
    size_t cchRun;
    if (!rtTempFindRun(pszTemplate, &pchRun, &cchRun))
    {
        pszTemplate[0] = '\0';
        return ERR_BAD_ARGUMENT;
    }
    RTSTATUS rc = ERR_NAME_TAKEN;
    for (unsigned iAttempt = 0; iAttempt < RTTEMP_MAX_TEMP_ATTEMPTS; iAttempt++)
    {
        for (size_t i = cchRun; i-- > 0;)
            pchRun[i] = g_achTempAlphabet[RTRandRangeU32(0, sizeof(g_achTempAlphabet) - 2)];
        rc = phFile ? RTFileOpenNamed(phFile, pszTemplate, fOpen) : RTDirMake(pszTemplate, fMode, 0);
        if (RT_SUCCESS(rc))
            return rc;
        if (rc != ERR_NAME_TAKEN)
            break;
    }
    pszTemplate[0] = '\0';
    return rc;
}

RTSTATUS RTDirMakeTemp(char *pszTemplate, uint32_t fMode)
{
    if (!RT_VALID_PTR(pszTemplate))
        return ERR_BAD_POINTER;
    return rtTempCreateUnique(pszTemplate, nullptr, 0, fMode);
}

RTSTATUS RTFileMakeTemp(RTFILE *phFile, char *pszTemplate, uint64_t fOpen)
{
    if (!RT_VALID_PTR(phFile))
        return ERR_BAD_POINTER;
    *phFile = NIL_RTFILE;
    if (!RT_VALID_PTR(pszTemplate))
        return ERR_BAD_POINTER;
    if ((fOpen & RTFOPEN_ACTION_MASK) != RTFOPEN_CREATE)
        return ERR_BAD_FLAGS;
    return rtTempCreateUnique(pszTemplate, phFile, fOpen, 0);
}
