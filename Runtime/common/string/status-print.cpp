/* The printing forms of statuses and Win32 error codes: names, messages and numbers. */
#include "internal/err.h"

/** Outputs a literal piece. */
template <size_t N>
static size_t rtErrOutLit(RTFmtOutputFn pfnOutput, void *pvUser, const char (&sz)[N])
{
    return pfnOutput(pvUser, sz, N - 1);
}

static size_t rtErrOutDecimal(RTSTATUS rc, RTFmtOutputFn pfnOutput, void *pvUser, char *pszScratch)
{
    int const cch = RTFmtNumber(pszScratch, static_cast<uint64_t>(static_cast<int64_t>(rc)), 10, -1, -1,
                                FMT_SIGNED);
    return pfnOutput(pvUser, pszScratch, static_cast<size_t>(cch));
}

/* Hexadecimal with "0x" and lower-case digits; a negative status shows its 32-bit pattern. */
static size_t rtErrOutHex(uint32_t uValue, RTFmtOutputFn pfnOutput, void *pvUser, char *pszScratch)
{
    int const cch = RTFmtNumber(pszScratch, uValue, 16, -1, -1, FMT_BASE_PREFIX);
    return pfnOutput(pvUser, pszScratch, static_cast<size_t>(cch));
}

static size_t rtErrOutName(int iEntry, RTFmtOutputFn pfnOutput, void *pvUser)
{
    uint32_t off, cb;
    RTErrEntryGetName(&g_aRTErrEntries[iEntry], &off, &cb);
    return RTErrExpandText(&g_RTErrPackedText, off, cb, pfnOutput, pvUser);
}

static size_t rtErrOutMessage(int iEntry, RTFmtOutputFn pfnOutput, void *pvUser)
{
    uint32_t off, cb;
    RTErrEntryGetMessage(&g_aRTErrEntries[iEntry], &off, &cb);
    return RTErrExpandText(&g_RTErrPackedText, off, cb, pfnOutput, pvUser);
}

size_t RTErrPrintUnknown(RTSTATUS rc, RTFmtOutputFn pfnOutput, void *pvUser, char *pszScratch)
{
    size_t cch = rtErrOutLit(pfnOutput, pvUser, "Unknown Status ");
    cch += rtErrOutDecimal(rc, pfnOutput, pvUser, pszScratch);
    cch += rtErrOutLit(pfnOutput, pvUser, " (");
    cch += rtErrOutHex(static_cast<uint32_t>(rc), pfnOutput, pvUser, pszScratch);
    cch += rtErrOutLit(pfnOutput, pvUser, ")");
    return cch;
}

size_t RTErrPrintName(RTSTATUS rc, RTFmtOutputFn pfnOutput, void *pvUser, char *pszScratch)
{
    int const iEntry = RTErrFindEntry(rc);
    if (iEntry < 0)
        return rtErrOutDecimal(rc, pfnOutput, pvUser, pszScratch);
    return rtErrOutName(iEntry, pfnOutput, pvUser);
}

size_t RTErrPrintFull(RTSTATUS rc, RTFmtOutputFn pfnOutput, void *pvUser, char *pszScratch)
{
    int const iEntry = RTErrFindEntry(rc);
    if (iEntry < 0)
        return RTErrPrintUnknown(rc, pfnOutput, pvUser, pszScratch);
    size_t cch = rtErrOutName(iEntry, pfnOutput, pvUser);
    cch += rtErrOutLit(pfnOutput, pvUser, " (");
    cch += rtErrOutDecimal(rc, pfnOutput, pvUser, pszScratch);
    cch += rtErrOutLit(pfnOutput, pvUser, ") - ");
    cch += rtErrOutMessage(iEntry, pfnOutput, pvUser);
    return cch;
}

size_t RTErrPrintMessage(RTSTATUS rc, RTFmtOutputFn pfnOutput, void *pvUser, char *pszScratch)
{
    int const iEntry = RTErrFindEntry(rc);
    if (iEntry < 0)
        return RTErrPrintUnknown(rc, pfnOutput, pvUser, pszScratch);
    return rtErrOutMessage(iEntry, pfnOutput, pvUser);
}

/*
 * Win32 error codes.
 */

/** An HRESULT of the Win32 facility carries a Win32 code in its low 16 bits. */
static bool rtErrWinIsWin32HResult(uint32_t uCode)
{
    return ((uCode >> 16) & 0x1FFF) == 7;
}

static int rtErrWinFindEntryOrHResult(uint32_t uCode)
{
    int iEntry = RTErrWinFindEntry(uCode);
    if (iEntry < 0 && rtErrWinIsWin32HResult(uCode))
        iEntry = RTErrWinFindEntry(uCode & 0xFFFF);
    return iEntry;
}

static size_t rtErrWinOutName(int iEntry, RTFmtOutputFn pfnOutput, void *pvUser)
{
    RTERRWINENTRY const *pEntry = &g_aRTErrWinEntries[iEntry];
    if (static_cast<uint32_t>(pEntry->offName) + pEntry->cchName > g_cbRTErrWinNames)
        return 0;
    return pfnOutput(pvUser, &g_achRTErrWinNames[pEntry->offName], pEntry->cchName);
}

size_t RTErrWinPrintName(uint32_t uCode, RTFmtOutputFn pfnOutput, void *pvUser, char *pszScratch)
{
    int iEntry = RTErrWinFindEntry(uCode);
    if (iEntry >= 0)
        return rtErrWinOutName(iEntry, pfnOutput, pvUser);
    size_t cch = 0;
    if (rtErrWinIsWin32HResult(uCode) && (iEntry = RTErrWinFindEntry(uCode & 0xFFFF)) >= 0)
    {
        cch += rtErrWinOutName(iEntry, pfnOutput, pvUser);
        cch += rtErrOutLit(pfnOutput, pvUser, "/");
    }
    return cch + rtErrOutHex(uCode, pfnOutput, pvUser, pszScratch);
}

size_t RTErrWinPrintFull(uint32_t uCode, RTFmtOutputFn pfnOutput, void *pvUser, char *pszScratch)
{
    int const iEntry = rtErrWinFindEntryOrHResult(uCode);
    if (iEntry < 0)
    {
        size_t const cch = rtErrOutLit(pfnOutput, pvUser, "Unknown Status ");
        return cch + rtErrOutHex(uCode, pfnOutput, pvUser, pszScratch);
    }
    size_t cch = rtErrWinOutName(iEntry, pfnOutput, pvUser);
    cch += rtErrOutLit(pfnOutput, pvUser, " (");
    cch += rtErrOutHex(uCode, pfnOutput, pvUser, pszScratch);
    cch += rtErrOutLit(pfnOutput, pvUser, ")");
    return cch;
}
