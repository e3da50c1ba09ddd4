/* Status directives of the typed-directive families: status codes (%Rrc, %Rrs, %Rrf, %Rra),
 * Win32 error codes (%Rwc, %Rwf, %Rwa, a family of their own) and error-information
 * records (%RTeic, %RTeim). */
#include "internal/format-rtype.h"
#include "internal/err.h"

static_assert(RTFMT_SCRATCH_SIZE >= RTERR_SCRATCH_SIZE, "the engine's scratch area holds status numbers");

/** Hands the directive's argument to its printer, which talks to the output callback itself. */
template <typename T>
static size_t rtFmtStatusPrint(RTFMTSINK *pSink, RTFMTSPEC const *pSpec,
                               size_t (*pfnPrint)(T, RTFmtOutputFn, void *, char *))
{
    pSink->Flush();
    T const uValue = va_arg(*pSpec->pArgs, T);
    pSink->Passed(pfnPrint(uValue, pSink->pfnOutput, pSink->pvOutput, pSpec->pszScratch));
    return 2;
}

size_t rtFmtRTypeStatus(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec)
{
    switch (pszType[1])
    {
        case 'c': return rtFmtStatusPrint<RTSTATUS>(pSink, pSpec, RTErrPrintName);
        case 's':
        case 'f': return rtFmtStatusPrint<RTSTATUS>(pSink, pSpec, RTErrPrintMessage);
        case 'a': return rtFmtStatusPrint<RTSTATUS>(pSink, pSpec, RTErrPrintFull);
        default:  return 0;
    }
}

size_t rtFmtRTypeWinStatus(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec)
{
    switch (pszType[1])
    {
        case 'c':
        case 'f': return rtFmtStatusPrint<uint32_t>(pSink, pSpec, RTErrWinPrintName);
        case 'a': return rtFmtStatusPrint<uint32_t>(pSink, pSpec, RTErrWinPrintFull);
        default:  return 0;
    }
}

void rtFmtErrInfo(RTFMTSINK *pSink, const void *pv, bool fWithStatus, RTFMTSPEC const *pSpec)
{
    if (!RT_VALID_PTR(pv))
        return;
    RTERRINFO const *pErrInfo = static_cast<RTERRINFO const *>(pv);
    if (!RTErrInfoHasReason(pErrInfo))
        return;

    if (fWithStatus)
    {
        pSink->Flush();
        pSink->Passed(RTErrPrintMessage(pErrInfo->iResult, pSink->pfnOutput, pSink->pvOutput,
                                        pSpec->pszScratch));
    }
    /* A record whose buffer pointer is bad gets no message part rather than a fault. */
    if (pErrInfo->cbReason && RT_VALID_PTR(pErrInfo->pszReason))
    {
        pSink->Str(pSpec->fFlags & FMT_BASE_PREFIX ? " - " : ": ");
        const char *pszReason = pErrInfo->pszReason;
        size_t cch = 0;
        while (cch < pErrInfo->cbReason && pszReason[cch])
            cch++;
        pSink->Write(pszReason, cch);
    }
}

extern const RTFMTRTYPEFAMILY g_RTFmtRTypeStatus = { "r", rtFmtRTypeStatus };
extern const RTFMTRTYPEFAMILY g_RTFmtRTypeWinStatus = { "w", rtFmtRTypeWinStatus };
