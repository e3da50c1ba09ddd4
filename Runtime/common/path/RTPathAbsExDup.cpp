/* Making a path absolute into a new string (RTPathAbsExDup). */
#include "rt/path.h"
#include "rt/string.h"

char *RTPathAbsExDup(const char *pszBase, const char *pszPath, uint32_t fFlags)
{
    size_t cbBuf = 2050;
    for (unsigned iTry = 0; iTry < 16; iTry++)
    {
        char *psz = RTStrNew(cbBuf);
        if (!psz)
            return nullptr;
        size_t cb = cbBuf;
        RTSTATUS const rc = RTPathAbsEx(pszBase, pszPath, fFlags, psz, &cb);
        if (RT_SUCCESS(rc))
        {
            if (cb < cbBuf / 2)
                RTStrResize(&psz, cb + 1); /* a failed shrink keeps the larger block */
            return psz;
        }
        RTStrRelease(psz);
        if (rc != ERR_BUFFER_TOO_SMALL)
            return nullptr;
        size_t const cbGrown  = cbBuf + 256;
        size_t const cbWanted = (cb + 79) & ~static_cast<size_t>(63);
        cbBuf = cbGrown > cbWanted ? cbGrown : cbWanted;
    }
    return nullptr;
}
