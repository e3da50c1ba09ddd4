/* What the two event semaphores share: the kernel event calls, the reference-counted heap
 * block around a kernel event, and the wait loop. */
#pragma once
#include <windows.h>
#include <winternl.h>
#include "rt/semaphore.h"

RT_C_DECLS_BEGIN
typedef enum RTNTEVENTTYPE { RTNTEVENT_NOTIFICATION = 0, RTNTEVENT_SYNCHRONIZATION = 1 } RTNTEVENTTYPE;
NTSTATUS NTAPI NtCreateEvent(PHANDLE phEvent, ACCESS_MASK fAccess, POBJECT_ATTRIBUTES pAttributes,
                             RTNTEVENTTYPE enmType, BOOLEAN fInitialState);
NTSTATUS NTAPI NtSetEvent(HANDLE hEvent, PLONG plPrevState);
NTSTATUS NTAPI NtResetEvent(HANDLE hEvent, PLONG plPrevState);
RT_C_DECLS_END

/** The heap block behind both event kinds. A destroyed block has its magic raised by one
 *  and lives on until the last operation running on it drops its reference. */
struct RTSEMNTEVENT
{
    uint32_t u32Magic;
    uint32_t cRefs;
    HANDLE   hEvent;
};

/** A new block with one reference and a kernel event of its type, or null and the failure.
 *  Returned as a pair so that no caller keeps the block in a local whose address escapes. */
struct RTSEMNTEVENTMADE
{
    RTSEMNTEVENT *pThis;
    RTSTATUS      rc;
};
RTSEMNTEVENTMADE rtSemNtEventMake(uint32_t u32Magic, RTNTEVENTTYPE enmType);
/** Makes an event for a public handle type whose record derives from RTSEMNTEVENT;
 *  creation flags outside @p fAllowed are ERR_BAD_ARGUMENT. */
template <typename THandle>
RTSTATUS rtSemNtEventMakeHandle(THandle *phEvent, uint32_t fFlags, uint32_t fAllowed, uint32_t u32Magic,
                                RTNTEVENTTYPE enmType)
{
    if (!RT_VALID_PTR(phEvent))
        return ERR_BAD_POINTER;
    *phEvent = nullptr;
    if (fFlags & ~fAllowed)
        return ERR_BAD_ARGUMENT;
    RTSEMNTEVENTMADE const Made = rtSemNtEventMake(u32Magic, enmType);
    *phEvent = static_cast<THandle>(Made.pThis);
    return Made.rc;
}
inline bool rtSemNtEventIsAlive(const RTSEMNTEVENT *pThis, uint32_t u32Magic)
{
    return RT_VALID_PTR(pThis) && __atomic_load_n(&pThis->u32Magic, __ATOMIC_SEQ_CST) == u32Magic;
}
void rtSemNtEventRetain(RTSEMNTEVENT *pThis);
/** Drops a reference; the last one closes the kernel event and frees the block. */
void rtSemNtEventRelease(RTSEMNTEVENT *pThis);
/** Sets or resets the kernel event under a reference. */
RTSTATUS rtSemNtEventSignal(RTSEMNTEVENT *pThis, bool fSet);
/** Marks the block destroyed (once), wakes every waiter and drops the creation reference;
 *  false when the block was not alive. */
bool rtSemNtEventDestroy(RTSEMNTEVENT *pThis, uint32_t u32Magic);
/** The wait flags of the millisecond forms: RTSEM_INDEFINITE_WAIT never expires. */
inline uint32_t rtSemNtWaitMsFlags(uint32_t cMs, uint32_t fResume)
{
    if (cMs == RTSEM_INDEFINITE_WAIT)
        return SEMWAIT_INDEFINITE | fResume;
    return SEMWAIT_RELATIVE | SEMWAIT_MILLISECS | fResume;
}
/** Waits on a checked block; @p enmThreadState is the wait kind recorded for the thread. */
RTSTATUS rtSemNtEventWait(RTSEMNTEVENT *pThis, uint32_t u32Magic, uint32_t fFlags, uint64_t uTimeout,
                          uint32_t enmThreadState);
