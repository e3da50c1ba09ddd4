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
