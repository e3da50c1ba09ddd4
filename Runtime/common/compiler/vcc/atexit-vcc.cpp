/* The at-exit registry: callbacks run at process exit, newest first. Up to 8192 entries
 * in blocks of 256 that are allocated when their first entry is needed, so a program that
 * registers a handful pays for one small block. */
#include "internal/startup.h"
#include "rt/mem.h"
#include "rt/atomic.h"

namespace {

constexpr uint32_t RTATEXIT_MAX_BLOCKS = RTATEXIT_MAX_ENTRIES / RTATEXIT_BLOCK_ENTRIES;
static_assert(RTATEXIT_MAX_BLOCKS * RTATEXIT_BLOCK_ENTRIES == RTATEXIT_MAX_ENTRIES);
static_assert(RTATEXIT_MAX_BLOCKS == 32);

} /* namespace */

volatile uint32_t g_cAtExitEntries = 0;
static PFNRT *volatile g_apAtExitBlocks[RTATEXIT_MAX_BLOCKS];

int rtAtExitRegister(PFNRT pfnCallback)
{
    uint32_t const iEntry = RTAtomicIncU32(&g_cAtExitEntries) - 1;
    if (iEntry >= RTATEXIT_MAX_ENTRIES)
    {
        RTAtomicDecU32(&g_cAtExitEntries);
        return -1;
    }

    PFNRT *volatile *ppBlock = &g_apAtExitBlocks[iEntry / RTATEXIT_BLOCK_ENTRIES];
    PFNRT *paBlock = RTAtomicReadPtr(ppBlock);
    if (!paBlock)
    {
        PFNRT *paNew = static_cast<PFNRT *>(RTMemAllocZ(RTATEXIT_BLOCK_ENTRIES * sizeof(PFNRT)));
        if (!paNew)
            return -1; /* the slot stays empty; the walk skips it */
        if (RTAtomicCmpXchgPtr(ppBlock, paNew, static_cast<PFNRT *>(nullptr)))
            paBlock = paNew;
        else
        {
            /* Another thread installed the block first. */
            RTMemFree(paNew);
            paBlock = RTAtomicReadPtr(ppBlock);
        }
    }
    paBlock[iEntry % RTATEXIT_BLOCK_ENTRIES] = pfnCallback;
    return 0;
}

void rtAtExitRun(void)
{
    RTAtomicFullBarrier();
    uint32_t cEntries = RTAtomicReadU32(&g_cAtExitEntries);
    /* The counter always names the entry being called, so a callback that registers another
     * one gets the slot it is running from. The slot is cleared before the call and the walk
     * goes on from the counter afterwards: such late registrations run next instead of being
     * wiped out when the walk moves past their slot. */
    while (cEntries > 0)
    {
        if (cEntries > RTATEXIT_MAX_ENTRIES) /* a failing registration's transient count */
            cEntries = RTATEXIT_MAX_ENTRIES;
        uint32_t const iEntry = cEntries - 1;
        PFNRT *paBlock = RTAtomicReadPtr(&g_apAtExitBlocks[iEntry / RTATEXIT_BLOCK_ENTRIES]);
        if (!paBlock)
        {
            /* Its allocation failed: skip the whole block. */
            cEntries = iEntry - iEntry % RTATEXIT_BLOCK_ENTRIES;
            continue;
        }
        RTAtomicXchgU32(&g_cAtExitEntries, iEntry);
        PFNRT const pfn = paBlock[iEntry % RTATEXIT_BLOCK_ENTRIES];
        if (pfn)
        {
            paBlock[iEntry % RTATEXIT_BLOCK_ENTRIES] = nullptr;
            pfn();
        }
        cEntries = RTAtomicReadU32(&g_cAtExitEntries);
    }
    RTAtomicXchgU32(&g_cAtExitEntries, 0);
}
