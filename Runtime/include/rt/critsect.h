/* The critical section: an owner lock, recursive unless told otherwise, that makes no
 * kernel call while uncontended. The record is embedded by its users. */
#pragma once
#include "rt/semaphore.h"

typedef struct RTCRITSECT
{
    uint32_t   u32Magic;      /**< RTCRITSECT_MAGIC while usable; a failed set-up leaves its status */
    int32_t    cLockers;      /**< -1 free; each acquisition attempt adds 1 */
    uint32_t   idOwner;       /**< native thread id of the owner, all ones when free */
    uint32_t   cNesting;      /**< the owner's nesting depth */
    uint32_t   fFlags;        /**< CRITSECT_F_ */
    RTSEMEVENT hWakeEvent;    /**< releases one waiter */
    uint32_t   u32Reserved;
} RTCRITSECT;

inline constexpr uint32_t RTCRITSECT_MAGIC      = 0x19790326;
inline constexpr uint32_t RTCRITSECT_MAGIC_DEAD = ~RTCRITSECT_MAGIC;

/** A second acquisition by the owner fails with ERR_SEM_NESTED. */
inline constexpr uint32_t CRITSECT_F_NO_NESTING    = 0x01;
/** Not registered with lock validation (which this runtime does not do). */
inline constexpr uint32_t CRITSECT_F_NO_VALIDATION = 0x02;
/** Made before the runtime is up; handed on to the wake event. */
inline constexpr uint32_t CRITSECT_F_EARLY         = 0x04;
/** Every operation succeeds at once without locking. */
inline constexpr uint32_t CRITSECT_F_NOP           = 0x08;
inline constexpr uint32_t CRITSECT_F_VALID_MASK    = 0x0f;

RT_C_DECLS_BEGIN

/** @p fFlags: CRITSECT_F_ (0 to 15, else ERR_BAD_ARGUMENT); the lock-validator arguments are not used. */
RTSTATUS RTCritSectSetUp(RTCRITSECT *pCritSect, uint32_t fFlags, RTLOCKCLASS hClass,
                         uint32_t uSubClass, const char *pszName);
RTSTATUS RTCritSectSetUpDefault(RTCRITSECT *pCritSect);
RTSTATUS RTCritSectAcquire(RTCRITSECT *pCritSect);
RTSTATUS RTCritSectTryAcquire(RTCRITSECT *pCritSect);
RTSTATUS RTCritSectLeave(RTCRITSECT *pCritSect);
/** Wakes every waiter with ERR_SEM_DESTROYED; an owned section is torn down all the same. */
RTSTATUS RTCritSectTearDown(RTCRITSECT *pCritSect);

RT_C_DECLS_END
