/* Pieces the UTF-8 and the UTF-16 conversions share: word access to text buffers, the page
 * size that bounds reads past a terminator, and the choice of the output buffer. */
#pragma once
#include "rt/string.h"
#include "rt/mem.h"

/* Word access that may alias any byte or unit buffer. */
typedef uint32_t __attribute__((may_alias, aligned(1))) RTU32UNALIGNED;
typedef uint32_t __attribute__((may_alias)) RTU32ALIGNED;

/** The smallest page the platform has: a word that stays inside one is readable as soon as
 *  its first byte is. */
inline constexpr uintptr_t RTUTF_PAGE_SIZE = 4096;

/**
 * The shared shape of the conversions: n elements are needed; use the caller's buffer when
 * it has one (failing when n + 1 do not fit, with nothing written) or allocate
 * max(n + 1, cElems). Returns the buffer to fill, or null with the status in *prc.
 */
template <typename T>
inline T *rtStrConvBuffer(T **ppOut, size_t cElems, size_t n, RTSTATUS rcAllocFailed, RTSTATUS *prc)
{
    if (cElems && *ppOut)
    {
        if (n >= cElems)
        {
            *prc = ERR_BUFFER_TOO_SMALL;
            return nullptr;
        }
        return *ppOut;
    }
    *ppOut = nullptr;
    size_t const c = n + 1 > cElems ? n + 1 : cElems;
    T *p = c <= RTSTR_MAX / sizeof(T) ? static_cast<T *>(RTMemAlloc(c * sizeof(T))) : nullptr;
    if (!p)
        *prc = rcAllocFailed;
    return p;
}
