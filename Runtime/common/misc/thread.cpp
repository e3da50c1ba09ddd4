/* Thread records and their registry: allocation, adoption of threads the runtime did not
 * start, references, the registry tree under its read/write lock, and the run state that
 * blocking waits record in a record. */
#include "internal/thread.h"
#include "rt/atomic.h"
#include "rt/mem.h"
#include "internal/assert.h"

/** The registry lock; null until the registry is initialised. */
static RTSEMRW g_hRTThreadRWSem = nullptr;
/** The registry tree's root. */
static RTTHREADINT *g_pRTThreadTree = nullptr;

/*
 * The registry tree: an AVL tree keyed by native thread id.
 */

static inline uint8_t rtThreadTreeHeight(const RTTHREADINT *pNode)
{
    return pNode ? pNode->cHeight : 0;
}

static inline void rtThreadTreeFixHeight(RTTHREADINT *pNode)
{
    uint8_t const cLeft = rtThreadTreeHeight(pNode->pLeft);
    uint8_t const cRight = rtThreadTreeHeight(pNode->pRight);
    pNode->cHeight = static_cast<uint8_t>((cLeft > cRight ? cLeft : cRight) + 1);
}

RT_NOINLINE static RTTHREADINT *rtThreadTreeRotateRight(RTTHREADINT *pNode)
{
    RTTHREADINT *const pTop = pNode->pLeft;
    pNode->pLeft = pTop->pRight;
    pTop->pRight = pNode;
    rtThreadTreeFixHeight(pNode);
    rtThreadTreeFixHeight(pTop);
    return pTop;
}

RT_NOINLINE static RTTHREADINT *rtThreadTreeRotateLeft(RTTHREADINT *pNode)
{
    RTTHREADINT *const pTop = pNode->pRight;
    pNode->pRight = pTop->pLeft;
    pTop->pLeft = pNode;
    rtThreadTreeFixHeight(pNode);
    rtThreadTreeFixHeight(pTop);
    return pTop;
}

/** Restores the balance of @p pNode after one of its subtrees changed height by one;
 *  returns the subtree's new root. */
static RTTHREADINT *rtThreadTreeBalance(RTTHREADINT *pNode)
{
    int const iBalance = rtThreadTreeHeight(pNode->pLeft) - rtThreadTreeHeight(pNode->pRight);
    if (iBalance > 1)
    {
        if (rtThreadTreeHeight(pNode->pLeft->pLeft) < rtThreadTreeHeight(pNode->pLeft->pRight))
            pNode->pLeft = rtThreadTreeRotateLeft(pNode->pLeft);
        return rtThreadTreeRotateRight(pNode);
    }
    if (iBalance < -1)
    {
        if (rtThreadTreeHeight(pNode->pRight->pRight) < rtThreadTreeHeight(pNode->pRight->pLeft))
            pNode->pRight = rtThreadTreeRotateRight(pNode->pRight);
        return rtThreadTreeRotateLeft(pNode);
    }
    rtThreadTreeFixHeight(pNode);
    return pNode;
}

RTTHREADINT *rtThreadTreeGet(uint32_t uNativeId)
{
    RTTHREADINT *pNode = g_pRTThreadTree;
    while (pNode && pNode->uKey != uNativeId)
        pNode = uNativeId < pNode->uKey ? pNode->pLeft : pNode->pRight;
    return pNode;
}

/* Insertion and removal recurse down the search path and rebalance each node on the way
 * back up; the tree is at most 1.44 * 32 levels deep, so the recursion is too. */

/** Inserts @p pThread, whose key the subtree at @p pNode does not hold; returns the
 *  subtree's new root. */
static RTTHREADINT *rtThreadTreeInsertAt(RTTHREADINT *pNode, RTTHREADINT *pThread)
{
    if (!pNode)
    {
        pThread->pLeft = pThread->pRight = nullptr;
        pThread->cHeight = 1;
        return pThread;
    }
    if (pThread->uKey < pNode->uKey)
        pNode->pLeft = rtThreadTreeInsertAt(pNode->pLeft, pThread);
    else
        pNode->pRight = rtThreadTreeInsertAt(pNode->pRight, pThread);
    return rtThreadTreeBalance(pNode);
}

