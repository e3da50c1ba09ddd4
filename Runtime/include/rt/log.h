/* The logger: instances with numbered groups, a scratch buffer, per-line prefixes and
 * destinations (log file with history, ring buffer, standard streams, debugger); the
 * process-wide default and release slots; the print hook through which code that must not
 * depend on the logger reaches an existing instance; and the three settings languages
 * (groups, flags, destinations). */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

typedef struct RTLOGINSTANCE RTLOGINSTANCE;
struct RTERRINFO;

/** Prints a message to an instance (null: the default one); see RTLogPrintV. */
typedef RTSTATUS (*PFNRTLOGPRINTV)(RTLOGINSTANCE *pLogger, uint32_t fFlags, uint32_t iGroup,
                                   const char *pszFormat, va_list args);

/** Flushes an instance (null: the default one); see RTLogInstanceFlush. */
typedef RTSTATUS (*PFNRTLOGFLUSH)(RTLOGINSTANCE *pLogger);

/** Group index meaning "no group". */
inline constexpr uint32_t RTLOG_NO_GROUP = ~0u;
/** Message flags and group with which the runtime's release-log assertions print. */
inline constexpr uint32_t RTLOG_REL_ASSERT_FLAGS = 0x10;
inline constexpr uint32_t RTLOG_REL_ASSERT_GROUP = 11;

/* Instance flags (the flag settings language names each). */
inline constexpr uint32_t RTLOGFLAGS_DISABLED         = 0x00000001;
inline constexpr uint32_t RTLOGFLAGS_BUFFERED         = 0x00000002;
inline constexpr uint32_t RTLOGFLAGS_USECRLF          = 0x00000010;
inline constexpr uint32_t RTLOGFLAGS_APPEND           = 0x00000020;
inline constexpr uint32_t RTLOGFLAGS_REL_TS           = 0x00000040;
inline constexpr uint32_t RTLOGFLAGS_DECIMAL_TS       = 0x00000080;
inline constexpr uint32_t RTLOGFLAGS_WRITE_THROUGH    = 0x00000100;
inline constexpr uint32_t RTLOGFLAGS_FLUSH            = 0x00000200;
/** Per-group message limits; only given at creation. */
inline constexpr uint32_t RTLOGFLAGS_RESTRICT_GROUPS  = 0x00000400;
inline constexpr uint32_t RTLOGFLAGS_PREFIX_LOCK_CNTS = 0x00008000;
inline constexpr uint32_t RTLOGFLAGS_PREFIX_CPUID     = 0x00010000;
inline constexpr uint32_t RTLOGFLAGS_PREFIX_PID       = 0x00020000;
inline constexpr uint32_t RTLOGFLAGS_PREFIX_FLAG_NO   = 0x00040000;
inline constexpr uint32_t RTLOGFLAGS_PREFIX_FLAG      = 0x00080000;
inline constexpr uint32_t RTLOGFLAGS_PREFIX_GROUP_NO  = 0x00100000;
inline constexpr uint32_t RTLOGFLAGS_PREFIX_GROUP     = 0x00200000;
inline constexpr uint32_t RTLOGFLAGS_PREFIX_TID       = 0x00400000;
inline constexpr uint32_t RTLOGFLAGS_PREFIX_THREAD    = 0x00800000;
inline constexpr uint32_t RTLOGFLAGS_PREFIX_CUSTOM    = 0x01000000;
inline constexpr uint32_t RTLOGFLAGS_PREFIX_TIME_PROG = 0x04000000;
inline constexpr uint32_t RTLOGFLAGS_PREFIX_TIME      = 0x08000000;
inline constexpr uint32_t RTLOGFLAGS_PREFIX_MS_PROG   = 0x10000000;
inline constexpr uint32_t RTLOGFLAGS_PREFIX_TSC       = 0x20000000;
inline constexpr uint32_t RTLOGFLAGS_PREFIX_TS        = 0x40000000;
/** Flags that route messages through the prefixing writer. */
inline constexpr uint32_t RTLOGFLAGS_PREFIX_MASK      = 0x7DFF8010;
static_assert(RTLOGFLAGS_PREFIX_MASK == (RTLOGFLAGS_USECRLF | RTLOGFLAGS_PREFIX_LOCK_CNTS | RTLOGFLAGS_PREFIX_CPUID
                                         | RTLOGFLAGS_PREFIX_PID | RTLOGFLAGS_PREFIX_FLAG_NO | RTLOGFLAGS_PREFIX_FLAG
                                         | RTLOGFLAGS_PREFIX_GROUP_NO | RTLOGFLAGS_PREFIX_GROUP | RTLOGFLAGS_PREFIX_TID
                                         | RTLOGFLAGS_PREFIX_THREAD | RTLOGFLAGS_PREFIX_CUSTOM
                                         | RTLOGFLAGS_PREFIX_TIME_PROG | RTLOGFLAGS_PREFIX_TIME
                                         | RTLOGFLAGS_PREFIX_MS_PROG | RTLOGFLAGS_PREFIX_TSC | RTLOGFLAGS_PREFIX_TS),
              "the prefixing writer serves exactly the prefix selectors and usecrlf");

