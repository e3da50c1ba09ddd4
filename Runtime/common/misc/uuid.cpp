/* UUIDs from their text form. */
#include "rt/strconv.h"
#include "internal/strtonum.h"

RTSTATUS RTUuidParse(void *pvUuid, const char *psz)
{
    if (!RT_VALID_PTR(pvUuid) || !RT_VALID_PTR(psz))
        return ERR_BAD_ARGUMENT;

    bool const fBraces = *psz == '{';
    if (fBraces)
        psz++;
    uint8_t abDigits[32];
    unsigned cDigits = 0;
    for (unsigned i = 0; i < 36; i++)
    {
        if (i == 8 || i == 13 || i == 18 || i == 23)
        {
            if (psz[i] != '-')
                return ERR_UUID_MALFORMED;
        }
        else if (rtStrIsHexDigit(psz[i]))
            abDigits[cDigits++] = static_cast<uint8_t>(rtStrDigitValue(psz[i]));
        else
            return ERR_UUID_MALFORMED;
    }
    psz += 36;
    if (fBraces && *psz++ != '}')
        return ERR_UUID_MALFORMED;
    if (*psz)
        return ERR_UUID_MALFORMED;

    uint8_t ab[16];
    for (unsigned i = 0; i < 16; i++)
        ab[i] = static_cast<uint8_t>(abDigits[2 * i] << 4 | abDigits[2 * i + 1]);
    /* The first three groups are numbers stored little-endian; the rest stays in order. */
    uint8_t *pb = static_cast<uint8_t *>(pvUuid);
    static constexpr uint8_t s_aiOrder[16] = { 3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15 };
    for (unsigned i = 0; i < 16; i++)
        pb[i] = ab[s_aiOrder[i]];
    return INF_SUCCESS;
}
