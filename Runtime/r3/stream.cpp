/* The stream module: the standard streams and streams opened on a path, their buffers,
 * newline translation, conversion to the ANSI code page, locks and the exit routine. */
#include "rt/stream.h"
#include "rt/atomic.h"
#include "rt/critsect.h"
#include "rt/file.h"
#include "rt/format.h"
#include "rt/init.h"
#include "rt/mem.h"
#include "rt/once.h"
#include "internal/startup.h"
#include "rt/string.h"
#include "internal/stream.h"
#include <string.h>

namespace {

constexpr uint32_t RTSTREAM_MAGIC      = 0xE44E44EE;
constexpr uint32_t RTSTREAM_MAGIC_DEAD = 0x1BB1BB11;

/** Buffer direction: only output exists. */
constexpr int32_t RTSTREAMDIR_NONE   = 0;
constexpr int32_t RTSTREAMDIR_OUTPUT = 2;
/** Internal buffering modes. */
constexpr int32_t RTSTREAMMODE_UNBUFFERED = 0;
constexpr int32_t RTSTREAMMODE_LINE       = 1;
constexpr int32_t RTSTREAMMODE_FULL       = 2;

} /* namespace */

struct RTSTREAMOBJ
{
    uint32_t            u32Magic;
    int32_t volatile    i32Status;      /**< sticky: the first failing write's status */
    int32_t             iStdIndex;      /**< 0, 1, 2 for the standard streams, -1 otherwise */
    RTFILE              hFile;
    char               *pchBuf;
    uint32_t            cbBuf;
    uint32_t            offBufFirst;    /**< first byte not yet written out */
    uint32_t            offBufEnd;      /**< one past the last buffered byte */
    int32_t             enmBufDir;
    int32_t             enmBufMode;
    uint8_t             fCurrentCodeSet;/**< convert text to the ANSI code page */
    uint8_t             fBinary;
    uint8_t             fBufModeChosen; /**< the program set the mode: the console detection keeps it */
    RTCRITSECT * volatile pCritSect;
    RTSTREAMOBJ        *pNext;          /**< list of streams opened on a path */
    RTSTREAMOBJ        *pPrev;
};

/* The standard streams are ready before any code runs: constant initialisation only. */
static RTSTREAMOBJ g_StdIn  = { RTSTREAM_MAGIC, 0, 0, NIL_RTFILE, nullptr, 0, 0, 0, RTSTREAMDIR_NONE,
                                RTSTREAMMODE_UNBUFFERED, 1, 0, 0, nullptr, nullptr, nullptr };
static RTSTREAMOBJ g_StdOut = { RTSTREAM_MAGIC, 0, 1, NIL_RTFILE, nullptr, 0, 0, 0, RTSTREAMDIR_NONE,
                                RTSTREAMMODE_LINE, 1, 0, 0, nullptr, nullptr, nullptr };
static RTSTREAMOBJ g_StdErr = { RTSTREAM_MAGIC, 0, 2, NIL_RTFILE, nullptr, 0, 0, 0, RTSTREAMDIR_NONE,
                                RTSTREAMMODE_UNBUFFERED, 1, 0, 0, nullptr, nullptr, nullptr };

/* Pending output of every stream is written out when the process ends. */
[[gnu::used, gnu::section(".CRT$XTU")]] static constexpr PFNRT s_pfnStreamTerminate = RTStreamTerminate;

PRTSTREAM const g_pStdIn  = &g_StdIn;
PRTSTREAM const g_pStdOut = &g_StdOut;
PRTSTREAM const g_pStdErr = &g_StdErr;
PRTSTREAM g_pStreamStdOut = &g_StdOut;
PRTSTREAM g_pStreamStdErr = &g_StdErr;

/** Streams opened on a path, and the lock that guards insertion. */
static RTONCEREC   g_StreamOnce = RTONCEREC_INITIALISER;
static RTCRITSECT  g_StreamListCritSect;
static RTSTREAMOBJ *g_pStreamListHead;
static RTSTREAMOBJ *g_pStreamListTail;

static bool rtStrmIsValid(PRTSTREAM pStream)
{
    return RT_VALID_PTR(pStream) && pStream->u32Magic == RTSTREAM_MAGIC;
}

static void rtStrmLatch(PRTSTREAM pStream, RTSTATUS rc)
{
    RTAtomicXchgS32(&pStream->i32Status, rc);
}

/*
 * Locking.
 */