/** Removes the node with @p uKey, which the subtree at @p pNode holds; returns the
 *  subtree's new root. */
static RTTHREADINT *rtThreadTreeRemoveAt(RTTHREADINT *pNode, uint32_t uKey)
{
    if (uKey < pNode->uKey)
        pNode->pLeft = rtThreadTreeRemoveAt(pNode->pLeft, uKey);
    else if (uKey > pNode->uKey)
        pNode->pRight = rtThreadTreeRemoveAt(pNode->pRight, uKey);
    else
    {
        RTTHREADINT *const pLeft = pNode->pLeft;
        RTTHREADINT *pRight = pNode->pRight;
        pNode->pLeft = pNode->pRight = nullptr;
        pNode->cHeight = 0;
        if (!pLeft || !pRight)
            return pLeft ? pLeft : pRight;
        /* Two children: the smallest node of the right subtree takes the node's place. */
        RTTHREADINT *pMin = pRight;
        while (pMin->pLeft)
            pMin = pMin->pLeft;
        pRight = rtThreadTreeRemoveAt(pRight, pMin->uKey);
        pMin->pLeft = pLeft;
        pMin->pRight = pRight;
        pNode = pMin;
    }
    return rtThreadTreeBalance(pNode);
}

/** Inserts @p pThread under its key; false when the key is taken. */
static bool rtThreadTreeInsert(RTTHREADINT *pThread)
{
    if (rtThreadTreeGet(pThread->uKey))
        return false;
    g_pRTThreadTree = rtThreadTreeInsertAt(g_pRTThreadTree, pThread);
    return true;
}

/** Removes the node with @p uKey; returns it, or null when there is none. */
static RTTHREADINT *rtThreadTreeRemove(uint32_t uKey)
{
    RTTHREADINT *const pNode = rtThreadTreeGet(uKey);
    if (pNode)
        g_pRTThreadTree = rtThreadTreeRemoveAt(g_pRTThreadTree, uKey);
    return pNode;
}

/*
 * The registry lock.
 */

/** A registry lock that cannot be taken or released leaves the registry unusable: fatal. */
RT_NOINLINE static void rtThreadCheckLockRW(RTSTATUS rc, int32_t iLine, const char *pszFunction)
{
    if (RT_FAILURE(rc))
        rtAssertFatal("RT_SUCCESS_NP(rc)", iLine, __FILE__, pszFunction, "%Rra\n", rc);
}

void rtThreadLockRW(void)
{
    if (!g_hRTThreadRWSem)
        rtThreadRegistryInit();
    rtThreadCheckLockRW(RTSemRWWriteAcquire(g_hRTThreadRWSem, RTSEM_INDEFINITE_WAIT), __LINE__,
                        "void __cdecl rtThreadLockRW(void)");
}

void rtThreadUnLockRW(void)
{
    rtThreadCheckLockRW(RTSemRWWriteRelease(g_hRTThreadRWSem), __LINE__, "void __cdecl rtThreadUnLockRW(void)");
}

/*
 * Records.
 */

static void rtThreadDestroy(RTTHREADINT *pThread)
{
    /* The count is 0 here; the temporary reference keeps the record alive for the removal. */
    if (RTAtomicReadU32(&pThread->fIntFlags) & THREAD_IFLAG_IN_TREE)
    {
        RTAtomicIncU32(&pThread->cRefs);
        rtThreadRemove(pThread);
        RTAtomicDecU32(&pThread->cRefs);
    }
    RTAtomicXchgU32(&pThread->u32Magic, RTTHREADINT_MAGIC_DEAD);
    RTAtomicXchgU32(&pThread->uKey, 0);
    pThread->enmType = 0;
    RTSEMEVENTMULTI const hEventUser = pThread->hEventUser;
    RTSEMEVENTMULTI const hEventTerminated = pThread->hEventTerminated;
    pThread->hEventUser = nullptr;
    pThread->hEventTerminated = nullptr;
    RTSemEventMultiDrop(hEventUser);
    RTSemEventMultiDrop(hEventTerminated);
    rtThreadNativeDestroy(pThread);
    RTMemFree(pThread);
}

