/* The generator object shared by the generator kinds and the method dispatch. */
#pragma once
#include "rt/rand.h"

inline constexpr uint32_t RTRANDGENINT_MAGIC      = 0x19531118;
inline constexpr uint32_t RTRANDGENINT_MAGIC_DEAD = 0xE6ACEEE7;

struct RTRANDGENINT
{
    uint32_t u32Magic;
    void     (*pfnGetBytes)(RTRANDGENINT *pThis, uint8_t *pb, size_t cb);
    uint32_t (*pfnGetU32)(RTRANDGENINT *pThis, uint32_t uFirst, uint32_t uLast);
    uint64_t (*pfnGetU64)(RTRANDGENINT *pThis, uint64_t uFirst, uint64_t uLast);
    RTSTATUS (*pfnSeed)(RTRANDGENINT *pThis, uint64_t uSeed);
    RTSTATUS (*pfnSaveState)(RTRANDGENINT *pThis, char *pszState, size_t *pcbState);      /**< null: not linked */
    RTSTATUS (*pfnRestoreState)(RTRANDGENINT *pThis, const char *pszState);               /**< null: not linked */
    RTSTATUS (*pfnDestroy)(RTRANDGENINT *pThis);
    /* Park-Miller state. */
    uint32_t u32State;
    uint32_t u32Bits;        /**< random bits kept from an earlier step */
    uint32_t cBits;          /**< how many of them are unused */
};

/** The operations that save and restore a Park-Miller state; g_RTRandPmStateText holds the text form. */
struct RTRANDPMSTATEOPS
{
    RTSTATUS (*pfnSave)(RTRANDGENINT *pThis, char *pszState, size_t *pcbState);
    RTSTATUS (*pfnRestore)(RTRANDGENINT *pThis, const char *pszState);
};

/** Sets up a Park-Miller object in caller memory (the process-wide fallback lives in
 *  static storage); the destroy method then only kills the magic. */
void rtRandParkMillerInitStatic(RTRANDGENINT *pThis);