/** Takes the stream's lock, creating it on first use; returns the lock taken, or null when
 *  none could be had (the operation then goes on without one). */
static RTCRITSECT *rtStrmLock(PRTSTREAM pStream)
{
    RTCRITSECT *pCritSect = RTAtomicReadPtr(&pStream->pCritSect);
    if (!pCritSect)
    {
        RTCRITSECT *pNew = static_cast<RTCRITSECT *>(RTMemAlloc(sizeof(*pNew)));
        /* Before initialisation has finished the critical section must not depend on
           anything initialisation sets up. */
        uint32_t const fFlags = CRITSECT_F_NO_NESTING | (RTR3InitIsInitialized() ? 0 : CRITSECT_F_EARLY);
        if (pNew && RT_SUCCESS(RTCritSectSetUp(pNew, fFlags, nullptr, 0, "RTSemSpinMutex")))
        {
            RTCritSectAcquire(pNew);
            if (RTAtomicCmpXchgPtr(&pStream->pCritSect, pNew, static_cast<RTCRITSECT *>(nullptr)))
                return pNew;
            RTCritSectLeave(pNew);
            RTCritSectTearDown(pNew);
        }
        RTMemFree(pNew);
        /* Another thread may have installed one meanwhile: that one must be used. */
        pCritSect = RTAtomicReadPtr(&pStream->pCritSect);
        if (!pCritSect)
            return nullptr;
    }
    RTCritSectAcquire(pCritSect);
    return pCritSect;
}

static void rtStrmUnlock(RTCRITSECT *pCritSect)
{
    if (pCritSect)
        RTCritSectLeave(pCritSect);
}

/*
 * Writing out.
 */

/** The file of a stream; a standard stream finds its handle on first use. */
static RTFILE rtStrmGetFile(PRTSTREAM pStream)
{
    if (pStream->hFile != NIL_RTFILE || pStream->iStdIndex < 0 || pStream->iStdIndex > 2)
        return pStream->hFile;
    bool fConsole = false;
    RTFILE const hFile = rtStrmStdNativeFile(pStream->iStdIndex, &fConsole);
    if (hFile == NIL_RTFILE)
        return NIL_RTFILE;
    pStream->hFile = hFile;
    /* Redirected to a file or pipe: nobody watches it line by line. A mode the program
       chose stays: one that asked for unbuffered output may end without exit routines and
       must not lose what it printed. */
    if (!pStream->fBufModeChosen && !fConsole)
        pStream->enmBufMode = RTSTREAMMODE_FULL;
    return hFile;
}

/** Writes out the first @a cb pending bytes; on failure the buffer stays as it was. */
static RTSTATUS rtStrmWriteOut(PRTSTREAM pStream, uint32_t cb)
{
    RTFILE const hFile = rtStrmGetFile(pStream);
    if (hFile == NIL_RTFILE)
        return ERR_BAD_HANDLE;
    RTSTATUS rc = RTFileWrite(hFile, &pStream->pchBuf[pStream->offBufFirst], cb, nullptr);
    if (RT_FAILURE(rc))
        return rc;
    uint32_t const cbLeft = pStream->offBufEnd - pStream->offBufFirst - cb;
    if (cbLeft)
        memmove(pStream->pchBuf, &pStream->pchBuf[pStream->offBufFirst + cb], cbLeft);
    pStream->offBufFirst = 0;
    pStream->offBufEnd = cbLeft;
    return INF_SUCCESS;
}

static RTSTATUS rtStrmWriteOutAll(PRTSTREAM pStream)
{
    return rtStrmWriteOut(pStream, pStream->offBufEnd - pStream->offBufFirst);
}

static RTSTATUS rtStrmAllocBuffer(PRTSTREAM pStream)
{
    uint32_t cb = pStream->enmBufMode == RTSTREAMMODE_FULL ? 65536 : 16384;
    for (; cb >= 256; cb /= 2)
    {
        pStream->pchBuf = static_cast<char *>(RTMemAlloc(cb));
        if (pStream->pchBuf)
        {
            pStream->cbBuf = cb;
            return INF_SUCCESS;
        }
    }
    return ERR_OUT_OF_MEMORY;
}

