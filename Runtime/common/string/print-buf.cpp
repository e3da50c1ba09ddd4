/* The engine's front ends that print into memory: the truncating and the reporting
 * writers for a caller's buffer, and the writer that returns a new string. */
#include "rt/format.h"
#include "rt/mem.h"

namespace {

/** Copies a piece; most are a few bytes, where a call to the block copy costs more. */
inline void rtPrintCopy(char *pchDst, const char *pchSrc, size_t cch)
{
    if (cch <= 16)
        while (cch--)
            *pchDst++ = *pchSrc++;
    else
        __builtin_memcpy(pchDst, pchSrc, cch);
}

/** The writer into a caller's buffer: stores what fits and keeps the text terminated. The
 *  truncating front end counts what was stored; the reporting one counts every piece in
 *  full, so that the engine's total is the length the text would have had. */
struct RTPRINTBUF
{
    char   *pch;
    size_t  cchLeft;        /**< room before the terminator */
    bool    fCountAll;
    bool    fOverflow;
};

size_t rtPrintBufOutput(void *pvUser, const char *pch, size_t cch)
{
    RTPRINTBUF *pState = static_cast<RTPRINTBUF *>(pvUser);
    size_t cchCopy = cch;
    if (cchCopy > pState->cchLeft)
    {
        cchCopy = pState->cchLeft;
        pState->fOverflow = true;
    }
    rtPrintCopy(pState->pch, pch, cchCopy);
    pState->pch += cchCopy;
    pState->cchLeft -= cchCopy;
    *pState->pch = '\0';
    return pState->fCountAll ? cch : cchCopy;
}

/** Allocating writer: starts on the stack and moves to the heap only for long texts. */
constexpr size_t RTPRINTALLOC_STACK_SIZE = 2048;
constexpr size_t RTPRINTALLOC_STEP_MAX   = 1024 * 1024;
constexpr size_t RTPRINTALLOC_ALIGN      = 4096;
constexpr size_t RTPRINTALLOC_MAX        = 0x40000000;

struct RTPRINTALLOC
{
    char   *pchBuf;
    size_t  cch;
    size_t  cbCap;
    bool    fHeap;
    bool    fFailed;
    char    achStack[RTPRINTALLOC_STACK_SIZE];
};

bool rtPrintAllocGrow(RTPRINTALLOC *pState, size_t cchPiece)
{
    size_t cbStep = pState->cbCap < RTPRINTALLOC_STEP_MAX ? pState->cbCap : RTPRINTALLOC_STEP_MAX;
    if (cchPiece >= cbStep)
    {
        if (cchPiece > RTPRINTALLOC_MAX)
            return false;
        cbStep = (cchPiece + RTPRINTALLOC_ALIGN - 1) & ~(RTPRINTALLOC_ALIGN - 1);
    }
    size_t const cbNew = pState->cbCap + cbStep;
    if (cbNew > RTPRINTALLOC_MAX)
        return false;

    char *pchNew;
    if (pState->fHeap)
        pchNew = static_cast<char *>(RTMemRealloc(pState->pchBuf, cbNew));
    else
    {
        pchNew = static_cast<char *>(RTMemAlloc(cbNew));
        if (pchNew)
            __builtin_memcpy(pchNew, pState->pchBuf, pState->cch);
    }
    if (!pchNew)
        return false;
    pState->pchBuf = pchNew;
    pState->cbCap = cbNew;
    pState->fHeap = true;
    return true;
}

size_t rtPrintAllocOutput(void *pvUser, const char *pch, size_t cch)
{
    RTPRINTALLOC *pState = static_cast<RTPRINTALLOC *>(pvUser);
    if (pState->fFailed)
        return 0;
    /* The last byte of the capacity stays free for the terminator. */
    if (cch >= pState->cbCap - pState->cch && !rtPrintAllocGrow(pState, cch))
    {
        pState->fFailed = true;
        return 0;
    }
    __builtin_memcpy(&pState->pchBuf[pState->cch], pch, cch);
    pState->cch += cch;
    return cch;
}

} /* namespace */

size_t RTStrPrintBufV(char *pszBuf, size_t cbBuf, const char *pszFormat, va_list args)
{
    if (!cbBuf || !RT_VALID_PTR(pszBuf))
        return 0;
    RTPRINTBUF State = { pszBuf, cbBuf - 1, false, false };
    return RTFmtV(rtPrintBufOutput, &State, nullptr, nullptr, pszFormat, args);
}

size_t RTStrPrintBuf(char *pszBuf, size_t cbBuf, const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    size_t const cch = RTStrPrintBufV(pszBuf, cbBuf, pszFormat, args);
    va_end(args);
    return cch;
}

ptrdiff_t RTStrPrintBufExV(char *pszBuf, size_t cbBuf, const char *pszFormat, va_list args)
{
    /* A zero-sized buffer cannot even take the terminator: it is never touched (the writer
       terminates a byte of its own instead), and every text counts as truncated. */
    char chNowhere;
    RTPRINTBUF State = { &chNowhere, 0, true, true };
    if (cbBuf && RT_VALID_PTR(pszBuf))
    {
        State.pch = pszBuf;
        State.cchLeft = cbBuf - 1;
        State.fOverflow = false;
    }
    ptrdiff_t const cch = static_cast<ptrdiff_t>(RTFmtV(rtPrintBufOutput, &State, nullptr, nullptr, pszFormat, args));
    return State.fOverflow ? ~cch : cch;
}

ptrdiff_t RTStrPrintBufEx(char *pszBuf, size_t cbBuf, const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    ptrdiff_t const cch = RTStrPrintBufExV(pszBuf, cbBuf, pszFormat, args);
    va_end(args);
    return cch;
}

int RTStrPrintAllocV(char **ppszResult, const char *pszFormat, va_list args)
{
    if (!RT_VALID_PTR(ppszResult))
        return -1;
    *ppszResult = nullptr;

    RTPRINTALLOC State;
    State.pchBuf = State.achStack;
    State.cch = 0;
    State.cbCap = sizeof(State.achStack);
    State.fHeap = false;
    State.fFailed = false;
    RTFmtV(rtPrintAllocOutput, &State, nullptr, nullptr, pszFormat, args);

    if (State.fFailed)
    {
        if (State.fHeap)
            RTMemFree(State.pchBuf);
        return -1;
    }
    char *pszResult;
    if (State.fHeap)
    {
        pszResult = static_cast<char *>(RTMemRealloc(State.pchBuf, State.cch + 1));
        if (!pszResult)
            pszResult = State.pchBuf;
    }
    else
    {
        pszResult = static_cast<char *>(RTMemAlloc(State.cch + 1));
        if (!pszResult)
            return -1;
        __builtin_memcpy(pszResult, State.pchBuf, State.cch);
    }
    pszResult[State.cch] = '\0';
    *ppszResult = pszResult;
    return static_cast<int>(State.cch);
}

int RTStrPrintAlloc(char **ppszResult, const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    int const cch = RTStrPrintAllocV(ppszResult, pszFormat, args);
    va_end(args);
    return cch;
}
