/* Logger instances: creation and destruction, printing through the scratch buffer with its
 * plain and prefixing writers, the destinations, the ring buffer, and the log file with
 * its history rotation. Nothing here is reached by a program that never creates one. */
#include "internal/log.h"
#include "rt/dir.h"
#include "rt/env.h"
#include "rt/err.h"
#include "rt/format.h"
#include "rt/mem.h"
#include "rt/path.h"
#include "rt/strconv.h"
#include "rt/string.h"
#include "rt/thread.h"
#include "rt/time.h"
#include "internal/thread.h"
#include <cpuid.h>
#include <x86intrin.h>

/* Text written by the flushes and rotations. */
static constexpr char s_szRingStart[RTLOG_RING_MARKER_SIZE] = "START RING BUF\0";
static constexpr char s_szRingEnd[RTLOG_RING_MARKER_SIZE]   = "\0\0\0END RING BUF";
static_assert(sizeof("START RING BUF") + 1 == RTLOG_RING_MARKER_SIZE
              && sizeof("END RING BUF") + 3 == RTLOG_RING_MARKER_SIZE, "ring markers fill 16 bytes");
static constexpr char s_szRingFlush[] = "\n*FLUSH RING BUF*\n";
static constexpr char s_szDropLf[]    = "\n[DROP DROP DROP]\n";
static constexpr char s_szDropCrLf[]  = "\r\n[DROP DROP DROP]\r\n";

/** Delays between attempts to open or rename a file held by someone else. */
static constexpr uint16_t s_acMsRetryDelays[] =
    { 10, 10, 10, 20, 50, 100, 200, 200, 200, 200, 500, 500, 500, 500, 1000, 1000, 1000, 1000, 1000, 1000, 1000 };
static_assert(RT_ELEMENTS(s_acMsRetryDelays) == 21, "21 retries, about 8.6 seconds in all");

/** Open-flag words of the log file. */
static constexpr uint64_t RTLOG_FOPEN_APPEND    = RTFOPEN_OPEN_CREATE | RTFOPEN_DENY_NONE | RTFOPEN_APPEND | RTFOPEN_WRITE;
static constexpr uint64_t RTLOG_FOPEN_OVERWRITE = RTFOPEN_CREATE | RTFOPEN_DENY_NONE | RTFOPEN_WRITE;
static_assert(RTLOG_FOPEN_APPEND == 0x186 && RTLOG_FOPEN_OVERWRITE == 0x282, "log file open flags");

/** The "rel" prefix mode's previous values, shared by all instances. */
static uint64_t g_u64LastTs;
static uint64_t g_u64LastTsc;
/** Write locks the instance lock adds to a registered thread's count. */
static uint32_t g_cLoggerLockCount;


/*
 * Validation and locking.
 */

RTSTATUS rtLogValidate(const RTLOGINSTANCE *pLogger)
{
    if (!RT_VALID_PTR(pLogger))
        return ERR_BAD_POINTER;
    if (pLogger->u32Magic != RTLOGINSTANCE_MAGIC)
        return ERR_BAD_MAGIC;
    if (pLogger->uRevision != RTLOGINSTANCE_REVISION || pLogger->cbHdr != RTLOGINSTANCE_HDR_SIZE)
        return ERR_LOG_REVISION_MISMATCH;
    return INF_SUCCESS;
}

RTSTATUS rtLogResolve(RTLOGINSTANCE **ppLogger)
{
    if (!*ppLogger)
    {
        *ppLogger = g_pLogDefault;
        if (!*ppLogger)
            *ppLogger = RTLogDefaultGet();
        if (!*ppLogger)
            return INF_LOG_NO_INSTANCE;
    }
    return rtLogValidate(*ppLogger);
}

static RTSTATUS rtLogLock(RTLOGINSTANCE *pLogger)
{
    return pLogger->hSpinMtx ? RTSemSpinMutexAcquire(pLogger->hSpinMtx) : INF_SUCCESS;
}

/** Checks the instance and takes its lock. */
static RTSTATUS rtLogValidateAndLock(RTLOGINSTANCE *pLogger)
{
    RTSTATUS const rc = rtLogValidate(pLogger);
    return RT_FAILURE(rc) ? rc : rtLogLock(pLogger);
}

static void rtLogUnlock(RTLOGINSTANCE *pLogger)
{
    if (pLogger->hSpinMtx)
        RTSemSpinMutexRelease(pLogger->hSpinMtx);
}


/*
 * Default output operations: the file functions on the instance's own handle.
 */

static RTSTATUS rtLogOpsDirOpen(const RTLOGOUTPUTOPS *, void *, const char *pszPath, void **phDir)
{
    RTDIR hDir = nullptr;
    RTSTATUS const rc = RTDirOpenFilteredPath(&hDir, pszPath, RTDIRFILTER_WILDCARD, 0);
    *phDir = hDir;
    return rc;
}

static RTSTATUS rtLogOpsDirClose(const RTLOGOUTPUTOPS *, void *, void *hDir)
{
    return RTDirClose(static_cast<RTDIR>(hDir));
}

static RTSTATUS rtLogOpsDelete(const RTLOGOUTPUTOPS *, void *, void *, const char *pszPath)
{
    return RTFileRemove(pszPath);
}

static RTSTATUS rtLogOpsRename(const RTLOGOUTPUTOPS *, void *, void *, const char *pszOld, const char *pszNew,
                               uint32_t fRename)
{
    return RTFileMoveTo(pszOld, pszNew, fRename & RTLOGRENAME_REPLACE ? RTFILEMOVE_F_REPLACE : 0);
}

static RTSTATUS rtLogOpsOpen(const RTLOGOUTPUTOPS *, void *pvUser, void *, const char *pszPath, uint64_t fOpen)
{
    return RTFileOpenNamed(&static_cast<RTLOGINSTANCE *>(pvUser)->hFile, pszPath, fOpen);
}

static RTSTATUS rtLogOpsClose(const RTLOGOUTPUTOPS *, void *pvUser)
{
    RTLOGINSTANCE *pLogger = static_cast<RTLOGINSTANCE *>(pvUser);
    RTFILE const hFile = pLogger->hFile;
    pLogger->hFile = NIL_RTFILE;
    return RTFileClose(hFile);
}

static RTSTATUS rtLogOpsQuerySize(const RTLOGOUTPUTOPS *, void *pvUser, uint64_t *pcbSize)
{
    RTLOGINSTANCE *pLogger = static_cast<RTLOGINSTANCE *>(pvUser);
    *pcbSize = 0;
    return pLogger->hFile != NIL_RTFILE ? RTFileSizeOf(pLogger->hFile, pcbSize) : INF_SUCCESS;
}

static RTSTATUS rtLogOpsWrite(const RTLOGOUTPUTOPS *, void *pvUser, const void *pvBuf, size_t cbBuf)
{
    RTLOGINSTANCE *pLogger = static_cast<RTLOGINSTANCE *>(pvUser);
    return pLogger->hFile != NIL_RTFILE ? RTFileWrite(pLogger->hFile, pvBuf, cbBuf, nullptr) : INF_SUCCESS;
}

