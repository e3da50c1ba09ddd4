/* Joining two paths into a new string (RTPathJoinA). */
#include "rt/path.h"
#include "rt/string.h"
#include <string.h>

char *RTPathJoinA(const char *pszFirst, const char *pszSecond)
{
    if (!RT_VALID_PTR(pszFirst) || !RT_VALID_PTR(pszSecond))
        return nullptr;
    size_t const cchFirst = strlen(pszFirst);
    size_t const cb = cchFirst + strlen(pszSecond) + 4;
    char *psz = RTStrNew(cb);
    if (!psz)
        return nullptr;
    memcpy(psz, pszFirst, cchFirst + 1);
    if (RT_FAILURE(RTPathAppendStr(psz, cb, pszSecond)))
    {
        RTStrRelease(psz);
        return nullptr;
    }
    return psz;
}
