/* Hexadecimal byte strings to bytes. */
#include "rt/strconv.h"
#include "internal/strtonum.h"

RTSTATUS RTStrParseHexBytes(const char *psz, void *pv, size_t cb, uint32_t fFlags)
{
    if (!RT_VALID_PTR(pv) || !RT_VALID_PTR(psz))
        return ERR_BAD_POINTER;
    if (fFlags & ~STRHEX_COLON_GROUPS)
        return ERR_BAD_FLAGS;

    uint8_t *pb = static_cast<uint8_t *>(pv);
    size_t ib = 0;
    bool const fColons = fFlags & STRHEX_COLON_GROUPS;
    bool fAfterColon = false;
    for (;;)
    {
        /* One group: a run of digits up to a ':' (colon groups) or to the first non-digit. */
        const char *pszGroup = psz;
        while (rtStrIsHexDigit(*psz))
            psz++;
        size_t const cDigits = static_cast<size_t>(psz - pszGroup);
        bool const fColonNext = fColons && *psz == ':';
        bool const fGroupForm = fColonNext || fAfterColon;

        if (cDigits == 1 && fGroupForm)
        {
            if (ib >= cb)
                return ERR_BUFFER_TOO_SMALL;
            pb[ib++] = static_cast<uint8_t>(rtStrDigitValue(pszGroup[0]));
        }
        else if (cDigits == 0 && fGroupForm)
        {
            if (ib >= cb)
                return ERR_BUFFER_TOO_SMALL;
            pb[ib++] = 0;
        }
        else
        {
            /* Pairs are taken in order, so a buffer they overrun is met before a lone
               digit at the end of the run. */
            for (size_t i = 0; i + 1 < cDigits; i += 2)
            {
                if (ib >= cb)
                    return ERR_BUFFER_TOO_SMALL;
                pb[ib++] = static_cast<uint8_t>(rtStrDigitValue(pszGroup[i]) << 4 | rtStrDigitValue(pszGroup[i + 1]));
            }
            if (cDigits & 1)
                return ERR_ODD_DIGIT_COUNT;
        }

        if (!fColonNext)
            break;
        psz++;
        fAfterColon = true;
    }

    if (ib < cb)
        return ERR_BUFFER_UNDERRUN;
    if (!*psz)
        return INF_SUCCESS;
    while (*psz == ' ' || *psz == '\t')
        psz++;
    return *psz ? WRN_TRAILING_CHARS : WRN_TRAILING_SPACES;
}