static RTSTATUS rtLogOpsFlush(const RTLOGOUTPUTOPS *, void *pvUser)
{
    RTLOGINSTANCE *pLogger = static_cast<RTLOGINSTANCE *>(pvUser);
    return pLogger->hFile != NIL_RTFILE ? RTFileSync(pLogger->hFile) : INF_SUCCESS;
}

static const RTLOGOUTPUTOPS g_LogDefaultOutputOps =
{
    rtLogOpsDirOpen, rtLogOpsDirClose, rtLogOpsDelete, rtLogOpsRename, rtLogOpsOpen,
    rtLogOpsClose, rtLogOpsQuerySize, rtLogOpsWrite, rtLogOpsFlush,
};


/*
 * Destinations.
 */

/** Sends one piece to every destination but the ring; @p fCountsToFile says whether it
 *  grows the file size that rotation watches. */
static void rtLogWriteToDestinations(RTLOGINSTANCE *pLogger, const char *pch, size_t cch, bool fCountsToFile)
{
    uint32_t const fDest = pLogger->fDestFlags;
    /* RTLOGDEST_USER is accepted and writes nothing; the hypervisor logs do not exist on
       this platform and RTLOGDEST_COM has no writer. */
    if (fDest & RTLOGDEST_DEBUGGER)
        rtLogNativeWriteDebugger(pch, cch);
    if ((fDest & (RTLOGDEST_FILE | RTLOGDEST_RINGBUF)) == RTLOGDEST_FILE && pLogger->fLogOpened)
    {
        pLogger->pOutputOps->pfnWrite(pLogger->pOutputOps, pLogger->pvOutputUser, pch, cch);
        if (pLogger->fFlags & RTLOGFLAGS_FLUSH)
            pLogger->pOutputOps->pfnFlush(pLogger->pOutputOps, pLogger->pvOutputUser);
        if (pLogger->cHistory && fCountsToFile)
            pLogger->cbHistoryFileWritten += cch;
    }
    if (fDest & RTLOGDEST_STDOUT)
        rtLogNativeWriteStd(false, pch, cch);
    if (fDest & RTLOGDEST_STDERR)
        rtLogNativeWriteStd(true, pch, cch);
}

static void rtLogRingWrite(RTLOGINSTANCE *pLogger, const char *pch, size_t cch)
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

/** Sends what the ring holds since its last flush on to the other destinations. */
static void rtLogRingFlush(RTLOGINSTANCE *pLogger)
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
        aPieces[cPieces++] = { s_szRingFlush, sizeof(s_szRingFlush) - 1, false };
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

static void rtLogRotate(RTLOGINSTANCE *pLogger, uint32_t uTimeSlot, bool fFirst, RTERRINFO *pErrInfo);

/** Writes the scratch buffer out to the destinations and empties it. */
static void rtLogFlushScratch(RTLOGINSTANCE *pLogger)
{
    RTLOGSCRATCH *pScratch = pLogger->pScratch;
    if (!pScratch->cchUsed || !RT_VALID_PTR(pScratch->pchBuf) || !pScratch->cbBuf)
        return;
    if (pScratch->cchUsed >= pScratch->cbBuf)
        pScratch->cchUsed = pScratch->cbBuf - 1;
    uint32_t const cch = pScratch->cchUsed;

    if ((pLogger->fDestFlags & RTLOGDEST_RINGBUF) && pLogger->pchRing)
        rtLogRingWrite(pLogger, pScratch->pchBuf, cch);
    else if (pLogger->fDestFlags & RTLOGDEST_F_DELAY_FILE)
    {
        /* Keep the oldest half for the file that is still to be opened; the tail is
           overwritten from the marker on. */
        uint32_t const cbHalf = pScratch->cbBuf / 2;
        if (cch > cbHalf)
        {
            bool const fCrLf = (pLogger->fFlags & RTLOGFLAGS_USECRLF) != 0;
            const char *pszMarker = fCrLf ? s_szDropCrLf : s_szDropLf;
            size_t const cchMarker = fCrLf ? sizeof(s_szDropCrLf) - 1 : sizeof(s_szDropLf) - 1;
            __builtin_memcpy(pScratch->pchBuf + cbHalf, pszMarker, cchMarker);
            pScratch->cchUsed = cbHalf + static_cast<uint32_t>(cchMarker);
            pScratch->pchBuf[pScratch->cchUsed] = '\0';
        }
        if (pScratch->pStatus)
            pScratch->pStatus->cchUsed = pScratch->cchUsed;
        return;
    }
    else
    {
        pScratch->pchBuf[cch] = '\0';
        rtLogWriteToDestinations(pLogger, pScratch->pchBuf, cch, true);
    }

    pScratch->cchUsed = 0;
    if (pScratch->pStatus)
        pScratch->pStatus->cchUsed = 0;
    pScratch->pchBuf[0] = '\0';

    if (pLogger->cHistory && (pLogger->fDestFlags & RTLOGDEST_FILE))
        rtLogRotate(pLogger, pLogger->cSecsHistoryTimeSlot == RTLOG_NO_LIMIT_U32 ? 0
                             : RTTimeSinceStartSec() / pLogger->cSecsHistoryTimeSlot, false, nullptr);
}


/*
 * Writers.
 */

/** Room for text in the current scratch buffer, leaving one byte for the terminator. */
static inline uint32_t rtLogScratchRoom(const RTLOGSCRATCH *pScratch)
{
    return pScratch->cbBuf - pScratch->cchUsed - 1;
}

static size_t rtLogOutputPlain(void *pvUser, const char *pch, size_t cch)
{
    RTLOGINSTANCE *pLogger = static_cast<RTLOGINSTANCE *>(pvUser);
    RTLOGSCRATCH *pScratch = pLogger->pScratch;
    if (!cch)
    {
        pScratch->pchBuf[pScratch->cchUsed] = '\0';
        return 0;
    }
    size_t const cchTotal = cch;
    for (;;)
    {
        size_t const cbRoom = rtLogScratchRoom(pScratch);
        size_t const cchCopy = cch < cbRoom ? cch : cbRoom;
        __builtin_memcpy(pScratch->pchBuf + pScratch->cchUsed, pch, cchCopy);
        pScratch->cchUsed += static_cast<uint32_t>(cchCopy);
        pch += cchCopy;
        cch -= cchCopy;
        if (!cch)
            return cchTotal;
        rtLogFlushScratch(pLogger);
        if (!rtLogScratchRoom(pScratch))    /* a delayed file keeps a full buffer */
            return cchTotal - cch;
    }
}

static char *rtLogPutHex(char *psz, uint64_t uValue, unsigned cDigits)
{
    static constexpr char s_achHex[] = "0123456789abcdef";
    for (unsigned i = cDigits; i-- > 0; uValue >>= 4)
        psz[i] = s_achHex[uValue & 0xF];
    return psz + cDigits;
}

