/* The log file: the default file operations, opening with retries, the history rotation,
 * set-up at creation and the delayed file's set-up. */
#include "internal/log.h"
#include "rt/dir.h"
#include "rt/err.h"
#include "rt/format.h"
#include "rt/path.h"
#include "rt/string.h"
#include "rt/thread.h"

namespace {

/** Delays between attempts to open or rename a file held by someone else. */
constexpr uint16_t g_acMsRetryDelays[] =
    { 10, 10, 10, 20, 50, 100, 200, 200, 200, 200, 500, 500, 500, 500, 1000, 1000, 1000, 1000, 1000, 1000, 1000 };
static_assert(RT_ELEMENTS(g_acMsRetryDelays) == 21, "21 retries, about 8.6 seconds in all");

/** Open-flag words of the log file. */
constexpr uint64_t RTLOG_FOPEN_APPEND    = RTFOPEN_OPEN_CREATE | RTFOPEN_DENY_NONE | RTFOPEN_APPEND | RTFOPEN_WRITE;
constexpr uint64_t RTLOG_FOPEN_OVERWRITE = RTFOPEN_CREATE | RTFOPEN_DENY_NONE | RTFOPEN_WRITE;
static_assert(RTLOG_FOPEN_APPEND == 0x186 && RTLOG_FOPEN_OVERWRITE == 0x282, "log file open flags");

} /* namespace */


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

const RTLOGOUTPUTOPS g_LogDefaultOutputOps =
{
    rtLogOpsDirOpen, rtLogOpsDirClose, rtLogOpsDelete, rtLogOpsRename, rtLogOpsOpen,
    rtLogOpsClose, rtLogOpsQuerySize, rtLogOpsWrite, rtLogOpsFlush,
};


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
            || iTry >= RT_ELEMENTS(g_acMsRetryDelays))
            break;
        RTThreadSleepMs(g_acMsRetryDelays[iTry]);
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

void rtLogFileClose(RTLOGINSTANCE *pLogger)
{
    pLogger->pOutputOps->pfnClose(pLogger->pOutputOps, pLogger->pvOutputUser);
    pLogger->fLogOpened = 0;
}

void rtLogDirClose(RTLOGINSTANCE *pLogger)
{
    if (pLogger->hDir)
        pLogger->pOutputOps->pfnDirClose(pLogger->pOutputOps, pLogger->pvOutputUser, pLogger->hDir);
    pLogger->hDir = nullptr;
}

void rtLogPhaseToFile(RTLOGINSTANCE *pLogger, uint32_t enmPhase)
{
    if (!pLogger->pfnPhase)
        return;
    uint32_t const fDestSaved = pLogger->fDestFlags;
    pLogger->fDestFlags &= RTLOGDEST_FILE;
    pLogger->pfnPhase(pLogger, enmPhase, rtLogPhaseMsgLocked);
    pLogger->fDestFlags = fDestSaved;
}

void rtLogRotate(RTLOGINSTANCE *pLogger, uint32_t uTimeSlot, bool fFirst, RTERRINFO *pErrInfo)
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
                if (rc == ERR_SHARING_CONFLICT && iTry < RT_ELEMENTS(g_acMsRetryDelays))
                {
                    RTThreadSleepMs(g_acMsRetryDelays[iTry]);
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

RTSTATUS rtLogFileSetUp(RTLOGINSTANCE *pLogger, RTERRINFO *pErrInfo)
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
