/* Once-initialisation: an initialiser that runs exactly once however many threads ask,
 * latecomers waiting for its result, and clean-ups run from the termination callbacks. */
#pragma once
#include "rt/semaphore.h"

typedef RTSTATUS (*PFNRTONCE)(void *pvUser);
/** @p fMayLeave is true when the process is ending anyway and the object may be left to
 *  it; false when it must really be released because the module may be set up again. */
typedef void (*PFNRTONCECLEANUP)(void *pvUser, bool fMayLeave);

/* States of a once record. */
inline constexpr uint32_t RTONCESTATE_NOT_RUN            = 1;
inline constexpr uint32_t RTONCESTATE_BUSY               = 2;   /**< no waiters */
inline constexpr uint32_t RTONCESTATE_BUSY_MAKING_EVENT  = 3;   /**< a waiter creates the event */
inline constexpr uint32_t RTONCESTATE_BUSY_HAVE_EVENT    = 4;   /**< waiters sleep on the event */
inline constexpr uint32_t RTONCESTATE_BUSY_POLLING       = 5;   /**< no event could be made */
inline constexpr uint32_t RTONCESTATE_DONE_MAKING_EVENT  = 6;
inline constexpr uint32_t RTONCESTATE_DONE_HAVE_EVENT    = 7;
inline constexpr uint32_t RTONCESTATE_DONE               = 16;

typedef struct RTONCEREC
{
    RTSEMEVENTMULTI   hEvent;        /**< made only when a second thread has to wait */
    int32_t           cEventUsers;
    uint32_t          enmState;      /**< RTONCESTATE_ */
    RTSTATUS          rc;            /**< the initialiser's result */
    PFNRTONCECLEANUP  pfnCleanUp;
    void             *pvCleanUpUser;
    struct RTONCEREC *pNext;         /**< clean-up list, newest first */
    struct RTONCEREC *pPrev;
} RTONCEREC;

/** The value of a once record that has not run. */
inline constexpr RTONCEREC RTONCEREC_INITIALISER =
    { nullptr, 0, RTONCESTATE_NOT_RUN, ERR_INTERNAL_FAULT, nullptr, nullptr, nullptr, nullptr };

RT_C_DECLS_BEGIN

/** Runs @p pfnInit once for @p pOnce and returns its status to every caller. With a
 *  clean-up, a successful initialisation is undone from the termination callbacks. */
RTSTATUS RTOnceRun(RTONCEREC *pOnce, PFNRTONCE pfnInit, PFNRTONCECLEANUP pfnCleanUp, void *pvUser);
/** Returns the record to "not run" and takes it off the clean-up list. */
void RTOnceForget(RTONCEREC *pOnce);

RT_C_DECLS_END