/** Copies bytes into the buffer, writing out whenever it fills up. */
static RTSTATUS rtStrmAppend(PRTSTREAM pStream, const char *pch, size_t cch)
{
    while (cch)
    {
        uint32_t const cbFree = pStream->cbBuf - pStream->offBufEnd;
        if (!cbFree)
        {
            RTSTATUS rc = rtStrmWriteOutAll(pStream);
            if (RT_FAILURE(rc))
                return rc;
            continue;
        }
        uint32_t const cbCopy = cch < cbFree ? static_cast<uint32_t>(cch) : cbFree;
        memcpy(&pStream->pchBuf[pStream->offBufEnd], pch, cbCopy);
        pStream->offBufEnd += cbCopy;
        pch += cbCopy;
        cch -= cbCopy;
    }
    return INF_SUCCESS;
}

static const char *rtStrmFindLastNewline(const char *pch, size_t cch)
{
    while (cch--)
        if (pch[cch] == '\n')
            return &pch[cch];
    return nullptr;
}

/** Buffers bytes, turning line feeds into CR LF in text mode, then writes out as the
 *  buffering mode asks. */
static RTSTATUS rtStrmWriteNewlines(PRTSTREAM pStream, const char *pch, size_t cch)
{
    /* Nothing new to buffer is no reason to write out what waits: a piece that converts to
       nothing (a lone NUL) must not flush a stream whose mode was changed under it. */
    if (!cch)
        return INF_SUCCESS;
    /* Runs up to each line feed, which text mode writes as CR LF; binary mode takes all in
       one run. */
    RTSTATUS rc = INF_SUCCESS;
    size_t cbDone = 0;
    while (cbDone < cch)
    {
        const char *pchNewline = pStream->fBinary ? nullptr
                               : static_cast<const char *>(memchr(&pch[cbDone], '\n', cch - cbDone));
        size_t const cbRun = pchNewline ? static_cast<size_t>(pchNewline - &pch[cbDone]) : cch - cbDone;
        rc = rtStrmAppend(pStream, &pch[cbDone], cbRun);
        if (RT_FAILURE(rc))
            break;
        cbDone += cbRun;
        if (!pchNewline)
            break;
        if (pStream->cbBuf - pStream->offBufEnd < 2)
        {
            rc = rtStrmWriteOutAll(pStream);
            if (RT_FAILURE(rc))
                break;
        }
        pStream->pchBuf[pStream->offBufEnd++] = '\r';
        pStream->pchBuf[pStream->offBufEnd++] = '\n';
        cbDone++;
    }

    if (RT_SUCCESS(rc) && pStream->enmBufMode != RTSTREAMMODE_FULL)
    {
        uint32_t const cbPending = pStream->offBufEnd - pStream->offBufFirst;
        const char *pchPending = &pStream->pchBuf[pStream->offBufFirst];
        if (cbPending && pStream->enmBufMode == RTSTREAMMODE_LINE && pchPending[cbPending - 1] != '\n')
        {
            const char *pchLast = rtStrmFindLastNewline(pchPending, cbPending);
            if (pchLast)
                rc = rtStrmWriteOut(pStream, static_cast<uint32_t>(pchLast - pchPending) + 1);
        }
        else if (cbPending)
            rc = rtStrmWriteOutAll(pStream);
    }
    return rc;
}

/** A status that says the text itself was bad: it fails the piece, not the stream. */
static bool rtStrmIsTextStatus(RTSTATUS rc)
{
    return rc == ERR_UTF8_MALFORMED || rc == ERR_UTF8_SURROGATE || rc == ERR_CODEPOINT_NONCHARACTER
        || rc == ERR_CODEPOINT_TOO_LARGE;
}

/** Writes a piece of formatted text (cch > 0), called with the stream locked. A failure
 *  is latched in the stream unless only the text was bad. */
static void rtStrmWriteLocked(PRTSTREAM pStream, const char *pch, size_t cch)
{
    RTSTATUS rc = pStream->i32Status;
    if (RT_FAILURE(rc))
        return;
    if (pStream->enmBufDir != RTSTREAMDIR_OUTPUT)
    {
        pStream->enmBufDir = RTSTREAMDIR_OUTPUT;
        pStream->offBufFirst = pStream->offBufEnd = 0;
        if (!pStream->pchBuf && RT_FAILURE(rtStrmAllocBuffer(pStream)))
        {
            pStream->enmBufDir = RTSTREAMDIR_NONE;
            rtStrmLatch(pStream, ERR_OUT_OF_MEMORY);
            return;
        }
    }

    if (pStream->fCurrentCodeSet && !pStream->fBinary)
    {
        char *pszCopy = nullptr;
        const char *pszSrc = pch;
        if (pch[cch - 1] != '\0')
        {
            pszCopy = RTStrCloneN(pch, cch);
            pszSrc = pszCopy;
        }
        if (!pszSrc)
            rc = ERR_STRING_ALLOC_FAILED;
        else
        {
            char *pszConverted = nullptr;
            rc = RTStrUtf8ToCodePage(&pszConverted, pszSrc);
            if (RT_SUCCESS(rc))
            {
                rc = rtStrmWriteNewlines(pStream, pszConverted, strlen(pszConverted));
                RTStrRelease(pszConverted);
            }
            RTStrRelease(pszCopy);
        }
    }
    else
        rc = rtStrmWriteNewlines(pStream, pch, cch);

    if (RT_FAILURE(rc) && !rtStrmIsTextStatus(rc))
        rtStrmLatch(pStream, rc);
}