/** Decimal, zero-filled to at least @p cDigits, or blank-filled with @p chFill ' '. */
static char *rtLogPutDec(char *psz, uint64_t uValue, unsigned cDigits, char chFill = '0')
{
    char achTmp[24];
    unsigned cch = 0;
    do
        achTmp[cch++] = static_cast<char>('0' + uValue % 10);
    while (uValue /= 10);
    while (cDigits > cch)
    {
        *psz++ = chFill;
        cDigits--;
    }
    while (cch)
        *psz++ = achTmp[--cch];
    return psz;
}

/** A text of at most @p cchMax characters, blank-padded to 8 columns with at least one
 *  blank after it. */
static char *rtLogPutColumn(char *psz, const char *pszText, size_t cchMax)
{
    size_t cch = 0;
    if (pszText)
        while (cch < cchMax && pszText[cch])
            cch++;
    __builtin_memcpy(psz, pszText, cch);
    psz += cch;
    do
        *psz++ = ' ';
    while (++cch < 8);
    return psz;
}

static char *rtLogPutTimestamp(char *psz, uint32_t fFlags, uint64_t uNow, uint64_t *puPrev)
{
    uint64_t uValue = uNow;
    if (fFlags & RTLOGFLAGS_REL_TS)
    {
        uint64_t const uPrev = *puPrev;
        *puPrev = uNow;
        uValue = uNow > uPrev ? uNow - uPrev : 0;
    }
    psz = fFlags & RTLOGFLAGS_DECIMAL_TS ? rtLogPutDec(psz, uValue, 16, ' ') : rtLogPutHex(psz, uValue, 16);
    *psz++ = ' ';
    return psz;
}

/** "hh:mm:ss.uuuuuu " from a count of microseconds (hours at least two digits). */
static char *rtLogPutClock(char *psz, uint64_t cUs)
{
    psz = rtLogPutDec(psz, cUs / 3600000000u, 2);
    *psz++ = ':';
    psz = rtLogPutDec(psz, cUs / 60000000u % 60, 2);
    *psz++ = ':';
    psz = rtLogPutDec(psz, cUs / 1000000u % 60, 2);
    *psz++ = '.';
    psz = rtLogPutDec(psz, cUs % 1000000u, 6);
    *psz++ = ' ';
    return psz;
}

/** Level name of a message: the group's flag word masked by the message flags. */
static const char *rtLogLevelName(uint32_t fLevel)
{
    static const char * const s_apszLevels[] =
    {
        "enabled", "flow", "warn", nullptr, "level 1", "level 2", "level 3", "level 4", "level 5", "level 6",
        "level 7", "level 8", "level 9", "level 10", "level 11", "level 12",
    };
    static_assert(RT_ELEMENTS(s_apszLevels) == 16, "one name per bit up to level 12");
    if (!fLevel)
        return "--------";
    if (fLevel & (fLevel - 1))
        return "????????";
    unsigned const iBit = static_cast<unsigned>(__builtin_ctz(fLevel));
    return iBit < RT_ELEMENTS(s_apszLevels) && s_apszLevels[iBit] ? s_apszLevels[iBit] : "????????";
}

/** The most a prefix can take: every column at its widest (the time since start may need
 *  more than two hour digits). */
static constexpr unsigned RTLOG_PREFIX_MAX = 17 + 17 + 10 + 16 + 25 + 9 + 9 + 17 + 3 + 32 + 12 + 9 + 17 + 4 + 9;
static_assert(RTLOG_PREFIX_MAX < RTLOG_PREFIX_ROOM, "the prefix always fits in the room kept for it");

/** Per-message context of the prefixing writer. */
struct RTLOGOUTPUTPREFIXED
{
    RTLOGINSTANCE *pLogger;
    uint32_t       fFlags;
    uint32_t       iGroup;
};

static char *rtLogPutPrefix(const RTLOGOUTPUTPREFIXED *pArgs, char *psz)
{
    RTLOGINSTANCE *pLogger = pArgs->pLogger;
    uint32_t const fFlags = pLogger->fFlags;
    if (fFlags & RTLOGFLAGS_PREFIX_TS)
        psz = rtLogPutTimestamp(psz, fFlags, RTTimeMonoNs(), &g_u64LastTs);
    if (fFlags & RTLOGFLAGS_PREFIX_TSC)
        psz = rtLogPutTimestamp(psz, fFlags, __rdtsc(), &g_u64LastTsc);
    if (fFlags & RTLOGFLAGS_PREFIX_MS_PROG)
    {
        psz = rtLogPutDec(psz, RTTimeSinceStartMs(), 9);
        *psz++ = ' ';
    }
    if (fFlags & RTLOGFLAGS_PREFIX_TIME)
    {
        RTTIMESPEC Now;
        int64_t const i64Ns = RTTimeUtcNow(&Now)->i64NsSinceEpoch;
        int64_t i64UsOfDay = (i64Ns / 1000) % (int64_t(86400) * 1000000);
        if (i64UsOfDay < 0)
            i64UsOfDay += int64_t(86400) * 1000000;
        psz = rtLogPutClock(psz, static_cast<uint64_t>(i64UsOfDay));
    }
    if (fFlags & RTLOGFLAGS_PREFIX_TIME_PROG)
        psz = rtLogPutClock(psz, RTTimeSinceStartUs());
    if (fFlags & RTLOGFLAGS_PREFIX_PID)
    {
        psz = rtLogPutHex(psz, rtLogNativeProcessId(), 8);
        *psz++ = ' ';
    }
    if (fFlags & RTLOGFLAGS_PREFIX_TID)
    {
        psz = rtLogPutHex(psz, RTThreadNativeSelf(), 8);
        *psz++ = ' ';
    }
    if (fFlags & RTLOGFLAGS_PREFIX_THREAD)
        psz = rtLogPutColumn(psz, RTThreadCurrentName(), 16);
    if (fFlags & RTLOGFLAGS_PREFIX_CPUID)
    {
        unsigned uEax, uEbx, uEcx, uEdx;
        __cpuid(1, uEax, uEbx, uEcx, uEdx);
        psz = rtLogPutHex(psz, uEbx >> 24, 2);
        *psz++ = ' ';
    }
    /* RTLOGFLAGS_PREFIX_CUSTOM: no custom-prefix hook can be installed, so it adds nothing. */
    if (fFlags & RTLOGFLAGS_PREFIX_LOCK_CNTS)
    {
        RTTHREADINT *pThread = RTThreadCurrentRecord();
        if (pThread)
        {
            uint32_t const cRead = pThread->cReadLocks < 0xFFF ? pThread->cReadLocks : 0xFFF;
            uint32_t cWrite = pThread->cWriteLocks - g_cLoggerLockCount;
            if (cWrite > 0xFFF)
                cWrite = 0xFFF;
            psz = rtLogPutHex(psz, cRead, cRead > 0xFF ? 3 : cRead > 0xF ? 2 : 1);
            *psz++ = '/';
            psz = rtLogPutHex(psz, cWrite, cWrite > 0xFF ? 3 : cWrite > 0xF ? 2 : 1);
        }
        else
        {
            __builtin_memcpy(psz, "?/?", 3);
            psz += 3;
        }
        *psz++ = ' ';
    }
    if (fFlags & RTLOGFLAGS_PREFIX_FLAG_NO)
    {
        psz = rtLogPutHex(psz, pArgs->fFlags, 8);
        *psz++ = ' ';
    }
    bool const fGroup = pArgs->iGroup != RTLOG_NO_GROUP;
    if (fFlags & RTLOGFLAGS_PREFIX_FLAG)
        psz = rtLogPutColumn(psz, fGroup && pLogger->papszGroups ? pLogger->papszGroups[pArgs->iGroup] : nullptr, 16);
    if (fFlags & RTLOGFLAGS_PREFIX_GROUP_NO)
    {
        if (fGroup)
            psz = rtLogPutHex(psz, pArgs->iGroup, 3);
        else
        {
            __builtin_memcpy(psz, "-1  ", 4);
            psz += 4;
        }
        *psz++ = ' ';
    }
    if (fFlags & RTLOGFLAGS_PREFIX_GROUP)
    {
        uint32_t const fGroupFlags = pLogger->cGroups ? pLogger->afGroups[fGroup ? pArgs->iGroup : 0] : 0;
        psz = rtLogPutColumn(psz, rtLogLevelName(fGroupFlags & pArgs->fFlags), 16);
    }
    return psz;
}

