/* Event semaphores (single-release and multiple-release), the read/write semaphore, and
 * the spin and fast mutexes. Every object is a handle to a heap record that begins with a
 * magic value; destroying it changes the magic, so late callers get a status. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

typedef struct RTSEMEVENTINTERNAL      *RTSEMEVENT;
typedef struct RTSEMEVENTMULTIINTERNAL *RTSEMEVENTMULTI;
typedef struct RTSEMRWINTERNAL         *RTSEMRW;
typedef struct RTSEMSPINMUTEXINTERNAL  *RTSEMSPINMUTEX;
typedef struct RTSEMFASTMUTEXINTERNAL  *RTSEMFASTMUTEX;
/** A lock-validator class; accepted by the set-up functions and not used. */
typedef struct RTLOCKCLASSINT          *RTLOCKCLASS;

/** A millisecond timeout that never expires. */
inline constexpr uint32_t RTSEM_INDEFINITE_WAIT = UINT32_MAX;

/* Creation flags. */
inline constexpr uint32_t RTSEMEVENT_F_NO_VALIDATION      = 0x1;
inline constexpr uint32_t RTSEMEVENT_F_EARLY              = 0x4;  /**< made before the runtime is up */
inline constexpr uint32_t RTSEMEVENTMULTI_F_NO_VALIDATION = 0x1;
inline constexpr uint32_t RTSEMRW_F_NO_VALIDATION         = 0x1;
inline constexpr uint32_t RTSEMSPINMUTEX_F_INTERRUPT_SAFE = 0x1;

/* Wait flags: with SEMWAIT_INDEFINITE exactly one of the resume pair; without it exactly
 * one of each pair. */
inline constexpr uint32_t SEMWAIT_RELATIVE   = 0x01;  /**< the timeout is an interval */
inline constexpr uint32_t SEMWAIT_ABSOLUTE   = 0x02;  /**< the timeout is a point on RTTimeMonoNs' clock */
inline constexpr uint32_t SEMWAIT_NANOSECS   = 0x04;
inline constexpr uint32_t SEMWAIT_MILLISECS  = 0x08;
inline constexpr uint32_t SEMWAIT_INDEFINITE = 0x10;
inline constexpr uint32_t SEMWAIT_NORESUME   = 0x20;  /**< an interrupted wait returns */
inline constexpr uint32_t SEMWAIT_RESUME     = 0x40;  /**< an interrupted wait goes on with the time left */
inline constexpr uint32_t SEMWAIT_VALID_MASK = 0x7f;

/** True for a valid combination of wait flags. */
inline constexpr bool SEMWAIT_ARE_FLAGS_VALID(uint32_t fFlags)
{
    auto const exactlyOne = [](uint32_t f, uint32_t fA, uint32_t fB) { return !(f & fA) != !(f & fB); };
    if (fFlags & ~SEMWAIT_VALID_MASK)
        return false;
    if (fFlags & SEMWAIT_INDEFINITE)
        return exactlyOne(fFlags, SEMWAIT_NORESUME, SEMWAIT_RESUME);
    return exactlyOne(fFlags, SEMWAIT_RELATIVE, SEMWAIT_ABSOLUTE)
        && exactlyOne(fFlags, SEMWAIT_NANOSECS, SEMWAIT_MILLISECS)
        && exactlyOne(fFlags, SEMWAIT_NORESUME, SEMWAIT_RESUME);
}

RT_C_DECLS_BEGIN

/* Single-release event: each signal lets exactly one waiter pass. */
RTSTATUS RTSemEventMake(RTSEMEVENT *phEvent, uint32_t fFlags);
RTSTATUS RTSemEventSignal(RTSEMEVENT hEvent);
RTSTATUS RTSemEventWaitFlags(RTSEMEVENT hEvent, uint32_t fFlags, uint64_t uTimeout);
/** Waits @p cMs milliseconds (RTSEM_INDEFINITE_WAIT: forever), resuming after interruptions. */
RTSTATUS RTSemEventWaitMs(RTSEMEVENT hEvent, uint32_t cMs);
RTSTATUS RTSemEventDrop(RTSEMEVENT hEvent);

/* Multiple-release event: once set, every waiter passes until it is cleared. */
RTSTATUS RTSemEventMultiMake(RTSEMEVENTMULTI *phEvent, uint32_t fFlags);
RTSTATUS RTSemEventMultiSet(RTSEMEVENTMULTI hEvent);
RTSTATUS RTSemEventMultiClear(RTSEMEVENTMULTI hEvent);
RTSTATUS RTSemEventMultiWaitFlags(RTSEMEVENTMULTI hEvent, uint32_t fFlags, uint64_t uTimeout);
RTSTATUS RTSemEventMultiWaitMs(RTSEMEVENTMULTI hEvent, uint32_t cMs);
/** As RTSemEventMultiWaitMs, but an interrupted wait returns ERR_CALL_INTERRUPTED. */
RTSTATUS RTSemEventMultiWaitMsNoResume(RTSEMEVENTMULTI hEvent, uint32_t cMs);
RTSTATUS RTSemEventMultiDrop(RTSEMEVENTMULTI hEvent);

/* Read/write semaphore, write side. */
RTSTATUS RTSemRWMake(RTSEMRW *phRW, uint32_t fFlags, RTLOCKCLASS hClass, uint32_t uSubClass, const char *pszName);
/** @p cMs: RTSEM_INDEFINITE_WAIT waits forever, 0 does not wait. */
RTSTATUS RTSemRWWriteAcquire(RTSEMRW hRW, uint32_t cMs);
RTSTATUS RTSemRWWriteRelease(RTSEMRW hRW);
RTSTATUS RTSemRWDrop(RTSEMRW hRW);

/* Spin mutex and fast mutex: a critical section each, in its own heap block. */
RTSTATUS RTSemSpinMutexMake(RTSEMSPINMUTEX *phMtx, uint32_t fFlags);
RTSTATUS RTSemSpinMutexAcquire(RTSEMSPINMUTEX hMtx);
RTSTATUS RTSemSpinMutexRelease(RTSEMSPINMUTEX hMtx);
RTSTATUS RTSemSpinMutexDrop(RTSEMSPINMUTEX hMtx);
RTSTATUS RTSemFastMutexMake(RTSEMFASTMUTEX *phMtx);
RTSTATUS RTSemFastMutexAcquire(RTSEMFASTMUTEX hMtx);
RTSTATUS RTSemFastMutexRelease(RTSEMFASTMUTEX hMtx);
RTSTATUS RTSemFastMutexDrop(RTSEMFASTMUTEX hMtx);

RT_C_DECLS_END