/*
 * Public interface.
 */

static size_t rtStrmPrintfOutput(void *pvUser, const char *pch, size_t cch)
{
    if (cch)
        rtStrmWriteLocked(static_cast<PRTSTREAM>(pvUser), pch, cch);
    return cch;
}

int RTStreamPrintfV(PRTSTREAM pStream, const char *pszFormat, va_list args)
{
    if (!rtStrmIsValid(pStream))
        return ERR_BAD_ARGUMENT;
    if (RT_FAILURE(pStream->i32Status))
        return -1;
    RTCRITSECT *pCritSect = rtStrmLock(pStream);
    size_t const cch = RTFmtV(rtStrmPrintfOutput, pStream, nullptr, nullptr, pszFormat, args);
    rtStrmUnlock(pCritSect);
    return static_cast<int>(cch);
}

int RTStreamPrintf(PRTSTREAM pStream, const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    int const rc = RTStreamPrintfV(pStream, pszFormat, args);
    va_end(args);
    return rc;
}

int RTPrintfStdOut(const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    int const rc = RTStreamPrintfV(g_pStreamStdOut, pszFormat, args);
    va_end(args);
    return rc;
}

RTSTATUS RTStreamSetBuffering(PRTSTREAM pStream, int enmMode)
{
    if (!rtStrmIsValid(pStream))
        return ERR_BAD_HANDLE;
    if (enmMode < RTSTREAMBUF_FULL || enmMode > RTSTREAMBUF_NONE)
        return ERR_BAD_ARGUMENT;
    static constexpr int32_t s_aenmInternal[] = { RTSTREAMMODE_FULL, RTSTREAMMODE_LINE, RTSTREAMMODE_UNBUFFERED };
    RTCRITSECT *pCritSect = rtStrmLock(pStream);
    pStream->enmBufMode = s_aenmInternal[enmMode - RTSTREAMBUF_FULL];
    pStream->fBufModeChosen = 1;
    rtStrmUnlock(pCritSect);
    return INF_SUCCESS;
}

RTSTATUS RTStreamGetStatus(PRTSTREAM pStream)
{
    return rtStrmIsValid(pStream) ? pStream->i32Status : ERR_BAD_HANDLE;
}

RTSTATUS rtStrmParseMode(const char *pszMode, uint64_t *pfOpen, bool *pfBinary)
{
    if (!pszMode || !*pszMode)
        return ERR_BAD_FLAGS;
    char chAccess = 0;
    bool fPlus = false, fExclusive = false, fBinary = false, fInherit = true;
    for (const char *psz = pszMode; *psz; psz++)
        switch (*psz)
        {
            case 'r': case 'w': case 'a': chAccess = *psz; break;
            case '+': fPlus = true; break;
            case 'x': fExclusive = true; break;
            case 'b': fBinary = true; break;
            case 't': fBinary = false; break;
            case 'e': case 'N': fInherit = false; break;
            case 'E': fInherit = true; break;
            default: return ERR_BAD_FLAGS;
        }
    if (!chAccess || (fExclusive && chAccess != 'w'))
        return ERR_BAD_FLAGS;

    uint64_t fOpen;
    if (chAccess == 'r')
        fOpen = RTFOPEN_OPEN | RTFOPEN_READ;
    else if (chAccess == 'a')
        fOpen = RTFOPEN_OPEN_CREATE | RTFOPEN_WRITE | RTFOPEN_APPEND;
    else if (fExclusive)
        fOpen = RTFOPEN_CREATE | RTFOPEN_READWRITE;
    else
        fOpen = RTFOPEN_CREATE_REPLACE | RTFOPEN_WRITE;
    if (fPlus)
        fOpen = (fOpen & ~RTFOPEN_ACCESS_MASK) | RTFOPEN_READWRITE;
    if (fInherit)
        fOpen |= RTFOPEN_INHERIT;
    fOpen |= RTFOPEN_DENY_NONE | (UINT64_C(0666) << RTFOPEN_CREATE_MODE_SHIFT);
    *pfOpen = fOpen;
    *pfBinary = fBinary;
    return INF_SUCCESS;
}

