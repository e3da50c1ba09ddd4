/* The fast mutex: a non-nesting critical section in its own heap block. */
#include "internal/critsect.h"

struct RTSEMFASTMUTEXINTERNAL : RTCRITSECT
{
};

RTSTATUS RTSemFastMutexMake(RTSEMFASTMUTEX *phMtx)
{
    if (!RT_VALID_PTR(phMtx))
        return ERR_BAD_POINTER;
    *phMtx = nullptr;
    RTCRITSECT *pCritSect;
    RTSTATUS const rc = rtCritSectMakeBlock(&pCritSect, CRITSECT_F_NO_NESTING, nullptr);
    if (RT_SUCCESS(rc))
        *phMtx = static_cast<RTSEMFASTMUTEX>(pCritSect);
    return rc;
}

RTSTATUS RTSemFastMutexAcquire(RTSEMFASTMUTEX hMtx)
{
    return RTCritSectAcquire(hMtx);
}

RTSTATUS RTSemFastMutexRelease(RTSEMFASTMUTEX hMtx)
{
    return RTCritSectLeave(hMtx);
}

RTSTATUS RTSemFastMutexDrop(RTSEMFASTMUTEX hMtx)
{
    return rtCritSectDropBlock(hMtx);
}
