/* IPv4 addresses and networks and Ethernet MAC addresses from text. */
#include "rt/strconv.h"
#include "internal/strtonum.h"

RTSTATUS RTNetParseIPv4Ex(const char *psz, uint8_t *pabAddr, char **ppszNext)
{
    if (!RT_VALID_PTR(psz) || !RT_VALID_PTR(pabAddr))
        return ERR_BAD_ARGUMENT;

    uint8_t ab[4];
    char *pszNext = nullptr;
    RTSTATUS rc = INF_SUCCESS;
    for (unsigned i = 0; i < 4; i++)
    {
        rc = RTStrParseU8(psz, &pszNext, 10, &ab[i]);
        bool const fLast = i == 3;
        if (rc != INF_SUCCESS && rc != WRN_TRAILING_CHARS && !(fLast && rc == WRN_TRAILING_SPACES))
            return ERR_BAD_ARGUMENT;
        if (!fLast)
        {
            if (*pszNext != '.')
                return ERR_BAD_ARGUMENT;
            psz = pszNext + 1;
        }
    }
    for (unsigned i = 0; i < 4; i++)
        pabAddr[i] = ab[i];
    if (ppszNext)
        *ppszNext = pszNext;
    return rc;
}

RTSTATUS RTNetParseIPv4(const char *psz, uint8_t *pabAddr)
{
    if (!RT_VALID_PTR(psz))
        return ERR_BAD_ARGUMENT;
    while (rtStrIsSpace(*psz))
        psz++;
    RTSTATUS rc = RTNetParseIPv4Ex(psz, pabAddr, nullptr);
    return rc == INF_SUCCESS || rc == WRN_TRAILING_SPACES ? INF_SUCCESS : ERR_BAD_ARGUMENT;
}

RTSTATUS RTNetParseIPv4Cidr(const char *psz, uint32_t *puAddr, uint32_t *puMask)
{
    if (!RT_VALID_PTR(psz) || !RT_VALID_PTR(puAddr) || !RT_VALID_PTR(puMask))
        return ERR_BAD_ARGUMENT;

    unsigned cPrefix = 32;
    for (const char *pszSlash = psz; *pszSlash; pszSlash++)
        if (*pszSlash == '/')
        {
            uint8_t u8 = 0;
            char *pszEnd = nullptr;
            if (RTStrParseU8(pszSlash + 1, &pszEnd, 10, &u8) != INF_SUCCESS || *pszEnd || u8 > 32)
                return ERR_BAD_ARGUMENT;
            cPrefix = u8;
            break;
        }

    unsigned const cPartsNeeded = cPrefix <= 8 ? 1 : cPrefix <= 16 ? 2 : cPrefix <= 24 ? 3 : 4;
    uint32_t uAddr = 0;
    unsigned cParts = 0;
    for (;;)
    {
        uint8_t u8 = 0;
        char *pszEnd = nullptr;
        RTSTATUS rc = RTStrParseU8(psz, &pszEnd, 10, &u8);
        if (rc != INF_SUCCESS && rc != WRN_TRAILING_CHARS && rc != WRN_TRAILING_SPACES)
            return ERR_BAD_ARGUMENT;
        uAddr |= static_cast<uint32_t>(u8) << (24 - 8 * cParts);
        cParts++;
        psz = pszEnd;
        if (*psz != '.' || cParts == 4)
            break;
        psz++;
    }
    if (cParts < cPartsNeeded || (*psz && *psz != '/'))
        return ERR_BAD_ARGUMENT;

    uint32_t const uMask = cPrefix ? UINT32_MAX << (32 - cPrefix) : 0;
    if (uAddr & ~uMask)
        return ERR_BAD_ARGUMENT;
    /* A network cannot start with 0 unless it is the whole address space (0.0.0.0/0). */
    if ((uAddr >> 24) == 0 && (uAddr != 0 || cPrefix == 32))
        return ERR_BAD_ARGUMENT;

    *puAddr = uAddr;
    *puMask = uMask;
    return INF_SUCCESS;
}

RTSTATUS RTNetParseMac(const char *psz, uint8_t *pabMac)
{
    if (!RT_VALID_PTR(psz) || !RT_VALID_PTR(pabMac))
        return ERR_BAD_ARGUMENT;

    /* Twelve digits in a row. */
    unsigned cHex = 0;
    while (cHex < 12 && rtStrIsHexDigit(psz[cHex]))
        cHex++;
    if (cHex == 12)
    {
        for (const char *pszRest = psz + 12; *pszRest; pszRest++)
            if (!rtStrIsSpace(*pszRest))
                return ERR_BAD_ARGUMENT;
        char szDigits[13];
        for (unsigned i = 0; i < 12; i++)
            szDigits[i] = psz[i];
        szDigits[12] = '\0';
        RTSTATUS rc = RTStrParseHexBytes(szDigits, pabMac, 6, 0);
        return RT_FAILURE(rc) ? rc : INF_SUCCESS;
    }

    /* Colon form: six groups, the middle four may be empty. */
    while (rtStrIsSpace(*psz))
        psz++;
    uint8_t ab[6];
    for (unsigned i = 0; i < 6; i++)
    {
        bool const fEdge = i == 0 || i == 5;
        if (!fEdge && *psz == ':')
            ab[i] = 0;
        else
        {
            char *pszEnd = nullptr;
            RTSTATUS rc = RTStrParseU8(psz, &pszEnd, 16, &ab[i]);
            if (rc == ERR_NO_DIGITS_FOUND && i == 5)
                return ERR_NO_DIGITS_FOUND;
            if (rc != INF_SUCCESS && rc != WRN_TRAILING_CHARS && rc != WRN_TRAILING_SPACES)
                return ERR_BAD_ARGUMENT;
            psz = pszEnd;
        }
        if (i < 5)
        {
            if (*psz != ':')
                return ERR_BAD_ARGUMENT;
            psz++;
        }
    }
    while (rtStrIsSpace(*psz))
        psz++;
    if (*psz)
        return ERR_BAD_ARGUMENT;
    for (unsigned i = 0; i < 6; i++)
        pabMac[i] = ab[i];
    return INF_SUCCESS;
}
