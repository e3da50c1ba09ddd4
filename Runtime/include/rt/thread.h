/* Threads: the calling thread's native identity and its registry record, the run states
 * that waits record in it, sleep and yield. A thread the registry does not know has no
 * record; everything here accepts that. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

struct RTTHREADINT;

/* Run states; the wait kinds are set around blocking waits. */
inline constexpr uint32_t THREAD_STATE_INIT             = 1;
inline constexpr uint32_t THREAD_STATE_DEAD             = 2;
inline constexpr uint32_t THREAD_STATE_RUN              = 3;
inline constexpr uint32_t THREAD_STATE_WAIT_CRITSECT    = 4;
inline constexpr uint32_t THREAD_STATE_WAIT_EVENT       = 5;
inline constexpr uint32_t THREAD_STATE_WAIT_EVENT_MULTI = 6;
inline constexpr uint32_t THREAD_STATE_WAIT_RW_WRITE    = 10;

RT_C_DECLS_BEGIN

/** The native id of the calling thread. */
uint32_t RTThreadNativeSelf(void);
/** The calling thread's record, or null when the registry does not know the thread. */
RTTHREADINT *RTThreadCurrentRecord(void);
/** Marks the thread blocked in a wait of kind @p enmState; nothing for a null record. */
void rtThreadSetBlocked(RTTHREADINT *pThread, uint32_t enmState, bool fSleeping);
/** Marks the thread running again after a wait of kind @p enmState; nothing for null. */
void rtThreadSetUnblocked(RTTHREADINT *pThread, uint32_t enmState);

RTSTATUS RTThreadSleepMs(uint32_t cMs);
/** Gives up the processor; true when another thread ran meanwhile. */
bool RTThreadYieldNow(void);

RT_C_DECLS_END
