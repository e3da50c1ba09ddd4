/* Named custom types of the typed-directive family (%R[name]): the registry of handlers,
 * sorted by name, and the directive that looks them up. */
#include "internal/format-rtype.h"
#include "rt/format-types.h"
#include "internal/sorted-search.h"

namespace {

struct RTFMTCUSTOMTYPE
{
    uint8_t           cchName;
    char              szName[RTFMT_CUSTOM_NAME_MAX + 1];
    RTFmtCustomTypeFn pfnHandler;
    void             *pvUser;
};
static_assert(RTFMT_CUSTOM_NAME_MAX <= 255, "name lengths are held in a byte");

/** Sorted by name. Readers take no lock: they read the count first (acquire), and writers
 *  fill an entry before they publish the count (release). Writers serialize through
 *  g_fFmtCustomTypesBusy. */
RTFMTCUSTOMTYPE g_aFmtCustomTypes[RTFMT_CUSTOM_TYPES_MAX];
uint32_t        g_cFmtCustomTypes;
bool            g_fFmtCustomTypesBusy;

/** Orders by the common prefix, then by length. */
int rtFmtCustomCompare(const char *pchName, size_t cchName, RTFMTCUSTOMTYPE const *pType)
{
    size_t const cchCommon = cchName < pType->cchName ? cchName : pType->cchName;
    int const iDiff = memcmp(pchName, pType->szName, cchCommon);
    if (iDiff)
        return iDiff;
    return cchName < pType->cchName ? -1 : cchName > pType->cchName ? 1 : 0;
}

/** Binary search; returns the index of the match, or -(insertion point) - 1. */
int rtFmtCustomSearch(const char *pchName, size_t cchName, uint32_t cTypes)
{
    return static_cast<int>(rtSortedSearch(cTypes, [&](size_t i) {
        return rtFmtCustomCompare(pchName, cchName, &g_aFmtCustomTypes[i]);
    }));
}

void rtFmtCustomLock()
{
    while (__atomic_test_and_set(&g_fFmtCustomTypesBusy, __ATOMIC_ACQUIRE))
        __builtin_ia32_pause();
}

void rtFmtCustomUnlock()
{
    __atomic_clear(&g_fFmtCustomTypesBusy, __ATOMIC_RELEASE);
}

/** Checks a name for registration: 1 to RTFMT_CUSTOM_NAME_MAX bytes, none of which would
 *  end or break the directive. Returns the length, or 0 if it is not acceptable. */
size_t rtFmtCustomNameLength(const char *pszName)
{
    size_t cch = 0;
    while (pszName[cch])
    {
        char const ch = pszName[cch];
        if (ch == ']' || ch == '[' || ch == '%' || ++cch > RTFMT_CUSTOM_NAME_MAX)
            return 0;
    }
    return cch;
}

} /* namespace */

int RTFmtCustomLookup(const char *pchName, size_t cchName)
{
    if (cchName && !RT_VALID_PTR(pchName))
        return -1;
    int const i = rtFmtCustomSearch(pchName, cchName, __atomic_load_n(&g_cFmtCustomTypes, __ATOMIC_ACQUIRE));
    return i >= 0 ? i : -1;
}

RTSTATUS RTFmtCustomRegister(const char *pszName, RTFmtCustomTypeFn pfnHandler, void *pvUser)
{
    if (!RT_VALID_PTR(pszName) || !RT_VALID_PTR(reinterpret_cast<const void *>(pfnHandler)))
        return ERR_BAD_POINTER;
    size_t const cchName = rtFmtCustomNameLength(pszName);
    if (!cchName)
        return ERR_BAD_ARGUMENT;

    RTSTATUS rc = INF_SUCCESS;
    rtFmtCustomLock();
    uint32_t const cTypes = g_cFmtCustomTypes;
    int const i = rtFmtCustomSearch(pszName, cchName, cTypes);
    if (i >= 0)
        rc = ERR_NAME_TAKEN;
    else if (cTypes >= RTFMT_CUSTOM_TYPES_MAX)
        rc = ERR_OUT_OF_MEMORY;
    else
    {
        uint32_t const iInsert = static_cast<uint32_t>(-i - 1);
        memmove(&g_aFmtCustomTypes[iInsert + 1], &g_aFmtCustomTypes[iInsert],
                (cTypes - iInsert) * sizeof(g_aFmtCustomTypes[0]));
        RTFMTCUSTOMTYPE *pType = &g_aFmtCustomTypes[iInsert];
        pType->cchName = static_cast<uint8_t>(cchName);
        memcpy(pType->szName, pszName, cchName + 1);
        pType->pfnHandler = pfnHandler;
        pType->pvUser = pvUser;
        __atomic_store_n(&g_cFmtCustomTypes, cTypes + 1, __ATOMIC_RELEASE);
    }
    rtFmtCustomUnlock();
    return rc;
}

RTSTATUS RTFmtCustomDeregister(const char *pszName)
{
    if (!RT_VALID_PTR(pszName))
        return ERR_BAD_POINTER;
    RTSTATUS rc = ERR_ITEM_NOT_FOUND;
    rtFmtCustomLock();
    uint32_t const cTypes = g_cFmtCustomTypes;
    int const i = rtFmtCustomSearch(pszName, rtFmtStrLen(pszName), cTypes);
    if (i >= 0)
    {
        __atomic_store_n(&g_cFmtCustomTypes, cTypes - 1, __ATOMIC_RELEASE);
        memmove(&g_aFmtCustomTypes[i], &g_aFmtCustomTypes[i + 1],
                (cTypes - 1 - static_cast<uint32_t>(i)) * sizeof(g_aFmtCustomTypes[0]));
        rc = INF_SUCCESS;
    }
    rtFmtCustomUnlock();
    return rc;
}

size_t rtFmtRTypeCustom(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec)
{
    /* "[name]": a terminator, '%' or '[' inside the brackets is a broken directive. */
    const char *pchName = pszType + 1;
    size_t cchName = 0;
    for (;; cchName++)
    {
        char const ch = pchName[cchName];
        if (ch == ']')
            break;
        if (ch == '\0' || ch == '%' || ch == '[')
            return 0;
    }

    uint32_t const uValue = va_arg(*pSpec->pArgs, uint32_t);
    int const i = RTFmtCustomLookup(pchName, cchName);
    if (i >= 0)
    {
        RTFMTCUSTOMTYPE const *pType = &g_aFmtCustomTypes[i];
        pSink->Flush();
        pSink->Passed(pType->pfnHandler(pSink->pfnOutput, pSink->pvOutput, pType->szName, uValue,
                                        pSpec->cchWidth, pSpec->cchPrecision, pSpec->fFlags, pType->pvUser));
    }
    else
    {
        pSink->Str("<missing:%R[");
        pSink->Write(pchName, cchName);
        pSink->Write("]>", 2);
    }
    return cchName + 2;
}

extern const RTFMTRTYPEFAMILY g_RTFmtRTypeCustom = { "[", rtFmtRTypeCustom };
