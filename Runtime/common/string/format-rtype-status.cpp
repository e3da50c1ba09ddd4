/* Status directives of the typed-directive families: status codes (%Rrc, %Rrs, %Rrf, %Rra),
 * Win32 error codes (%Rwc, %Rwf, %Rwa, a family of their own) and error-information
 * records (%RTeic, %RTeim). */
#include "internal/format-rtype.h"
#include "rt/err.h"

static_assert(RTFMT_SCRATCH_SIZE >= RTERR_SCRATCH_SIZE, "the engine's scratch area holds status numbers");

size_t rtFmtRTypeStatus(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec)
{
    typedef size_t (*PFNPRINTSTATUS)(RTSTATUS, RTFmtOutputFn, void *, char *);
    PFNPRINTSTATUS pfnStatus;
    switch (pszType[1])
    {
        case 'c': pfnStatus = RTErrPrintName; break;
        case 's':
        case 'f': pfnStatus = RTErrPrintMessage; break;
        case 'a': pfnStatus = RTErrPrintFull; break;
        default:  return 0;
    }
    /* The printers talk to the output callback themselves. */
    pSink->Flush();
    RTSTATUS const rc = va_arg(*pSpec->pArgs, RTSTATUS);
    pSink->Passed(pfnStatus(rc, pSink->pfnOutput, pSink->pvOutput, pSpec->pszScratch));
    return 2;
}

size_t rtFmtRTypeWinStatus(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec)
{
    typedef size_t (*PFNPRINTWIN)(uint32_t, RTFmtOutputFn, void *, char *);
    PFNPRINTWIN pfnWin;
    switch (pszType[1])
    {
        case 'c':
        case 'f': pfnWin = RTErrWinPrintName; break;
        case 'a': pfnWin = RTErrWinPrintFull; break;
        default:  return 0;
    }
    pSink->Flush();
    uint32_t const uCode = va_arg(*pSpec->pArgs, uint32_t);
    pSink->Passed(pfnWin(uCode, pSink->pfnOutput, pSink->pvOutput, pSpec->pszScratch));
    return 2;
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
