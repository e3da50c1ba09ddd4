/* The clocks' own state: where the monotonic clock is read from, and the program's start
 * time that the times since start are counted from. */
#pragma once
#include "rt/time.h"

/** Where the monotonic clock is read from; chosen on the first reading. */
enum RTTIMEMONOSRC : uint32_t
{
    RTTIMEMONOSRC_UNSET = 0,
    RTTIMEMONOSRC_TICK_COUNT,      /**< millisecond tick count, wraps after about 49.7 days */
    RTTIMEMONOSRC_PRECISE,         /**< the system's precise interrupt-time routine */
    RTTIMEMONOSRC_SHARED_PAGE,     /**< interrupt time in the shared user-data page */
};

RT_C_DECLS_BEGIN

/** The chosen monotonic source; a test may set it to read a particular source. */
extern volatile uint32_t g_enmRTTimeMonoSource;
/** Monotonic time at program start, recorded by runtime initialisation. */
extern uint64_t g_u64RTTimeProgramStartNs;

RT_C_DECLS_END
