/* The root of a path: a drive, a UNC server and share, or leading separators. */
#include "rt/path.h"

static inline bool rtPathRootIsSep(char ch)
{
    return ch == '\\' || ch == '/';
}

size_t RTPathRootLen(const char *pszPath)
{
    if (!RT_VALID_PTR(pszPath))
        return 0;
    size_t off;
    if (rtPathRootIsSep(pszPath[0]))
    {
        if (rtPathRootIsSep(pszPath[1]) && pszPath[2] && !rtPathRootIsSep(pszPath[2]))
        {
            /* \\server\share */
            off = 2;
            while (pszPath[off] && !rtPathRootIsSep(pszPath[off]))
                off++;
            while (rtPathRootIsSep(pszPath[off]))
                off++;
            while (pszPath[off] && !rtPathRootIsSep(pszPath[off]))
                off++;
        }
        else
            off = 1;
    }
    else if (((pszPath[0] >= 'A' && pszPath[0] <= 'Z') || (pszPath[0] >= 'a' && pszPath[0] <= 'z')) && pszPath[1] == ':')
        off = 2;
    else
        return 0;
    while (rtPathRootIsSep(pszPath[off]))
        off++;
    return off;
}

bool RTPathStartsWithRoot(const char *pszPath)
{
    return RTPathRootLen(pszPath) != 0;
}
