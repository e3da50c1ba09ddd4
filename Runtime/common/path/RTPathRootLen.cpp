/* The root of a path: a drive, a UNC server and share, or leading separators. */
#include "internal/path.h"

size_t RTPathRootLen(const char *pszPath)
{
    if (!RT_VALID_PTR(pszPath))
        return 0;
    size_t off;
    if (rtPathIsAnySep(pszPath[0]))
    {
        if (rtPathIsAnySep(pszPath[1]) && pszPath[2] && !rtPathIsAnySep(pszPath[2]))
        {
            /* \\server\share */
            off = 2;
            while (pszPath[off] && !rtPathIsAnySep(pszPath[off]))
                off++;
            while (rtPathIsAnySep(pszPath[off]))
                off++;
            while (pszPath[off] && !rtPathIsAnySep(pszPath[off]))
                off++;
        }
        else
            off = 1;
    }
    else if (rtPathHasDrive(pszPath))
        off = 2;
    else
        return 0;
    while (rtPathIsAnySep(pszPath[off]))
        off++;
    return off;
}

bool RTPathStartsWithRoot(const char *pszPath)
{
    /* Whether RTPathRootLen would find a root, without measuring it. */
    return RT_VALID_PTR(pszPath) && (rtPathIsAnySep(pszPath[0]) || rtPathHasDrive(pszPath));
}
