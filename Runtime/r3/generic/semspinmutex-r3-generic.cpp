/* The spin mutex: a non-nesting critical section in its own heap block. */
#include "internal/critsect.h"

struct RTSEMSPINMUTEXINTERNAL : RTCRITSECT
{
};

RTSTATUS RTSemSpinMutexMake(RTSEMSPINMUTEX *phMtx, uint32_t fFlags)
{
    if (!RT_VALID_PTR(phMtx))
        return ERR_BAD_POINTER;
    *phMtx = nullptr;
    if (fFlags & ~RTSEMSPINMUTEX_F_INTERRUPT_SAFE)
        return ERR_BAD_ARGUMENT;
    RTCRITSECT *pCritSect;
    RTSTATUS const rc = rtCritSectMakeBlock(&pCritSect, CRITSECT_F_NO_NESTING | CRITSECT_F_NO_VALIDATION,
                                            "RTSemSpinMutex");
    if (RT_SUCCESS(rc))
        *phMtx = static_cast<RTSEMSPINMUTEX>(pCritSect);
    return rc;
}

RTSTATUS RTSemSpinMutexAcquire(RTSEMSPINMUTEX hMtx)
{
    return RTCritSectAcquire(hMtx);
}

RTSTATUS RTSemSpinMutexRelease(RTSEMSPINMUTEX hMtx)
{
    return RTCritSectLeave(hMtx);
}

RTSTATUS RTSemSpinMutexDrop(RTSEMSPINMUTEX hMtx)
{
    return rtCritSectDropBlock(hMtx);
}
