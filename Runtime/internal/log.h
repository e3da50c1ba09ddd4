/* The logger instance record and the pieces shared by the instance code (creation, output,
 * ring buffer, log file), the settings parsers and the platform layer. */
#pragma once
#include "rt/log.h"
#include "rt/file.h"
#include "rt/semaphore.h"

inline constexpr uint32_t RTLOGINSTANCE_MAGIC      = 0x19320731;
inline constexpr uint32_t RTLOGINSTANCE_MAGIC_DEAD = ~RTLOGINSTANCE_MAGIC;
inline constexpr uint32_t RTLOGINSTANCE_REVISION   = 14;
/** Bytes of the record before the group flag words. */
inline constexpr uint32_t RTLOGINSTANCE_HDR_SIZE   = 4304;
/** Scratch buffer of an instance created without descriptors. */
inline constexpr uint32_t RTLOG_INTERNAL_SCRATCH_SIZE = 0x20000;
/** The prefix fields of one line never need more than this. */
inline constexpr uint32_t RTLOG_PREFIX_ROOM = 281;
/** Each ring marker takes this many bytes at either end of the ring block. */
inline constexpr uint32_t RTLOG_RING_MARKER_SIZE = 16;
/** "All ones": no limit, no slot, closed handle. */
inline constexpr uint64_t RTLOG_NO_LIMIT_U64 = ~uint64_t(0);
inline constexpr uint32_t RTLOG_NO_LIMIT_U32 = ~uint32_t(0);

struct RTLOGINSTANCE
{
    uint32_t            u32Magic;
    uint32_t            uRevision;
    uint32_t            cbHdr;
    uint32_t            fFlags;
    uint32_t            fFlags2;
    uint32_t            fDestFlags;
    uint8_t             cScratch;
    uint8_t             iScratch;
    RTLOGSCRATCH       *paScratch;
    RTLOGSCRATCH       *pScratch;       /**< the current descriptor */
    RTSEMSPINMUTEX      hSpinMtx;       /**< null when created with RTLOGFLAGS2_NO_LOCK */
    void               *pfnPrefix;      /**< custom prefix hook: nothing installs one */
    void               *pvPrefixUser;
    uint8_t             fPendingPrefix; /**< the next character starts a line */
    uint8_t             fCreated;
    uint32_t            cGroups;
    const char * const *papszGroups;
    uint32_t           *pacEntriesPerGroup;   /**< present with RTLOGFLAGS_RESTRICT_GROUPS */
    uint32_t            cMaxEntriesPerGroup;  /**< all ones: no limit */
    uint32_t            cbRing;
    uint64_t            cbRingSinceFlush;
    char               *pchRing;
    char               *pchRingCursor;
    PFNRTLOGPHASE       pfnPhase;
    const RTLOGOUTPUTOPS *pOutputOps;
    void               *pvOutputUser;
    void               *hDir;
    RTFILE              hFile;          /**< the default operations' file */
    uint64_t            cbHistoryFileMax;
    uint64_t            cbHistoryFileWritten;
    uint32_t            cSecsHistoryTimeSlot;
    uint32_t            uHistoryTimeSlotStart;
    uint32_t            cHistory;
    char                szFilename[RTLOG_FILENAME_SIZE];
    uint8_t             fLogOpened;
    uint8_t             abReserved[RTLOGINSTANCE_HDR_SIZE - sizeof(uint32_t) - 4241];  /**< pads the header to its size */
    uint32_t            cGroupsCopy;
    uint32_t            afGroups[1];    /**< cGroups flag words */
};
static_assert(offsetof(RTLOGINSTANCE, afGroups) == RTLOGINSTANCE_HDR_SIZE,
              "the group flag words follow the header at its fixed size");

RT_C_DECLS_BEGIN

/** Checks the pointer, the magic and the layout revision, in that order, before any
 *  other field is read. */
RTSTATUS rtLogValidate(const RTLOGINSTANCE *pLogger);
/** The named instance, or the default one (created on first use); INF_LOG_NO_INSTANCE as
 *  a positive status when there is none. Validated. */
RTSTATUS rtLogResolve(RTLOGINSTANCE **ppLogger);
/** Resizes the ring; the caller does not hold the lock. */
RTSTATUS rtLogRingResize(RTLOGINSTANCE *pLogger, uint32_t cbNew, bool fForce);
/** Allocates the default-size ring when the created instance has none. */
RTSTATUS rtLogRingEnsure(RTLOGINSTANCE *pLogger);
/** The default file name of a process: "./YYYY-MM-DD-hh-mm-ss.hh-PROG-PID.log". */
size_t rtLogDefaultFileName(char *pszBuf, size_t cbBuf, int64_t i64NsSinceEpoch, const char *pszProgram,
                            uint32_t uPid);