static size_t rtLogOutputPrefixed(void *pvUser, const char *pch, size_t cch)
{
    RTLOGOUTPUTPREFIXED *pArgs = static_cast<RTLOGOUTPUTPREFIXED *>(pvUser);
    RTLOGINSTANCE *pLogger = pArgs->pLogger;
    RTLOGSCRATCH *pScratch = pLogger->pScratch;
    if (!cch)
    {
        pScratch->pchBuf[pScratch->cchUsed] = '\0';
        return 0;
    }
    bool const fCrLf = (pLogger->fFlags & RTLOGFLAGS_USECRLF) != 0;
    size_t const cchTotal = cch;
    while (cch)
    {
        if (pLogger->fPendingPrefix)
        {
            if (rtLogScratchRoom(pScratch) < RTLOG_PREFIX_ROOM)
                rtLogFlushScratch(pLogger);
            if (rtLogScratchRoom(pScratch) < RTLOG_PREFIX_ROOM)
                return cchTotal - cch;      /* a delayed file keeps a full buffer */
            pLogger->fPendingPrefix = 0;
            char *psz = pScratch->pchBuf + pScratch->cchUsed;
            pScratch->cchUsed += static_cast<uint32_t>(rtLogPutPrefix(pArgs, psz) - psz);
        }
        else if (rtLogScratchRoom(pScratch) <= 2)
        {
            rtLogFlushScratch(pLogger);
            if (rtLogScratchRoom(pScratch) <= 2)
                return cchTotal - cch;
        }

        /* The run up to and including the next newline, bounded by the room. */
        const char *pchNewline = static_cast<const char *>(__builtin_memchr(pch, '\n', cch));
        size_t cchRun = pchNewline ? static_cast<size_t>(pchNewline - pch) : cch;
        size_t const cbRoom = rtLogScratchRoom(pScratch);
        char *pchDst = pScratch->pchBuf + pScratch->cchUsed;
        if (cchRun + (pchNewline ? (fCrLf ? 2 : 1) : 0) <= cbRoom)
        {
            __builtin_memcpy(pchDst, pch, cchRun);
            pchDst += cchRun;
            if (pchNewline)
            {
                if (fCrLf)
                    *pchDst++ = '\r';
                *pchDst++ = '\n';
                cchRun++;
                pLogger->fPendingPrefix = 1;
            }
        }
        else
        {
            /* Fill the buffer with text, keep the newline for after the flush. */
            if (cchRun > cbRoom)
                cchRun = cbRoom;
            __builtin_memcpy(pchDst, pch, cchRun);
            pchDst += cchRun;
        }
        pScratch->cchUsed = static_cast<uint32_t>(pchDst - pScratch->pchBuf);
        pch += cchRun;
        cch -= cchRun;
    }
    return cchTotal;
}

/** Formats one message into the scratch buffer and writes it out unless buffered. The
 *  caller holds the lock. */
static void rtLogOutputMessage(RTLOGINSTANCE *pLogger, uint32_t fFlags, uint32_t iGroup, const char *pszFormat,
                               va_list args)
{
    RTLOGSCRATCH *pScratch = pLogger->pScratch;
    if (pScratch->pStatus && pScratch->pStatus->fFlushedByReader)
    {
        pScratch->pStatus->fFlushedByReader = 0;
        pScratch->cchUsed = 0;
    }
    if (pLogger->fFlags & RTLOGFLAGS_PREFIX_MASK)
    {
        RTLOGOUTPUTPREFIXED Args = { pLogger, fFlags, iGroup };
        RTFmtV(rtLogOutputPrefixed, &Args, nullptr, nullptr, pszFormat, args);
    }
    else
        RTFmtV(rtLogOutputPlain, pLogger, nullptr, nullptr, pszFormat, args);
    if (!(pLogger->fFlags & RTLOGFLAGS_BUFFERED) && pScratch->cchUsed)
        rtLogFlushScratch(pLogger);
    else if (pScratch->pStatus)
        pScratch->pStatus->cchUsed = pScratch->cchUsed;
}

static void rtLogOutputMessageF(RTLOGINSTANCE *pLogger, uint32_t fFlags, uint32_t iGroup, const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    rtLogOutputMessage(pLogger, fFlags, iGroup, pszFormat, args);
    va_end(args);
}

/** The print function of phases 1 to 3: straight into the scratch buffer, the caller
 *  holding the lock. */
static void rtLogPhaseMsgLocked(RTLOGINSTANCE *pLogger, const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    rtLogOutputMessage(pLogger, 0, RTLOG_NO_GROUP, pszFormat, args);
    va_end(args);
}

/** The print function of phase 0. */
static void rtLogPhaseMsgNormal(RTLOGINSTANCE *pLogger, const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    RTLogPrintV(pLogger, 0, RTLOG_NO_GROUP, pszFormat, args);
    va_end(args);
}

