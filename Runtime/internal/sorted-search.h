/* Binary search over a sorted table, shared by the status, format type and custom format
 * type lookups. */
#pragma once
#include <stddef.h>

/** Searches items 0 to cItems - 1 of a sorted table; fnCompare(i) compares the key with item
 *  i (negative: the key sorts before it). Returns the index of the match, or
 *  -(insertion point) - 1. */
template <typename FnCompare>
inline ptrdiff_t rtSortedSearch(size_t cItems, FnCompare fnCompare)
{
    size_t iLo = 0;
    size_t iHi = cItems;
    while (iLo < iHi)
    {
        size_t const iMid = iLo + (iHi - iLo) / 2;
        int const iDiff = fnCompare(iMid);
        if (iDiff < 0)
            iHi = iMid;
        else if (iDiff > 0)
            iLo = iMid + 1;
        else
            return static_cast<ptrdiff_t>(iMid);
    }
    return -static_cast<ptrdiff_t>(iLo) - 1;
}
