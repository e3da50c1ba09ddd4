/* Lookups and edits on path text that need no parsing: suffix, file name, separator
 * kind, trailing separator. */
#include "internal/path.h"
#include <string.h>

char *RTPathSuffix(const char *pszPath)
{
    if (!RT_VALID_PTR(pszPath))
        return nullptr;
    /* The suffix is the last dot of the file name and what follows it; a dot that starts
     * the name (".profile") or ends it ("name.") makes none. */
    const char *pszDot = nullptr;
    bool fNameStart = true;
    const char *psz = pszPath;
    for (; *psz; psz++)
    {
        if (rtPathIsSepOrColon(*psz))
        {
            pszDot = nullptr;
            fNameStart = true;
            continue;
        }
        if (*psz == '.' && !fNameStart)
            pszDot = psz;
        fNameStart = false;
    }
    if (pszDot && pszDot + 1 == psz)
        return nullptr;
    return const_cast<char *>(pszDot);
}

char *RTPathFileName(const char *pszPath)
{
    if (!RT_VALID_PTR(pszPath))
        return nullptr;
    const char *pszName = pszPath;
    for (const char *psz = pszPath; *psz; psz++)
        if (rtPathIsSepOrColon(*psz))
            pszName = psz + 1;
    return *pszName ? const_cast<char *>(pszName) : nullptr;
}

char *RTPathToBackslashes(char *pszPath)
{
    if (!RT_VALID_PTR(pszPath))
        return pszPath;
    for (char *psz = pszPath; *psz; psz++)
        if (*psz == '/')
            *psz = '\\';
    return pszPath;
}

size_t RTPathEnsureTrailingSlash(char *pszPath, size_t cbPath)
{
    if (!RT_VALID_PTR(pszPath) || !cbPath)
        return 0;
    size_t cch = 0;
    while (cch < cbPath && pszPath[cch])
        cch++;
    if (cch >= cbPath)
        return 0;
    if (!cch)
    {
        if (cbPath < 3)
            return 0;
        pszPath[0] = '.';
        pszPath[1] = '\\';
        pszPath[2] = '\0';
        return 2;
    }
    if (rtPathIsSepOrColon(pszPath[cch - 1]))
        return cch;
    if (cch + 2 > cbPath)
        return 0;
    pszPath[cch] = '\\';
    pszPath[cch + 1] = '\0';
    return cch + 1;
}