RTSTATUS RTLogPrintV(RTLOGINSTANCE *pLogger, uint32_t fFlags, uint32_t iGroup, const char *pszFormat, va_list args)
{
    /* Nothing of the instance is read before it has been checked. */
    RTSTATUS rc = rtLogResolve(&pLogger);
    if (rc != INF_SUCCESS)
        return rc;
    /* An unknown group counts as group 0; without groups there is no word to consult. */
    if (iGroup != RTLOG_NO_GROUP && iGroup >= pLogger->cGroups)
        iGroup = pLogger->cGroups ? 0 : RTLOG_NO_GROUP;
    if (   (pLogger->fFlags & RTLOGFLAGS_DISABLED)
        || !pLogger->fDestFlags
        || !RT_VALID_PTR(pszFormat) || !*pszFormat
        || (   iGroup != RTLOG_NO_GROUP
            && (pLogger->afGroups[iGroup] & (fFlags | RTLOGGRPFLAGS_ENABLED)) != (fFlags | RTLOGGRPFLAGS_ENABLED)))
        return INF_LOG_SKIPPED;

    rc = rtLogLock(pLogger);
    if (RT_FAILURE(rc))
        return rc;
    if (   (pLogger->fFlags & RTLOGFLAGS_RESTRICT_GROUPS)
        && pLogger->pacEntriesPerGroup
        && iGroup != RTLOG_NO_GROUP
        && (pLogger->afGroups[iGroup] & RTLOGGRPFLAGS_RESTRICT))
    {
        uint32_t const cEntries = ++pLogger->pacEntriesPerGroup[iGroup];
        if (cEntries > pLogger->cMaxEntriesPerGroup)
            pLogger->pacEntriesPerGroup[iGroup]--;
        else
        {
            rtLogOutputMessage(pLogger, fFlags, iGroup, pszFormat, args);
            if (cEntries == pLogger->cMaxEntriesPerGroup)
            {
                /* Still under the lock, which does not nest. */
                const char *pszName = pLogger->papszGroups ? pLogger->papszGroups[iGroup] : nullptr;
                if (pszName)
                    rtLogOutputMessageF(pLogger, fFlags, iGroup, "%u messages from group %s (#%u), muting it.\n",
                                        cEntries, pszName, iGroup);
                else
                    rtLogOutputMessageF(pLogger, fFlags, iGroup, "%u messages from group #%u, muting it.\n",
                                        cEntries, iGroup);
            }
        }
    }
    else
        rtLogOutputMessage(pLogger, fFlags, iGroup, pszFormat, args);
    rtLogUnlock(pLogger);
    return INF_SUCCESS;
}

static RTSTATUS rtLogInstanceFlush(RTLOGINSTANCE *pLogger)
{
    if (!pLogger)
    {
        pLogger = g_pLogDefault;
        if (!pLogger)
            return INF_LOG_NO_INSTANCE;
    }
    RTSTATUS const rc = rtLogValidateAndLock(pLogger);
    if (RT_FAILURE(rc))
        return rc;
    if (pLogger->pScratch->cchUsed || (pLogger->fDestFlags & RTLOGDEST_RINGBUF))
        rtLogFlushScratch(pLogger);
    if ((pLogger->fDestFlags & RTLOGDEST_RINGBUF) && pLogger->pchRing)
        rtLogRingFlush(pLogger);
    rtLogUnlock(pLogger);
    return INF_SUCCESS;
}


/*
 * The ring.
 */

