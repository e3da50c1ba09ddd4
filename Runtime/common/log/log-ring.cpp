/* The logger's ring buffer: the most recent output kept in memory between two markers,
 * sent on to the other destinations by a flush, and its resizing. */
#include "internal/log.h"
#include "rt/mem.h"

namespace {

/* The markers at either end of the ring block, and the line that starts a wrapped ring's
   flush. */
constexpr char g_szRingStart[RTLOG_RING_MARKER_SIZE] = "START RING BUF\0";
constexpr char g_szRingEnd[RTLOG_RING_MARKER_SIZE]   = "\0\0\0END RING BUF";
static_assert(sizeof("START RING BUF") + 1 == RTLOG_RING_MARKER_SIZE
              && sizeof("END RING BUF") + 3 == RTLOG_RING_MARKER_SIZE, "ring markers fill 16 bytes");
constexpr char g_szRingFlush[] = "\n*FLUSH RING BUF*\n";

} /* namespace */


/*
 * Writing and flushing.
 */

void rtLogRingWrite(RTLOGINSTANCE *pLogger, const char *pch, size_t cch)
{
    char *const pchArea = pLogger->pchRing + RTLOG_RING_MARKER_SIZE;
    size_t const cbArea = pLogger->cbRing - 2 * RTLOG_RING_MARKER_SIZE;
    size_t off = static_cast<size_t>(pLogger->pchRingCursor - pchArea);
    pLogger->cbRingSinceFlush += cch;
    /* Of a text longer than the area only its last area's worth can survive. */
    if (cch > cbArea)
    {
        size_t const cchSkip = (cch - cbArea) - (cch - cbArea) % cbArea;
        pch += cchSkip;
        cch -= cchSkip;
    }
    while (cch)
    {
        size_t const cchChunk = cch < cbArea - off ? cch : cbArea - off;
        __builtin_memcpy(pchArea + off, pch, cchChunk);
        pch += cchChunk;
        cch -= cchChunk;
        off += cchChunk;
        if (off == cbArea)
            off = 0;
    }
    pchArea[off] = '\0';
    pLogger->pchRingCursor = pchArea + off;
}

void rtLogRingFlush(RTLOGINSTANCE *pLogger)
{
    uint64_t const cbWritten = pLogger->cbRingSinceFlush;
    if (!cbWritten)
        return;
    pLogger->cbRingSinceFlush = 0;
    char *const pchArea = pLogger->pchRing + RTLOG_RING_MARKER_SIZE;
    size_t const cbArea = pLogger->cbRing - 2 * RTLOG_RING_MARKER_SIZE;
    size_t const offCursor = static_cast<size_t>(pLogger->pchRingCursor - pchArea);
    pchArea[offCursor] = '\0';

    struct { const char *pch; size_t cch; bool fCounts; } aPieces[3];
    unsigned cPieces = 0;
    if (cbWritten >= cbArea)
    {
        /* Wrapped: the oldest byte follows the terminator at the cursor. */
        aPieces[cPieces++] = { g_szRingFlush, sizeof(g_szRingFlush) - 1, false };
        aPieces[cPieces++] = { pchArea + offCursor + 1, cbArea - offCursor - 1, true };
        aPieces[cPieces++] = { pchArea, offCursor, true };
    }
    else if (cbWritten <= offCursor)
        aPieces[cPieces++] = { pchArea + offCursor - cbWritten, static_cast<size_t>(cbWritten), true };
    else
    {
        size_t const cchTail = static_cast<size_t>(cbWritten) - offCursor;
        aPieces[cPieces++] = { pchArea + cbArea - cchTail, cchTail, true };
        aPieces[cPieces++] = { pchArea, offCursor, true };
    }

    /* One destination at a time, all pieces to it before the next. */
    uint32_t const fDestSaved = pLogger->fDestFlags;
    static constexpr uint32_t s_afOrder[] = { RTLOGDEST_DEBUGGER, RTLOGDEST_FILE, RTLOGDEST_STDOUT, RTLOGDEST_STDERR };
    for (uint32_t const fOne : s_afOrder)
    {
        if (!(fDestSaved & fOne))
            continue;
        pLogger->fDestFlags = fOne;
        for (unsigned i = 0; i < cPieces; i++)
            if (aPieces[i].cch)
                rtLogWriteToDestinations(pLogger, aPieces[i].pch, aPieces[i].cch, aPieces[i].fCounts);
    }
    pLogger->fDestFlags = fDestSaved;
}