/** Second flag word: the instance gets no lock (the caller serialises). */
inline constexpr uint32_t RTLOGFLAGS2_NO_LOCK = 0x80000000;

/* Destinations. */
inline constexpr uint32_t RTLOGDEST_FILE          = 0x00000001;
inline constexpr uint32_t RTLOGDEST_STDOUT        = 0x00000002;
inline constexpr uint32_t RTLOGDEST_STDERR        = 0x00000004;
inline constexpr uint32_t RTLOGDEST_DEBUGGER      = 0x00000008;
inline constexpr uint32_t RTLOGDEST_COM           = 0x00000010;
inline constexpr uint32_t RTLOGDEST_RINGBUF       = 0x00000020;
inline constexpr uint32_t RTLOGDEST_VMM           = 0x00000040;
inline constexpr uint32_t RTLOGDEST_VMM_REL       = 0x00000080;
/** The log file may be renamed or deleted while open, but not written by others. */
inline constexpr uint32_t RTLOGDEST_F_NO_DENY     = 0x00010000;
/** The log file is not opened yet: text waits in the scratch buffer. */
inline constexpr uint32_t RTLOGDEST_F_DELAY_FILE  = 0x00020000;
/** The file name, and the append or overwrite mode, cannot be changed by settings. */
inline constexpr uint32_t RTLOGDEST_FIXED_FILE    = 0x01000000;
/** The file's directory cannot be changed by settings. */
inline constexpr uint32_t RTLOGDEST_FIXED_DIR     = 0x02000000;
inline constexpr uint32_t RTLOGDEST_USER          = 0x40000000;

/* Group flag words. */
inline constexpr uint32_t RTLOGGRPFLAGS_ENABLED   = 0x00000001;
inline constexpr uint32_t RTLOGGRPFLAGS_FLOW      = 0x00000002;
inline constexpr uint32_t RTLOGGRPFLAGS_WARN      = 0x00000004;
/** Level n (1 to 12) is this bit shifted left by n. */
inline constexpr uint32_t RTLOGGRPFLAGS_LEVEL_0   = 0x00000008;
inline constexpr uint32_t RTLOGGRPFLAGS_LEVEL_1   = RTLOGGRPFLAGS_LEVEL_0 << 1;
inline constexpr uint32_t RTLOGGRPFLAGS_LEVEL_12  = RTLOGGRPFLAGS_LEVEL_0 << 12;
static_assert(RTLOGGRPFLAGS_LEVEL_1 == 0x10 && RTLOGGRPFLAGS_LEVEL_12 == 0x8000, "level bits");
inline constexpr uint32_t RTLOGGRPFLAGS_RESTRICT  = 0x40000000;

/* Limits. */
inline constexpr uint32_t RTLOG_MAX_GROUPS         = 0x1FFF;
inline constexpr uint32_t RTLOG_MAX_HISTORY        = 0xFFFFF;
inline constexpr uint32_t RTLOG_MAX_SCRATCH_DESCS  = 128;
inline constexpr uint32_t RTLOG_FILENAME_SIZE      = 4100;
inline constexpr uint32_t RTLOG_RING_DEFAULT_SIZE  = 0x80000;
inline constexpr uint32_t RTLOG_RING_MIN_SIZE      = 4096;
inline constexpr uint32_t RTLOG_RING_MAX_SIZE      = 0x40000000;
inline constexpr uint32_t RTLOG_SCRATCH_MIN_SIZE   = 1024;
inline constexpr uint32_t RTLOG_SCRATCH_MAX_SIZE   = 0x4000000;