static RTTHREADINT *rtThreadAlloc(uint32_t enmType, uint32_t fUserFlags, uint32_t fIntFlags, const char *pszName)
{
    RTTHREADINT *pThread = static_cast<RTTHREADINT *>(RTMemAllocZ(sizeof(*pThread)));
    if (!pThread)
        return nullptr;
    pThread->u32Magic = RTTHREADINT_MAGIC;
    size_t cchName = 0;
    if (RT_VALID_PTR(pszName))
        while (cchName < sizeof(pThread->szName) - 1 && pszName[cchName])
        {
            pThread->szName[cchName] = pszName[cchName];
            cchName++;
        }
    pThread->szName[cchName] = '\0';
    pThread->cRefs = 2;
    pThread->enmState = THREAD_STATE_INIT;
    pThread->enmType = enmType;
    pThread->fUserFlags = fUserFlags;
    pThread->fIntFlags = fIntFlags;

    RTSTATUS rc = RTSemEventMultiMake(&pThread->hEventUser, RTSEMEVENTMULTI_F_NO_VALIDATION);
    if (RT_SUCCESS(rc))
    {
        rc = RTSemEventMultiMake(&pThread->hEventTerminated, RTSEMEVENTMULTI_F_NO_VALIDATION);
        if (RT_SUCCESS(rc))
            return pThread;
        RTSemEventMultiDrop(pThread->hEventUser);
    }
    RTMemFree(pThread);
    return nullptr;
}

static bool rtThreadIsAlive(const RTTHREADINT *pThread)
{
    return RT_VALID_PTR(pThread) && RTAtomicReadU32(&pThread->u32Magic) == RTTHREADINT_MAGIC;
}

RTTHREADINT *rtThreadRefAdd(RTTHREADINT *pThread)
{
    if (!rtThreadIsAlive(pThread))
        return nullptr;
    /* Never revive a record whose last reference is gone. */
    uint32_t cRefs = RTAtomicReadU32(&pThread->cRefs);
    do
    {
        if (cRefs == 0)
            return nullptr;
    } while (!__atomic_compare_exchange_n(&pThread->cRefs, &cRefs, cRefs + 1, false, __ATOMIC_SEQ_CST,
                                          __ATOMIC_SEQ_CST));
    return pThread;
}

uint32_t rtThreadRefDrop(RTTHREADINT *pThread)
{
    if (!rtThreadIsAlive(pThread))
        return 0;
    uint32_t cRefs = RTAtomicReadU32(&pThread->cRefs);
    do
    {
        if (cRefs == 0)
            return 0;
    } while (!__atomic_compare_exchange_n(&pThread->cRefs, &cRefs, cRefs - 1, false, __ATOMIC_SEQ_CST,
                                          __ATOMIC_SEQ_CST));
    if (cRefs == 1)
        rtThreadDestroy(pThread);
    return cRefs - 1;
}

const char *RTThreadCurrentName(void)
{
    RTTHREADINT *const pThread = RTThreadCurrentRecord();
    if (!rtThreadIsAlive(pThread) || RTAtomicReadU32(&pThread->cRefs) == 0)
        return nullptr;
    return pThread->szName;
}

/*
 * Registration.
 */

