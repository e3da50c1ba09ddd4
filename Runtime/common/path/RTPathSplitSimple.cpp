/* Splitting a path into directory, file name and suffix by its text alone. */
#include "internal/path.h"

size_t RTPathSplitSimple(const char *pszPath, size_t *pcchDir, intptr_t *poffName, intptr_t *poffSuffix)
{
    size_t   cchDir = 0;
    intptr_t offName = -1;
    intptr_t offSuffix = -1;
    size_t   cchPath = 0;
    if (RT_VALID_PTR(pszPath))
    {
        /* The root: a drive letter with its colon, or two separators and a server name;
         * the separators that follow belong to it (alone they form it). */
        size_t cchRoot = 0;
        if (rtPathHasDrive(pszPath))
            cchRoot = 2;
        else if (rtPathIsAnySep(pszPath[0]) && rtPathIsAnySep(pszPath[1]))
        {
            cchRoot = 2;
            while (pszPath[cchRoot] && !rtPathIsAnySep(pszPath[cchRoot]))
                cchRoot++;
        }
        while (rtPathIsAnySep(pszPath[cchRoot]))
            cchRoot++;

        size_t offNameStart = cchRoot;
        size_t offDot = 0;
        bool   fDot = false;
        for (cchPath = cchRoot; pszPath[cchPath]; cchPath++)
        {
            if (rtPathIsAnySep(pszPath[cchPath]))
            {
                offNameStart = cchPath + 1;
                fDot = false;
            }
            else if (pszPath[cchPath] == '.')
            {
                offDot = cchPath;
                fDot = true;
            }
        }

        if (offNameStart >= cchPath)
            cchDir = cchPath;
        else
        {
            offName = static_cast<intptr_t>(offNameStart);
            if (fDot && offDot != offNameStart && offDot + 1 < cchPath)
                offSuffix = static_cast<intptr_t>(offDot);
            cchDir = offNameStart > 0 ? offNameStart - 1 : 0;
            while (cchDir > cchRoot && rtPathIsAnySep(pszPath[cchDir - 1]))
                cchDir--;
            if (cchDir < cchRoot)
                cchDir = cchRoot;
        }
    }
    if (pcchDir)
        *pcchDir = cchDir;
    if (poffName)
        *poffName = offName;
    if (poffSuffix)
        *poffSuffix = offSuffix;
    return cchPath;
}