static void rtLogRingMarkers(char *pchRing, uint32_t cbRing)
{
    __builtin_memcpy(pchRing, s_szRingStart, RTLOG_RING_MARKER_SIZE);
    __builtin_memcpy(pchRing + cbRing - RTLOG_RING_MARKER_SIZE, s_szRingEnd, RTLOG_RING_MARKER_SIZE);
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


/*
 * The log file.
 */

static uint64_t rtLogFileOpenFlags(const RTLOGINSTANCE *pLogger)
{
    uint64_t fOpen = pLogger->fFlags & RTLOGFLAGS_APPEND ? RTLOG_FOPEN_APPEND : RTLOG_FOPEN_OVERWRITE;
    if (pLogger->fFlags & RTLOGFLAGS_WRITE_THROUGH)
        fOpen |= RTFOPEN_WRITE_THROUGH;
    if (pLogger->fDestFlags & RTLOGDEST_F_NO_DENY)
        fOpen = (fOpen & ~RTFOPEN_DENY_NONE) | RTFOPEN_SHARE_DELETE;
    return fOpen;
}

static RTSTATUS rtLogFileOpen(RTLOGINSTANCE *pLogger, RTERRINFO *pErrInfo)
{
    const RTLOGOUTPUTOPS *pOps = pLogger->pOutputOps;
    bool const fAppend = (pLogger->fFlags & RTLOGFLAGS_APPEND) != 0;
    uint64_t const fOpen = rtLogFileOpenFlags(pLogger);
    RTSTATUS rc;
    for (unsigned iTry = 0;; iTry++)
    {
        if (!fAppend)
            pOps->pfnDelete(pOps, pLogger->pvOutputUser, pLogger->hDir, pLogger->szFilename);
        rc = pOps->pfnOpen(pOps, pLogger->pvOutputUser, pLogger->hDir, pLogger->szFilename, fOpen);
        if (   (rc != ERR_SHARING_CONFLICT && (fAppend || rc != ERR_NAME_TAKEN))
            || iTry >= RT_ELEMENTS(s_acMsRetryDelays))
            break;
        RTThreadSleepMs(s_acMsRetryDelays[iTry]);
    }
    if (RT_FAILURE(rc))
    {
        pLogger->fLogOpened = 0;
        RTErrInfoStoreF(pErrInfo, rc, "could not open file '%s' (fOpen=%#x)", pLogger->szFilename,
                        static_cast<uint32_t>(fOpen));
        return rc;
    }
    pLogger->fLogOpened = 1;
    uint64_t cbSize = 0;
    if (RT_FAILURE(pOps->pfnQuerySize(pOps, pLogger->pvOutputUser, &cbSize)))
        cbSize = 0;
    pLogger->cbHistoryFileWritten = cbSize;
    return INF_SUCCESS;
}

static void rtLogFileClose(RTLOGINSTANCE *pLogger)
{
    pLogger->pOutputOps->pfnClose(pLogger->pOutputOps, pLogger->pvOutputUser);
    pLogger->fLogOpened = 0;
}

static void rtLogDirClose(RTLOGINSTANCE *pLogger)
{
    if (pLogger->hDir)
        pLogger->pOutputOps->pfnDirClose(pLogger->pOutputOps, pLogger->pvOutputUser, pLogger->hDir);
    pLogger->hDir = nullptr;
}

/** Calls the phase callback with the destinations reduced to the file. */
static void rtLogPhaseToFile(RTLOGINSTANCE *pLogger, uint32_t enmPhase)
{
    if (!pLogger->pfnPhase)
        return;
    uint32_t const fDestSaved = pLogger->fDestFlags;
    pLogger->fDestFlags &= RTLOGDEST_FILE;
    pLogger->pfnPhase(pLogger, enmPhase, rtLogPhaseMsgLocked);
    pLogger->fDestFlags = fDestSaved;
}

static void rtLogRotate(RTLOGINSTANCE *pLogger, uint32_t uTimeSlot, bool fFirst, RTERRINFO *pErrInfo)
{
    if (pLogger->cbHistoryFileWritten == 0)
        pLogger->uHistoryTimeSlotStart = uTimeSlot;
    if (   pLogger->cbHistoryFileWritten < pLogger->cbHistoryFileMax
        && uTimeSlot == pLogger->uHistoryTimeSlotStart)
        return;

    /* Nothing printed while the files move may start another rotation; the renames below
       work with the count saved here. */
    uint32_t const fFlagsSaved = pLogger->fFlags;
    uint32_t const cHistory = pLogger->cHistory;
    pLogger->fFlags |= RTLOGFLAGS_DISABLED;
    pLogger->cHistory = 0;

    const RTLOGOUTPUTOPS *pOps = pLogger->pOutputOps;
    void *pvUser = pLogger->pvOutputUser;
    bool fDirReady = true;
    if (pLogger->fLogOpened)
    {
        if (!fFirst)
            rtLogPhaseToFile(pLogger, RTLOGPHASE_PREROTATE);
        rtLogFileClose(pLogger);
    }
    else if (!fFirst)
        fDirReady = RT_SUCCESS(pOps->pfnDirOpen(pOps, pvUser, pLogger->szFilename, &pLogger->hDir));

    if (fDirReady)
    {
        char szOld[RTLOG_FILENAME_SIZE + 16];
        char szNew[RTLOG_FILENAME_SIZE + 16];
        for (uint32_t i = cHistory; i-- > 0;)
        {
            if (i == 0)
                RTStrCopyBounded(szOld, sizeof(szOld), pLogger->szFilename);
            else
                RTStrPrintBuf(szOld, sizeof(szOld), "%s.%u", pLogger->szFilename, i);
            RTStrPrintBuf(szNew, sizeof(szNew), "%s.%u", pLogger->szFilename, i + 1);
            for (unsigned iTry = 0;; iTry++)
            {
                RTSTATUS const rc = pOps->pfnRename(pOps, pvUser, pLogger->hDir, szOld, szNew, RTLOGRENAME_REPLACE);
                if (rc == ERR_SHARING_CONFLICT && iTry < RT_ELEMENTS(s_acMsRetryDelays))
                {
                    RTThreadSleepMs(s_acMsRetryDelays[iTry]);
                    continue;
                }
                if (rc == ERR_FILE_MISSING)
                    pOps->pfnDelete(pOps, pvUser, pLogger->hDir, szNew);
                break;
            }
        }
        for (uint32_t i = cHistory + 1;; i++)
        {
            RTStrPrintBuf(szOld, sizeof(szOld), "%s.%u", pLogger->szFilename, i);
            if (RT_FAILURE(pOps->pfnDelete(pOps, pvUser, pLogger->hDir, szOld)))
                break;
        }

        pLogger->cbHistoryFileWritten = 0;
        pLogger->uHistoryTimeSlotStart = uTimeSlot;
        rtLogFileOpen(pLogger, pErrInfo);
        if (!fFirst)
            rtLogPhaseToFile(pLogger, RTLOGPHASE_POSTROTATE);
        if (!pLogger->fLogOpened && !fFirst)
            rtLogDirClose(pLogger);
    }

    pLogger->cHistory = cHistory;
    pLogger->fFlags = fFlagsSaved;
}

/** Opens the log file's directory and the file itself, moving an older log into the
 *  history first. */
static RTSTATUS rtLogFileSetUp(RTLOGINSTANCE *pLogger, RTERRINFO *pErrInfo)
{
    RTSTATUS rc = pLogger->pOutputOps->pfnDirOpen(pLogger->pOutputOps, pLogger->pvOutputUser, pLogger->szFilename,
                                                  &pLogger->hDir);
    if (RT_FAILURE(rc))
        return rc;
    if (pLogger->fFlags & RTLOGFLAGS_APPEND)
    {
        rc = rtLogFileOpen(pLogger, pErrInfo);
        rtLogRotate(pLogger, 0, true, pErrInfo);
    }
    else
    {
        pLogger->cbHistoryFileWritten = RTLOG_NO_LIMIT_U64;
        rtLogRotate(pLogger, 0, true, pErrInfo);
        if (!pLogger->fLogOpened)
        {
            pLogger->cbHistoryFileWritten = 0;
            rc = rtLogFileOpen(pLogger, pErrInfo);
        }
    }
    if (pLogger->fLogOpened)
        rc = INF_SUCCESS;
    else
    {
        rtLogDirClose(pLogger);
        if (RT_SUCCESS(rc))
            rc = ERR_FILE_MISSING;
    }
    return rc;
}

RTSTATUS RTLogClearFileDelayFlag(RTLOGINSTANCE *pLogger, RTERRINFO *pErrInfo)
{
    RTSTATUS rc = rtLogResolve(&pLogger);
    if (rc != INF_SUCCESS)
        return rc;
    rc = rtLogLock(pLogger);
    if (RT_FAILURE(rc))
        return rc;
    if (pLogger->fDestFlags & RTLOGDEST_F_DELAY_FILE)
    {
        pLogger->fDestFlags &= ~RTLOGDEST_F_DELAY_FILE;
        if ((pLogger->fDestFlags & RTLOGDEST_FILE) && !pLogger->fLogOpened)
            rc = rtLogFileSetUp(pLogger, pErrInfo);
        rtLogFlushScratch(pLogger);
    }
    rtLogUnlock(pLogger);
    return rc;
}


/*
 * Creation and destruction.
 */

static RTSTATUS rtLogCheckScratch(uint32_t cScratch, const RTLOGSCRATCH *paScratch, bool *pfInternal)
{
    *pfInternal = true;
    if (!cScratch)
        return INF_SUCCESS;
    if (!RT_VALID_PTR(paScratch))
        return ERR_BAD_POINTER;
    *pfInternal = paScratch[0].pchBuf == nullptr;
    for (uint32_t i = 0; i < cScratch; i++)
    {
        const RTLOGSCRATCH *p = &paScratch[i];
        if (p->u32Magic != RTLOGSCRATCH_MAGIC)
            return ERR_BAD_MAGIC;
        if (p->uReserved || p->cchUsed)
            return ERR_BAD_ARGUMENT;
        if (p->cbBuf < RTLOG_SCRATCH_MIN_SIZE || p->cbBuf > RTLOG_SCRATCH_MAX_SIZE)
            return ERR_OUT_OF_RANGE;
        if (*pfInternal)
        {
            if (p->pchBuf || p->pStatus)
                return ERR_BAD_ARGUMENT;
        }
        else if (!RT_VALID_PTR(p->pchBuf) || (p->pStatus && !RT_VALID_PTR(p->pStatus)))
            return ERR_BAD_POINTER;
    }
    return INF_SUCCESS;
}

static inline uint32_t rtLogAlign64(uint32_t cb)
{
    return (cb + 63) & ~uint32_t(63);
}

/** Frees an instance whose creation failed or which is being destroyed. */
static void rtLogFree(RTLOGINSTANCE *pLogger)
{
    if (pLogger->fLogOpened)
        rtLogFileClose(pLogger);
    rtLogDirClose(pLogger);
    if (pLogger->hSpinMtx)
        RTSemSpinMutexDrop(pLogger->hSpinMtx);
    RTMemFree(pLogger->pchRing);
    pLogger->u32Magic = RTLOGINSTANCE_MAGIC_DEAD;
    RTMemFree(pLogger);
}

static RTSTATUS rtLogFlushHook(RTLOGINSTANCE *pLogger)
{
    return rtLogInstanceFlush(pLogger);
}

/** Reads a setting from the environment variable @p pszBase + @p pszSuffix. */
static const char *rtLogEnvSetting(char *pszName, size_t cbName, const char *pszBase, const char *pszSuffix)
{
    RTStrPrintBuf(pszName, cbName, "%s%s", pszBase, pszSuffix);
    return RTEnvValue(pszName);
}

static RTSTATUS rtLogInstanceCreateV(RTLOGINSTANCE **ppLogger, const char *pszEnvVarBase, uint32_t fFlags,
                                     uint32_t fFlags2, const char *pszGroupSettings, uint32_t cGroups,
                                     const char * const *papszGroups, uint32_t cMaxEntriesPerGroup,
                                     uint32_t cScratch, RTLOGSCRATCH *paScratch, uint32_t fDestFlags,
                                     PFNRTLOGPHASE pfnPhase, uint32_t cHistory, uint64_t cbHistoryFileMax,
                                     uint32_t cSecsHistoryTimeSlot, const RTLOGOUTPUTOPS *pOutputOps,
                                     void *pvOutputOpsUser, RTERRINFO *pErrInfo, const char *pszFilenameFmt,
                                     va_list args)
{
    if (!RT_VALID_PTR(ppLogger))
        return ERR_BAD_POINTER;
    *ppLogger = nullptr;
    RTErrInfoReset(pErrInfo);
    if (cGroups)
    {
        if (!RT_VALID_PTR(papszGroups))
            return ERR_BAD_POINTER;
        if (cGroups > RTLOG_MAX_GROUPS)
            return ERR_OUT_OF_RANGE;
    }
    if (cHistory > RTLOG_MAX_HISTORY || cScratch > RTLOG_MAX_SCRATCH_DESCS)
        return ERR_OUT_OF_RANGE;
    bool fInternalBufs;
    RTSTATUS rc = rtLogCheckScratch(cScratch, paScratch, &fInternalBufs);
    if (RT_FAILURE(rc))
        return rc;

    /* One block: header, group words, counters, then the buffers. */
    uint32_t cbBlock = RTLOGINSTANCE_HDR_SIZE + cGroups * sizeof(uint32_t);
    if (fFlags & RTLOGFLAGS_RESTRICT_GROUPS)
        cbBlock += cGroups * sizeof(uint32_t);
    cbBlock = rtLogAlign64(cbBlock);
    uint32_t const offBuffers = cbBlock;
    if (!cScratch)
        cbBlock += rtLogAlign64(sizeof(RTLOGSCRATCH)) + RTLOG_INTERNAL_SCRATCH_SIZE;
    else if (fInternalBufs)
        for (uint32_t i = 0; i < cScratch; i++)
            cbBlock += rtLogAlign64(paScratch[i].cbBuf);
    /* Alignment of the block start to 64 bytes is not promised by the heap; keep room. */
    cbBlock += 64;
    uint8_t *pbBlock = static_cast<uint8_t *>(RTMemAllocZ(cbBlock));    /* may-leak:log-instance */
    if (!pbBlock)
        return ERR_OUT_OF_MEMORY;
    RTLOGINSTANCE *pLogger = reinterpret_cast<RTLOGINSTANCE *>(pbBlock);

    pLogger->u32Magic = RTLOGINSTANCE_MAGIC;
    pLogger->uRevision = RTLOGINSTANCE_REVISION;
    pLogger->cbHdr = RTLOGINSTANCE_HDR_SIZE;
    pLogger->fFlags = fFlags;
    pLogger->fFlags2 = fFlags2;
    pLogger->fDestFlags = fDestFlags;
    pLogger->fPendingPrefix = 1;
    pLogger->cGroups = cGroups;
    pLogger->cGroupsCopy = cGroups;
    pLogger->papszGroups = cGroups ? papszGroups : nullptr;
    if (fFlags & RTLOGFLAGS_RESTRICT_GROUPS)
        pLogger->pacEntriesPerGroup = reinterpret_cast<uint32_t *>(pbBlock + RTLOGINSTANCE_HDR_SIZE
                                                                   + cGroups * sizeof(uint32_t));
    pLogger->cMaxEntriesPerGroup = cMaxEntriesPerGroup ? cMaxEntriesPerGroup : RTLOG_NO_LIMIT_U32;
    pLogger->pfnPhase = pfnPhase;
    pLogger->cHistory = cHistory;
    pLogger->cbHistoryFileMax = cbHistoryFileMax ? cbHistoryFileMax : RTLOG_NO_LIMIT_U64;
    pLogger->cSecsHistoryTimeSlot = cSecsHistoryTimeSlot ? cSecsHistoryTimeSlot : RTLOG_NO_LIMIT_U32;
    pLogger->pOutputOps = pOutputOps ? pOutputOps : &g_LogDefaultOutputOps;
    pLogger->pvOutputUser = pOutputOps ? pvOutputOpsUser : pLogger;
    pLogger->hFile = NIL_RTFILE;

    /* Buffers, each at a 64-byte boundary of the address space. */
    uintptr_t uNext = (reinterpret_cast<uintptr_t>(pbBlock) + offBuffers + 63) & ~uintptr_t(63);
    if (!cScratch)
    {
        RTLOGSCRATCH *pScratch = reinterpret_cast<RTLOGSCRATCH *>(uNext);
        uNext = (uNext + sizeof(RTLOGSCRATCH) + 63) & ~uintptr_t(63);
        pScratch->u32Magic = RTLOGSCRATCH_MAGIC;
        pScratch->cbBuf = RTLOG_INTERNAL_SCRATCH_SIZE;
        pScratch->pchBuf = reinterpret_cast<char *>(uNext);
        pLogger->paScratch = pScratch;
        pLogger->cScratch = 1;
    }
    else
    {
        if (fInternalBufs)
            for (uint32_t i = 0; i < cScratch; i++)
            {
                paScratch[i].pchBuf = reinterpret_cast<char *>(uNext);
                uNext += rtLogAlign64(paScratch[i].cbBuf);
            }
        pLogger->paScratch = paScratch;
        pLogger->cScratch = static_cast<uint8_t>(cScratch);
    }
    pLogger->iScratch = 0;
    pLogger->pScratch = pLogger->paScratch;

    if (pszGroupSettings)
        RTLogApplyGroupSettings(pLogger, pszGroupSettings);

    if (pszFilenameFmt)
    {
        RTStrPrintBufV(pLogger->szFilename, sizeof(pLogger->szFilename), pszFilenameFmt, args);
        if (pLogger->szFilename[0])
            pLogger->fDestFlags |= RTLOGDEST_FILE;
    }

    if (pszEnvVarBase)
    {
        char szName[256];
        if (const char *pszValue = rtLogEnvSetting(szName, sizeof(szName), pszEnvVarBase, "_DEST"))
            RTLogApplyDestSettings(pLogger, pszValue);
        if (const char *pszValue = rtLogEnvSetting(szName, sizeof(szName), pszEnvVarBase, "_FLAGS"))
            RTLogApplyFlagSettings(pLogger, pszValue);
        if (const char *pszValue = rtLogEnvSetting(szName, sizeof(szName), pszEnvVarBase, ""))
            RTLogApplyGroupSettings(pLogger, pszValue);
        if (const char *pszValue = rtLogEnvSetting(szName, sizeof(szName), pszEnvVarBase, "_MAX_PER_GROUP"))
        {
            uint32_t cMax = 0;
            if (RT_SUCCESS(RTStrParseU32(pszValue, nullptr, 0, &cMax)))
                pLogger->cMaxEntriesPerGroup = cMax ? cMax : RTLOG_NO_LIMIT_U32;
        }
    }

    if ((pLogger->fDestFlags & (RTLOGDEST_F_DELAY_FILE | RTLOGDEST_FILE)) == RTLOGDEST_F_DELAY_FILE)
        pLogger->fDestFlags &= ~RTLOGDEST_F_DELAY_FILE;
    if ((pLogger->fDestFlags & (RTLOGDEST_F_DELAY_FILE | RTLOGDEST_FILE)) == RTLOGDEST_FILE)
        rc = rtLogFileSetUp(pLogger, pErrInfo);
    if (RT_SUCCESS(rc) && (pLogger->fDestFlags & RTLOGDEST_RINGBUF))
        rc = rtLogRingResize(pLogger, RTLOG_RING_DEFAULT_SIZE, true);

    if (RT_SUCCESS(rc) && !(fFlags2 & RTLOGFLAGS2_NO_LOCK))
    {
        rc = RTSemSpinMutexMake(&pLogger->hSpinMtx, 0);
        if (RT_FAILURE(rc))
            RTErrInfoStore(pErrInfo, rc, "failed to create semaphore");
        else if (RTTHREADINT *pThread = RTThreadCurrentRecord())
        {
            uint32_t const cBefore = pThread->cWriteLocks;
            RTSemSpinMutexAcquire(pLogger->hSpinMtx);
            g_cLoggerLockCount = pThread->cWriteLocks - cBefore;
            RTSemSpinMutexRelease(pLogger->hSpinMtx);
        }
    }
    if (RT_FAILURE(rc))
    {
        rtLogFree(pLogger);
        return rc;
    }

    if (pfnPhase)
        pfnPhase(pLogger, RTLOGPHASE_BEGIN, rtLogPhaseMsgNormal);
    pLogger->fCreated = 1;
    *ppLogger = pLogger;
    if (!g_pfnLogPrintV)
        g_pfnLogPrintV = RTLogPrintV;
    if (!g_pfnLogFlush)
        g_pfnLogFlush = rtLogFlushHook;
    return INF_SUCCESS;
}

RTSTATUS RTLogInstanceCreate(RTLOGINSTANCE **ppLogger, const char *pszEnvVarBase, uint32_t fFlags,
                             uint32_t fFlags2, const char *pszGroupSettings, uint32_t cGroups,
                             const char * const *papszGroups, uint32_t cMaxEntriesPerGroup,
                             uint32_t cScratch, RTLOGSCRATCH *paScratch, uint32_t fDestFlags,
                             PFNRTLOGPHASE pfnPhase, uint32_t cHistory, uint64_t cbHistoryFileMax,
                             uint32_t cSecsHistoryTimeSlot, const RTLOGOUTPUTOPS *pOutputOps,
                             void *pvOutputOpsUser, RTERRINFO *pErrInfo, const char *pszFilenameFmt, ...)
{
    va_list args;
    va_start(args, pszFilenameFmt);
    RTSTATUS const rc = rtLogInstanceCreateV(ppLogger, pszEnvVarBase, fFlags, fFlags2, pszGroupSettings, cGroups,
                                             papszGroups, cMaxEntriesPerGroup, cScratch, paScratch, fDestFlags,
                                             pfnPhase, cHistory, cbHistoryFileMax, cSecsHistoryTimeSlot,
                                             pOutputOps, pvOutputOpsUser, pErrInfo, pszFilenameFmt, args);
    va_end(args);
    return rc;
}

RTSTATUS RTLogInstanceCreateF(RTLOGINSTANCE **ppLogger, uint32_t fFlags, uint32_t fFlags2,
                              const char *pszGroupSettings, const char *pszEnvVarBase, uint32_t cGroups,
                              const char * const *papszGroups, uint32_t fDestFlags,
                              const char *pszFilenameFmt, ...)
{
    va_list args;
    va_start(args, pszFilenameFmt);
    RTSTATUS const rc = rtLogInstanceCreateV(ppLogger, pszEnvVarBase, fFlags, fFlags2, pszGroupSettings, cGroups,
                                             papszGroups, 0, 0, nullptr, fDestFlags, nullptr, 0, 0, 0, nullptr,
                                             nullptr, nullptr, pszFilenameFmt, args);
    va_end(args);
    return rc;
}

RTSTATUS RTLogInstanceDestroy(RTLOGINSTANCE *pLogger)
{
    if (!pLogger)
        return INF_SUCCESS;
    RTSTATUS const rc = rtLogValidateAndLock(pLogger);
    if (RT_FAILURE(rc))
        return rc;
    pLogger->fFlags |= RTLOGFLAGS_DISABLED;
    for (uint32_t i = 0; i < pLogger->cGroups; i++)
        pLogger->afGroups[i] = 0;
    rtLogFlushScratch(pLogger);
    if ((pLogger->fDestFlags & RTLOGDEST_FILE) && pLogger->fLogOpened)
    {
        rtLogPhaseToFile(pLogger, RTLOGPHASE_END);
        rtLogFlushScratch(pLogger);
        rtLogFileClose(pLogger);
        rtLogDirClose(pLogger);
    }
    RTSEMSPINMUTEX const hSpinMtx = pLogger->hSpinMtx;
    pLogger->hSpinMtx = nullptr;
    if (hSpinMtx)
    {
        RTSemSpinMutexRelease(hSpinMtx);
        RTSemSpinMutexDrop(hSpinMtx);
    }
    rtLogFree(pLogger);
    return INF_SUCCESS;
}
