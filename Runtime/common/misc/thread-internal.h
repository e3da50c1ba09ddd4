/* The thread record kept by the registry, shared by the registry and the waits that record
 * their run state in it. */
#pragma once
#include "rt/thread.h"
#include "rt/semaphore.h"

inline constexpr uint32_t RTTHREADINT_MAGIC      = 0x18740529;
inline constexpr uint32_t RTTHREADINT_MAGIC_DEAD = 0x19360614;

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

/** Thread-local slot holding each known thread's record; all ones until the registry
 *  allocates it. */
extern uint32_t g_iRTThreadTls;

RT_C_DECLS_END
