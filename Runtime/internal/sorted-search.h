/* Searches over sorted tables, shared by the status, format type and custom format type
 * lookups and the conversions of native error codes, and the building of such tables at
 * compile time. */
#pragma once
#include <stddef.h>
#include <stdint.h>

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

/** The index of the last item at or below @p Key in a sorted table, or 0 when every item
 *  is above it. No branch depends on the data: the count is a constant, so the halving
 *  steps unroll into compares and conditional moves without bounds checks. */
template <typename T, size_t N>
inline size_t rtSortedFloor(const T (&aItems)[N], T Key)
{
    /* Through a pointer: indexing the array itself, GCC peels the first step and works the
       index out twice in every step, some 6% slower. */
    const T *pa = aItems;
    size_t i = 0;
    for (size_t n = N; n > 1; n -= n / 2)
        i = pa[i + n / 2] <= Key ? i + n / 2 : i;
    return i;
}

/** Puts @p Item in its place among the first @p cItems items of @p paItems, which are
 *  sorted: one step of building a table sorted at compile time. */
template <typename T>
constexpr void rtSortedInsert(T *paItems, size_t cItems, T Item)
{
    size_t j = cItems;
    while (j > 0 && paItems[j - 1] > Item)
    {
        paItems[j] = paItems[j - 1];
        j--;
    }
    paItems[j] = Item;
}

/*
 * Tables of 16-bit keys and 16-bit signed values in one sorted array of 32-bit rows: the
 * key in the high half, so that rows sort by key and a search compares whole rows.
 */

/** The row of @p uKey and @p iValue. */
constexpr uint32_t rtSortedKeyRow(uint32_t uKey, int32_t iValue)
{
    return uKey << 16 | static_cast<uint16_t>(iValue);
}

/** The value in the row of @p uKey, or @p iMissing when there is none. A key wider than 16
 *  bits has no row. */
template <size_t N>
inline int32_t rtSortedKeyRowFind(const uint32_t (&auRows)[N], uint32_t uKey, int32_t iMissing)
{
    /* The last row at or below the key with every value bit set is the key's row if it has
       one; a wider key loses its high bits in that bound, but no row's key can equal it. */
    uint32_t const uRow = auRows[rtSortedFloor(auRows, rtSortedKeyRow(uKey, -1))];
    return uRow >> 16 == uKey ? static_cast<int16_t>(uRow) : iMissing;
}
