/* Test support: heap and handle leak detection over the platform. */
#include "leak-check.h"
#include <windows.h>

namespace {

/* Busy blocks of the process heap, where every runtime allocation lives. */
size_t HeapBusyBlocks()
{
    HANDLE hHeap = GetProcessHeap();
    HeapLock(hHeap);
    PROCESS_HEAP_ENTRY Entry = {};
    size_t c = 0;
    while (HeapWalk(hHeap, &Entry))
        if (Entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
            c++;
    HeapUnlock(hHeap);
    return c;
}

/* The handle value the next open would get: the lowest free slot. A handle left open in
   between takes that slot and moves the next value. (The handle count is of no use here:
   some systems always report 0.) */
HANDLE NextHandle()
{
    HANDLE h = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    CloseHandle(h);
    return h;
}

} /* namespace */

LeakCheck::LeakCheck() : m_cBlocks(HeapBusyBlocks()), m_hNext(NextHandle())
{
}

long LeakCheck::HeapBlocksGained() const
{
    return long(HeapBusyBlocks()) - long(m_cBlocks);
}

bool LeakCheck::HandleLeft() const
{
    return NextHandle() != m_hNext;
}