/** Status record through which an outside reader of a scratch buffer learns its length
 *  and can ask for it to be emptied. */
struct RTLOGSCRATCHSTATUS
{
    uint32_t fFlushedByReader;
    uint32_t cchUsed;
};

/** A scratch-buffer descriptor. */
struct RTLOGSCRATCH
{
    uint32_t            u32Magic;       /**< RTLOGSCRATCH_MAGIC */
    uint32_t            uReserved;      /**< must be 0 */
    uint32_t            cbBuf;          /**< RTLOG_SCRATCH_MIN_SIZE to RTLOG_SCRATCH_MAX_SIZE */
    uint32_t            cchUsed;        /**< must be 0 at creation */
    char               *pchBuf;         /**< null: placed inside the instance */
    RTLOGSCRATCHSTATUS *pStatus;        /**< optional */
};
inline constexpr uint32_t RTLOGSCRATCH_MAGIC = 0x19281207;

/** Output operations: where the log file lives. Each receives the table and its user
 *  value first. */
struct RTLOGOUTPUTOPS
{
    RTSTATUS (*pfnDirOpen)(const RTLOGOUTPUTOPS *pOps, void *pvUser, const char *pszPath, void **phDir);
    RTSTATUS (*pfnDirClose)(const RTLOGOUTPUTOPS *pOps, void *pvUser, void *hDir);
    RTSTATUS (*pfnDelete)(const RTLOGOUTPUTOPS *pOps, void *pvUser, void *hDir, const char *pszPath);
    /** fRename: RTLOGRENAME_REPLACE. */
    RTSTATUS (*pfnRename)(const RTLOGOUTPUTOPS *pOps, void *pvUser, void *hDir, const char *pszOld,
                          const char *pszNew, uint32_t fRename);
    RTSTATUS (*pfnOpen)(const RTLOGOUTPUTOPS *pOps, void *pvUser, void *hDir, const char *pszPath, uint64_t fOpen);
    RTSTATUS (*pfnClose)(const RTLOGOUTPUTOPS *pOps, void *pvUser);
    RTSTATUS (*pfnQuerySize)(const RTLOGOUTPUTOPS *pOps, void *pvUser, uint64_t *pcbSize);
    RTSTATUS (*pfnWrite)(const RTLOGOUTPUTOPS *pOps, void *pvUser, const void *pvBuf, size_t cbBuf);
    RTSTATUS (*pfnFlush)(const RTLOGOUTPUTOPS *pOps, void *pvUser);
};
inline constexpr uint32_t RTLOGRENAME_REPLACE = 1;

/* Phases reported to the phase callback. */
inline constexpr uint32_t RTLOGPHASE_BEGIN     = 0;
inline constexpr uint32_t RTLOGPHASE_END       = 1;
inline constexpr uint32_t RTLOGPHASE_PREROTATE = 2;
inline constexpr uint32_t RTLOGPHASE_POSTROTATE = 3;

/** Print function handed to the phase callback. */
typedef void (*PFNRTLOGPHASEMSG)(RTLOGINSTANCE *pLogger, const char *pszFormat, ...);
typedef void (*PFNRTLOGPHASE)(RTLOGINSTANCE *pLogger, uint32_t enmPhase, PFNRTLOGPHASEMSG pfnLog);

/** The default instance: empty until it is first created. */
extern RTLOGINSTANCE *g_pLogDefault;
/** The release instance: empty until a component registers one. */
extern RTLOGINSTANCE *g_pLogRelease;
/** The print hook: empty until the first instance is created. Tests may install their own
 *  hook together with a release instance to capture what the runtime logs. */
extern PFNRTLOGPRINTV g_pfnLogPrintV;
/** The flush hook: empty until the first instance is created, like the print hook. */
extern PFNRTLOGFLUSH g_pfnLogFlush;

/** Returns the release logger enabled for a word holding flags in its low 16 bits and a
 *  group index in its high 16 bits, or null. */
