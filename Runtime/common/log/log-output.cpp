/* Logger output: printing a message through the scratch buffer with the plain or the
 * prefixing writer, the prefix columns, and writing the buffer out to the destinations. */
#include "internal/log.h"
#include "rt/format.h"
#include "rt/thread.h"
#include "rt/time.h"
#include "internal/thread.h"
#include <cpuid.h>
#include <x86intrin.h>

namespace {

/** What a delayed file's full buffer ends in, where its newest text is dropped. */
constexpr char g_szDropLf[]    = "\n[DROP DROP DROP]\n";
constexpr char g_szDropCrLf[]  = "\r\n[DROP DROP DROP]\r\n";

} /* namespace */

/** The "rel" prefix mode's previous values, shared by all instances. */
static uint64_t g_u64LastTs;
static uint64_t g_u64LastTsc;


/*
 * Destinations.
 */

void rtLogWriteToDestinations(RTLOGINSTANCE *pLogger, const char *pch, size_t cch, bool fCountsToFile)
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

void rtLogFlushScratch(RTLOGINSTANCE *pLogger)
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
            const char *pszMarker = fCrLf ? g_szDropCrLf : g_szDropLf;
            size_t const cchMarker = fCrLf ? sizeof(g_szDropCrLf) - 1 : sizeof(g_szDropLf) - 1;
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

/** A number in @p uBase of at least @p cchWidth characters, zero-filled, or blank-filled
 *  when @p fFlags leaves out FMT_ZERO_FILL; lower-case hexadecimal digits. */
static char *rtLogPutNumber(char *psz, uint64_t uValue, unsigned uBase, int cchWidth,
                            uint32_t fFlags = FMT_ZERO_FILL)
{
    return psz + RTFmtNumber(psz, uValue, uBase, cchWidth, 0, fFlags);
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
    if (fFlags & RTLOGFLAGS_DECIMAL_TS)
        psz = rtLogPutNumber(psz, uValue, 10, 16, 0 /* blank-filled */);
    else
        psz = rtLogPutNumber(psz, uValue, 16, 16);
    *psz++ = ' ';
    return psz;
}

/** "hh:mm:ss.uuuuuu " from a count of microseconds (hours at least two digits). */
static char *rtLogPutClock(char *psz, uint64_t cUs)
{
    psz = rtLogPutNumber(psz, cUs / 3600000000u, 10, 2);
    *psz++ = ':';
    psz = rtLogPutNumber(psz, cUs / 60000000u % 60, 10, 2);
    *psz++ = ':';
    psz = rtLogPutNumber(psz, cUs / 1000000u % 60, 10, 2);
    *psz++ = '.';
    psz = rtLogPutNumber(psz, cUs % 1000000u, 10, 6);
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

namespace {

/** The most a prefix can take: every column at its widest (the time since start may need
 *  more than two hour digits). */
constexpr unsigned RTLOG_PREFIX_MAX = 17 + 17 + 10 + 16 + 25 + 9 + 9 + 17 + 3 + 32 + 12 + 9 + 17 + 5 + 9;
static_assert(RTLOG_PREFIX_MAX < RTLOG_PREFIX_ROOM, "the prefix always fits in the room kept for it");

} /* namespace */

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
        psz = rtLogPutNumber(psz, RTTimeSinceStartMs(), 10, 9);
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
        psz = rtLogPutNumber(psz, rtLogNativeProcessId(), 16, 8);
        *psz++ = ' ';
    }
    if (fFlags & RTLOGFLAGS_PREFIX_TID)
    {
        psz = rtLogPutNumber(psz, RTThreadNativeSelf(), 16, 8);
        *psz++ = ' ';
    }
    if (fFlags & RTLOGFLAGS_PREFIX_THREAD)
        psz = rtLogPutColumn(psz, RTThreadCurrentName(), 16);
    if (fFlags & RTLOGFLAGS_PREFIX_CPUID)
    {
        unsigned uEax, uEbx, uEcx, uEdx;
        __cpuid(1, uEax, uEbx, uEcx, uEdx);
        psz = rtLogPutNumber(psz, uEbx >> 24, 16, 2);
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
            psz = rtLogPutNumber(psz, cRead, 16, 1);
            *psz++ = '/';
            psz = rtLogPutNumber(psz, cWrite, 16, 1);
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
        psz = rtLogPutNumber(psz, pArgs->fFlags, 16, 8);
        *psz++ = ' ';
    }
    bool const fGroup = pArgs->iGroup != RTLOG_NO_GROUP;
    if (fFlags & RTLOGFLAGS_PREFIX_FLAG)
        psz = rtLogPutColumn(psz, fGroup && pLogger->papszGroups ? pLogger->papszGroups[pArgs->iGroup] : nullptr, 16);
    if (fFlags & RTLOGFLAGS_PREFIX_GROUP_NO)
    {
        if (fGroup)
            psz = rtLogPutNumber(psz, pArgs->iGroup, 16, 3);
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

void rtLogPhaseMsgLocked(RTLOGINSTANCE *pLogger, const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    rtLogOutputMessage(pLogger, 0, RTLOG_NO_GROUP, pszFormat, args);
    va_end(args);
}

void rtLogPhaseMsgNormal(RTLOGINSTANCE *pLogger, const char *pszFormat, ...)
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

RTSTATUS rtLogInstanceFlush(RTLOGINSTANCE *pLogger)
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