static RTSTATUS rtStrmInitOnce(void *pvUser)
{
    (void)pvUser;
    return RTCritSectSetUpDefault(&g_StreamListCritSect);
}

RTSTATUS RTStreamOpenPath(const char *pszPath, const char *pszMode, PRTSTREAM *ppStream)
{
    if (!RT_VALID_PTR(ppStream))
        return ERR_BAD_POINTER;
    *ppStream = nullptr;
    if (!RT_VALID_PTR(pszPath))
        return ERR_BAD_ARGUMENT;
    uint64_t fOpen = 0;
    bool fBinary = false;
    RTSTATUS rc = rtStrmParseMode(pszMode, &fOpen, &fBinary);
    if (RT_FAILURE(rc))
        return rc;
    rc = RTOnceRun(&g_StreamOnce, rtStrmInitOnce, nullptr, nullptr);
    if (RT_FAILURE(rc))
        return rc;

    RTSTREAMOBJ *pStream = static_cast<RTSTREAMOBJ *>(RTMemAllocZ(sizeof(*pStream)));
    if (!pStream)
        return ERR_OUT_OF_MEMORY;
    /* Zero-filled: no buffer, idle, no lock, not converted, not listed yet. */
    pStream->u32Magic = RTSTREAM_MAGIC;
    pStream->iStdIndex = -1;
    pStream->hFile = NIL_RTFILE;
    pStream->enmBufMode = RTSTREAMMODE_FULL;
    pStream->fBinary = fBinary;
    rc = RTFileOpenNamedEx(pszPath, fOpen, &pStream->hFile, nullptr);
    if (RT_FAILURE(rc))
    {
        RTMemFree(pStream);
        return rc;
    }

    RTCritSectAcquire(&g_StreamListCritSect);
    pStream->pPrev = g_pStreamListTail;
    if (g_pStreamListTail)
        g_pStreamListTail->pNext = pStream;
    else
        g_pStreamListHead = pStream;
    g_pStreamListTail = pStream;
    RTCritSectLeave(&g_StreamListCritSect);

    *ppStream = pStream;
    return INF_SUCCESS;
}

/** Writes out what is pending and lets go of the buffer and the lock; the handle is
 *  forgotten, not closed. */
static void rtStrmRetire(PRTSTREAM pStream)
{
    if (   pStream->enmBufDir == RTSTREAMDIR_OUTPUT
        && pStream->offBufEnd > pStream->offBufFirst
        && RT_SUCCESS(pStream->i32Status))
        rtStrmWriteOutAll(pStream);
    RTMemFree(pStream->pchBuf);
    pStream->pchBuf = nullptr;
    pStream->cbBuf = pStream->offBufFirst = pStream->offBufEnd = 0;
    pStream->enmBufDir = RTSTREAMDIR_NONE;
    RTCRITSECT *pCritSect = RTAtomicXchgPtr(&pStream->pCritSect, static_cast<RTCRITSECT *>(nullptr));
    if (pCritSect)
    {
        RTCritSectTearDown(pCritSect);
        RTMemFree(pCritSect);
    }
    pStream->hFile = NIL_RTFILE;
}

void RTStreamTerminate(void)
{
    rtStrmRetire(&g_StdOut);
    rtStrmRetire(&g_StdErr);
    rtStrmRetire(&g_StdIn);

    if (g_StreamOnce.enmState != RTONCESTATE_DONE || RT_FAILURE(g_StreamOnce.rc))
        return;
    RTCritSectTearDown(&g_StreamListCritSect);
    while (RTSTREAMOBJ *pStream = g_pStreamListHead)
    {
        g_pStreamListHead = pStream->pNext;
        pStream->u32Magic = RTSTREAM_MAGIC_DEAD;
        RTFILE const hFile = rtStrmGetFile(pStream);
        rtStrmRetire(pStream);
        RTFileClose(hFile);
        RTMemFree(pStream);
    }
    g_pStreamListTail = nullptr;
    RTOnceForget(&g_StreamOnce);
}
