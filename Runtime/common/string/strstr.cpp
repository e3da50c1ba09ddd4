/* Substring search. */
#include "rt/strconv.h"

const char *RTStrFindSubstr(const char *psz, const char *pszPattern)
{
    char const chFirst = *pszPattern;
    if (!chFirst)
        return psz;
    for (; *psz; psz++)
    {
        if (*psz != chFirst)
            continue;
        size_t i = 1;
        while (pszPattern[i] && psz[i] == pszPattern[i])
            i++;
        if (!pszPattern[i])
            return psz;
    }
    return nullptr;
}

const char *RTStrFindSubstrSafe(const char *psz, const char *pszPattern)
{
    if (!psz || !pszPattern)
        return nullptr;
    return RTStrFindSubstr(psz, pszPattern);
}