/*
 * Resizing.
 */

static void rtLogRingMarkers(char *pchRing, uint32_t cbRing)
{
    __builtin_memcpy(pchRing, g_szRingStart, RTLOG_RING_MARKER_SIZE);
    __builtin_memcpy(pchRing + cbRing - RTLOG_RING_MARKER_SIZE, g_szRingEnd, RTLOG_RING_MARKER_SIZE);
}

RTSTATUS rtLogRingResize(RTLOGINSTANCE *pLogger, uint32_t cbNew, bool fForce)
{
    if (!pLogger->fCreated && !fForce)
        return INF_SUCCESS;
    if (!cbNew)
        cbNew = RTLOG_RING_DEFAULT_SIZE;
    if (cbNew < RTLOG_RING_MIN_SIZE || cbNew > RTLOG_RING_MAX_SIZE)
        return ERR_OUT_OF_RANGE;
    RTSTATUS rc = rtLogLock(pLogger);
    if (RT_FAILURE(rc))
        return rc;
    if (!pLogger->pchRing || pLogger->cbRing != cbNew)
    {
        size_t offCursor = RTLOG_RING_MARKER_SIZE;
        if (pLogger->pchRing)
        {
            offCursor = static_cast<size_t>(pLogger->pchRingCursor - pLogger->pchRing);
            /* A cursor that would land in or beyond the new end marker: keep the newest
               bytes before it (one short of the area, for the terminator) at the area's
               start, and continue after them. */
            if (offCursor >= cbNew - RTLOG_RING_MARKER_SIZE)
            {
                size_t const cbNewArea = cbNew - 2 * RTLOG_RING_MARKER_SIZE;
                size_t cbKeep = offCursor - RTLOG_RING_MARKER_SIZE;
                if (cbKeep > cbNewArea - 1)
                    cbKeep = cbNewArea - 1;
                __builtin_memmove(pLogger->pchRing + RTLOG_RING_MARKER_SIZE, pLogger->pchRingCursor - cbKeep, cbKeep);
                offCursor = RTLOG_RING_MARKER_SIZE + cbKeep;
                if (pLogger->cbRingSinceFlush > cbKeep)
                    pLogger->cbRingSinceFlush = cbKeep;
            }
        }
        char *pchNew = static_cast<char *>(RTMemRealloc(pLogger->pchRing, cbNew));
        if (pchNew)
        {
            if (!pLogger->pchRing)
                __builtin_memset(pchNew, 0, cbNew);
            else if (cbNew > pLogger->cbRing)
                __builtin_memset(pchNew + pLogger->cbRing - RTLOG_RING_MARKER_SIZE, 0,
                                 cbNew - pLogger->cbRing + RTLOG_RING_MARKER_SIZE);
            rtLogRingMarkers(pchNew, cbNew);
            pchNew[offCursor] = '\0';
            pLogger->pchRing = pchNew;
            pLogger->pchRingCursor = pchNew + offCursor;
            pLogger->cbRing = cbNew;
        }
        else
            rc = ERR_OUT_OF_MEMORY;
    }
    rtLogUnlock(pLogger);
    return rc;
}

RTSTATUS RTLogRingResize(RTLOGINSTANCE *pLogger, uint32_t cbNew, bool fForce)
{
    RTSTATUS const rc = rtLogValidate(pLogger);
    return RT_FAILURE(rc) ? rc : rtLogRingResize(pLogger, cbNew, fForce);
}

RTSTATUS rtLogRingEnsure(RTLOGINSTANCE *pLogger)
{
    return pLogger->pchRing ? INF_SUCCESS : rtLogRingResize(pLogger, RTLOG_RING_DEFAULT_SIZE, false);
}
