/* Status texts: lookup in the generated status text table, in the Win32 name table, and
 * expansion of packed texts. */
#include "internal/err.h"
#include "rt/string.h"
#include "internal/sorted-search.h"

int RTErrFindEntry(RTSTATUS rc)
{
    ptrdiff_t const iEntry = rtSortedSearch(g_cRTErrEntries, [rc](size_t i) {
        int32_t const iStatus = g_aRTErrEntries[i].iStatus;
        return rc < iStatus ? -1 : rc > iStatus ? 1 : 0;
    });
    return iEntry >= 0 ? static_cast<int>(iEntry) : -1;
}

size_t RTErrExpandText(const RTERRPACKEDTEXT *pText, uint32_t off, uint32_t cb,
                       RTFmtOutputFn pfnOutput, void *pvUser)
{
    uint32_t const cbArea = pText->cbArea;
    if (off >= cbArea || cb > cbArea - off || cb == 0)
        return 0;
    const char *pch = reinterpret_cast<const char *>(pText->pbArea) + off;
    if (pText->cWords == 0)
        return pfnOutput(pvUser, pch, cb);

    /* Byte 255 is a word like any other when the table has all 256; with fewer words it
     * escapes one literal character (ASCII, or one UTF-8 sequence passed on unchanged). */
    bool const fEscape = pText->cWords <= 255;
    size_t cchOut = 0;
    size_t cbLeft = cb;
    while (cbLeft > 0)
    {
        uint8_t const b = static_cast<uint8_t>(*pch++);
        cbLeft--;
        if (b == 0xFF && fEscape)
        {
            if (cbLeft > 0 && static_cast<uint8_t>(*pch) < 0x80)
            {
                cchOut += pfnOutput(pvUser, pch, 1);
                pch++;
                cbLeft--;
            }
            else
            {
                const char *pchSeq = pch;
                RTUNICP Cp;
                if (RT_SUCCESS(RTStrDecodeCpN(&pch, &cbLeft, &Cp)))
                    cchOut += pfnOutput(pvUser, pchSeq, static_cast<size_t>(pch - pchSeq));
                else
                    cchOut += pfnOutput(pvUser, "?", 1);
            }
            continue;
        }

        uint32_t const uWord = pText->pauWords[b];
        uint32_t const cbWord = uWord >> 22;
        if (cbWord <= 1)
            cchOut += pfnOutput(pvUser, pch - 1, 1);
        else
        {
            uint32_t const offWord = uWord & 0x3FFFFF;
            if (offWord + cbWord > cbArea)
                return cchOut;
            cchOut += pfnOutput(pvUser, reinterpret_cast<const char *>(pText->pbArea) + offWord, cbWord);
        }
    }
    return cchOut;
}

/*
 * Win32 error codes.
 */

int RTErrWinFindEntry(uint32_t uCode)
{
    /* The table holds a handful of rows at most: a scan beats a search. */
    for (uint32_t i = 0; i < g_cRTErrWinEntries; i++)
        if (g_aRTErrWinEntries[i].uCode == uCode)
            return static_cast<int>(i);
    return -1;
}
