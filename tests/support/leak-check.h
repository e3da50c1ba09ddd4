/* Test support: notices heap blocks and handles left behind by the code under test. */
#pragma once
#include <cstddef>

class LeakCheck
{
public:
    /** Takes the snapshot: the process heap's busy blocks and the next free handle slot. */
    LeakCheck();
    /** Busy blocks of the process heap gained since the snapshot. */
    long HeapBlocksGained() const;
    /** Whether a handle taken since the snapshot is still open. */
    bool HandleLeft() const;

private:
    size_t m_cBlocks;
    void  *m_hNext;
};

/** Whether @p fn leaves heap blocks behind. A leak gains blocks on every run; the
 *  platform's own bookkeeping (its heap's lazily made groups, busier when the machine is)
 *  only now and then, so one run without a gain clears @p fn. */
template <typename Fn>
bool LeavesHeapBlocks(Fn fn, int cRuns = 3)
{
    for (int i = 0; i < cRuns; i++)
    {
        LeakCheck Check;
        fn();
        if (Check.HeapBlocksGained() <= 0)
            return false;
    }
    return true;
}
