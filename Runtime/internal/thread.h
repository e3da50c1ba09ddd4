/* The thread record kept by the registry, shared by the registry and the waits that record
 * their run state in it. A thread the registry does not know has no record; everything
 * that takes one accepts that. */
#pragma once
#include "rt/thread.h"
#include "rt/semaphore.h"

/* Run states; the wait kinds are set around blocking waits. */
inline constexpr uint32_t THREAD_STATE_INIT             = 1;
inline constexpr uint32_t THREAD_STATE_DEAD             = 2;
inline constexpr uint32_t THREAD_STATE_RUN              = 3;
inline constexpr uint32_t THREAD_STATE_WAIT_CRITSECT    = 4;
inline constexpr uint32_t THREAD_STATE_WAIT_EVENT       = 5;
inline constexpr uint32_t THREAD_STATE_WAIT_EVENT_MULTI = 6;
inline constexpr uint32_t THREAD_STATE_WAIT_RW_WRITE    = 10;

inline constexpr uint32_t RTTHREADINT_MAGIC      = 0x18740529;
inline constexpr uint32_t RTTHREADINT_MAGIC_DEAD = 0x19360614;

/** Thread type of the process's main thread. */
inline constexpr uint32_t RTTHREADTYPE_MAIN = 4;

/* Internal flags. */
inline constexpr uint32_t THREAD_IFLAG_ADOPTED = 0x1;   /**< not started by the runtime */
inline constexpr uint32_t THREAD_IFLAG_IN_TREE = 0x4;   /**< in the registry */
inline constexpr uint32_t THREAD_IFLAG_MAIN    = 0x8;   /**< the process's main thread */

struct RTTHREADINT
{
    /* Registry tree node, keyed by native thread id. */
    uint32_t        uKey;
    RTTHREADINT    *pLeft;
    RTTHREADINT    *pRight;
    uint8_t         cHeight;
    uint32_t        u32Magic;
    uint32_t        cRefs;
    uint32_t        enmState;       /**< THREAD_STATE_ */
    uint8_t         fSleeping;      /**< blocked in a wait that really sleeps */
    void           *hNative;        /**< owned native handle, null for adopted threads */
    RTSEMEVENTMULTI hEventUser;
    RTSEMEVENTMULTI hEventTerminated;
    uint32_t        enmType;
    uint32_t        fUserFlags;
    uint32_t        fIntFlags;      /**< THREAD_IFLAG_ */
    uint32_t        cWriteLocks;
    uint32_t        cReadLocks;
    char            szName[16];
};

RT_C_DECLS_BEGIN

/** The calling thread's record, or null when the registry does not know the thread. */
RTTHREADINT *RTThreadCurrentRecord(void);
/** Marks the thread blocked in a wait of kind @p enmState; nothing for a null record. */
void rtThreadSetBlocked(RTTHREADINT *pThread, uint32_t enmState, bool fSleeping);
/** Marks the thread running again after a wait of kind @p enmState; nothing for null. */
void rtThreadSetUnblocked(RTTHREADINT *pThread, uint32_t enmState);

/** Thread-local slot holding each known thread's record; all ones until the registry
 *  allocates it. */
extern uint32_t g_iRTThreadTls;

RT_C_DECLS_END

/* The registry: records of the threads the runtime knows, keyed by native thread id. */

RT_C_DECLS_BEGIN

/** Creates the registry's lock and thread-local slot and adopts the calling thread as
 *  "main". INF_ALREADY_INITIALISED when the registry exists already. */
RTSTATUS rtThreadRegistryInit(void);
/** Registers the calling thread under @p pszName (cut at 15 bytes). */
RTSTATUS RTThreadAdoptCurrent(uint32_t enmType, uint32_t fUserFlags, uint32_t fIntFlags, const char *pszName);
/** The calling thread's name, or null when it has no usable record. */
const char *RTThreadCurrentName(void);
/** Adds a reference; null for a record that is not alive or already unreferenced. */
RTTHREADINT *rtThreadRefAdd(RTTHREADINT *pThread);
/** Drops a reference and destroys the record with the last one; returns the new count. */
uint32_t rtThreadRefDrop(RTTHREADINT *pThread);
/** Takes and releases the registry lock for writing; fatal when that fails. */
void rtThreadLockRW(void);
void rtThreadUnLockRW(void);
/** Puts the record into the registry under @p uNativeId, replacing a stale record. */
void rtThreadInsert(RTTHREADINT *pThread, uint32_t uNativeId);
/** Takes the record out of the registry. */
void rtThreadRemove(RTTHREADINT *pThread);
/** The record registered under @p uNativeId, or null; the caller holds the registry lock. */
RTTHREADINT *rtThreadTreeGet(uint32_t uNativeId);

/* Platform side. */
/** Allocates the thread-local slot once and looks up the platform's naming entry point. */
RTSTATUS rtThreadNativeInit(void);
/** Stores the record in the calling thread's slot and passes its name to the platform. */
RTSTATUS rtThreadNativeAdopt(RTTHREADINT *pThread);
/** Clears the calling thread's slot when it holds @p pThread; closes an owned handle. */
void rtThreadNativeDestroy(RTTHREADINT *pThread);

RT_C_DECLS_END
