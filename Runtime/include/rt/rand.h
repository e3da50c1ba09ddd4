/* Random numbers: generator objects behind a table of methods (the Park-Miller minimal
 * standard generator is the one there is) and the process-wide generator that unique
 * names draw from. Not for secrets. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

/** A generator object; null is no generator. */
typedef struct RTRANDGENINT *RTRANDGEN;

/** Length of a Park-Miller saved-state text, without its terminator. */
inline constexpr size_t RTRAND_PM_STATE_LEN = 24;

/** The state text operations of the Park-Miller generator (RTRandGenSaveState and
 *  RTRandGenRestoreState), opaque outside the runtime. */
struct RTRANDPMSTATEOPS;
extern const RTRANDPMSTATEOPS g_RTRandPmStateText;
/** The state operations every Park-Miller generator of a program gets; the runtime's own
 *  choice is g_RTRandPmStateText. A program that never saves or restores a generator's
 *  state defines
 *      const RTRANDPMSTATEOPS *const g_pRTRandPmStateOps = nullptr;
 *  and then links none of it: both operations then return ERR_NOT_IMPLEMENTED. */
extern const RTRANDPMSTATEOPS *const g_pRTRandPmStateOps;

RT_C_DECLS_BEGIN

/** Creates a Park-Miller generator in its fixed creation state (seed it for another). */
RTSTATUS RTRandParkMillerCreate(RTRANDGEN *phRand);

/* Methods; a null, near-null or destroyed object is refused (draws return all ones). */
void     RTRandGenBytes(RTRANDGEN hRand, void *pv, size_t cb);
/** A value in [uFirst, uLast]. */
uint32_t RTRandGenRangeU32(RTRANDGEN hRand, uint32_t uFirst, uint32_t uLast);
uint64_t RTRandGenRangeU64(RTRANDGEN hRand, uint64_t uFirst, uint64_t uLast);
RTSTATUS RTRandGenSeed(RTRANDGEN hRand, uint64_t uSeed);
/** Writes the state as text; *pcbState is the buffer size on entry, the size needed on
 *  ERR_BUFFER_TOO_SMALL. ERR_NOT_IMPLEMENTED in a program that left the state text out. */
RTSTATUS RTRandGenSaveState(RTRANDGEN hRand, char *pszState, size_t *pcbState);
/** Takes a state saved by RTRandGenSaveState; ERR_STATE_STRING_MALFORMED leaves the
 *  generator unchanged. ERR_NOT_IMPLEMENTED in a program that left the state text out. */
RTSTATUS RTRandGenRestoreState(RTRANDGEN hRand, const char *pszState);
/** Destroys the object; null succeeds without effect. */
RTSTATUS RTRandGenDestroy(RTRANDGEN hRand);

/** A value in [uFirst, uLast] from the process-wide generator, created on first use. */
uint32_t RTRandRangeU32(uint32_t uFirst, uint32_t uLast);

RT_C_DECLS_END
