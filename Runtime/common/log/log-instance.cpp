/* Logger instances: validation, creation with the settings from the caller and the
 * environment, and destruction. Output, the ring buffer and the log file have files of
 * their own; nothing of the logger is reached by a program that never creates an
 * instance. */
#include "internal/log.h"
#include "rt/env.h"
#include "rt/err.h"
#include "rt/format.h"
#include "rt/mem.h"
#include "rt/strconv.h"
#include "rt/thread.h"
#include "internal/thread.h"

uint32_t g_cLoggerLockCount;


/*
 * Validation.
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
        g_pfnLogFlush = rtLogInstanceFlush;
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