/** Takes the instance lock, when the instance has one. */
inline RTSTATUS rtLogLock(RTLOGINSTANCE *pLogger)
{
    return pLogger->hSpinMtx ? RTSemSpinMutexAcquire(pLogger->hSpinMtx) : INF_SUCCESS;
}

inline void rtLogUnlock(RTLOGINSTANCE *pLogger)
{
    if (pLogger->hSpinMtx)
        RTSemSpinMutexRelease(pLogger->hSpinMtx);
}

/** Checks the instance and takes its lock. */
inline RTSTATUS rtLogValidateAndLock(RTLOGINSTANCE *pLogger)
{
    RTSTATUS const rc = rtLogValidate(pLogger);
    return RT_FAILURE(rc) ? rc : rtLogLock(pLogger);
}

/** Write locks the instance lock adds to a registered thread's count, measured at
 *  creation; the lock-count prefix leaves them out. */
extern uint32_t g_cLoggerLockCount;

/* Output (the caller holds the lock, unless said otherwise). */
/** Sends one piece to every destination but the ring; @p fCountsToFile says whether it
 *  grows the file size that rotation watches. */
void rtLogWriteToDestinations(RTLOGINSTANCE *pLogger, const char *pch, size_t cch, bool fCountsToFile);
/** Writes the scratch buffer out to the destinations and empties it, rotating the file
 *  when that is due. */
void rtLogFlushScratch(RTLOGINSTANCE *pLogger);
/** Flushes the scratch buffer and the ring of the instance or, for null, of the default
 *  one; takes the lock itself. */
RTSTATUS rtLogInstanceFlush(RTLOGINSTANCE *pLogger);
/** The print function of the phase callback in phases 1 to 3: straight into the scratch
 *  buffer, the caller holding the lock. */
void rtLogPhaseMsgLocked(RTLOGINSTANCE *pLogger, const char *pszFormat, ...);
/** The print function of the phase callback in phase 0, which takes the lock. */
void rtLogPhaseMsgNormal(RTLOGINSTANCE *pLogger, const char *pszFormat, ...);

/* The ring. */
/** Keeps text in the ring, the oldest overwritten. */
void rtLogRingWrite(RTLOGINSTANCE *pLogger, const char *pch, size_t cch);
/** Sends what the ring holds since its last flush on to the other destinations. */
void rtLogRingFlush(RTLOGINSTANCE *pLogger);

/* The log file. */
/** The file and directory functions of an instance created without its own. */
extern const RTLOGOUTPUTOPS g_LogDefaultOutputOps;
/** Opens the log file's directory and the file itself, moving an older log into the
 *  history first. */
RTSTATUS rtLogFileSetUp(RTLOGINSTANCE *pLogger, RTERRINFO *pErrInfo);
/** Moves the file into the history and opens a new one once it has reached its size
 *  limit or left its time slot. @p fFirst: the check at set-up, which calls no phase
 *  callback and finds the directory open. */
void rtLogRotate(RTLOGINSTANCE *pLogger, uint32_t uTimeSlot, bool fFirst, RTERRINFO *pErrInfo);
void rtLogFileClose(RTLOGINSTANCE *pLogger);
void rtLogDirClose(RTLOGINSTANCE *pLogger);
/** Calls the phase callback with the destinations reduced to the file. */
void rtLogPhaseToFile(RTLOGINSTANCE *pLogger, uint32_t enmPhase);

/* Platform side. */
uint32_t rtLogNativeProcessId(void);
/** The parent process's id, or all ones. */
uint32_t rtLogNativeParentProcessId(void);
/** Writes to the debugger; the text is terminated. */
void rtLogNativeWriteDebugger(const char *pch, size_t cch);
/** Writes to standard output (fStdErr false) or standard error, as the process's handles
 *  stand; nothing when the handle is unset. */
void rtLogNativeWriteStd(bool fStdErr, const char *pch, size_t cch);
/** The process's UTF-16 command line. */
const uint16_t *rtLogNativeCommandLine(void);

RT_C_DECLS_END

RT_C_DECLS_BEGIN

/** A release-log assertion of the runtime's own non-fatal checks: when the release-logger
 *  lookup gives a logger for level 1 of the assertion group, logs
 *  "AssertLogRel <file>(<line>) <function>: <expression>" and the detail line there, with
 *  that level and group. Never stops the process; the caller goes on to return its error. */
void rtLogRelAssert(const char *pszFile, int iLine, const char *pszFunction, const char *pszExpr,
                    const char *pszDetailFormat, ...);

RT_C_DECLS_END