void rtThreadInsert(RTTHREADINT *pThread, uint32_t uNativeId)
{
    rtThreadLockRW();
    if (RTAtomicReadU32(&pThread->enmState) != THREAD_STATE_DEAD)
    {
        RTTHREADINT *const pOld = rtThreadTreeGet(uNativeId);
        if (pOld != pThread)
        {
            /* A record left behind by an earlier thread that had the same id. */
            if (pOld)
            {
                __atomic_fetch_and(&pOld->fIntFlags, ~THREAD_IFLAG_IN_TREE, __ATOMIC_SEQ_CST);
                rtThreadTreeRemove(uNativeId);
                if (pOld->fIntFlags & THREAD_IFLAG_ADOPTED)
                    rtThreadRefDrop(pOld);
            }
            RTAtomicXchgU32(&pThread->uKey, uNativeId);
            if (!rtThreadTreeInsert(pThread))
                rtAssertFatal("fRc", __LINE__, __FILE__, __PRETTY_FUNCTION__, "Lock problem? %p (%RTnthrd) %s\n",
                              pThread, uNativeId, pThread->szName);
            __atomic_fetch_or(&pThread->fIntFlags, THREAD_IFLAG_IN_TREE, __ATOMIC_SEQ_CST);
        }
    }
    rtThreadUnLockRW();
}

void rtThreadRemove(RTTHREADINT *pThread)
{
    rtThreadLockRW();
    if (__atomic_fetch_and(&pThread->fIntFlags, ~THREAD_IFLAG_IN_TREE, __ATOMIC_SEQ_CST) & THREAD_IFLAG_IN_TREE)
        rtThreadTreeRemove(pThread->uKey);
    rtThreadUnLockRW();
}

RTSTATUS RTThreadAdoptCurrent(uint32_t enmType, uint32_t fUserFlags, uint32_t fIntFlags, const char *pszName)
{
    RTTHREADINT *const pThread = rtThreadAlloc(enmType, fUserFlags & ~UINT32_C(1), fIntFlags | THREAD_IFLAG_ADOPTED,
                                               pszName);
    if (!pThread)
        return ERR_OUT_OF_MEMORY;
    RTSTATUS const rc = rtThreadNativeAdopt(pThread);
    if (RT_FAILURE(rc))
    {
        rtThreadDestroy(pThread);
        return rc;
    }
    rtThreadInsert(pThread, RTThreadNativeSelf());
    RTAtomicXchgU32(&pThread->enmState, THREAD_STATE_RUN);
    rtThreadRefDrop(pThread);
    return INF_SUCCESS;
}

RTSTATUS rtThreadRegistryInit(void)
{
    if (g_hRTThreadRWSem)
        return INF_ALREADY_INITIALISED;
    RTSTATUS rc = RTSemRWMake(&g_hRTThreadRWSem, RTSEMRW_F_NO_VALIDATION, nullptr, 1, nullptr);
    if (RT_FAILURE(rc))
        return rc;
    rc = rtThreadNativeInit();
    if (RT_SUCCESS(rc))
        rc = RTThreadAdoptCurrent(RTTHREADTYPE_MAIN, 0, THREAD_IFLAG_MAIN, "main");
    if (RT_FAILURE(rc))
    {
        RTSEMRW const hRWSem = g_hRTThreadRWSem;
        g_hRTThreadRWSem = nullptr;
        RTSemRWDrop(hRWSem);
    }
    return rc;
}

/*
 * Run states. Every blocking wait calls these around its wait; one copy of each serves them
 * all.
 */

RT_NOINLINE void rtThreadSetBlocked(RTTHREADINT *pThread, uint32_t enmState, bool fSleeping)
{
    if (!pThread)
        return;
    RTAtomicCmpXchgU32(&pThread->enmState, enmState, THREAD_STATE_RUN);
    __atomic_exchange_n(&pThread->fSleeping, static_cast<uint8_t>(fSleeping), __ATOMIC_SEQ_CST);
}

RT_NOINLINE void rtThreadSetUnblocked(RTTHREADINT *pThread, uint32_t enmState)
{
    if (!pThread)
        return;
    __atomic_exchange_n(&pThread->fSleeping, static_cast<uint8_t>(0), __ATOMIC_SEQ_CST);
    RTAtomicCmpXchgU32(&pThread->enmState, THREAD_STATE_RUN, enmState);
}