typedef RTLOGINSTANCE *(*PFNRTLOGRELLOOKUP)(uint32_t fFlagsAndGroup);
/** The release-logger lookup that the runtime's release-log assertions ask: empty unless a
 *  component installs one. */
extern PFNRTLOGRELLOOKUP g_pfnLogRelLookup;

RT_C_DECLS_BEGIN

/** The release instance, or null when none is registered. Never creates one. */
RTLOGINSTANCE *RTLogRelGetDefaultInstance(void);
/** Flushes @p pLogger (null: the default instance, which this never creates); returns
 *  INF_LOG_NO_INSTANCE while no instance exists. */
RTSTATUS RTLogInstanceFlush(RTLOGINSTANCE *pLogger);
/** Prints through the print hook; does nothing while the hook is empty. */
void RTLogPrintEx(RTLOGINSTANCE *pLogger, uint32_t fFlags, uint32_t iGroup, const char *pszFormat, ...);
/** Prints with flags 0 and no group through the print hook; @p pvIgnored is not used. */
void RTLogPrint(RTLOGINSTANCE *pLogger, void *pvIgnored, const char *pszFormat, ...);

/** Creates an instance. @p cMaxEntriesPerGroup 0 means no limit; @p cbHistoryFileMax and
 *  @p cSecsHistoryTimeSlot 0 mean none; null @p pOutputOps selects the file functions. */
RTSTATUS RTLogInstanceCreate(RTLOGINSTANCE **ppLogger, const char *pszEnvVarBase, uint32_t fFlags,
                             uint32_t fFlags2, const char *pszGroupSettings, uint32_t cGroups,
                             const char * const *papszGroups, uint32_t cMaxEntriesPerGroup,
                             uint32_t cScratch, RTLOGSCRATCH *paScratch, uint32_t fDestFlags,
                             PFNRTLOGPHASE pfnPhase, uint32_t cHistory, uint64_t cbHistoryFileMax,
                             uint32_t cSecsHistoryTimeSlot, const RTLOGOUTPUTOPS *pOutputOps,
                             void *pvOutputOpsUser, RTERRINFO *pErrInfo, const char *pszFilenameFmt, ...);
RTSTATUS RTLogInstanceCreateF(RTLOGINSTANCE **ppLogger, uint32_t fFlags, uint32_t fFlags2,
                              const char *pszGroupSettings, const char *pszEnvVarBase, uint32_t cGroups,
                              const char * const *papszGroups, uint32_t fDestFlags,
                              const char *pszFilenameFmt, ...);
/** Writes out what is pending, closes the file and frees the instance; a late caller
 *  meets the dead magic. Null does nothing. */
RTSTATUS RTLogInstanceDestroy(RTLOGINSTANCE *pLogger);
RTSTATUS RTLogPrintV(RTLOGINSTANCE *pLogger, uint32_t fFlags, uint32_t iGroup, const char *pszFormat, va_list args);
/** Resizes (or creates) the ring; @p cbNew 0 selects the default size. Ignored before
 *  creation has completed unless @p fForce. */
RTSTATUS RTLogRingResize(RTLOGINSTANCE *pLogger, uint32_t cbNew, bool fForce);
/** Opens a delayed log file and writes out the text kept for it. */
RTSTATUS RTLogClearFileDelayFlag(RTLOGINSTANCE *pLogger, RTERRINFO *pErrInfo);
/** The default instance, created by the first call in the process; later calls return
 *  null (callers consult g_pLogDefault first). */
RTLOGINSTANCE *RTLogDefaultGet(void);

/* Settings. Each takes an instance or null for the default one (created if need be). */
RTSTATUS RTLogApplyGroupSettings(RTLOGINSTANCE *pLogger, const char *pszValue);
RTSTATUS RTLogApplyFlagSettings(RTLOGINSTANCE *pLogger, const char *pszValue);
RTSTATUS RTLogApplyDestSettings(RTLOGINSTANCE *pLogger, const char *pszValue);
/** Lists the instance's groups with their flag words on standard output. */
RTSTATUS RTLogListGroups(RTLOGINSTANCE *pLogger);

RT_C_DECLS_END
